#pragma once
// Reading back the freedesktop files an installation writes, as a desktop does: the keys of
// the "[Desktop Entry]" group with their string escapes undone, the Exec value split into its
// arguments, and the verdict of desktop-file-validate.

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace desktop_files {

// A string value with its escapes (\s \n \t \r \\) undone.
inline std::string Unescape(const std::string& value) {
    std::string out;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        switch (const char c = value[++i]) {
            case 's':
                out += ' ';
                break;
            case 'n':
                out += '\n';
                break;
            case 't':
                out += '\t';
                break;
            case 'r':
                out += '\r';
                break;
            default:
                out += c;
        }
    }
    return out;
}

// The keys of the "[Desktop Entry]" group, values unescaped.
inline std::map<std::string, std::string> Read(const std::filesystem::path& file) {
    std::map<std::string, std::string> keys;
    std::ifstream in(file);
    bool inGroup = false;
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with('[')) inGroup = line == "[Desktop Entry]";
        const auto equals = line.find('=');
        if (inGroup && equals != std::string::npos && !line.starts_with('#')) {
            keys[line.substr(0, equals)] = Unescape(line.substr(equals + 1));
        }
    }
    return keys;
}

// The arguments of an unescaped Exec value, split as a shell splits words: blanks separate,
// double quotes group, a backslash inside quotes escapes " ` $ and \, "%%" is a "%".
inline std::vector<std::string> SplitExec(const std::string& exec) {
    std::vector<std::string> arguments;
    std::string word;
    bool inWord = false, quoted = false;
    for (size_t i = 0; i < exec.size(); ++i) {
        const char c = exec[i];
        if (quoted && c == '\\' && i + 1 < exec.size() &&
            std::string("\"`$\\").find(exec[i + 1]) != std::string::npos) {
            word += exec[++i];
        } else if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if (!quoted && c == ' ') {
            if (inWord) arguments.push_back(word);
            word.clear();
            inWord = false;
        } else if (c == '%' && i + 1 < exec.size() && exec[i + 1] == '%') {
            word += exec[++i];
            inWord = true;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) arguments.push_back(word);
    return arguments;
}

// What desktop-file-validate says of file: empty when it finds nothing wrong.
inline std::string ValidationErrors(const std::filesystem::path& file) {
    const std::string command =
        "desktop-file-validate '" + file.string() + "' 2>&1; echo \"exit $?\"";
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        std::array<char, 256> buffer;
        while (fgets(buffer.data(), buffer.size(), pipe)) output += buffer.data();
        pclose(pipe);
    }
    return output == "exit 0\n" ? std::string() : output;
}

}  // namespace desktop_files
