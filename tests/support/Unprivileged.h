#pragma once
// Permission bits do not stop root, and the tests run as root in CI. Within the scope of an
// Unprivileged object a root process acts with the effective user "nobody", so a read-only
// folder is read-only for it too; root is restored at the end of the scope. For any other
// user it changes nothing.

#include <unistd.h>

#include <stdexcept>

namespace testing_support {

class Unprivileged {
public:
    Unprivileged() : wasRoot_(geteuid() == 0) {
        if (wasRoot_ && seteuid(kNobody) != 0) throw std::runtime_error("seteuid(nobody) failed");
    }
    ~Unprivileged() {
        if (wasRoot_ && seteuid(0) != 0) std::terminate();
    }
    Unprivileged(const Unprivileged&) = delete;
    Unprivileged& operator=(const Unprivileged&) = delete;

private:
    static constexpr uid_t kNobody = 65534;
    bool wasRoot_;
};

}  // namespace testing_support
