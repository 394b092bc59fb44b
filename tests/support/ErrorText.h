#pragma once
// The message of the SetupError an action raises, or "(no error)".

#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "platform/SetupError.h"
#include "platform/WinFiles.h"

namespace testing_support {

inline std::string ErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const SetupError& error) {
        return error.Message();
    }
    return "(no error)";
}

// The same, with the action run in a child process: for process-wide settings such as a
// file-size limit. The child prepares the file calls as the program does at start-up.
inline std::string ErrorOfInChild(const std::function<void()>& action) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return "(no pipe)";
    const pid_t child = fork();
    if (child == 0) {
        close(pipeFds[0]);
        win::PrepareFileCalls();
        const std::string message = ErrorOf(action);
        (void)!write(pipeFds[1], message.data(), message.size());
        _exit(0);
    }
    close(pipeFds[1]);
    std::string message;
    char buffer[512];
    for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;) {
        message.append(buffer, static_cast<std::size_t>(n));
    }
    close(pipeFds[0]);
    if (child > 0) waitpid(child, nullptr, 0);
    return child > 0 ? message : "(no child)";
}

}  // namespace testing_support
