#include "app/Application.h"

#include <QApplication>
#include <QFont>
#include <QIcon>

#include "app/UiText.h"
#include "platform/CodePage.h"

using namespace cp936::literals;

namespace {

const std::string kApplicationTitle = "Korvane通用机器设备管理系统-安装向导"_gbk;

}  // namespace

void PrepareApplication() {
    Q_INIT_RESOURCE(artwork);
    // Kept as the application name, not the display name: Qt would append a display name
    // to the form's caption, which must read "...安装程序" alone.
    QCoreApplication::setApplicationName(Ui(kApplicationTitle));
    // The form's face is "宋体". On Linux a Song face stands in for it, the first of these
    // that is installed: AR PL UMing, then other CJK serif faces with like metrics, so the
    // window never falls back to a Latin face.
    QFont::insertSubstitutions(
        QStringLiteral("宋体"),
        {QStringLiteral("AR PL UMing CN"), QStringLiteral("AR PL UMing TW"),
         QStringLiteral("Noto Serif CJK SC"), QStringLiteral("Source Han Serif SC"),
         QStringLiteral("Source Han Serif CN"), QStringLiteral("AR PL SungtiL GB"),
         QStringLiteral("Noto Serif CJK TC")});
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/artwork/icon.png")));
}

std::string ApplicationTitle() { return kApplicationTitle; }
