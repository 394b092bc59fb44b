#pragma once
// The message of the SetupError an action raises, or "(no error)".

#include <functional>
#include <string>

#include "platform/SetupError.h"

namespace testing_support {

inline std::string ErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const SetupError& error) {
        return error.Message();
    }
    return "(no error)";
}

}  // namespace testing_support
