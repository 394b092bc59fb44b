#include "platform/Database.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <unistd.h>
#include <utility>
#include <variant>
#include <vector>

#include "platform/CodePage.h"
#include "platform/HostNames.h"
#include "platform/SetupError.h"
#include "platform/WinPaths.h"

namespace {

// ---- Messages ----

// SQLite's own message, in the system's code page: it may quote a table or column name.
std::string EngineMessage(sqlite3* db) {
    return db ? cp936::FromUtf8(sqlite3_errmsg(db)) : "out of memory";
}

[[noreturn]] void ThrowEngineError(sqlite3* db, std::string_view what) {
    throw SetupError(std::string(what) + ": " + EngineMessage(db));
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string_view::size_type FindIgnoringCase(std::string_view text, std::string_view what) {
    if (what.size() > text.size()) return std::string_view::npos;
    for (std::size_t i = 0; i + what.size() <= text.size(); ++i) {
        if (EqualsIgnoringCase(text.substr(i, what.size()), what)) return i;
    }
    return std::string_view::npos;
}

// ---- The connection string and the file it names ----

// "Data Source=" up to the next ";". The other pieces belong to the original provider.
std::string DataSource(std::string_view connectionString) {
    constexpr std::string_view kKey = "Data Source=";
    const auto at = FindIgnoringCase(connectionString, kKey);
    if (at == std::string_view::npos) {
        throw SetupError("The connection string names no Data Source");
    }
    const auto begin = at + kKey.size();
    const auto end = connectionString.find(';', begin);
    return std::string(connectionString.substr(begin, end == std::string_view::npos
                                                          ? std::string_view::npos
                                                          : end - begin));
}

// What the first bytes of a file say it is. A Jet or ACE (Access) file says so in bytes
// 4..19; SQLite's says "SQLite format 3".
enum class FileKind { Missing, SQLite, Jet, Other };

FileKind KindOfFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return FileKind::Missing;
    char header[20] = {};
    in.read(header, sizeof header);
    const std::string_view bytes(header, static_cast<std::size_t>(in.gcount()));
    if (bytes.size() >= 16 && bytes.substr(0, 16) == std::string_view("SQLite format 3\0", 16)) {
        return FileKind::SQLite;
    }
    if (bytes.size() >= 19 &&
        (bytes.substr(4, 15) == "Standard Jet DB" || bytes.substr(4, 15) == "Standard ACE DB")) {
        return FileKind::Jet;
    }
    return FileKind::Other;
}

// ---- SQL text helpers ----

std::string QuoteName(std::string_view utf8Name) {
    std::string quoted = "\"";
    for (const char c : utf8Name) {
        quoted += c;
        if (c == '"') quoted += '"';
    }
    return quoted + "\"";
}

// what names the statement in a message: the query's own SQL text, not the one run for it.
struct Statement {
    sqlite3_stmt* handle = nullptr;
    Statement(sqlite3* db, const std::string& utf8Sql, std::string_view what) {
        if (sqlite3_prepare_v2(db, utf8Sql.c_str(), static_cast<int>(utf8Sql.size()), &handle,
                               nullptr) != SQLITE_OK) {
            ThrowEngineError(db, what);
        }
    }
    ~Statement() { sqlite3_finalize(handle); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
};

// The queries the installer runs are "SELECT * FROM <table>" with an optional tail such as
// "ORDER BY UID". The table must be known to read long binary values by rowid and to post
// rows back.
struct SelectAll {
    std::string table;  // UTF-8, unquoted
    std::string tail;   // UTF-8, from the first character after the table name
};

SelectAll ParseSelectAll(const std::string& utf8Sql) {
    constexpr std::string_view kHead = "SELECT * FROM ";
    std::string_view sql(utf8Sql);
    while (!sql.empty() && std::isspace(static_cast<unsigned char>(sql.front()))) {
        sql.remove_prefix(1);
    }
    if (!EqualsIgnoringCase(sql.substr(0, kHead.size()), kHead)) {
        throw SetupError("Only queries of the form SELECT * FROM table are supported: " +
                         cp936::FromUtf8(utf8Sql));
    }
    sql.remove_prefix(kHead.size());
    const auto end = std::find_if(sql.begin(), sql.end(), [](char c) {
        return std::isspace(static_cast<unsigned char>(c)) || c == ';';
    });
    const auto length = static_cast<std::size_t>(end - sql.begin());
    return {std::string(sql.substr(0, length)), std::string(sql.substr(length))};
}

}  // namespace

// ---- DbConnection ----

DbConnection::DbConnection() = default;

DbConnection::~DbConnection() {
    if (db_) sqlite3_close(db_);
}

void DbConnection::SetConnectionString(std::string connectionString) {
    connectionString_ = std::move(connectionString);
}

void DbConnection::Open() {
    if (db_) return;
    const std::string source = DataSource(connectionString_);
    const std::filesystem::path file = win::HostPath(source);
    switch (KindOfFile(file)) {
    case FileKind::Missing:
        throw SetupError(FormatMessage("Cannot open database %s: the file cannot be read",
                                       source));
    case FileKind::Jet:
        throw SetupError(FormatMessage(
            "%s is a Jet (Access) database; this installer reads SQLite databases only",
            source));
    case FileKind::Other:
        throw SetupError(FormatMessage("%s is not an SQLite database", source));
    case FileKind::SQLite:
        break;
    }
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        const std::string reason = EngineMessage(db);
        sqlite3_close(db);
        throw SetupError(FormatMessage("Cannot open database %s: ", source) + reason);
    }
    db_ = db;
}

void DbConnection::Close() {
    if (!db_) return;
    // Every statement of a query is finished by the time its Open returns, so the file is
    // released here and can be deleted or replaced at once.
    if (sqlite3_close(db_) != SQLITE_OK) ThrowEngineError(db_, "Cannot close the database");
    db_ = nullptr;
}

// ---- DbQuery ----

namespace {

struct LongBinary {};  // a blob, left on disk: read by rowid when it is saved
using Value = std::variant<std::monostate, std::int64_t, double, std::string, LongBinary>;

struct Row {
    sqlite3_int64 rowid = 0;
    std::vector<Value> values;
};

enum class Mode { Browse, Edit, Insert };

}  // namespace

struct DbQuery::State {
    std::string sql;        // code page 936, as set
    bool active = false;
    std::string table;      // UTF-8
    std::vector<std::string> columns;  // UTF-8
    std::vector<Row> rows;
    std::size_t current = 0;
    bool eof = true;
    Mode mode = Mode::Browse;
    Row pending;  // the row being edited or appended
    std::vector<bool> changed;

    const Row* CurrentRow() const {
        if (mode != Mode::Browse) return &pending;
        return rows.empty() ? nullptr : &rows[current];
    }
};

DbQuery::DbQuery(DbConnection& connection)
    : connection_(connection), state_(std::make_unique<State>()) {}

DbQuery::~DbQuery() = default;

void DbQuery::SetSQL(std::string sql) {
    if (state_->active) throw SetupError("The SQL text cannot change while the query is open");
    state_->sql = std::move(sql);
}

namespace {

std::vector<std::string> ColumnsOf(sqlite3* db, const std::string& table, std::string_view what) {
    Statement probe(db, "SELECT * FROM " + QuoteName(table), what);
    std::vector<std::string> columns;
    for (int i = 0; i < sqlite3_column_count(probe.handle); ++i) {
        columns.emplace_back(sqlite3_column_name(probe.handle, i));
    }
    return columns;
}

// Each column comes as its type and, unless it is a blob, its value: typeof() does not read
// a value's bytes, so a long binary value is never loaded, not even into an ORDER BY sorter.
std::string RowsQuery(const SelectAll& select, const std::vector<std::string>& columns) {
    std::string sql = "SELECT rowid";
    for (const auto& column : columns) {
        const std::string name = QuoteName(column);
        sql += ", typeof(" + name + "), CASE WHEN typeof(" + name + ") = 'blob' THEN NULL ELSE " +
               name + " END";
    }
    return sql + " FROM " + QuoteName(select.table) + select.tail;
}

Value ColumnValue(sqlite3_stmt* stmt, int typeColumn) {
    const std::string_view type =
        reinterpret_cast<const char*>(sqlite3_column_text(stmt, typeColumn));
    const int valueColumn = typeColumn + 1;
    if (type == "integer") return std::int64_t{sqlite3_column_int64(stmt, valueColumn)};
    if (type == "real") return sqlite3_column_double(stmt, valueColumn);
    if (type == "text") {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, valueColumn));
        return std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(stmt, valueColumn)));
    }
    if (type == "blob") return LongBinary{};
    return std::monostate{};
}

}  // namespace

void DbQuery::Open() {
    State& s = *state_;
    if (s.active) return;
    sqlite3* db = connection_.Handle();
    if (!db) throw SetupError("The query cannot open: the connection is closed");
    const std::string utf8Sql = cp936::ToUtf8(s.sql);
    const SelectAll select = ParseSelectAll(utf8Sql);
    std::vector<std::string> columns = ColumnsOf(db, select.table, s.sql);

    Statement stmt(db, RowsQuery(select, columns), s.sql);
    std::vector<Row> rows;
    int rc;
    while ((rc = sqlite3_step(stmt.handle)) == SQLITE_ROW) {
        Row row;
        row.rowid = sqlite3_column_int64(stmt.handle, 0);
        for (std::size_t i = 0; i < columns.size(); ++i) {
            row.values.push_back(ColumnValue(stmt.handle, static_cast<int>(1 + 2 * i)));
        }
        rows.push_back(std::move(row));
    }
    if (rc != SQLITE_DONE) ThrowEngineError(db, s.sql);

    s.table = select.table;
    s.columns = std::move(columns);
    s.rows = std::move(rows);
    s.current = 0;
    s.eof = s.rows.empty();
    s.mode = Mode::Browse;
    s.active = true;
}

void DbQuery::Close() {
    State& s = *state_;
    s.active = false;
    s.rows.clear();
    s.columns.clear();
    s.mode = Mode::Browse;
    s.eof = true;
}

bool DbQuery::Active() const { return state_->active; }

int DbQuery::RecordCount() const { return static_cast<int>(state_->rows.size()); }

void DbQuery::Next() {
    State& s = *state_;
    if (!s.active) throw SetupError("Next: the query is not open");
    if (s.current + 1 < s.rows.size()) {
        ++s.current;
    } else {
        s.eof = true;
    }
}

bool DbQuery::Eof() const { return state_->eof; }

DbField DbQuery::FieldByName(std::string_view name) {
    const State& s = *state_;
    const std::string utf8Name = cp936::ToUtf8(name);
    for (std::size_t i = 0; i < s.columns.size(); ++i) {
        if (EqualsIgnoringCase(s.columns[i], utf8Name)) return DbField(*this, static_cast<int>(i));
    }
    throw SetupError(FormatMessage("Field '%s' not found", name));
}

void DbQuery::Edit() {
    State& s = *state_;
    if (!s.active || s.rows.empty()) throw SetupError("Edit: there is no current record");
    s.pending = s.rows[s.current];
    s.changed.assign(s.columns.size(), false);
    s.mode = Mode::Edit;
}

void DbQuery::Append() {
    State& s = *state_;
    if (!s.active) throw SetupError("Append: the query is not open");
    s.pending = Row{0, std::vector<Value>(s.columns.size())};
    s.changed.assign(s.columns.size(), false);
    s.mode = Mode::Insert;
}

namespace {

void Bind(sqlite3* db, sqlite3_stmt* stmt, int index, const Value& value) {
    int rc = SQLITE_OK;
    if (const auto* text = std::get_if<std::string>(&value)) {
        rc = sqlite3_bind_text(stmt, index, text->data(), static_cast<int>(text->size()),
                               SQLITE_TRANSIENT);
    } else if (const auto* integer = std::get_if<std::int64_t>(&value)) {
        rc = sqlite3_bind_int64(stmt, index, *integer);
    } else if (const auto* real = std::get_if<double>(&value)) {
        rc = sqlite3_bind_double(stmt, index, *real);
    } else {
        rc = sqlite3_bind_null(stmt, index);
    }
    if (rc != SQLITE_OK) ThrowEngineError(db, "Cannot store a value");
}

}  // namespace

void DbQuery::Post() {
    State& s = *state_;
    if (s.mode == Mode::Browse) throw SetupError("Post: the record is not being edited");
    sqlite3* db = connection_.Handle();
    if (!db) throw SetupError("Post: the connection is closed");

    std::vector<std::size_t> changed;
    for (std::size_t i = 0; i < s.changed.size(); ++i) {
        if (s.changed[i]) changed.push_back(i);
    }
    if (s.mode == Mode::Edit && changed.empty()) {
        s.mode = Mode::Browse;
        return;
    }
    std::string sql;
    if (s.mode == Mode::Edit) {
        std::string assignments;
        for (const auto i : changed) {
            assignments += (assignments.empty() ? "" : ", ") + QuoteName(s.columns[i]) + " = ?";
        }
        sql = "UPDATE " + QuoteName(s.table) + " SET " + assignments + " WHERE rowid = ?";
    } else if (changed.empty()) {
        sql = "INSERT INTO " + QuoteName(s.table) + " DEFAULT VALUES";
    } else {
        std::string names;
        std::string marks;
        for (const auto i : changed) {
            names += (names.empty() ? "" : ", ") + QuoteName(s.columns[i]);
            marks += marks.empty() ? "?" : ", ?";
        }
        sql = "INSERT INTO " + QuoteName(s.table) + " (" + names + ") VALUES (" + marks + ")";
    }
    Statement stmt(db, sql, "Cannot post the record");
    int index = 1;
    for (const auto i : changed) Bind(db, stmt.handle, index++, s.pending.values[i]);
    if (s.mode == Mode::Edit) sqlite3_bind_int64(stmt.handle, index, s.pending.rowid);
    if (sqlite3_step(stmt.handle) != SQLITE_DONE) ThrowEngineError(db, "Cannot post the record");

    if (s.mode == Mode::Edit) {
        s.rows[s.current] = std::move(s.pending);
    } else {
        s.pending.rowid = sqlite3_last_insert_rowid(db);
        s.rows.push_back(std::move(s.pending));
        s.current = s.rows.size() - 1;
        s.eof = false;
    }
    s.mode = Mode::Browse;
}

// ---- DbField ----

namespace {

// A blob's bytes by rowid, chunk by chunk, without loading it whole.
class BlobReader {
public:
    BlobReader(sqlite3* db, const std::string& table, const std::string& column,
               sqlite3_int64 rowid)
        : db_(db) {
        if (sqlite3_blob_open(db, "main", table.c_str(), column.c_str(), rowid, 0, &blob_) !=
            SQLITE_OK) {
            sqlite3_blob_close(blob_);
            ThrowEngineError(db, "Cannot read field " + cp936::FromUtf8(column));
        }
    }
    ~BlobReader() { sqlite3_blob_close(blob_); }
    BlobReader(const BlobReader&) = delete;
    BlobReader& operator=(const BlobReader&) = delete;

    int Size() const { return sqlite3_blob_bytes(blob_); }
    void Read(char* buffer, int length, int offset) {
        if (sqlite3_blob_read(blob_, buffer, length, offset) != SQLITE_OK) {
            ThrowEngineError(db_, "Cannot read a long binary value");
        }
    }

private:
    sqlite3* db_;
    sqlite3_blob* blob_ = nullptr;
};

// The file SaveToFile writes. Until Commit it is removed on the way out, so a failure never
// leaves a short file that could pass for the whole one.
class OutputFile {
public:
    OutputFile(std::string windowsPath, const std::filesystem::path& hostPath)
        : windowsPath_(std::move(windowsPath)), hostPath_(hostPath) {
        fd_ = ::open(hostPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd_ < 0) throw SetupError(FormatMessage("Cannot create file %s", windowsPath_));
    }
    ~OutputFile() {
        if (fd_ >= 0) ::close(fd_);
        if (!committed_) ::unlink(hostPath_.c_str());
    }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void Write(const char* data, std::size_t length) {
        while (length > 0) {
            const ssize_t written = ::write(fd_, data, length);
            if (written < 0 && errno == EINTR) continue;
            if (written <= 0) Fail(written < 0 ? errno : ENOSPC);
            data += written;
            length -= static_cast<std::size_t>(written);
        }
    }
    void Commit() {
        const int fd = std::exchange(fd_, -1);
        if (::close(fd) != 0) Fail(errno);
        committed_ = true;
    }

private:
    [[noreturn]] void Fail(int error) {
        throw SetupError(FormatMessage("Cannot write file %s: ", windowsPath_) +
                         win::ErrnoText(error));
    }
    std::string windowsPath_;
    std::filesystem::path hostPath_;
    int fd_ = -1;
    bool committed_ = false;
};

// Large enough that the system calls cost little, small enough that the hook runs often.
constexpr int kChunkSize = 1 << 20;

}  // namespace

std::string DbField::AsString() const {
    const DbQuery::State& s = *query_->state_;
    const Row* row = s.CurrentRow();
    if (!row) return {};
    const Value& value = row->values[static_cast<std::size_t>(column_)];
    if (const auto* text = std::get_if<std::string>(&value)) return cp936::FromUtf8(*text);
    if (const auto* integer = std::get_if<std::int64_t>(&value)) return std::to_string(*integer);
    if (const auto* real = std::get_if<double>(&value)) {
        // to_chars, not printf: Qt sets the user's locale, whose decimal mark may be ",".
        char buffer[32];
        const auto end = std::to_chars(buffer, buffer + sizeof buffer, *real).ptr;
        return std::string(buffer, end);
    }
    if (std::holds_alternative<LongBinary>(value)) {
        BlobReader blob(query_->connection_.Handle(), s.table, s.columns[column_], row->rowid);
        std::string bytes(static_cast<std::size_t>(blob.Size()), '\0');
        blob.Read(bytes.data(), blob.Size(), 0);
        return bytes;
    }
    return {};
}

void DbField::SetAsString(std::string_view value) {
    DbQuery::State& s = *query_->state_;
    if (s.mode == Mode::Browse) throw SetupError("The record is not being edited");
    s.pending.values[static_cast<std::size_t>(column_)] = cp936::ToUtf8(value);
    s.changed[static_cast<std::size_t>(column_)] = true;
}

void DbField::SetAsInteger(std::int64_t value) {
    DbQuery::State& s = *query_->state_;
    if (s.mode == Mode::Browse) throw SetupError("The record is not being edited");
    s.pending.values[static_cast<std::size_t>(column_)] = value;
    s.changed[static_cast<std::size_t>(column_)] = true;
}

namespace {

// A destination on a drive that does not exist cannot be created either.
std::filesystem::path DestinationHostPath(const std::string& path) {
    try {
        return win::HostPath(path);
    } catch (const SetupError&) {
        throw SetupError(FormatMessage("Cannot create file %s", path));
    }
}

}  // namespace

void DbField::SaveToFile(const std::string& path, const ChunkHook& hook) const {
    const DbQuery::State& s = *query_->state_;
    OutputFile file(path, DestinationHostPath(path));
    const Row* row = s.CurrentRow();
    const Value* value = row ? &row->values[static_cast<std::size_t>(column_)] : nullptr;
    if (value && std::holds_alternative<LongBinary>(*value)) {
        BlobReader blob(query_->connection_.Handle(), s.table, s.columns[column_], row->rowid);
        std::vector<char> chunk(kChunkSize);
        const int size = blob.Size();
        for (int offset = 0; offset < size; offset += kChunkSize) {
            if (offset > 0 && hook) hook();
            const int length = std::min(kChunkSize, size - offset);
            blob.Read(chunk.data(), length, offset);
            file.Write(chunk.data(), static_cast<std::size_t>(length));
        }
    } else if (const auto* text = value ? std::get_if<std::string>(value) : nullptr) {
        file.Write(text->data(), text->size());  // the stored bytes, unconverted
    } else if (value && !std::holds_alternative<std::monostate>(*value)) {
        const std::string number = AsString();
        file.Write(number.data(), number.size());
    }
    file.Commit();
}
