#pragma once
// The payload file Setup.data as a release engineer handles it: build one from the six files
// an installation delivers, list it, check it, and read back the company details an
// installation stored in a system database. Paths are host paths; texts printed are UTF-8.

#include <array>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/RecordDigest.h"

namespace payload {

// In UID order: program, system database, manual, read-me, runtime library, demo database.
using PayloadFiles = std::array<std::filesystem::path, 6>;

// Streams the six files into a new payload at out (table INSTDB: UID, Name, XXH128, the
// XXH3-128 digest of FDB in 32 lower-case hexadecimal digits, and FDB). A file larger than one
// SQLite value may hold is refused by name before anything is written; on any failure no
// payload, whole or half-built, is left at out.
void Build(const std::filesystem::path& out, const PayloadFiles& files);

struct Entry {
    std::int64_t uid = 0;
    std::int64_t size = -1;  // -1 for a NULL value
    std::string name;        // empty when the payload has no Name column
    // The digest the row carries, as the installer picks it; its value is not looked at.
    std::optional<DigestKind> digest;
};
// The rows of INSTDB in UID order, without reading their values.
std::vector<Entry> List(const std::filesystem::path& payloadFile);

struct CheckResult {
    // Every problem that would stop an installation from this payload; empty when it is sound.
    std::vector<std::string> problems;
    // Whether INSTDB has a digest column at all; without one records are read but not compared.
    bool hasDigestColumn = false;
    // How many records matched the digest they carry, by its kind.
    std::map<DigestKind, int> checkedBy;
};
// Every record is read in full and compared with the digest it carries, chosen as the
// installer chooses it: XXH128 first, else SHA256.
CheckResult Check(const std::filesystem::path& payloadFile);

// The inverse of the field text encoding; throws std::runtime_error on a text it never makes.
std::string DecodeFieldText(const std::string& encoded);

struct StoredParam {
    std::string column;
    std::string value;  // code page 936, decoded
};
// The seven encoded SYSPARAMS columns of each row, decoded.
std::vector<std::vector<StoredParam>> DecodeSystemParams(const std::filesystem::path& systemDb);

}  // namespace payload
