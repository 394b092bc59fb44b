#pragma once
// The payload file Setup.data as a release engineer handles it: build one from the six files
// an installation delivers, list it, check it, and read back the company details an
// installation stored in a system database. Paths are host paths; texts printed are UTF-8.

#include <array>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace payload {

// In UID order: program, system database, manual, read-me, runtime library, demo database.
using PayloadFiles = std::array<std::filesystem::path, 6>;

// Streams the six files into a new payload at out (table INSTDB: UID, Name, SHA256, the
// checksum of FDB in 64 lower-case hexadecimal digits, and FDB). A file larger than one SQLite
// value may hold is refused by name before anything is written; on any failure no payload,
// whole or half-built, is left at out.
void Build(const std::filesystem::path& out, const PayloadFiles& files);

struct Entry {
    std::int64_t uid = 0;
    std::int64_t size = -1;  // -1 for a NULL value
    std::string name;        // empty when the payload has no Name column
};
// The rows of INSTDB in UID order, without reading their values.
std::vector<Entry> List(const std::filesystem::path& payloadFile);

// Every problem that would stop an installation from this payload; empty when it is sound.
// Every record is read in full and, when the payload carries checksums, compared with its own.
std::vector<std::string> Check(const std::filesystem::path& payloadFile);

// The inverse of the field text encoding; throws std::runtime_error on a text it never makes.
std::string DecodeFieldText(const std::string& encoded);

struct StoredParam {
    std::string column;
    std::string value;  // code page 936, decoded
};
// The seven encoded SYSPARAMS columns of each row, decoded.
std::vector<std::vector<StoredParam>> DecodeSystemParams(const std::filesystem::path& systemDb);

}  // namespace payload
