#include "platform/DesktopEntry.h"

#include <algorithm>
#include <iterator>

namespace xdg {
namespace {

constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";

struct Escape {
    char character;
    std::string_view text;
};
constexpr Escape kStringEscapes[] = {{'\\', "\\\\"}, {'\n', "\\n"}, {'\t', "\\t"}, {'\r', "\\r"}};
constexpr Escape kXmlEscapes[] = {{'&', "&amp;"}, {'<', "&lt;"}, {'>', "&gt;"}};

template <size_t N>
std::string Escaped(std::string_view text, const Escape (&escapes)[N]) {
    std::string out;
    for (const char c : text) {
        const auto* escape = std::find_if(std::begin(escapes), std::end(escapes),
                                          [c](const Escape& e) { return e.character == c; });
        out += escape != std::end(escapes) ? escape->text : std::string_view(&c, 1);
    }
    return out;
}

// A string value: backslashes and control characters escaped, a leading blank kept.
std::string StringValue(std::string_view text) {
    if (text.starts_with(' ')) return "\\s" + Escaped(text.substr(1), kStringEscapes);
    return Escaped(text, kStringEscapes);
}

std::string XmlText(std::string_view text) { return Escaped(text, kXmlEscapes); }

std::string KeyLine(std::string_view key, std::string_view value) {
    std::string line(key);
    line += '=';
    line += value;
    return line + '\n';
}

}  // namespace

std::string ExecArgument(std::string_view argument, bool quote) {
    quote =
        quote || argument.empty() || argument.find_first_of(kReserved) != std::string_view::npos;
    std::string out = quote ? "\"" : "";
    for (const char c : argument) {
        if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) out += '\\';
        out += c;
        if (c == '%') out += '%';
    }
    if (quote) out += '"';
    return out;
}

std::string ExecValue(const std::vector<std::string>& arguments) {
    std::string line;
    for (const std::string& argument : arguments) {
        if (!line.empty()) line += ' ';
        line += argument;
    }
    return StringValue(line);
}

std::string ApplicationEntryText(const DesktopEntry& entry) {
    return "[Desktop Entry]\n" + KeyLine("Type", "Application") +
           KeyLine("Name", StringValue(entry.name)) + KeyLine("Exec", entry.exec) +
           KeyLine("Icon", StringValue(entry.icon)) + KeyLine("StartupNotify", "true") +
           KeyLine("StartupWMClass", StringValue(entry.wmClass));
}

std::string DirectoryEntryText(std::string_view name, std::string_view icon) {
    return "[Desktop Entry]\n" + KeyLine("Type", "Directory") + KeyLine("Name", StringValue(name)) +
           KeyLine("Icon", StringValue(icon));
}

std::string MenuMergeText(const std::vector<std::string>& menus, std::string_view desktopId) {
    // No document type line: the desktops' menu readers parse the nesting of the elements
    // and fetch no type definition.
    std::string text =
        "<Menu>\n"
        "  <Name>Applications</Name>\n";
    std::string indent = "  ";
    for (const std::string& menu : menus) {
        text += indent + "<Menu>\n";
        indent += "  ";
        text += indent + "<Name>" + XmlText(menu) + "</Name>\n";
        text += indent + "<Directory>" + XmlText(menu) + ".directory</Directory>\n";
    }
    text += indent + "<Include>\n";
    text += indent + "  <Filename>" + XmlText(desktopId) + "</Filename>\n";
    text += indent + "</Include>\n";
    for (size_t level = 0; level < menus.size(); ++level) {
        indent.resize(indent.size() - 2);
        text += indent + "</Menu>\n";
    }
    return text + "</Menu>\n";
}

}  // namespace xdg
