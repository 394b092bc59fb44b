#pragma once
// Reads a shell-link file back with lnkinfo, an independent reader, told that ANSI strings
// are in code page 936.

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>

namespace lnk_reader {

// lnkinfo's whole report (UTF-8).
inline std::string Report(const std::filesystem::path& link) {
    const std::string command = "lnkinfo -c windows-936 '" + link.string() + "' 2>&1";
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        std::array<char, 4096> buffer{};
        while (size_t got = fread(buffer.data(), 1, buffer.size(), pipe))
            output.append(buffer.data(), got);
        pclose(pipe);
    }
    return output;
}

// The value of the report's "Local path" line (UTF-8), or "" when there is none.
inline std::string LocalPath(const std::filesystem::path& link) {
    const std::string report = Report(link);
    const std::string label = "Local path";
    const auto at = report.find(label);
    if (at == std::string::npos) return {};
    const auto colon = report.find(": ", at);
    const auto end = report.find('\n', colon);
    return report.substr(colon + 2, end - colon - 2);
}

}  // namespace lnk_reader
