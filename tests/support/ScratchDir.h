#pragma once
// A fresh folder for one test case, below $KORVANE_TEST_SCRATCH (each test program has its
// own), removed again when the case ends. ScopedPrefix also points WINEPREFIX at a folder in
// it, so every case installs into a prefix of its own and never into a person's ~/.wine.
//
// A case that acts as another user needs a folder that user can reach: the checkout may lie
// below a folder only its owner can enter (a home folder is 0700), so such a case asks for a
// folder of its own in the system's temporary folder, opened to others.

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace testing_support {

enum class Reach { Owner, Others };

// Why another user cannot reach folder (a folder above it they may not enter), or "".
inline std::string UnreachableByOthers(const std::filesystem::path& folder) {
    for (std::filesystem::path p = folder; !p.empty(); p = p.parent_path()) {
        std::error_code error;
        const auto perms = std::filesystem::status(p, error).permissions();
        if (error || (perms & std::filesystem::perms::others_exec) == std::filesystem::perms::none)
            return p.string() + " cannot be entered by other users";
        if (p == p.root_path()) break;
    }
    return {};
}

class ScratchDir {
public:
    explicit ScratchDir(Reach reach = Reach::Owner) {
        const char* base = std::getenv("KORVANE_TEST_SCRATCH");
        std::filesystem::path root = base && reach == Reach::Owner
                                         ? std::filesystem::path(base)
                                         : std::filesystem::temp_directory_path();
        std::filesystem::create_directories(root);
        std::string pattern = (root / "case-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp failed in " + root.string());
        path_ = pattern;
        if (reach == Reach::Others) {
            std::filesystem::permissions(
                path_, std::filesystem::perms::others_read | std::filesystem::perms::others_exec,
                std::filesystem::perm_options::add);
        }
    }
    ~ScratchDir() {
        std::error_code ignored;
        // Read-only files and folders made by a test must not stop the clean-up.
        for (auto& entry : std::filesystem::recursive_directory_iterator(path_, ignored)) {
            std::filesystem::permissions(
                entry.path(), std::filesystem::perms::owner_all,
                std::filesystem::perm_options::add | std::filesystem::perm_options::nofollow,
                ignored);
        }
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

class ScopedPrefix {
public:
    explicit ScopedPrefix(Reach reach = Reach::Owner)
        : scratch_(reach), prefix_(scratch_.path() / "prefix") {
        const char* old = std::getenv("WINEPREFIX");
        if (old) old_ = old;
        setenv("WINEPREFIX", prefix_.c_str(), 1);
    }
    ~ScopedPrefix() {
        if (old_.empty())
            unsetenv("WINEPREFIX");
        else
            setenv("WINEPREFIX", old_.c_str(), 1);
    }
    const std::filesystem::path& prefix() const { return prefix_; }
    const std::filesystem::path& scratch() const { return scratch_.path(); }

private:
    ScratchDir scratch_;
    std::filesystem::path prefix_;
    std::string old_;
};

}  // namespace testing_support
