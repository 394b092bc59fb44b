#pragma once
// Dialogs that a test answers: each Yes/No box and folder browser takes the next queued
// answer, and everything shown is recorded with its caption and exact code page 936 text.

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "app/Dialogs.h"

namespace testing_support {

class TestDialogs : public Dialogs {
public:
    enum class Kind { Message, Error, YesNo, Browser };
    struct Shown {
        Kind kind;
        std::string caption;  // for the browser: empty
        std::string text;     // for the browser: the folder it started at
    };

    std::vector<Shown> shown;
    // An empty queue answers No and Cancel.
    std::deque<bool> yesNoAnswers;
    std::deque<std::optional<ChosenFolder>> folderAnswers;  // nullopt: Cancel

    void MessageDialog(const std::string& caption, const std::string& text) override {
        shown.push_back({Kind::Message, caption, text});
    }
    void ErrorBox(const std::string& caption, const std::string& text) override {
        shown.push_back({Kind::Error, caption, text});
    }
    bool YesNoBox(const std::string& caption, const std::string& text) override {
        shown.push_back({Kind::YesNo, caption, text});
        return Next(yesNoAnswers, false);
    }
    std::optional<ChosenFolder> BrowseForFolder(const std::string& startFolder) override {
        shown.push_back({Kind::Browser, {}, startFolder});
        return Next(folderAnswers, std::nullopt);
    }

private:
    template <typename T, typename Default>
    static T Next(std::deque<T>& answers, Default whenEmpty) {
        if (answers.empty()) return whenEmpty;
        T answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

}  // namespace testing_support
