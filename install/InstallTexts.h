#pragma once
// The captions, tip sets and shortcut names the installation shows, as code page 936 text.

#include <string>

#include "install/InstallWindow.h"

namespace install_texts {

// Status captions of the progress page.
std::string CreatingFolders();
std::string CopyingProgram();
std::string CopyingDatabase();
std::string CopyingDemoDatabase();
std::string CopyingHelpFiles();
std::string SettingUpSystemFiles();
std::string UpdatingSystemInformation();
std::string CreatingShortcuts();
std::string InstallComplete();

// The six tip sets, and the empty one that clears the labels.
TipSet IntroductionTips();
TipSet ModuleTips();
TipSet ModuleFeatureTips();
TipSet DataExportTips();
TipSet PrintingTips();
TipSet PermissionTips();
TipSet NoTips();

// The program group and the shortcuts' display names.
std::string ProgramGroup();
std::string DesktopShortcutName();
std::string ProgramShortcutName();
std::string ReadMeShortcutName();
std::string ManualShortcutName();

}  // namespace install_texts
