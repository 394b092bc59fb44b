#pragma once
// The one exception class of the system. Failures of the database engine, of file creation,
// of COM and of the registry raise it; the install button's handler and the timer's tick
// catch it and show its message in the error box.

#include <exception>
#include <string>
#include <string_view>

class SetupError : public std::exception {
public:
    // message is code page 936 text.
    explicit SetupError(std::string message);

    const std::string& Message() const noexcept { return message_; }
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

// Fills the one "%s" of a message pattern such as "Cannot create file %s".
std::string FormatMessage(std::string_view pattern, std::string_view argument);
