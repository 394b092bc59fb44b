#pragma once
// What the main routine does to the application object before the form exists; the
// benchmark, the screenshots and the tests prepare theirs the same way.

#include <string>

// The application title, the "宋体" face's substitutes, the task-bar icon and the artwork.
void PrepareApplication();

// "Korvane通用机器设备管理系统-安装向导": the caption of the plain message dialogs and the
// error box (the form's own caption ends in "安装程序").
std::string ApplicationTitle();
