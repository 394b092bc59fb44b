#pragma once
// The dialogs of the running program, shown with Qt's own message boxes and directory dialog.

#include "app/Dialogs.h"

class QtDialogs : public Dialogs {
public:
    void MessageDialog(const std::string& caption, const std::string& text) override;
    void ErrorBox(const std::string& caption, const std::string& text) override;
    bool YesNoBox(const std::string& caption, const std::string& text) override;
    std::optional<ChosenFolder> BrowseForFolder(const std::string& startFolder) override;
};
