#pragma once
// The database engine the installer talks to: one connection and one query object on it,
// with the meanings of the original ADO/Jet pair, on SQLite files.
//
// The connection takes the installer's connection string and opens its "Data Source".
// Texts go in and out as code page 936; SQLite stores them as UTF-8. Every failure of the
// engine raises SetupError with a message.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/ChunkHook.h"

struct sqlite3;
class DbQuery;

class DbConnection {
public:
    DbConnection();
    ~DbConnection();
    DbConnection(const DbConnection&) = delete;
    DbConnection& operator=(const DbConnection&) = delete;

    // "Provider=...;Data Source=C:\...\MachineData.qdb;Persist Security Info=False;..."
    void SetConnectionString(std::string connectionString);
    const std::string& ConnectionString() const { return connectionString_; }
    // Connecting never asks for a name or password; kept for the original's sequence.
    void SetLoginPrompt(bool prompt) { loginPrompt_ = prompt; }

    // Opens the file the Data Source names. A file that is not an SQLite database (a Jet
    // file, say) is refused with an error naming it.
    void Open();
    // Closes and releases the file, so that it can be deleted or replaced.
    void Close();
    bool Connected() const { return db_ != nullptr; }

    sqlite3* Handle() const { return db_; }

private:
    std::string connectionString_;
    bool loginPrompt_ = true;
    sqlite3* db_ = nullptr;
};

class DbField;

class DbQuery {
public:
    explicit DbQuery(DbConnection& connection);
    ~DbQuery();
    DbQuery(const DbQuery&) = delete;
    DbQuery& operator=(const DbQuery&) = delete;

    // The SQL text is set while the query is closed.
    void SetSQL(std::string sql);
    // Runs the text and fetches every row; the first row is current.
    void Open();
    // Ends the query; a row begun by Edit or Append and not posted is dropped.
    void Close();
    bool Active() const;

    // Rows the open query holds; a row begun by Append and not yet posted is not counted.
    int RecordCount() const;
    // On the last row Next marks the end of the data and leaves the last row current.
    void Next();
    bool Eof() const;

    // The column of that name in the current row; "Field '%s' not found" otherwise.
    DbField FieldByName(std::string_view name);

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

// A column of the current row of a query; valid while the query stays on that row.
class DbField {
public:
    std::string AsString() const;
    void SetAsString(std::string_view value);
    void SetAsInteger(std::int64_t value);

    // Writes a long binary value to a file (a Windows path): the file is created, emptied,
    // before the value is read; the value goes to disk in chunks, calling hook between them;
    // a null or empty value gives a zero-length file. "Cannot create file %s" when the file
    // cannot be created; an error naming the file when a write fails, and no short file
    // that looks complete is left.
    void SaveToFile(const std::string& path, const ChunkHook& hook = {}) const;

private:
    friend class DbQuery;
    DbField(DbQuery& query, int column) : query_(&query), column_(column) {}
    DbQuery* query_;
    int column_;
};
