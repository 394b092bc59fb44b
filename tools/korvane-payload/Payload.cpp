#include "tools/korvane-payload/Payload.h"

#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <set>

#include "platform/RecordDigest.h"
#include "platform/Sha256.h"
#include "utils/mUtils.h"

namespace payload {
namespace {

namespace fs = std::filesystem;

constexpr int kChunkSize = 1 << 20;

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

// The SHA-256 of a file, read chunk by chunk.
std::string FileChecksum(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) Fail(file.string() + ": cannot be read");
    std::vector<char> chunk(kChunkSize);
    Sha256 digest;
    while (in.read(chunk.data(), kChunkSize) || in.gcount() > 0) {
        digest.Update(chunk.data(), static_cast<std::size_t>(in.gcount()));
    }
    if (in.bad()) Fail(file.string() + ": read failed");
    return digest.HexDigest();
}

// Streams the file into the row's zero-filled FDB; returns the SHA-256 of the bytes streamed.
std::string StreamFileIntoBlob(Database& db, std::int64_t rowid, const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) Fail(file.string() + ": cannot be read");
    sqlite3_blob* blob = nullptr;
    if (sqlite3_blob_open(db.get(), "main", "INSTDB", "FDB", rowid, 1, &blob) != SQLITE_OK) {
        sqlite3_blob_close(blob);
        Fail(std::string("INSTDB.FDB: ") + sqlite3_errmsg(db.get()));
    }
    std::vector<char> chunk(kChunkSize);
    Sha256 digest;
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
    db.Exec(
        "CREATE TABLE INSTDB (UID INTEGER PRIMARY KEY, Name TEXT NOT NULL, SHA256 TEXT, "
        "FDB BLOB)");
    db.Exec("BEGIN");
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::int64_t uid = static_cast<std::int64_t>(i) + 1;
        // The checksum goes in with the row: setting it afterwards would rewrite the whole
        // row, the file's bytes with it, in memory.
        const std::string checksum = FileChecksum(files[i]);
        Statement insert(
            db, "INSERT INTO INSTDB (UID, Name, SHA256, FDB) VALUES (?, ?, ?, zeroblob(?))");
        const std::string name = files[i].filename().string();
        sqlite3_bind_int64(insert.get(), 1, uid);
        sqlite3_bind_text(insert.get(), 2, name.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert.get(), 3, checksum.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int64(insert.get(), 4, static_cast<sqlite3_int64>(fs::file_size(files[i])));
        insert.Step();
        if (StreamFileIntoBlob(db, uid, files[i]) != checksum) {
            Fail(files[i].string() + ": the file changed while it was read");
        }
    }
    db.Exec("COMMIT");
}

// ---- Check ----

// Copies a value to a scratch file chunk by chunk; the caller removes the file.
void SaveValue(const Database& db, std::int64_t rowid, const fs::path& to) {
    sqlite3_blob* blob = nullptr;
    if (sqlite3_blob_open(db.get(), "main", "INSTDB", "FDB", rowid, 0, &blob) != SQLITE_OK) {
        sqlite3_blob_close(blob);
        Fail(std::string("INSTDB.FDB: ") + sqlite3_errmsg(db.get()));
    }
    std::ofstream outFile(to, std::ios::binary | std::ios::trunc);
    std::vector<char> chunk(kChunkSize);
    const int size = sqlite3_blob_bytes(blob);
    int rc = SQLITE_OK;
    for (int offset = 0; offset < size && rc == SQLITE_OK; offset += kChunkSize) {
        const int length = std::min(kChunkSize, size - offset);
        rc = sqlite3_blob_read(blob, chunk.data(), length, offset);
        outFile.write(chunk.data(), length);
    }
    sqlite3_blob_close(blob);
    if (rc != SQLITE_OK || !outFile) Fail("INSTDB.FDB of the system database cannot be read");
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

// Reads every record in full, as an installation would, and compares it with its checksum
// when the payload carries one.
void CheckRecords(const Database& db, bool signed_, std::vector<std::string>& problems) {
    Statement rows(db, std::string("SELECT rowid, UID, typeof(FDB), ") +
                           (signed_ ? "SHA256" : "NULL") + " FROM INSTDB ORDER BY UID");
    std::vector<char> chunk(kChunkSize);
    for (int position = 1; rows.Step(); ++position) {
        const std::string record =
            "row " + std::to_string(position) + " (UID " + rows.Text(1) + ")";
        const std::string type = rows.Text(2);
        Sha256 digest;
        if (type == "blob" || type == "text") {
            sqlite3_blob* blob = nullptr;
            int rc = sqlite3_blob_open(db.get(), "main", "INSTDB", "FDB",
                                       sqlite3_column_int64(rows.get(), 0), 0, &blob);
            const int size = rc == SQLITE_OK ? sqlite3_blob_bytes(blob) : 0;
            for (int offset = 0; offset < size && rc == SQLITE_OK; offset += kChunkSize) {
                const int length = std::min(kChunkSize, size - offset);
                rc = sqlite3_blob_read(blob, chunk.data(), length, offset);
                digest.Update(chunk.data(), static_cast<std::size_t>(length));
            }
            sqlite3_blob_close(blob);
            if (rc != SQLITE_OK) {
                problems.push_back(record + " cannot be read: " + sqlite3_errstr(rc));
                continue;
            }
        } else if (type != "null") {
            Statement value(db, "SELECT CAST(FDB AS TEXT) FROM INSTDB WHERE rowid = " +
                                    std::to_string(sqlite3_column_int64(rows.get(), 0)));
            value.Step();
            const std::string text = value.Text(0);
            digest.Update(text.data(), text.size());
        }
        const std::string expected = rows.Text(3);
        if (!expected.empty() && !SameDigest(expected, digest.HexDigest())) {
            problems.push_back(record + " does not match its SHA-256 checksum");
        }
    }
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
    const bool named = ColumnsOf(db, "INSTDB").count("Name") > 0;
    Statement rows(db, std::string("SELECT UID, length(FDB), ") + (named ? "Name" : "''") +
                           " FROM INSTDB ORDER BY UID");
    std::vector<Entry> entries;
    while (rows.Step()) {
        Entry entry;
        entry.uid = sqlite3_column_int64(rows.get(), 0);
        if (sqlite3_column_type(rows.get(), 1) != SQLITE_NULL) {
            entry.size = sqlite3_column_int64(rows.get(), 1);
        }
        entry.name = rows.Text(2);
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::vector<std::string> Check(const fs::path& payloadFile) {
    std::vector<std::string> problems;
    if (!HasSQLiteHeader(payloadFile)) return {"not an SQLite database"};
    Database db(payloadFile, SQLITE_OPEN_READONLY);
    const auto columns = ColumnsOf(db, "INSTDB");
    if (columns.empty()) return {"no table INSTDB"};
    for (const char* column : {"UID", "FDB"}) {
        if (!columns.count(column))
            problems.push_back(std::string("INSTDB has no column ") + column);
    }
    if (!problems.empty()) return problems;

    Statement count(db, "SELECT count(*) FROM INSTDB");
    count.Step();
    const auto rows = sqlite3_column_int64(count.get(), 0);
    if (rows < 6) {
        problems.push_back("INSTDB holds " + std::to_string(rows) +
                           " rows; an installation needs 6");
        return problems;
    }
    CheckRecords(db, columns.count("SHA256") > 0, problems);
    CheckSystemDatabase(db, problems);
    return problems;
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
