#include "tools/korvane-payload/Payload.h"

#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <set>

#include "platform/RecordDigest.h"
#include "utils/mUtils.h"

namespace payload {
namespace {

namespace fs = std::filesystem;

constexpr int kChunkSize = 1 << 20;

// What build stores: damage is all a digest kept beside the bytes can reveal, and this one
// keeps pace with the disk.
constexpr DigestKind kBuildDigest = DigestKind::Xxh128;

const char* const kSystemParamsColumns[] = {"CN", "CA", "PN", "DP", "InsD", "BkD", "BkP"};
const char* const kInstallLogColumns[] = {"MEMID", "MDate", "MTime", "BeiZhu", "Uid"};

[[noreturn]] void Fail(const std::string& message) { throw std::runtime_error(message); }

class Database {
public:
    Database(const fs::path& file, int flags) {
        if (sqlite3_open_v2(file.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
            const std::string reason = db_ ? sqlite3_errmsg(db_) : "out of memory";
            sqlite3_close(db_);
            Fail(file.string() + ": " + reason);
        }
    }
    ~Database() { sqlite3_close(db_); }
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    sqlite3* get() const { return db_; }
    void Exec(const std::string& sql) {
        if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
            Fail(sql + ": " + sqlite3_errmsg(db_));
        }
    }

private:
    sqlite3* db_ = nullptr;
};

class Statement {
public:
    Statement(const Database& db, const std::string& sql) : db_(db.get()) {
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt_, nullptr) != SQLITE_OK) {
            Fail(sql + ": " + sqlite3_errmsg(db_));
        }
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    sqlite3_stmt* get() const { return stmt_; }
    bool Step() {
        const int rc = sqlite3_step(stmt_);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE) Fail(sqlite3_errmsg(db_));
        return rc == SQLITE_ROW;
    }
    std::string Text(int column) const {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
        return text ? std::string(text,
                                  static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column)))
                    : std::string();
    }

private:
    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
};

bool HasSQLiteHeader(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    char header[16] = {};
    in.read(header, sizeof header);
    return in.gcount() == 16 &&
           std::string_view(header, 16) == std::string_view("SQLite format 3\0", 16);
}

std::set<std::string> ColumnsOf(const Database& db, const std::string& table) {
    Statement info(db, "SELECT name FROM pragma_table_info('" + table + "')");
    std::set<std::string> columns;
    while (info.Step()) columns.insert(info.Text(0));
    return columns;
}

// ---- Build ----

std::int64_t ValueLimit() {
    Database memory(":memory:", SQLITE_OPEN_READWRITE);
    return sqlite3_limit(memory.get(), SQLITE_LIMIT_LENGTH, -1);
}

void RefuseUnfitFiles(const PayloadFiles& files) {
    const std::int64_t limit = ValueLimit();
    for (const auto& file : files) {
        std::error_code error;
        if (!fs::is_regular_file(file, error)) Fail(file.string() + ": not a readable file");
        const auto size = static_cast<std::int64_t>(fs::file_size(file, error));
        if (error) Fail(file.string() + ": " + error.message());
        if (size > limit) {
            Fail(file.string() + ": " + std::to_string(size) + " bytes is over the limit of " +
                 std::to_string(limit) + " bytes for one value in an SQLite database");
        }
    }
}

// The build digest of a file, read chunk by chunk.
std::string FileDigest(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) Fail(file.string() + ": cannot be read");
    std::vector<char> chunk(kChunkSize);
    RecordDigest digest(kBuildDigest);
    while (in.read(chunk.data(), kChunkSize) || in.gcount() > 0) {
        digest.Update(chunk.data(), static_cast<std::size_t>(in.gcount()));
    }
    if (in.bad()) Fail(file.string() + ": read failed");
    return digest.HexDigest();
}

// Streams the file into the row's zero-filled FDB; returns the build digest of the bytes
// streamed.
std::string StreamFileIntoBlob(Database& db, std::int64_t rowid, const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) Fail(file.string() + ": cannot be read");
    sqlite3_blob* blob = nullptr;
    if (sqlite3_blob_open(db.get(), "main", "INSTDB", "FDB", rowid, 1, &blob) != SQLITE_OK) {
        sqlite3_blob_close(blob);
        Fail(std::string("INSTDB.FDB: ") + sqlite3_errmsg(db.get()));
    }
    std::vector<char> chunk(kChunkSize);
    RecordDigest digest(kBuildDigest);
    int offset = 0;
    int rc = SQLITE_OK;
    while (rc == SQLITE_OK) {
        in.read(chunk.data(), kChunkSize);
        const auto length = static_cast<int>(in.gcount());
        if (length == 0) break;
        digest.Update(chunk.data(), static_cast<std::size_t>(length));
        rc = sqlite3_blob_write(blob, chunk.data(), length, offset);
        offset += length;
    }
    const bool readFailed = in.bad();
    sqlite3_blob_close(blob);
    if (rc != SQLITE_OK) Fail(file.string() + ": " + sqlite3_errstr(rc));
    if (readFailed || offset != static_cast<std::int64_t>(fs::file_size(file))) {
        Fail(file.string() + ": read failed or the file changed while it was read");
    }
    return digest.HexDigest();
}

void WritePayload(const fs::path& out, const PayloadFiles& files) {
    Database db(out, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    // Large pages: the installer reads each value by rowid, page after page.
    db.Exec("PRAGMA page_size = 65536; PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF");
    // FDB last: SQLite then writes a zeroblob's pages without making the zeros in memory.
    const std::string digestColumn(DigestColumn(kBuildDigest));
    db.Exec("CREATE TABLE INSTDB (UID INTEGER PRIMARY KEY, Name TEXT NOT NULL, " + digestColumn +
            " TEXT, FDB BLOB)");
    db.Exec("BEGIN");
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::int64_t uid = static_cast<std::int64_t>(i) + 1;
        // The digest goes in with the row: setting it afterwards would rewrite the whole row,
        // the file's bytes with it, in memory.
        const std::string digest = FileDigest(files[i]);
        Statement insert(db, "INSERT INTO INSTDB (UID, Name, " + digestColumn +
                                 ", FDB) VALUES (?, ?, ?, zeroblob(?))");
        const std::string name = files[i].filename().string();
        sqlite3_bind_int64(insert.get(), 1, uid);
        sqlite3_bind_text(insert.get(), 2, name.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert.get(), 3, digest.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int64(insert.get(), 4, static_cast<sqlite3_int64>(fs::file_size(files[i])));
        insert.Step();
        if (StreamFileIntoBlob(db, uid, files[i]) != digest) {
            Fail(files[i].string() + ": the file changed while it was read");
        }
    }
    db.Exec("COMMIT");
}

// ---- Check ----

using ChunkSink = std::function<void(const char* data, std::size_t length)>;

// Hands a row's FDB to sink chunk by chunk, through incremental BLOB I/O, so that memory
// holds one chunk whatever the value's size; SQLITE_OK or the code of what stopped it.
int ReadValue(const Database& db, std::int64_t rowid, const ChunkSink& sink) {
    sqlite3_blob* blob = nullptr;
    int rc = sqlite3_blob_open(db.get(), "main", "INSTDB", "FDB", rowid, 0, &blob);
    const int size = rc == SQLITE_OK ? sqlite3_blob_bytes(blob) : 0;
    std::vector<char> chunk(static_cast<std::size_t>(std::min(kChunkSize, size)));
    for (int offset = 0; offset < size && rc == SQLITE_OK; offset += kChunkSize) {
        const int length = std::min(kChunkSize, size - offset);
        rc = sqlite3_blob_read(blob, chunk.data(), length, offset);
        if (rc == SQLITE_OK) sink(chunk.data(), static_cast<std::size_t>(length));
    }
    sqlite3_blob_close(blob);
    return rc;
}

// Copies a value to a scratch file chunk by chunk; the caller removes the file.
void SaveValue(const Database& db, std::int64_t rowid, const fs::path& to) {
    std::ofstream outFile(to, std::ios::binary | std::ios::trunc);
    const int rc = ReadValue(db, rowid, [&](const char* data, std::size_t length) {
        outFile.write(data, static_cast<std::streamsize>(length));
    });
    if (rc != SQLITE_OK) {
        Fail(std::string("INSTDB.FDB of the system database cannot be read: ") +
             sqlite3_errstr(rc));
    }
    if (!outFile) Fail("INSTDB.FDB of the system database cannot be saved to " + to.string());
}

class ScratchFile {
public:
    ScratchFile() {
        std::string pattern = (fs::temp_directory_path() / "korvane-payload-XXXXXX").string();
        const int fd = mkstemp(pattern.data());
        if (fd < 0) Fail("cannot create a scratch file in " + fs::temp_directory_path().string());
        ::close(fd);
        path_ = pattern;
    }
    ~ScratchFile() {
        std::error_code ignored;
        fs::remove(path_, ignored);
    }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

template <std::size_t N>
void CheckTable(const Database& db, const std::string& table, const char* const (&columns)[N],
                std::vector<std::string>& problems) {
    const auto present = ColumnsOf(db, table);
    if (present.empty()) {
        problems.push_back("the system database (row 2) has no table " + table);
        return;
    }
    for (const char* column : columns) {
        if (!present.count(column)) {
            problems.push_back("the system database (row 2): table " + table + " has no column " +
                               column);
        }
    }
}

void CheckSystemDatabase(const Database& payloadDb, std::vector<std::string>& problems) {
    Statement second(payloadDb,
                     "SELECT rowid, typeof(FDB) FROM INSTDB ORDER BY UID LIMIT 1 OFFSET 1");
    second.Step();
    if (second.Text(1) != "blob") {
        problems.push_back("row 2 (the system database) holds no file");
        return;
    }
    ScratchFile scratch;
    SaveValue(payloadDb, sqlite3_column_int64(second.get(), 0), scratch.path());
    if (!HasSQLiteHeader(scratch.path())) {
        problems.push_back("row 2 (the system database) is not an SQLite database");
        return;
    }
    Database systemDb(scratch.path(), SQLITE_OPEN_READONLY);
    CheckTable(systemDb, "SYSPARAMS", kSystemParamsColumns, problems);
    CheckTable(systemDb, "MMRecord", kInstallLogColumns, problems);
}

// The digest columns as items of a select list, in the installer's order of preference: the
// payload's own column, or NULL where it has none.
std::string DigestSelectList(const std::set<std::string>& columns) {
    std::string list;
    for (const DigestKind kind : kDigestKinds) {
        const std::string column(DigestColumn(kind));
        list += ", " + (columns.count(column) ? column : std::string("NULL"));
    }
    return list;
}

bool HasDigestColumn(const std::set<std::string>& columns) {
    return std::any_of(std::begin(kDigestKinds), std::end(kDigestKinds), [&](DigestKind kind) {
        return columns.count(std::string(DigestColumn(kind))) > 0;
    });
}

struct StoredDigest {
    DigestKind kind;
    std::string text;
};

// The digest a row carries, picked as the installer picks it: the value of the first digest
// column that holds one; an empty value counts as none. The row's digest columns start at
// firstColumn, as DigestSelectList gives them.
std::optional<StoredDigest> StoredDigestOf(const Statement& row, int firstColumn) {
    for (std::size_t i = 0; i < std::size(kDigestKinds); ++i) {
        std::string text = row.Text(firstColumn + static_cast<int>(i));
        if (!text.empty()) return StoredDigest{kDigestKinds[i], std::move(text)};
    }
    return std::nullopt;
}

// Hands the row's FDB to sink as an installation reads it: a blob or a text by incremental
// I/O, a number as its text, NULL as nothing. Columns: rowid, UID, typeof(FDB).
int ReadRecord(const Database& db, const Statement& row, const ChunkSink& sink) {
    const std::int64_t rowid = sqlite3_column_int64(row.get(), 0);
    const std::string type = row.Text(2);
    if (type == "blob" || type == "text") return ReadValue(db, rowid, sink);
    if (type != "null") {
        Statement value(
            db, "SELECT CAST(FDB AS TEXT) FROM INSTDB WHERE rowid = " + std::to_string(rowid));
        value.Step();
        const std::string text = value.Text(0);
        sink(text.data(), text.size());
    }
    return SQLITE_OK;
}

// The digest a record is to be compared with; a problem, and none, when the payload has a
// digest column but the record carries no well-formed value in it. Columns: rowid, UID,
// typeof(FDB), then the digests.
std::optional<StoredDigest> ExpectedDigest(const Statement& row, bool hasDigestColumn,
                                           const std::string& record,
                                           std::vector<std::string>& problems) {
    auto stored = StoredDigestOf(row, 3);
    if (!stored) {
        if (hasDigestColumn) problems.push_back(record + " carries no digest");
        return std::nullopt;
    }
    if (!IsDigestText(stored->kind, stored->text)) {
        problems.push_back(record + ": its " + std::string(DigestColumn(stored->kind)) +
                           " value is not a well-formed " + std::string(DigestName(stored->kind)) +
                           " digest");
        return std::nullopt;
    }
    return stored;
}

// Reads every record in full, as an installation would, and compares it with the digest it
// carries. A record without a usable digest is still read: an unreadable one stops an
// installation too.
void CheckRecords(const Database& db, const std::set<std::string>& columns, CheckResult& result) {
    result.hasDigestColumn = HasDigestColumn(columns);
    Statement rows(db, "SELECT rowid, UID, typeof(FDB)" + DigestSelectList(columns) +
                           " FROM INSTDB ORDER BY UID");
    for (int position = 1; rows.Step(); ++position) {
        const std::string record =
            "row " + std::to_string(position) + " (UID " + rows.Text(1) + ")";
        const auto expected = ExpectedDigest(rows, result.hasDigestColumn, record, result.problems);
        std::optional<RecordDigest> digest;
        if (expected) digest.emplace(expected->kind);
        const int rc = ReadRecord(db, rows, [&](const char* data, std::size_t length) {
            if (digest) digest->Update(data, length);
        });
        if (rc != SQLITE_OK) {
            result.problems.push_back(record + " cannot be read: " + sqlite3_errstr(rc));
        } else if (expected && !SameDigest(expected->text, digest->HexDigest())) {
            result.problems.push_back(record + " does not match its " +
                                      std::string(DigestName(expected->kind)) + " checksum");
        } else if (expected) {
            ++result.checkedBy[expected->kind];
        }
    }
}

CheckResult Found(const std::string& problem) {
    CheckResult result;
    result.problems.push_back(problem);
    return result;
}

// ---- Decode ----

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::string FromHex(const std::string& hex) {
    if (hex.size() % 2 != 0) Fail("an odd number of hexadecimal digits");
    std::string bytes;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int high = HexDigit(hex[i]);
        const int low = HexDigit(hex[i + 1]);
        if (high < 0 || low < 0) Fail("not lower-case hexadecimal: " + hex.substr(i, 2));
        bytes += static_cast<char>(high << 4 | low);
    }
    return bytes;
}

// The scrambled text is made of digits and commas only, never a 0 byte, so a stored byte
// that equals the key's high byte is a source byte kept because it scrambled to 0.
std::string Unscramble(const std::string& stored, std::uint16_t key) {
    std::string source;
    for (const char c : stored) {
        const auto byte = static_cast<unsigned char>(c);
        const auto high = static_cast<unsigned char>(key >> 8);
        const unsigned char scrambled = byte == high ? 0 : byte;
        source += static_cast<char>(byte == high ? high : byte ^ high);
        key = static_cast<std::uint16_t>((key + scrambled) * 11 + 12);
    }
    return source;
}

}  // namespace

void Build(const fs::path& out, const PayloadFiles& files) {
    RefuseUnfitFiles(files);
    const fs::path building = fs::path(out).concat(".building");
    std::error_code ignored;
    fs::remove(building, ignored);
    try {
        WritePayload(building, files);
        fs::rename(building, out);
    } catch (...) {
        fs::remove(building, ignored);
        throw;
    }
}

std::vector<Entry> List(const fs::path& payloadFile) {
    if (!HasSQLiteHeader(payloadFile)) Fail(payloadFile.string() + ": not an SQLite database");
    Database db(payloadFile, SQLITE_OPEN_READONLY);
    const auto columns = ColumnsOf(db, "INSTDB");
    const bool named = columns.count("Name") > 0;
    Statement rows(db, std::string("SELECT UID, length(FDB), ") + (named ? "Name" : "''") +
                           DigestSelectList(columns) + " FROM INSTDB ORDER BY UID");
    std::vector<Entry> entries;
    while (rows.Step()) {
        Entry entry;
        entry.uid = sqlite3_column_int64(rows.get(), 0);
        if (sqlite3_column_type(rows.get(), 1) != SQLITE_NULL) {
            entry.size = sqlite3_column_int64(rows.get(), 1);
        }
        entry.name = rows.Text(2);
        if (const auto stored = StoredDigestOf(rows, 3)) entry.digest = stored->kind;
        entries.push_back(std::move(entry));
    }
    return entries;
}

CheckResult Check(const fs::path& payloadFile) {
    CheckResult result;
    auto& problems = result.problems;
    if (!HasSQLiteHeader(payloadFile)) return Found("not an SQLite database");
    Database db(payloadFile, SQLITE_OPEN_READONLY);
    const auto columns = ColumnsOf(db, "INSTDB");
    if (columns.empty()) return Found("no table INSTDB");
    for (const char* column : {"UID", "FDB"}) {
        if (!columns.count(column))
            problems.push_back(std::string("INSTDB has no column ") + column);
    }
    if (!problems.empty()) return result;

    Statement count(db, "SELECT count(*) FROM INSTDB");
    count.Step();
    const auto rows = sqlite3_column_int64(count.get(), 0);
    if (rows < 6) {
        problems.push_back("INSTDB holds " + std::to_string(rows) +
                           " rows; an installation needs 6");
        return result;
    }
    CheckRecords(db, columns, result);
    CheckSystemDatabase(db, problems);
    return result;
}

std::string DecodeFieldText(const std::string& encoded) {
    const std::string codes = Unscramble(FromHex(encoded), kFieldTextKey);
    if (codes.size() % 2 != 0) Fail("an odd number of code digits");
    std::string decimals;
    for (std::size_t i = 0; i < codes.size(); i += 2) {
        const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
        if (!isDigit(codes[i]) || !isDigit(codes[i + 1])) Fail("not a code: " + codes.substr(i, 2));
        const int code = (codes[i] - '0') * 10 + (codes[i + 1] - '0');
        if (code != ',' && (code < '0' || code > '9')) {
            Fail("not the code of a digit or a comma: " + std::to_string(code));
        }
        decimals += static_cast<char>(code);
    }
    std::string text;
    if (decimals.empty()) return text;
    std::size_t start = 0;
    for (;;) {
        const auto end = decimals.find(',', start);
        const std::string number = decimals.substr(start, end - start);
        if (number.empty() || number.size() > 3 || std::stoi(number) > 255) {
            Fail("not a byte value: '" + number + "'");
        }
        text += static_cast<char>(std::stoi(number));
        if (end == std::string::npos) return text;
        start = end + 1;
    }
}

std::vector<std::vector<StoredParam>> DecodeSystemParams(const fs::path& systemDb) {
    if (!HasSQLiteHeader(systemDb)) Fail(systemDb.string() + ": not an SQLite database");
    Database db(systemDb, SQLITE_OPEN_READONLY);
    std::string select = "SELECT ";
    for (const char* column : kSystemParamsColumns) {
        select += std::string(select.size() > 7 ? ", " : "") + column;
    }
    Statement rows(db, select + " FROM SYSPARAMS");
    std::vector<std::vector<StoredParam>> result;
    while (rows.Step()) {
        std::vector<StoredParam> row;
        for (int i = 0; i < 7; ++i) {
            const std::string column = kSystemParamsColumns[i];
            try {
                row.push_back({column, DecodeFieldText(rows.Text(i))});
            } catch (const std::runtime_error& error) {
                Fail("SYSPARAMS." + column + ": " + error.what());
            }
        }
        result.push_back(std::move(row));
    }
    return result;
}

}  // namespace payload
