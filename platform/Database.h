#pragma once
// The database engine the installer talks to: one connection and one query object on it,
// with the meanings of an ADO connection and query on a Jet file, on SQLite files.
//
// The connection takes the installer's connection string and opens its "Data Source".
// Texts go in and out as code page 936; SQLite stores them as UTF-8. Every failure of the
// engine raises SetupError with a message.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ChunkHook.h"
#include "platform/PendingFile.h"
#include "platform/RecordDigest.h"

struct sqlite3;
class DbQuery;

class DbConnection {
public:
    DbConnection();
    ~DbConnection();
    DbConnection(const DbConnection&) = delete;
    DbConnection& operator=(const DbConnection&) = delete;

    // "Provider=...;Data Source=C:\...\MachineData.qdb;Persist Security Info=False;..."; a
    // value in double quotes may hold ";".
    void SetConnectionString(std::string connectionString);
    const std::string& ConnectionString() const { return connectionString_; }
    // Connecting never asks for a name or password: the setting is kept and changes nothing.
    void SetLoginPrompt(bool prompt) { loginPrompt_ = prompt; }
    // ADO's read mode: the file is opened for reading only and never written.
    void SetReadOnly(bool readOnly) { readOnly_ = readOnly; }
    // Called every so often while a statement runs long (counting or sorting many rows), so
    // that the caller can keep its window answering; set before Open. It must not throw: an
    // error it raises stops the statement, which then fails as interrupted.
    void SetProgressHook(ChunkHook hook) { progressHook_ = std::move(hook); }

    // Opens the file the Data Source names. A file that is not an SQLite database (a Jet
    // file, say) is refused with an error naming it.
    void Open();
    // Closes the queries on the connection, then closes and releases the file, so that it
    // can be deleted or replaced.
    void Close();
    bool Connected() const { return db_ != nullptr; }

private:
    friend class DbQuery;
    friend class DbField;
    sqlite3* Handle() const { return db_; }
    std::vector<DbQuery*> queries_;  // bound to this connection, open or not
    std::string connectionString_;
    bool loginPrompt_ = true;
    bool readOnly_ = false;
    ChunkHook progressHook_;
    sqlite3* db_ = nullptr;
};

class DbField;

class DbQuery {
public:
    // Bound to connection, which it must not outlive.
    explicit DbQuery(DbConnection& connection);
    ~DbQuery();
    DbQuery(const DbQuery&) = delete;
    DbQuery& operator=(const DbQuery&) = delete;

    // The SQL text is set while the query is closed.
    void SetSQL(std::string sql);
    // Runs the text; the first row is current. Rows are fetched one at a time as the cursor
    // reaches them, and a row's values only when a field is read, so memory does not grow
    // with rows or columns that are never used. The connection cannot close while the
    // query is open.
    void Open();
    // Ends the query; a row begun by Edit or Append and not posted is dropped.
    void Close();
    bool Active() const;

    // Rows the open query holds, counted by the engine when it opened, plus the rows posted
    // by Append since; a row begun by Append and not yet posted is not counted.
    int RecordCount() const;
    // On the last row Next marks the end of the data and leaves the last row current.
    void Next();
    bool Eof() const;

    // The column of that name in the current row; "Field '%s' not found" otherwise.
    DbField FieldByName(std::string_view name);
    // The column of that name, or nothing when the query has none.
    std::optional<DbField> FindField(std::string_view name);

    void Edit();
    void Append();
    // Stores the row begun by Edit (an update) or Append (an insert).
    void Post();

private:
    friend class DbField;
    struct State;
    DbConnection& connection_;
    std::unique_ptr<State> state_;
};

// Checks the bytes a value put in its file before the file may take its name: verify is
// called with their digest of the kind asked for; an error it raises leaves no file.
struct DigestCheck {
    DigestKind kind;
    std::function<void(const std::string& hexDigest)> verify;
};

// A column of the current row of a query; valid while the query stays on that row.
class DbField {
public:
    std::string AsString() const;
    void SetAsString(std::string_view value);
    void SetAsInteger(std::int64_t value);

    // Writes a long binary value to a file (a Windows path): the value goes to a hidden file
    // beside it in chunks, calling hook between them, and is checked when check is given; a
    // null or empty value gives a zero-length file. The file then takes its name, replacing
    // the one there, once its bytes are on the disk. "Cannot create file %s" when the file
    // cannot be created; an error naming the file when a write fails. On any failure the
    // destination is left as it was.
    void SaveToFile(const std::string& path, const ChunkHook& hook = {},
                    const std::optional<DigestCheck>& check = std::nullopt) const;
    // The same, but the file, complete and checked, waits under its hidden name, its write-back
    // started, until the caller places it.
    win::PendingFile SaveToPendingFile(
        const std::string& path, const ChunkHook& hook = {},
        const std::optional<DigestCheck>& check = std::nullopt) const;
    // The digest of the bytes SaveToFile would write, read in chunks, calling hook between them.
    std::string Digest(DigestKind kind, const ChunkHook& hook = {}) const;

private:
    friend class DbQuery;
    DbField(DbQuery& query, int column) : query_(&query), column_(column) {}
    // The value's bytes as stored, chunk by chunk, to consume, calling hook between chunks.
    void StreamStored(const ChunkHook& hook,
                      const std::function<void(const char*, std::size_t)>& consume) const;
    DbQuery* query_;
    int column_;
};

// ---- Database files as an installation finds them ----
// Paths are Windows paths in code page 936.

// Brings a database file to its last committed state through the engine when it has a
// journal beside it: a hot journal (a transaction cut short) is rolled back, a write-ahead
// log is written back into the file. The file alone then holds the data and can be copied.
// A file that is not an SQLite database, or has no journal, is left as it is.
void SettleDatabase(const std::string& path);

// True when the file is an SQLite database holding a table of that name (case ignored).
// The file is read as it stands, without locks or side files.
bool DatabaseHasTable(const std::string& path, std::string_view table);

// Removes the engine's side files of a database path ("-journal", "-wal", "-shm"), which a
// database that next takes the path would otherwise read as its own.
void RemoveDatabaseSideFiles(const std::string& path);
