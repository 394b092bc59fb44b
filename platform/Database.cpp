#include "platform/Database.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <optional>
#include <utility>
#include <variant>
#include <vector>

#include "platform/CodePage.h"
#include "platform/HostFile.h"
#include "platform/HostNames.h"
#include "platform/PathMapping.h"
#include "platform/SetupError.h"

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
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
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

// "Data Source=" up to the next ";", or a value in double quotes, which a Windows path never
// holds. The other pieces (provider, security, Jet options) mean nothing to SQLite.
std::string DataSource(std::string_view connectionString) {
    constexpr std::string_view kKey = "Data Source=";
    const auto at = FindIgnoringCase(connectionString, kKey);
    if (at == std::string_view::npos) {
        throw SetupError("The connection string names no Data Source");
    }
    auto begin = at + kKey.size();
    if (begin < connectionString.size() && connectionString[begin] == '"') {
        const auto close = connectionString.find('"', ++begin);
        if (close == std::string_view::npos) {
            throw SetupError("The connection string's Data Source lacks its closing quote");
        }
        return std::string(connectionString.substr(begin, close - begin));
    }
    const auto end = connectionString.find(';', begin);
    return std::string(connectionString.substr(
        begin, end == std::string_view::npos ? std::string_view::npos : end - begin));
}

// What the first bytes of a file say it is. A Jet or ACE (Access) file says so in bytes
// 4..19; SQLite's says "SQLite format 3".
enum class FileKind { Missing, NotAFile, SQLite, Jet, Other };

FileKind KindOfFile(const std::filesystem::path& file) {
    // Non-blocking, and looked at before a byte is read: a FIFO would wait for a writer.
    const win::FileDescriptor in(::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat info {};
    if (!in.valid() || fstat(in.get(), &info) != 0) return FileKind::Missing;
    if (!S_ISREG(info.st_mode)) return FileKind::NotAFile;
    char header[20] = {};
    const ssize_t got = pread(in.get(), header, sizeof header, 0);
    const std::string_view bytes(header, got > 0 ? static_cast<std::size_t>(got) : 0);
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
    // The tail is run inside other statements: a closing ";" would end them early.
    while (!sql.empty() &&
           (std::isspace(static_cast<unsigned char>(sql.back())) || sql.back() == ';')) {
        sql.remove_suffix(1);
    }
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
    for (DbQuery* query : queries_) query->Close();
    if (db_) sqlite3_close(db_);
}

namespace {

// Virtual machine steps between two calls of the progress hook: a few milliseconds of work.
constexpr int kProgressSteps = 100000;

int CallProgressHook(void* hook) noexcept {
    try {
        (*static_cast<ChunkHook*>(hook))();
        return 0;
    } catch (...) {
        return 1;  // an exception must not cross the engine's frames
    }
}

}  // namespace

void DbConnection::SetConnectionString(std::string connectionString) {
    connectionString_ = std::move(connectionString);
}

void DbConnection::Open() {
    if (db_) return;
    const std::string source = DataSource(connectionString_);
    const std::filesystem::path file = win::HostPath(source);
    switch (KindOfFile(file)) {
        case FileKind::Missing:
            throw SetupError(
                FormatMessage("Cannot open database %s: the file cannot be read", source));
        case FileKind::NotAFile:
            throw SetupError(FormatMessage("Cannot open database %s: it is not a file", source));
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
    const int mode = readOnly_ ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
    if (sqlite3_open_v2(file.c_str(), &db, mode, nullptr) != SQLITE_OK) {
        const std::string reason = EngineMessage(db);
        sqlite3_close(db);
        throw SetupError(FormatMessage("Cannot open database %s: ", source) + reason);
    }
    if (progressHook_)
        sqlite3_progress_handler(db, kProgressSteps, CallProgressHook, &progressHook_);
    db_ = db;
}

void DbConnection::Close() {
    if (!db_) return;
    // As the engine's connection does, closing it closes its queries: their statements
    // would otherwise hold the file open.
    for (DbQuery* query : queries_) query->Close();
    if (sqlite3_close(db_) != SQLITE_OK) ThrowEngineError(db_, "Cannot close the database");
    db_ = nullptr;
}

// ---- DbQuery ----

namespace {

// Stored bytes left on disk, read by rowid when they are used.
struct LongBinary {};  // a blob
struct LongText {};    // a text, when its bytes go to a file as stored
using Value = std::variant<std::monostate, std::int64_t, double, std::string, LongBinary, LongText>;

enum class Mode { Browse, Edit, Insert };

}  // namespace

struct DbQuery::State {
    std::string sql;  // code page 936, as set
    bool active = false;
    std::string table;                 // UTF-8
    std::vector<std::string> columns;  // UTF-8
    // "SELECT rowid FROM table tail": the rows in the query's order, one step at a time.
    std::unique_ptr<Statement> cursor;
    bool onRow = false;  // false only for an empty result
    sqlite3_int64 rowid = 0;
    bool eof = true;
    int recordCount = 0;
    Mode mode = Mode::Browse;
    // The values set on the row being edited or appended; the others stay in the file.
    std::vector<std::optional<Value>> pending;

    // Moves the cursor one row on; at the end it marks the end and keeps the last row current.
    void Step(sqlite3* db);
    // The value a field of the current row shows: one set on the row being edited or
    // appended, else the stored one (an appended row has none stored).
    Value CurrentValue(sqlite3* db, int column, bool leaveText) const;
};

DbQuery::DbQuery(DbConnection& connection)
    : connection_(connection), state_(std::make_unique<State>()) {
    connection_.queries_.push_back(this);
}

DbQuery::~DbQuery() { std::erase(connection_.queries_, this); }

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

// Only the rowids go through the query's ordering, so a sort holds no value of any column
// but the ones it orders by.
std::string RowidsQuery(const SelectAll& select) {
    return "SELECT rowid FROM " + QuoteName(select.table) + select.tail;
}

int CountRows(sqlite3* db, const SelectAll& select, std::string_view what) {
    Statement count(db, "SELECT count(*) FROM (" + RowidsQuery(select) + ")", what);
    if (sqlite3_step(count.handle) != SQLITE_ROW) ThrowEngineError(db, what);
    return sqlite3_column_int(count.handle, 0);
}

// One column of one row. typeof() does not read a value's bytes, so a long binary value (and,
// with leaveText, a text) is never loaded here; it is read by rowid when it is used.
Value FetchValue(sqlite3* db, const std::string& table, const std::string& column,
                 sqlite3_int64 rowid, bool leaveText) {
    const std::string name = QuoteName(column);
    Statement stmt(db,
                   "SELECT typeof(" + name + "), CASE WHEN typeof(" + name +
                       ") = 'blob' OR (?2 AND typeof(" + name + ") = 'text') THEN NULL ELSE " +
                       name + " END FROM " + QuoteName(table) + " WHERE rowid = ?1",
                   "Cannot read field " + cp936::FromUtf8(column));
    sqlite3_bind_int64(stmt.handle, 1, rowid);
    sqlite3_bind_int(stmt.handle, 2, leaveText ? 1 : 0);
    const int rc = sqlite3_step(stmt.handle);
    if (rc == SQLITE_DONE) return std::monostate{};  // the row is gone
    if (rc != SQLITE_ROW) ThrowEngineError(db, "Cannot read field " + cp936::FromUtf8(column));
    const std::string_view type =
        reinterpret_cast<const char*>(sqlite3_column_text(stmt.handle, 0));
    if (type == "integer") return std::int64_t{sqlite3_column_int64(stmt.handle, 1)};
    if (type == "real") return sqlite3_column_double(stmt.handle, 1);
    if (type == "text" && leaveText) return LongText{};
    if (type == "text") {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt.handle, 1));
        return std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(stmt.handle, 1)));
    }
    if (type == "blob") return LongBinary{};
    return std::monostate{};
}

}  // namespace

void DbQuery::State::Step(sqlite3* db) {
    const int rc = sqlite3_step(cursor->handle);
    if (rc == SQLITE_ROW) {
        rowid = sqlite3_column_int64(cursor->handle, 0);
        onRow = true;
        eof = false;
    } else if (rc == SQLITE_DONE) {
        eof = true;
    } else {
        ThrowEngineError(db, sql);
    }
}

Value DbQuery::State::CurrentValue(sqlite3* db, int column, bool leaveText) const {
    const auto index = static_cast<std::size_t>(column);
    if (mode != Mode::Browse && pending[index]) return *pending[index];
    if (mode == Mode::Insert || !onRow) return std::monostate{};
    return FetchValue(db, table, columns[index], rowid, leaveText);
}

void DbQuery::Open() {
    State& s = *state_;
    if (s.active) return;
    sqlite3* db = connection_.Handle();
    if (!db) throw SetupError("The query cannot open: the connection is closed");
    const std::string utf8Sql = cp936::ToUtf8(s.sql);
    const SelectAll select = ParseSelectAll(utf8Sql);
    std::vector<std::string> columns = ColumnsOf(db, select.table, s.sql);
    const int count = CountRows(db, select, s.sql);
    auto cursor = std::make_unique<Statement>(db, RowidsQuery(select), s.sql);

    s.table = select.table;
    s.columns = std::move(columns);
    s.recordCount = count;
    s.cursor = std::move(cursor);
    s.onRow = false;
    s.eof = true;
    s.mode = Mode::Browse;
    s.active = true;
    try {
        s.Step(db);
    } catch (...) {
        Close();
        throw;
    }
}

void DbQuery::Close() {
    State& s = *state_;
    s.active = false;
    s.cursor.reset();
    s.columns.clear();
    s.pending.clear();
    s.mode = Mode::Browse;
    s.onRow = false;
    s.eof = true;
    s.recordCount = 0;
}

bool DbQuery::Active() const { return state_->active; }

int DbQuery::RecordCount() const { return state_->recordCount; }

void DbQuery::Next() {
    State& s = *state_;
    if (!s.active) throw SetupError("Next: the query is not open");
    // Stepping a finished statement would start it again from the first row.
    if (!s.eof) s.Step(connection_.Handle());
}

bool DbQuery::Eof() const { return state_->eof; }

std::optional<DbField> DbQuery::FindField(std::string_view name) {
    const State& s = *state_;
    const std::string utf8Name = cp936::ToUtf8(name);
    for (std::size_t i = 0; i < s.columns.size(); ++i) {
        if (EqualsIgnoringCase(s.columns[i], utf8Name)) return DbField(*this, static_cast<int>(i));
    }
    return std::nullopt;
}

DbField DbQuery::FieldByName(std::string_view name) {
    if (auto field = FindField(name)) return *field;
    throw SetupError(FormatMessage("Field '%s' not found", name));
}

void DbQuery::Edit() {
    State& s = *state_;
    if (!s.active || !s.onRow) throw SetupError("Edit: there is no current record");
    s.pending.assign(s.columns.size(), std::nullopt);
    s.mode = Mode::Edit;
}

void DbQuery::Append() {
    State& s = *state_;
    if (!s.active) throw SetupError("Append: the query is not open");
    s.pending.assign(s.columns.size(), std::nullopt);
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
    sqlite3* db = connection_.Handle();
    if (!db) throw SetupError("Post: the connection is closed");
    if (s.mode == Mode::Browse) throw SetupError("Post: the record is not being edited");

    std::vector<std::size_t> changed;
    for (std::size_t i = 0; i < s.pending.size(); ++i) {
        if (s.pending[i]) changed.push_back(i);
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
    for (const auto i : changed) Bind(db, stmt.handle, index++, *s.pending[i]);
    if (s.mode == Mode::Edit) sqlite3_bind_int64(stmt.handle, index, s.rowid);
    if (sqlite3_step(stmt.handle) != SQLITE_DONE) ThrowEngineError(db, "Cannot post the record");

    if (s.mode == Mode::Insert) {
        // The posted row becomes the current one, as the engine's dataset shows it.
        s.rowid = sqlite3_last_insert_rowid(db);
        s.onRow = true;
        s.eof = false;
        ++s.recordCount;
    }
    s.pending.clear();
    s.mode = Mode::Browse;
}

// ---- DbField ----

namespace {

// A blob's or text's stored bytes by rowid, chunk by chunk, without loading it whole.
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

// A value goes to its file in the chunks of a file copy, with the hook as often.
constexpr int kChunkSize = static_cast<int>(win::kCopyChunk);

}  // namespace

namespace {

std::string NumberText(const Value& value) {
    if (const auto* integer = std::get_if<std::int64_t>(&value)) return std::to_string(*integer);
    if (const auto* real = std::get_if<double>(&value)) {
        // to_chars, not printf: Qt sets the user's locale, whose decimal mark may be ",".
        char buffer[32];
        const auto end = std::to_chars(buffer, buffer + sizeof buffer, *real).ptr;
        return std::string(buffer, end);
    }
    return {};
}

}  // namespace

std::string DbField::AsString() const {
    const DbQuery::State& s = *query_->state_;
    sqlite3* db = query_->connection_.Handle();
    const Value value = s.CurrentValue(db, column_, false);
    if (const auto* text = std::get_if<std::string>(&value)) return cp936::FromUtf8(*text);
    if (std::holds_alternative<LongBinary>(value)) {
        BlobReader blob(db, s.table, s.columns[static_cast<std::size_t>(column_)], s.rowid);
        std::string bytes(static_cast<std::size_t>(blob.Size()), '\0');
        blob.Read(bytes.data(), blob.Size(), 0);
        return bytes;
    }
    return NumberText(value);
}

void DbField::SetAsString(std::string_view value) {
    DbQuery::State& s = *query_->state_;
    if (s.mode == Mode::Browse) throw SetupError("The record is not being edited");
    s.pending[static_cast<std::size_t>(column_)] = cp936::ToUtf8(value);
}

void DbField::SetAsInteger(std::int64_t value) {
    DbQuery::State& s = *query_->state_;
    if (s.mode == Mode::Browse) throw SetupError("The record is not being edited");
    s.pending[static_cast<std::size_t>(column_)] = value;
}

namespace {

// Where a stored value lies.
struct StoredAt {
    const std::string& table;
    const std::string& column;
    sqlite3_int64 rowid;
};

// The bytes of a value, chunk by chunk as stored, to consume(data, length), with hook
// between chunks: a blob or text by rowid, a number as its text, a null as nothing.
void StreamValue(sqlite3* db, const Value& value, const StoredAt& at, const ChunkHook& hook,
                 const std::function<void(const char*, std::size_t)>& consume) {
    if (std::holds_alternative<LongBinary>(value) || std::holds_alternative<LongText>(value)) {
        BlobReader blob(db, at.table, at.column, at.rowid);
        std::vector<char> chunk(kChunkSize);
        const int size = blob.Size();
        for (int offset = 0; offset < size; offset += kChunkSize) {
            if (offset > 0 && hook) hook();
            const int length = std::min(kChunkSize, size - offset);
            blob.Read(chunk.data(), length, offset);
            consume(chunk.data(), static_cast<std::size_t>(length));
        }
    } else if (const auto* text = std::get_if<std::string>(&value)) {
        consume(text->data(), text->size());  // the bytes set, unconverted
    } else {
        const std::string number = NumberText(value);
        consume(number.data(), number.size());
    }
}

}  // namespace

void DbField::StreamStored(const ChunkHook& hook,
                           const std::function<void(const char*, std::size_t)>& consume) const {
    const DbQuery::State& s = *query_->state_;
    sqlite3* db = query_->connection_.Handle();
    const Value value = s.CurrentValue(db, column_, true);
    StreamValue(db, value, {s.table, s.columns[static_cast<std::size_t>(column_)], s.rowid}, hook,
                consume);
}

win::PendingFile DbField::SaveToPendingFile(const std::string& path, const ChunkHook& hook,
                                            const std::optional<DigestCheck>& check) const {
    win::PendingFile file(path);
    std::optional<RecordDigest> digest;
    if (check) digest.emplace(check->kind);
    StreamStored(hook, [&](const char* data, std::size_t length) {
        if (digest) digest->Update(data, length);
        file.Write(data, length);
    });
    if (check) check->verify(digest->HexDigest());
    file.Complete();
    return file;
}

void DbField::SaveToFile(const std::string& path, const ChunkHook& hook,
                         const std::optional<DigestCheck>& check) const {
    SaveToPendingFile(path, hook, check).Place(hook);
}

std::string DbField::Digest(DigestKind kind, const ChunkHook& hook) const {
    RecordDigest digest(kind);
    StreamStored(hook, [&](const char* data, std::size_t length) { digest.Update(data, length); });
    return digest.HexDigest();
}

// ---- Database files as an installation finds them ----

namespace {

const char* const kSideFileSuffixes[] = {"-journal", "-wal", "-shm"};

std::filesystem::path SideFile(const std::filesystem::path& database, const char* suffix) {
    std::filesystem::path side = database;
    side += suffix;
    return side;
}

bool HasJournal(const std::filesystem::path& database) {
    std::error_code ignored;
    return std::filesystem::exists(SideFile(database, "-journal"), ignored) ||
           std::filesystem::exists(SideFile(database, "-wal"), ignored);
}

// An empty file beside a write-ahead log is a database whose pages are all still in the log.
bool MayBeDatabase(const std::filesystem::path& file) {
    std::error_code error;
    return KindOfFile(file) == FileKind::SQLite ||
           (std::filesystem::file_size(file, error) == 0 && !error);
}

// A file: URI that opens the host path as it stands: no locks, no journal, no side files.
std::string ImmutableUri(const std::filesystem::path& file) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string uri = "file:";
    for (const char c : file.string()) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) || c == '/' || c == '.' || c == '_' || c == '-') {
            uri += c;
        } else {
            uri += '%';
            uri += kDigits[byte >> 4];
            uri += kDigits[byte & 0x0F];
        }
    }
    return uri + "?immutable=1";
}

}  // namespace

void SettleDatabase(const std::string& path) {
    const std::filesystem::path file = win::HostPath(path);
    if (!HasJournal(file) || !MayBeDatabase(file)) return;
    sqlite3* db = nullptr;
    // The first read rolls a hot journal back; the check-point and the close of the last
    // connection write a log back into the file and remove it.
    int rc = sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    if (rc == SQLITE_OK) {
        rc = sqlite3_exec(db, "SELECT count(*) FROM sqlite_master; PRAGMA wal_checkpoint(TRUNCATE)",
                          nullptr, nullptr, nullptr);
    }
    const std::string reason = rc == SQLITE_OK ? "" : EngineMessage(db);
    if (sqlite3_close(db) != SQLITE_OK && rc == SQLITE_OK) rc = SQLITE_ERROR;
    if (rc != SQLITE_OK) {
        throw SetupError(
            FormatMessage("Cannot bring the database %s to its last committed state: ", path) +
            (reason.empty() ? "it cannot be closed" : reason));
    }
}

bool DatabaseHasTable(const std::string& path, std::string_view table) {
    const std::filesystem::path file = win::HostPath(path);
    if (KindOfFile(file) != FileKind::SQLite) return false;
    sqlite3* db = nullptr;
    bool found = false;
    if (sqlite3_open_v2(ImmutableUri(file).c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI,
                        nullptr) == SQLITE_OK) {
        sqlite3_stmt* stmt = nullptr;
        const std::string name = cp936::ToUtf8(table);
        if (sqlite3_prepare_v2(db,
                               "SELECT 1 FROM sqlite_master WHERE type = 'table' AND "
                               "name = ?1 COLLATE NOCASE",
                               -1, &stmt, nullptr) == SQLITE_OK) {
            sqlite3_bind_text(stmt, 1, name.data(), static_cast<int>(name.size()),
                              SQLITE_TRANSIENT);
            found = sqlite3_step(stmt) == SQLITE_ROW;
        }
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    return found;
}

void RemoveDatabaseSideFiles(const std::string& path) {
    const std::filesystem::path file = win::HostPath(path);
    for (const char* suffix : kSideFileSuffixes) {
        // ENOTDIR: the folder is a file, so no side file can be there either.
        if (::unlink(SideFile(file, suffix).c_str()) != 0 && errno != ENOENT && errno != ENOTDIR) {
            throw SetupError(FormatMessage("Cannot remove %s: ", path + suffix) +
                             win::ErrnoText(errno));
        }
    }
}
