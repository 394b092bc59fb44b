#include "app/ErrorHandler.h"

#include <exception>

#include "app/Application.h"
#include "app/Dialogs.h"
#include "platform/CodePage.h"
#include "platform/SetupError.h"

void ReportErrors(Dialogs& dialogs, const std::function<void()>& handler) {
    try {
        handler();
    } catch (const SetupError& error) {
        dialogs.ErrorBox(ApplicationTitle(), ErrorBoxText(error.Message()));
    } catch (const std::exception& error) {
        // Not one of ours (out of memory, a library's own error): its text is ASCII at best.
        dialogs.ErrorBox(ApplicationTitle(), ErrorBoxText(error.what()));
    } catch (...) {
        dialogs.ErrorBox(ApplicationTitle(), ErrorBoxText("Unknown error"));
    }
}

std::string ErrorBoxText(std::string_view message) {
    std::string text(message);
    const auto last = cp936::LastCharStart(text);
    // Compared as an unsigned byte: the lead byte of a Chinese character sorts after ".".
    if (last != std::string::npos && static_cast<unsigned char>(text[last]) > '.') text += '.';
    return text;
}
