#pragma once
// The modal dialogs the wizard shows. The program shows real ones (QtDialogs); tests answer
// them from a queue and record what was shown. Texts and paths are code page 936.

#include <optional>
#include <string>

class Dialogs {
public:
    virtual ~Dialogs() = default;

    // A message centred on the screen: OK only, no icon.
    virtual void MessageDialog(const std::string& caption, const std::string& text) = 0;
    // An error message: error icon, OK only.
    virtual void ErrorBox(const std::string& caption, const std::string& text) = 0;
    // Yes and No, Yes the default, no icon. True for Yes.
    virtual bool YesNoBox(const std::string& caption, const std::string& text) = 0;
    // The folder browser, folders only, starting at startFolder (a Windows path). The chosen
    // folder as a Windows path without a trailing backslash except for a drive's root
    // ("C:\Apps", "D:\"); nothing on Cancel.
    virtual std::optional<std::string> BrowseForFolder(const std::string& startFolder) = 0;
};
