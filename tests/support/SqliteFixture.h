#pragma once
// Small SQLite files for the tests, written with SQLite directly so that the code under test
// never builds its own fixtures.

#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/TestFiles.h"

namespace testing_support {

class SqliteFile {
public:
    explicit SqliteFile(const std::filesystem::path& file) {
        if (sqlite3_open(file.c_str(), &db_) != SQLITE_OK) Fail(file.string());
    }
    ~SqliteFile() { sqlite3_close(db_); }
    SqliteFile(const SqliteFile&) = delete;
    SqliteFile& operator=(const SqliteFile&) = delete;

    void Exec(const std::string& sql) {
        if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) Fail(sql);
    }
    // Runs one statement with the values bound in order: a std::nullopt binds NULL, text
    // binds as a blob when asBlob is set.
    void Run(const std::string& sql, const std::vector<std::optional<std::string>>& values,
             bool asBlob = false) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) Fail(sql);
        for (std::size_t i = 0; i < values.size(); ++i) {
            const int index = static_cast<int>(i) + 1;
            if (!values[i]) {
                sqlite3_bind_null(stmt, index);
            } else if (asBlob) {
                sqlite3_bind_blob(stmt, index, values[i]->data(),
                                  static_cast<int>(values[i]->size()), SQLITE_TRANSIENT);
            } else {
                sqlite3_bind_text(stmt, index, values[i]->data(),
                                  static_cast<int>(values[i]->size()), SQLITE_TRANSIENT);
            }
        }
        const int rc = sqlite3_step(stmt);
        sqlite3_finalize(stmt);
        if (rc != SQLITE_DONE) Fail(sql);
    }
    // The rows of a query, each column as text ("NULL" for a null).
    std::vector<std::vector<std::string>> Rows(const std::string& sql) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) Fail(sql);
        std::vector<std::vector<std::string>> rows;
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            std::vector<std::string> row;
            for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
                const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, i));
                row.push_back(text ? std::string(text, static_cast<std::size_t>(
                                                           sqlite3_column_bytes(stmt, i)))
                                   : "NULL");
            }
            rows.push_back(std::move(row));
        }
        sqlite3_finalize(stmt);
        return rows;
    }

private:
    void Fail(const std::string& what) {
        throw std::runtime_error(what + ": " + sqlite3_errmsg(db_));
    }
    sqlite3* db_ = nullptr;
};

// One INSTDB row: the UID, the file it carries (nullopt: a NULL FDB) and its digests.
struct PayloadRow {
    std::int64_t uid;
    std::optional<std::string> file;
    std::optional<std::string> sha256 = std::nullopt;
    std::optional<std::string> xxh128 = std::nullopt;
};

// A payload whose rows are stored in the order given, whatever their UIDs; UID is a plain
// column, so the physical order is the insertion order. It has a SHA256 column when a row
// gives that digest, an XXH128 column when a row gives that one.
inline void MakePayload(const std::filesystem::path& file, const std::vector<PayloadRow>& rows) {
    SqliteFile db(file);
    const auto any = [&](auto digest) {
        return std::any_of(rows.begin(), rows.end(),
                           [&](const PayloadRow& row) { return (row.*digest).has_value(); });
    };
    const bool sha256 = any(&PayloadRow::sha256);
    const bool xxh128 = any(&PayloadRow::xxh128);
    db.Exec(std::string("CREATE TABLE INSTDB (UID INTEGER, Note TEXT, FDB BLOB") +
            (sha256 ? ", SHA256 TEXT" : "") + (xxh128 ? ", XXH128 TEXT" : "") + ")");
    for (const auto& row : rows) {
        const std::string uid = std::to_string(row.uid);
        db.Run("INSERT INTO INSTDB (UID, Note, FDB) VALUES (" + uid + ", 'row', ?)", {row.file},
               true);
        if (row.sha256) db.Run("UPDATE INSTDB SET SHA256 = ? WHERE UID = " + uid, {row.sha256});
        if (row.xxh128) db.Run("UPDATE INSTDB SET XXH128 = ? WHERE UID = " + uid, {row.xxh128});
    }
}

// A system database with the tables the installer writes, made from the committed schema.
inline std::string CleanSystemDatabaseBytes(const std::filesystem::path& scratch) {
    const auto file = scratch / "clean-system.qdb";
    std::filesystem::remove(file);
    {
        std::ifstream schema(std::filesystem::path(std::getenv("KORVANE_SOURCE_DIR")) /
                             "resources/demo/SystemDatabase.sql");
        const std::string sql((std::istreambuf_iterator<char>(schema)), {});
        SqliteFile db(file);
        db.Exec(sql);
    }
    return test_files::Read(file);
}

}  // namespace testing_support
