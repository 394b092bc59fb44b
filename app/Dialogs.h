#pragma once
// The modal dialogs the wizard shows. The program shows real ones (QtDialogs); tests answer
// them from a queue and record what was shown. Texts and paths are code page 936.

#include <optional>
#include <string>
#include <utility>

// The folder browser's answer after OK.
struct ChosenFolder {
    ChosenFolder(std::string folder, bool isUsable = true)
        : path(std::move(folder)), usable(isUsable) {}

    // A Windows path without a trailing backslash except for a drive's root ("C:\Apps",
    // "D:\"). When the folder's name cannot be one of a Windows path (a character code page
    // 936 cannot write, or a "\" inside a name), usable is false and path shows each such
    // character as "?".
    std::string path;
    bool usable;
};

class Dialogs {
public:
    virtual ~Dialogs() = default;

    // A message centred on the screen: OK only, no icon.
    virtual void MessageDialog(const std::string& caption, const std::string& text) = 0;
    // An error message: error icon, OK only.
    virtual void ErrorBox(const std::string& caption, const std::string& text) = 0;
    // Yes and No, Yes the default, no icon. True for Yes.
    virtual bool YesNoBox(const std::string& caption, const std::string& text) = 0;
    // The folder browser, folders only, starting at startFolder (a Windows path). Nothing
    // on Cancel.
    virtual std::optional<ChosenFolder> BrowseForFolder(const std::string& startFolder) = 0;
};
