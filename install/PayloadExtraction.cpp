#include "install/PayloadExtraction.h"

#include "install/InstallPaths.h"
#include "install/SystemParams.h"
#include "platform/Database.h"
#include "platform/PendingFile.h"
#include "platform/RecordDigest.h"
#include "platform/SetupError.h"
#include "platform/WinFiles.h"
#include "platform/WinTime.h"

namespace {

// The payload carries the program, the system database, the manual, the read-me, the
// runtime library and the demonstration database, in UID order.
constexpr int kPayloadFiles = 6;
constexpr char kPayloadQuery[] = "SELECT * FROM INSTDB ORDER BY UID";

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

// An earlier .old copy moves to a dated name, on the disk before it takes it: it may be the
// only copy of the person's data.
void KeepUnderDatedName(const std::string& installDir, const std::string& earlier) {
    SettleDatabase(earlier);
    const std::string dated = FreeDatedName(installDir);
    if (!win::FlushFileToDisk(earlier) || !win::MoveFileA(earlier, dated) ||
        !win::FlushFolderToDisk(installDir + paths::kDataFolder)) {
        throw SetupError("Cannot rename " + earlier + " to " + dated);
    }
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

// "Setup.data is damaged: the record with UID 3 ...".
std::string DamagedRecord(DbQuery& query) {
    return std::string(paths::kPayload + 1) + " is damaged: the record with UID " +
           query.FieldByName("UID").AsString();
}

// "... does not match its XXH3-128 checksum".
std::string Mismatch(DbQuery& query, DigestKind kind) {
    return DamagedRecord(query) + " does not match its " + std::string(DigestName(kind)) +
           " checksum";
}

// The digest the current record carries: from the first digest column the payload has that
// holds a value for it (XXH128 before SHA256), or none.
struct CarriedDigest {
    DigestKind kind;
    std::string hex;
};

std::optional<CarriedDigest> DigestOfRecord(DbQuery& query) {
    for (const DigestKind kind : kDigestKinds) {
        const auto column = query.FindField(DigestColumn(kind));
        if (!column) continue;
        std::string stored = column->AsString();
        if (stored.empty()) continue;
        if (!IsDigestText(kind, stored)) {
            throw SetupError(DamagedRecord(query) + ": its " + std::string(DigestColumn(kind)) +
                             " value is not a " + std::string(DigestName(kind)) + " digest");
        }
        return CarriedDigest{kind, std::move(stored)};
    }
    return std::nullopt;
}

// Reads each of the six records an installation extracts and compares it with its digest,
// so that a damaged one stops the installation before anything is replaced.
void ProveRecords(DbQuery& query, const ChunkHook& hook) {
    for (int record = 1; record <= kPayloadFiles; ++record, query.Next()) {
        const auto expected = DigestOfRecord(query);
        if (expected &&
            !SameDigest(expected->hex, query.FieldByName("FDB").Digest(expected->kind, hook))) {
            throw SetupError(Mismatch(query, expected->kind));
        }
        if (hook) hook();
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
    ProveRecords(query, hook);
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
    if (win::FileExists(earlier)) KeepUnderDatedName(installDir, earlier);
    RemoveDatabaseSideFiles(earlier);
    // The payload copy replaces the database next, so a copy that failed, or one that a power
    // cut could still take back, would lose it.
    if (!win::CopyFileToDisk(database, earlier)) {
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
    // Nothing may open the database after a failed copy: it would be the earlier one. The
    // copy is not flushed: it is deleted at the swap, and a run cut short before then is
    // repeated from the payload.
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

win::PendingFile SavePayloadRecord(DbQuery& query, const std::string& destination,
                                   const ChunkHook& hook) {
    const DbField file = query.FieldByName("FDB");
    const auto expected = DigestOfRecord(query);
    if (!expected) return file.SaveToPendingFile(destination, hook);
    const auto verify = [&](const std::string& actual) {
        if (!SameDigest(expected->hex, actual)) {
            throw SetupError(Mismatch(query, expected->kind) + "; " + destination +
                             " was not written");
        }
    };
    return file.SaveToPendingFile(destination, hook, DigestCheck{expected->kind, verify});
}

win::PendingFile SaveNextPayloadRecord(DbQuery& query, const std::string& destination,
                                       const ChunkHook& hook) {
    query.Next();
    return SavePayloadRecord(query, destination, hook);
}

std::optional<win::PendingFile> SaveRuntimeLibrary(DbQuery& query, const std::string& systemDir,
                                                   const ChunkHook& hook) {
    query.Next();
    const std::string library = systemDir + paths::kRuntimeLibrary;
    if (win::FileExists(library)) return std::nullopt;
    return SavePayloadRecord(query, library, hook);
}

win::PendingFile SaveDemoDatabase(DbQuery& query, const std::string& installDir,
                                  const ChunkHook& hook) {
    return SaveNextPayloadRecord(query, installDir + paths::kDemoDatabase, hook);
}

void PlaceDemoDatabase(win::PendingFile& demo, const ChunkHook& hook) {
    RemoveDatabaseSideFiles(demo.Destination());
    demo.Place(hook);
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
    // Temp.qdb's bytes went to the disk before it took its name; the folder makes the new
    // name last.
    if (!win::MoveFileA(extracted, database) ||
        !win::FlushFolderToDisk(installDir + paths::kDataFolder)) {
        throw SetupError("Cannot rename " + extracted + " to " + database);
    }
}
