#include "platform/SetupError.h"

SetupError::SetupError(std::string message) : message_(std::move(message)) {}

std::string FormatMessage(std::string_view pattern, std::string_view argument) {
    std::string result(pattern);
    const auto at = result.find("%s");
    if (at != std::string::npos) result.replace(at, 2, argument);
    return result;
}
