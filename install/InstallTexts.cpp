#include "install/InstallTexts.h"

#include "platform/CodePage.h"

// The texts are written here in UTF-8 and turned into code page 936 where they are used;
// every one of them has a GBK form, so the conversion cannot fail.

using namespace cp936::literals;

namespace install_texts {
namespace {

TipSet Tips(const char* const (&lines)[5]) {
    TipSet tips;
    for (size_t i = 0; i < tips.size(); ++i) tips[i] = cp936::FromUtf8(lines[i]);
    return tips;
}

// Introduction.
const char* const kIntroduction[5] = {
    "    Korvane通用机器设备管理系统适用于各类工业企业的设备管理工作，",
    "操作简单，功能丰富，基本涵盖了设备管理的各个方面。",
    "    它将不断随着用户的需求而进行功能扩充和升级，对于正式用户来",
    "说，这些都将是免费的。",
    "",
};
// Module list, in two columns aligned with spaces.
const char* const kModules[5] = {
    "Korvane通用机器设备管理系统主要包括以下功能模块：",
    "1、设备基本信息管理       2、设备使用管理",
    "3、设备润滑管理           4、设备维修管理",
    "5、设备事故管理           6、设备备件管理",
    "7、设备资料管理           8、备件仓库管理",
};
// Module features.
const char* const kModuleFeatures[5] = {
    "润滑管理中：系统可自动报告近期需要润滑的设备并给出润滑清单。",
    "维修管理中：系统可自动报告近期需要维修的设备，可设置维修计划。",
    "事故管理中：可任意设置事故图片，可打印事故报告。",
    "仓库管理中：可以进行备件的入库、出库、库存的管理等。",
    "资料管理中：可设置JPEG、BMP图片、文本、RTF格式的文件。",
};
// Data export.
const char* const kDataExport[5] = {
    "系统中所有显示的数据都可以转存为EXCEL格式的文件，所有文本",
    "都可以转存为文本文件，所有资料也可以另外保存。方便您进行",
    "数据交换和整理。",
    "显示的数据格式可根据需要自由调整，不想看到的数据只需将其宽",
    "度设置为0即可，保存后以后将不再显示。",
};
// Printing.
const char* const kPrinting[5] = {
    "完全智能化的打印：",
    "除RTF格式的文件外，所有的打印都可以自由义纸张大小，自定义",
    "打印的数据项，各列的宽度、行高、表格线等，操作极其简单。",
    "图片的打印可任意缩放，可任意设置图片的位置。",
    "不同的操作员可以设置不同的样式，互不影响。",
};
// Permissions.
const char* const kPermissions[5] = {
    "丰富的权限设置：",
    "不同的操作员可分别赋于：允许添加、允许修改、允许删除以及",
    "允许数据导出权限，对每一个操作的模块也可以分别设置。不允",
    "许操作的模块对该操作员来说是不可见的。",
    "",
};

}  // namespace

// Six ASCII full stops each; every caption but the main program's ends in one space.
std::string CreatingFolders() { return "正在创建文件夹...... "_gbk; }
std::string CopyingProgram() { return "正在复制主程序......"_gbk; }
std::string CopyingDatabase() { return "正在复制数据库...... "_gbk; }
std::string CopyingDemoDatabase() { return "正在复制演示数据库...... "_gbk; }
std::string CopyingHelpFiles() { return "正在复制帮助文件...... "_gbk; }
std::string SettingUpSystemFiles() { return "正在设置系统文件...... "_gbk; }
std::string UpdatingSystemInformation() { return "正在更新系统信息...... "_gbk; }
std::string CreatingShortcuts() { return "正在创建程序快捷方式...... "_gbk; }
// A full-width exclamation mark, then one ASCII space.
std::string InstallComplete() { return "安装完成！ "_gbk; }

TipSet IntroductionTips() { return Tips(kIntroduction); }
TipSet ModuleTips() { return Tips(kModules); }
TipSet ModuleFeatureTips() { return Tips(kModuleFeatures); }
TipSet DataExportTips() { return Tips(kDataExport); }
TipSet PrintingTips() { return Tips(kPrinting); }
TipSet PermissionTips() { return Tips(kPermissions); }
TipSet NoTips() { return TipSet{}; }

std::string ProgramGroup() { return "Korvane软件"_gbk; }
// "．" in V3．50 is the full-width full stop, so the link name keeps its whole text.
std::string DesktopShortcutName() { return "Korvane机器设备管理系统 V3．50"_gbk; }
std::string ProgramShortcutName() { return "Korvane通用机器设备管理系统V3．50"_gbk; }
std::string ReadMeShortcutName() { return "软件使用必读"_gbk; }
std::string ManualShortcutName() { return "使用说明书"_gbk; }

}  // namespace install_texts
