#include "install/PayloadExtraction.h"

#include "install/InstallPaths.h"
#include "install/SystemParams.h"
#include "platform/Database.h"
#include "platform/SetupError.h"
#include "platform/Sha256.h"
#include "platform/WinFiles.h"
#include "platform/WinTime.h"

namespace {

// The payload carries the program, the system database, the manual, the read-me, the
// runtime library and the demonstration database, in UID order.
constexpr int kPayloadFiles = 6;
constexpr char kPayloadQuery[] = "SELECT * FROM INSTDB ORDER BY UID";
// The SHA-256 of a record's file, as 64 hexadecimal digits; a payload may lack the column.
constexpr char kChecksumColumn[] = "SHA256";

std::string ConnectionString(const std::string& dataSource) {
    return std::string("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + dataSource + ";" +
           "Persist Security Info=False" + ";Jet OLEDB:Database";
}

bool PathExists(const std::string& path) {
    return win::GetFileAttributesA(path) != win::INVALID_FILE_ATTRIBUTES;
}

// "\Data\MachineData.20261210.old", or with "-2", "-3", ... when that name is taken.
std::string FreeDatedName(const std::string& installDir) {
    const std::string stem =
        installDir + "\\Data\\MachineData." + FormatCompactDate(win::GetLocalTime());
    std::string name = stem + ".old";
    for (int n = 2; PathExists(name); ++n) name = stem + "-" + std::to_string(n) + ".old";
    return name;
}

// "MachineData.qdb" of "\Data\MachineData.qdb" (the fixed names are ASCII).
std::string_view NameOf(std::string_view suffix) { return suffix.substr(suffix.rfind('\\') + 1); }

// The hidden temporaries a copy or delete of a run cut short left in "\Data": each may be
// as large as the payload.
void RemoveLeftDataTemporaries(const std::string& installDir) {
    win::RemoveLeftTemporaries(installDir + paths::kDataFolder, [](const std::string& name) {
        return name == NameOf(paths::kSystemDatabase) ||
               name == NameOf(paths::kEarlierSystemDatabase);
    });
}

// A run cut short between the payload copy and the swap leaves the payload under the system
// database's name: it has INSTDB and none of the system's own tables.
bool IsPayloadCopy(const std::string& database) {
    return DatabaseHasTable(database, "INSTDB") && !DatabaseHasTable(database, "SYSPARAMS");
}

// Errors of the engine that do not say which file they come from, made to say it.
template <typename Action>
void NamingFile(const std::string& file, Action action) {
    try {
        action();
    } catch (const SetupError& error) {
        throw SetupError(file + ": " + error.Message());
    }
}

void RequireSixRecords(DbQuery& query, const std::string& payloadPath) {
    const int files = query.RecordCount();
    if (files < kPayloadFiles) {
        query.Close();
        throw SetupError(payloadPath + " is incomplete: it holds " + std::to_string(files) +
                         " of the " + std::to_string(kPayloadFiles) +
                         " files an installation needs");
    }
}

void ProvePayload(const std::string& payload, const ChunkHook& hook) {
    DbConnection connection;
    // Quoted: the distribution folder's name may hold ";".
    connection.SetConnectionString(ConnectionString('"' + payload + '"'));
    connection.SetLoginPrompt(false);
    connection.SetReadOnly(true);
    connection.SetProgressHook(hook);
    connection.Open();
    DbQuery query(connection);
    NamingFile(payload, [&] {
        query.SetSQL(kPayloadQuery);
        query.Open();
        query.FieldByName("UID");
        query.FieldByName("FDB");
    });
    RequireSixRecords(query, payload);
}

}  // namespace

std::string SystemDatabaseConnectionString(const std::string& installDir) {
    return ConnectionString(installDir + paths::kSystemDatabase);
}

void KeepEarlierSystemDatabase(const std::string& installDir) {
    const std::string database = installDir + paths::kSystemDatabase;
    const std::string earlier = installDir + paths::kEarlierSystemDatabase;
    RemoveLeftDataTemporaries(installDir);
    if (!win::FileExists(database)) return;
    // A copy of the file alone would lose what its journal holds, or keep a half-done change.
    SettleDatabase(database);
    // The person's data of that run is in the .old copy already.
    if (IsPayloadCopy(database)) return;
    // The .old copy may be the only copy of the user's real data: after a first reinstall,
    // MachineData.qdb holds a clean database, and copying it over the .old would lose it.
    if (win::FileExists(earlier)) {
        SettleDatabase(earlier);
        const std::string dated = FreeDatedName(installDir);
        if (!win::MoveFileA(earlier, dated)) {
            throw SetupError("Cannot rename " + earlier + " to " + dated);
        }
    }
    RemoveDatabaseSideFiles(earlier);
    // The payload copy replaces the database next, so a copy that failed would lose it.
    if (!win::CopyFileA(database, earlier, false)) {
        throw SetupError(FormatMessage("Cannot copy the earlier system database to %s: ", earlier) +
                         win::LastCopyErrorText());
    }
}

void CopyPayloadIntoPlace(const std::string& sourceDir, const std::string& installDir,
                          const ChunkHook& hook) {
    const std::string payload = sourceDir + paths::kPayload;
    const std::string database = installDir + paths::kSystemDatabase;
    // A broken payload must not displace the database in place.
    ProvePayload(payload, hook);
    // Side files left at the path would be read as the payload copy's own journal.
    RemoveDatabaseSideFiles(database);
    // Nothing may open the database after a failed copy: it would be the earlier one.
    if (!win::CopyFileA(payload, database, false, hook)) {
        throw SetupError("Cannot copy " + payload + " to " + database + ": " +
                         win::LastCopyErrorText());
    }
    win::SetFileAttributesA(database, win::FILE_ATTRIBUTE_NORMAL);
}

void OpenSystemDatabase(DbConnection& connection, const std::string& installDir,
                        const ChunkHook& hook) {
    connection.SetConnectionString(SystemDatabaseConnectionString(installDir));
    connection.SetLoginPrompt(false);
    connection.SetProgressHook(hook);
    connection.Open();
}

void OpenPayloadRecords(DbQuery& query, const std::string& payloadPath) {
    query.SetSQL(kPayloadQuery);
    query.Open();
    RequireSixRecords(query, payloadPath);
}

void SavePayloadRecord(DbQuery& query, const std::string& destination, const ChunkHook& hook) {
    const DbField file = query.FieldByName("FDB");
    const auto checksum = query.FindField(kChecksumColumn);
    const std::string expected = checksum ? checksum->AsString() : std::string();
    if (expected.empty()) {
        file.SaveToFile(destination, hook);
        return;
    }
    const std::string uid = query.FieldByName("UID").AsString();
    file.SaveToFile(destination, hook, [&](const std::string& actual) {
        if (!SameDigest(expected, actual)) {
            throw SetupError(
                std::string(paths::kPayload + 1) + " is damaged: the record with UID " + uid +
                " does not match its SHA-256 checksum; " + destination + " was not written");
        }
    });
}

void SaveNextPayloadRecord(DbQuery& query, const std::string& destination, const ChunkHook& hook) {
    query.Next();
    SavePayloadRecord(query, destination, hook);
}

void SaveRuntimeLibrary(DbQuery& query, const std::string& systemDir, const ChunkHook& hook) {
    query.Next();
    const std::string library = systemDir + paths::kRuntimeLibrary;
    if (!win::FileExists(library)) SavePayloadRecord(query, library, hook);
}

void SaveDemoDatabase(DbQuery& query, const std::string& installDir, const ChunkHook& hook) {
    const std::string demo = installDir + paths::kDemoDatabase;
    RemoveDatabaseSideFiles(demo);
    SaveNextPayloadRecord(query, demo, hook);
}

void SwapInSystemDatabase(DbQuery& query, DbConnection& connection, const std::string& installDir,
                          const ChunkHook& hook) {
    const std::string database = installDir + paths::kSystemDatabase;
    const std::string extracted = installDir + paths::kNewSystemDatabase;
    query.Close();
    connection.Close();
    // The payload copy holds every file of the payload: large enough to pump while it goes.
    if (!win::DeleteFileA(database, hook) && PathExists(database)) {
        throw SetupError(FormatMessage("Cannot delete the payload copy %s", database));
    }
    RemoveDatabaseSideFiles(database);
    if (!win::MoveFileA(extracted, database)) {
        throw SetupError("Cannot rename " + extracted + " to " + database);
    }
}
