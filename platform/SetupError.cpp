#include "platform/SetupError.h"

#include "platform/CodePage.h"

SetupError::SetupError(std::string message) : message_(std::move(message)) {}

std::string FormatMessage(std::string_view pattern, std::string_view argument) {
    std::string result(pattern);
    const auto at = result.find("%s");
    if (at != std::string::npos) result.replace(at, 2, argument);
    return result;
}

std::string ErrorBoxText(std::string_view message) {
    std::string text(message);
    const auto last = cp936::LastCharStart(text);
    // Compared as an unsigned byte: the lead byte of a Chinese character sorts after ".".
    if (last != std::string::npos && static_cast<unsigned char>(text[last]) > '.') text += '.';
    return text;
}
