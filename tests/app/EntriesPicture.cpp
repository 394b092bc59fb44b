#include "EntriesPicture.h"

#include <QDirIterator>
#include <QFile>
#include <QIcon>
#include <QMap>
#include <QPainter>
#include <QRegularExpression>
#include <QTextStream>
#include <algorithm>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int kItemHeight = 34;
constexpr int kIconSize = 24;

QString Q(const fs::path& path) { return QString::fromStdString(path.string()); }

// The keys of a file's "[Desktop Entry]" group (the names and icons drawn here hold no escapes).
QMap<QString, QString> Keys(const fs::path& file) {
    QMap<QString, QString> keys;
    QFile in(Q(file));
    if (!in.open(QIODevice::ReadOnly)) return keys;
    QTextStream text(&in);
    bool inGroup = false;
    while (!text.atEnd()) {
        const QString line = text.readLine();
        if (line.startsWith('[')) inGroup = line == QStringLiteral("[Desktop Entry]");
        const auto equals = line.indexOf('=');
        if (inGroup && equals > 0) keys[line.left(equals)] = line.mid(equals + 1);
    }
    return keys;
}

struct Item {
    QString name;
    QString icon;
};

// Its own icon from the hicolor theme of the data folder, else the system theme's, else the
// fallback.
QPixmap IconPixmap(const EntryFolders& folders, const QString& name, int size,
                   const QString& fallback = QStringLiteral("text-x-generic")) {
    for (const char* dimension : {"48x48", "64x64", "32x32"}) {
        const fs::path file =
            folders.data / "icons/hicolor" / dimension / "apps" / (name.toStdString() + ".png");
        if (fs::exists(file)) return QIcon(Q(file)).pixmap(size, size);
    }
    QIcon icon = QIcon::fromTheme(name);
    if (icon.isNull()) icon = QIcon::fromTheme(fallback);
    return icon.pixmap(size, size);
}

std::vector<Item> DesktopLaunchers(const EntryFolders& folders) {
    std::vector<Item> launchers;
    QDirIterator files(Q(folders.desktop), {QStringLiteral("*.desktop")}, QDir::Files);
    while (files.hasNext()) {
        const auto keys = Keys(files.next().toStdString());
        launchers.push_back(
            {keys.value(QStringLiteral("Name")), keys.value(QStringLiteral("Icon"))});
    }
    return launchers;
}

// The menus of the merge files, outermost first, and the entries they include.
struct Cascade {
    std::vector<Item> menus;
    std::vector<Item> entries;
};

Cascade MenuCascade(const EntryFolders& folders) {
    QMap<QString, fs::path> byId;  // desktop file ids: the path below applications, "/" as "-"
    const fs::path applications = folders.data / "applications";
    QDirIterator all(Q(applications), {QStringLiteral("*.desktop")}, QDir::Files,
                     QDirIterator::Subdirectories);
    while (all.hasNext()) {
        const fs::path file = all.next().toStdString();
        byId[Q(fs::relative(file, applications)).replace('/', '-')] = file;
    }
    Cascade cascade;
    QDirIterator merges(Q(folders.config / "menus/applications-merged"), {QStringLiteral("*.menu")},
                        QDir::Files);
    QStringList files;
    while (merges.hasNext()) files << merges.next();
    files.sort();
    for (const QString& merge : files) {
        QFile in(merge);
        in.open(QIODevice::ReadOnly);
        const QString text = QString::fromUtf8(in.readAll());
        if (cascade.menus.empty()) {
            auto names =
                QRegularExpression(QStringLiteral("<Name>([^<]*)</Name>")).globalMatch(text);
            while (names.hasNext()) {
                const QString name = names.next().captured(1);
                if (name == QStringLiteral("Applications")) continue;
                const auto keys = Keys(folders.data / "desktop-directories" /
                                       (name.toStdString() + ".directory"));
                cascade.menus.push_back(
                    {keys.value(QStringLiteral("Name")), keys.value(QStringLiteral("Icon"))});
            }
        }
        const auto id =
            QRegularExpression(QStringLiteral("<Filename>([^<]*)</Filename>")).match(text);
        const auto keys = Keys(byId.value(id.captured(1)));
        cascade.entries.push_back(
            {keys.value(QStringLiteral("Name")), keys.value(QStringLiteral("Icon"))});
    }
    return cascade;
}

void DrawMenu(QPainter& painter, const EntryFolders& folders, QRect box,
              const std::vector<Item>& items, bool submenu) {
    painter.setPen(QColor(0xB0, 0xB0, 0xB0));
    painter.setBrush(QColor(0xF7, 0xF7, 0xF7));
    painter.drawRect(box.adjusted(0, 0, -1, -1));
    int y = box.top() + 2;
    for (const Item& item : items) {
        const QRect row(box.left() + 2, y, box.width() - 4, kItemHeight);
        if (submenu) painter.fillRect(row, QColor(0x35, 0x84, 0xE4));
        painter.drawPixmap(
            row.left() + 6, row.top() + (kItemHeight - kIconSize) / 2,
            IconPixmap(folders, item.icon, kIconSize,
                       submenu ? QStringLiteral("folder") : QStringLiteral("text-x-generic")));
        painter.setPen(submenu ? Qt::white : Qt::black);
        painter.drawText(row.adjusted(kIconSize + 14, 0, -18, 0), Qt::AlignVCenter, item.name);
        if (submenu)
            painter.drawText(row.adjusted(0, 0, -8, 0), Qt::AlignVCenter | Qt::AlignRight,
                             QStringLiteral("▸"));
        y += kItemHeight;
    }
}

}  // namespace

QImage EntriesPicture(const EntryFolders& folders) {
    QIcon::setThemeSearchPaths({QStringLiteral("/usr/share/icons")});
    QIcon::setThemeName(QStringLiteral("Adwaita"));
    QImage picture(900, 150, QImage::Format_ARGB32);
    picture.fill(QColor(0x2E, 0x4A, 0x6B));
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setFont(QFont(QStringLiteral("AR PL UMing CN"), 11));

    int x = 16;
    for (const Item& launcher : DesktopLaunchers(folders)) {
        painter.drawPixmap(x + 46, 20, IconPixmap(folders, launcher.icon, 48));
        painter.setPen(Qt::white);
        painter.drawText(QRect(x, 74, 140, 48), Qt::AlignHCenter | Qt::TextWordWrap, launcher.name);
        x += 150;
    }

    const Cascade cascade = MenuCascade(folders);
    x += 10;
    constexpr int kPadding = kIconSize + 40;  // icon, gaps and the submenu arrow
    for (const Item& menu : cascade.menus) {
        const int width = painter.fontMetrics().horizontalAdvance(menu.name) + kPadding;
        DrawMenu(painter, folders, QRect(x, 20, width, kItemHeight + 4), {menu}, true);
        x += width;
    }
    int width = 0;
    for (const Item& entry : cascade.entries) {
        width = std::max(width, painter.fontMetrics().horizontalAdvance(entry.name) + kPadding);
    }
    const int height = kItemHeight * static_cast<int>(cascade.entries.size()) + 4;
    DrawMenu(painter, folders, QRect(x, 20, width, height), cascade.entries, false);
    return picture;
}
