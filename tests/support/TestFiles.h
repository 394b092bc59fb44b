#pragma once
// Whole files in and out, for tests that compare bytes.

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace test_files {

inline std::string Read(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void Write(const std::filesystem::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

}  // namespace test_files
