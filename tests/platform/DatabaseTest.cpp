// The engine adapter: an ADO connection and query's meanings on SQLite files.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "platform/CodePage.h"
#include "platform/Database.h"
#include "platform/PathMapping.h"
#include "platform/PrefixSkeleton.h"
#include "platform/SetupError.h"
#include "support/ErrorText.h"
#include "support/ScratchDir.h"
#include "support/SqliteFixture.h"
#include "support/TestFiles.h"

namespace fs = std::filesystem;
using testing_support::ErrorOf;
using testing_support::ScopedPrefix;
using testing_support::SqliteFile;

using namespace cp936::literals;

namespace {

std::string ConnectionStringFor(const std::string& windowsPath) {
    return "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + windowsPath +
           ";Persist Security Info=False;Jet OLEDB:Database";
}

// While it lives, every connection that opens reads values of at most lengthLimit bytes and
// counts the rows its statements yield: the adapter keeps its engine handle to itself.
class ConnectionWatch {
public:
    explicit ConnectionWatch(int lengthLimit) : lengthLimit_(lengthLimit) {
        current_ = this;
        sqlite3_auto_extension(reinterpret_cast<void (*)()>(&Attach));
    }
    ~ConnectionWatch() {
        sqlite3_cancel_auto_extension(reinterpret_cast<void (*)()>(&Attach));
        current_ = nullptr;
    }
    ConnectionWatch(const ConnectionWatch&) = delete;
    ConnectionWatch& operator=(const ConnectionWatch&) = delete;

    int rowsYielded = 0;

private:
    static int Attach(sqlite3* db, char**, const sqlite3_api_routines*) {
        sqlite3_limit(db, SQLITE_LIMIT_LENGTH, current_->lengthLimit_);
        sqlite3_trace_v2(db, SQLITE_TRACE_ROW, &CountRow, &current_->rowsYielded);
        return SQLITE_OK;
    }
    static int CountRow(unsigned, void* count, void*, void*) {
        ++*static_cast<int*>(count);
        return 0;
    }

    static inline ConnectionWatch* current_ = nullptr;
    int lengthLimit_;
};

class Engine : public ::testing::Test {
public:  // the cases of a table reach in
    void SetUp() override {
        win::EnsurePrefix();
        fs::create_directories(prefix.prefix() / "drive_c" / "db");
        file = win::HostPath(path);
        SqliteFile db(file);
        db.Exec(
            "CREATE TABLE T (ID INTEGER, Name TEXT, Extra TEXT, Data BLOB);"
            "INSERT INTO T VALUES (1, 'one', 'x', x'0102'), (2, 'two', 'y', NULL),"
            "                     (3, 'three', 'z', x'');"
            "CREATE TABLE Empty (ID INTEGER, Name TEXT);");
    }
    void Connect() {
        connection.SetConnectionString(ConnectionStringFor(path));
        connection.SetLoginPrompt(false);
        connection.Open();
    }
    void OpenQuery(const std::string& sql) {
        query.SetSQL(sql);
        query.Open();
    }

    ScopedPrefix prefix;
    std::string path = "C:\\db\\test.qdb";
    fs::path file;
    DbConnection connection;
    DbQuery query{connection};
};

TEST_F(Engine, CursorStartsOnTheFirstRowAndStaysOnTheLastAtTheEnd) {
    Connect();
    OpenQuery("SELECT * FROM T ORDER BY ID");
    EXPECT_EQ(query.RecordCount(), 3);
    EXPECT_FALSE(query.Eof());
    EXPECT_EQ(query.FieldByName("Name").AsString(), "one");
    query.Next();
    query.Next();
    EXPECT_FALSE(query.Eof());
    EXPECT_EQ(query.FieldByName("Name").AsString(), "three");
    query.Next();
    EXPECT_TRUE(query.Eof());
    EXPECT_EQ(query.FieldByName("Name").AsString(), "three");
    query.Close();

    OpenQuery("SELECT * FROM Empty");
    EXPECT_EQ(query.RecordCount(), 0);
    EXPECT_TRUE(query.Eof());
    EXPECT_EQ(query.FieldByName("Name").AsString(), "");
}

TEST_F(Engine, NothingIsStoredBeforePostAndAnAppendIsNotCountedUntilThen) {
    Connect();
    OpenQuery("SELECT * FROM T");
    query.Append();
    EXPECT_EQ(query.RecordCount(), 3);
    query.FieldByName("ID").SetAsInteger(4);
    query.FieldByName("Name").SetAsString("four");
    EXPECT_EQ(SqliteFile(file).Rows("SELECT count(*) FROM T")[0][0], "3");
    query.Post();
    EXPECT_EQ(query.RecordCount(), 4);
    EXPECT_EQ(SqliteFile(file).Rows("SELECT Name FROM T WHERE ID = 4")[0][0], "four");

    query.Append();
    query.FieldByName("Name").SetAsString("dropped");
    query.Close();
    // An edit left unposted is dropped as well.
    OpenQuery("SELECT * FROM T ORDER BY ID");
    query.Edit();
    query.FieldByName("Name").SetAsString("dropped");
    query.Close();
    EXPECT_EQ(SqliteFile(file).Rows("SELECT group_concat(Name) FROM T")[0][0],
              "one,two,three,four");
}

TEST_F(Engine, EditChangesTheCurrentRowOnlyInTheColumnsSet) {
    Connect();
    OpenQuery("SELECT * FROM T ORDER BY ID");
    query.Next();
    query.Edit();
    query.FieldByName("name").SetAsString("TWO");  // names match whatever their case
    query.Post();
    EXPECT_EQ(query.RecordCount(), 3);
    EXPECT_EQ(query.FieldByName("Name").AsString(), "TWO");
    const auto rows = SqliteFile(file).Rows("SELECT ID, Name, Extra FROM T ORDER BY ID");
    const std::vector<std::vector<std::string>> expected = {
        {"1", "one", "x"}, {"2", "TWO", "y"}, {"3", "three", "z"}};
    EXPECT_EQ(rows, expected);
}

TEST_F(Engine, TextsGoInAsCodePage936AndAreStoredAsUtf8) {
    const std::string gbk = "誠信'; DROP TABLE T; --\\"_gbk;
    Connect();
    OpenQuery("SELECT * FROM T");
    query.Edit();
    query.FieldByName("Name").SetAsString(gbk);
    query.Post();
    query.Close();
    EXPECT_EQ(SqliteFile(file).Rows("SELECT Name FROM T WHERE ID = 1")[0][0],
              "誠信'; DROP TABLE T; --\\");
    OpenQuery("SELECT * FROM T");
    EXPECT_EQ(query.FieldByName("Name").AsString(), gbk);
}

struct ErrorCase {
    const char* what;
    std::function<void(Engine&)> action;
    std::vector<std::string> message;  // every piece must appear
};

// Connecting to a 2 KiB file with an Access header in place of the database.
std::function<void(Engine&)> AccessFile(std::string signature) {
    return [signature](Engine& e) {
        std::string header(2048, '\0');
        header.replace(4, signature.size(), signature);
        test_files::Write(e.file, header);
        e.Connect();
    };
}

TEST_F(Engine, FailuresAreErrorsThatSayWhatAndWhere) {
    const ErrorCase cases[] = {
        {"unknown field",
         [](Engine& e) {
             e.Connect();
             e.OpenQuery("SELECT * FROM T");
             e.query.FieldByName("Nope");
         },
         {"Field 'Nope' not found"}},
        {"missing table",
         [](Engine& e) {
             e.Connect();
             e.OpenQuery("SELECT * FROM INSTDB ORDER BY UID");
         },
         {"SELECT * FROM INSTDB ORDER BY UID: no such table: INSTDB"}},
        {"missing file",
         [](Engine& e) {
             e.connection.SetConnectionString(ConnectionStringFor("C:\\db\\none.qdb"));
             e.connection.Open();
         },
         {"C:\\db\\none.qdb"}},
        {"Jet file", AccessFile("Standard Jet DB"), {"Jet", "C:\\db\\test.qdb"}},
        {"ACE file", AccessFile("Standard ACE DB"), {"Jet", "C:\\db\\test.qdb"}},
        {"other file",
         [](Engine& e) {
             test_files::Write(e.file, std::string(2048, 'x'));
             e.Connect();
         },
         {"not an SQLite database", "C:\\db\\test.qdb"}},
        {"setting a field while browsing",
         [](Engine& e) {
             e.Connect();
             e.OpenQuery("SELECT * FROM T");
             e.query.FieldByName("Name").SetAsString("x");
         },
         {"not being edited"}},
        {"posting through a read-only connection",
         [](Engine& e) {
             e.connection.SetReadOnly(true);
             e.Connect();
             e.OpenQuery("SELECT * FROM T");
             e.query.Append();
             e.query.FieldByName("ID").SetAsInteger(4);
             e.query.Post();
         },
         {"Cannot post the record", "readonly"}},
        {"posting into a closed connection",
         [](Engine& e) {
             e.Connect();
             e.OpenQuery("SELECT * FROM T");
             e.query.Append();
             e.connection.Close();
             e.query.Post();
         },
         {"closed"}},
    };
    for (const auto& c : cases) {
        Engine& self = *this;
        const std::string message = ErrorOf([&] { c.action(self); });
        for (const auto& piece : c.message) {
            EXPECT_NE(message.find(piece), std::string::npos) << c.what << ": " << message;
        }
        query.Close();
        connection.Close();
        connection.SetReadOnly(false);
        fs::remove(file);
        SetUp();
    }
}

TEST_F(Engine, ConnectingAgainOpensWhateverFileThenHasThePath) {
    Connect();
    OpenQuery("SELECT * FROM T");
    EXPECT_EQ(query.RecordCount(), 3);
    connection.Close();  // closes its queries too
    EXPECT_FALSE(query.Active());

    fs::remove(file);  // the file is released: it can go, and another take its place
    SqliteFile(file).Exec(
        "CREATE TABLE T (ID INTEGER, Name TEXT); INSERT INTO T VALUES (9, 'nine');");
    connection.Open();
    OpenQuery("SELECT * FROM T");
    EXPECT_EQ(query.RecordCount(), 1);
    EXPECT_EQ(query.FieldByName("Name").AsString(), "nine");
}

// Memory must not grow with rows past the ones the cursor reaches, nor with values of columns
// never read: the rows are stepped through by the engine, and a value is read when its field
// is. Here the connection cannot even hold the one long value, and the rows it yields are
// counted. Sorting the many rows takes a while: the progress hook runs meanwhile.
TEST_F(Engine, RowsAndValuesAreReadOnlyWhenTheCursorAndTheFieldsReachThem) {
    constexpr int kRows = 200000;
    SqliteFile(file).Exec(
        "CREATE TABLE Big (ID INTEGER, Data BLOB, Unused TEXT);"
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
        std::to_string(kRows) + ") INSERT INTO Big (ID, Data) SELECT " + std::to_string(kRows) +
        " + 1 - i, x'0102' FROM n;"
        "UPDATE Big SET Unused = hex(zeroblob(1000000)) WHERE ID = 7;");
    int pumped = 0;
    connection.SetProgressHook([&] { ++pumped; });
    const ConnectionWatch watch(1000000);
    Connect();
    const int& yielded = watch.rowsYielded;

    OpenQuery("SELECT * FROM Big ORDER BY ID");
    EXPECT_EQ(query.RecordCount(), kRows);
    EXPECT_GT(pumped, 0) << "the caller's window would not answer while the rows are sorted";
    for (int id = 1; id <= 8; ++id, query.Next()) {
        EXPECT_EQ(query.FieldByName("ID").AsString(), std::to_string(id));
        query.FieldByName("Data").SaveToFile("C:\\db\\out.bin");
        EXPECT_EQ(test_files::Read(prefix.prefix() / "drive_c" / "db" / "out.bin"), "\x01\x02");
    }
    EXPECT_LT(yielded, 100);
    // The long value is there: reading it is what the connection cannot do.
    query.Close();
    OpenQuery("SELECT * FROM Big WHERE ID = 7");
    EXPECT_NE(ErrorOf([&] { query.FieldByName("Unused").AsString(); }).find("too big"),
              std::string::npos);
}

TEST_F(Engine, SaveToFileWritesTheValueExactlyAndEmptiesTheFileFirst) {
    // A value stored as text, with a character code page 936 does not have: written as stored.
    SqliteFile(file).Exec("INSERT INTO T VALUES (4, 'four', 'w', 'a\xF0\x9F\x98\x80');");
    Connect();
    OpenQuery("SELECT * FROM T ORDER BY ID");
    const auto out = prefix.prefix() / "drive_c" / "db" / "out.bin";
    const struct {
        const char* what;
        std::string expected;
    } rows[] = {{"a blob", std::string("\x01\x02", 2)},
                {"NULL", ""},
                {"an empty blob", ""},
                {"text", "a\xF0\x9F\x98\x80"}};
    for (const auto& row : rows) {
        test_files::Write(out, std::string(5000, 'o'));  // longer than any value: must not survive
        query.FieldByName("Data").SaveToFile("C:\\db\\out.bin");
        EXPECT_EQ(test_files::Read(out), row.expected) << row.what;
        query.Next();
    }
    EXPECT_EQ(ErrorOf([&] { query.FieldByName("Data").SaveToFile("C:\\db\\missing\\out.bin"); }),
              "Cannot create file C:\\db\\missing\\out.bin");
}

TEST_F(Engine, SaveToFileCallsTheHookBetweenChunks) {
    const std::string big(3 * 1024 * 1024 + 5, 'b');
    SqliteFile(file).Run("UPDATE T SET Data = ? WHERE ID = 1", {big}, true);
    Connect();
    OpenQuery("SELECT * FROM T ORDER BY ID");
    int calls = 0;
    query.FieldByName("Data").SaveToFile("C:\\db\\big.bin", [&] { ++calls; });
    EXPECT_EQ(test_files::Read(prefix.prefix() / "drive_c" / "db" / "big.bin"), big);
    // Four chunks of at most 1 MiB: the hook runs between them, three times, and once more
    // while the file's bytes go to the disk.
    EXPECT_EQ(calls, 4);
}

}  // namespace
