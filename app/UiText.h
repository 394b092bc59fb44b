#pragma once
// The window's edge between the system's code page 936 texts and Qt's Unicode strings.

#include <QString>
#include <string>
#include <string_view>

#include "platform/CodePage.h"

inline QString Ui(std::string_view gbk) { return QString::fromStdString(cp936::ToUtf8(gbk)); }

inline std::string Gbk(const QString& text) { return cp936::FromUtf8(text.toStdString()); }
