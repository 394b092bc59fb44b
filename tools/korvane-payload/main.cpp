// korvane-payload: builds, lists and checks the payload Setup.data, and reads back the company
// details an installation stored in a system database.

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "platform/CodePage.h"
#include "tools/korvane-payload/Payload.h"

namespace {

constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

constexpr char kHelp[] = R"(Usage:
  korvane-payload build OUT PROGRAM SYSTEMDB MANUAL README RUNTIME DEMO
      Builds the payload OUT from six files, in this order (UID 1 to 6): the program,
      the clean system database, the manual, the read-me, the runtime library and the
      demonstration database, each with its XXH3-128 digest (column XXH128). A file over
      SQLite's limit for one value is refused by name; on any failure OUT is left as it was.
  korvane-payload list FILE
      Prints UID, size in bytes ("NULL" for no value), name and the digest the row
      carries (XXH3-128, SHA-256 or "-") of every row, in UID order.
  korvane-payload check FILE
      Checks that FILE can be installed from: an SQLite database whose table INSTDB has
      the columns UID and FDB and at least six rows, every row readable in full and
      matching its digest, row 2 being an SQLite database with the tables SYSPARAMS
      (CN CA PN DP InsD BkD BkP) and MMRecord (MEMID MDate MTime BeiZhu Uid). A row's
      digest is its XXH128 value, else its SHA256 value (payloads of earlier builds);
      when INSTDB has either column, every row must carry a well-formed digest in it.
      A payload with neither is checked without digests, and says so. Every problem
      found is named.
  korvane-payload decode SYSTEMDB
      Prints the company details, install date and folder stored (encoded) in SYSPARAMS.
  korvane-payload --help
      Prints this text.

Exit codes:
  0  done; for check, the payload is sound
  1  the operation failed, or check found problems (named on standard error)
  2  the command line is not one of the above
)";

int Usage() {
    std::cerr << kHelp;
    return kUsage;
}

int BuildCommand(const std::vector<std::string>& args) {
    payload::PayloadFiles files;
    for (std::size_t i = 0; i < files.size(); ++i) files[i] = args[2 + i];
    payload::Build(args[1], files);
    return kOk;
}

int ListCommand(const std::string& file) {
    for (const auto& entry : payload::List(file)) {
        std::cout << entry.uid << '\t' << (entry.size < 0 ? "NULL" : std::to_string(entry.size))
                  << '\t' << entry.name << '\t'
                  << (entry.digest ? DigestName(*entry.digest) : std::string_view("-")) << '\n';
    }
    return kOk;
}

// "6 records checked by XXH3-128", "4 records checked by XXH3-128, 2 by SHA-256".
std::string DigestsChecked(const payload::CheckResult& result) {
    if (!result.hasDigestColumn) return "not checked by digest: the payload has no digest column";
    std::string text;
    for (const auto& [kind, records] : result.checkedBy) {
        text += text.empty() ? std::to_string(records) + (records == 1 ? " record" : " records") +
                                   " checked by "
                             : ", " + std::to_string(records) + " by ";
        text += DigestName(kind);
    }
    return text;
}

int CheckCommand(const std::string& file) {
    const auto result = payload::Check(file);
    for (const auto& problem : result.problems) std::cerr << file << ": " << problem << '\n';
    if (!result.problems.empty()) return kFailed;
    std::cout << file << ": sound (" << DigestsChecked(result) << ")\n";
    return kOk;
}

int DecodeCommand(const std::string& file) {
    const auto rows = payload::DecodeSystemParams(file);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (i > 0) std::cout << '\n';
        for (const auto& param : rows[i]) {
            std::cout << param.column << '\t' << cp936::ToUtf8(param.value) << '\n';
        }
    }
    return kOk;
}

int Run(const std::vector<std::string>& args) {
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::cout << kHelp;
        return kOk;
    }
    if (args.size() == 8 && args[0] == "build") return BuildCommand(args);
    if (args.size() == 2 && args[0] == "list") return ListCommand(args[1]);
    if (args.size() == 2 && args[0] == "check") return CheckCommand(args[1]);
    if (args.size() == 2 && args[0] == "decode") return DecodeCommand(args[1]);
    return Usage();
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::exception& error) {
        std::cerr << "korvane-payload: " << error.what() << '\n';
        return kFailed;
    }
}
