#include "install/PayloadExtraction.h"

#include "install/InstallPaths.h"
#include "install/SystemParams.h"
#include "platform/Database.h"
#include "platform/SetupError.h"
#include "platform/WinFiles.h"
#include "platform/WinTime.h"

namespace {

// The payload carries the program, the system database, the manual, the read-me, the
// runtime library and the demonstration database, in UID order.
constexpr int kPayloadFiles = 6;

bool PathExists(const std::string& path) {
    return win::GetFileAttributesA(path) != win::INVALID_FILE_ATTRIBUTES;
}

// "\Data\MachineData.20261210.old", or with "-2", "-3", ... when that name is taken.
std::string FreeDatedName(const std::string& installDir) {
    const std::string stem = installDir + "\\Data\\MachineData." +
                             FormatCompactDate(win::GetLocalTime());
    std::string name = stem + ".old";
    for (int n = 2; PathExists(name); ++n) name = stem + "-" + std::to_string(n) + ".old";
    return name;
}

}  // namespace

std::string SystemDatabaseConnectionString(const std::string& installDir) {
    return std::string("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + installDir +
           paths::kSystemDatabase + ";" + "Persist Security Info=False" +
           ";Jet OLEDB:Database";
}

void KeepEarlierSystemDatabase(const std::string& installDir) {
    const std::string database = installDir + paths::kSystemDatabase;
    const std::string earlier = installDir + paths::kEarlierSystemDatabase;
    if (!win::FileExists(database)) return;
    // The .old copy may be the only copy of the user's real data: after a first reinstall,
    // MachineData.qdb holds a clean database, and copying it over the .old would lose it.
    if (win::FileExists(earlier)) {
        const std::string dated = FreeDatedName(installDir);
        if (!win::MoveFileA(earlier, dated)) {
            throw SetupError("Cannot rename " + earlier + " to " + dated);
        }
    }
    // The payload copy replaces the database next, so a copy that failed would lose it.
    if (!win::CopyFileA(database, earlier, false)) {
        throw SetupError(FormatMessage("Cannot copy the earlier system database to %s", earlier));
    }
}

void CopyPayloadIntoPlace(const std::string& sourceDir, const std::string& installDir,
                          const ChunkHook& hook) {
    const std::string database = installDir + paths::kSystemDatabase;
    // A failed copy shows at the next step, when the database cannot be opened.
    win::CopyFileA(sourceDir + paths::kPayload, database, false, hook);
    win::SetFileAttributesA(database, win::FILE_ATTRIBUTE_NORMAL);
}

void OpenSystemDatabase(DbConnection& connection, const std::string& installDir) {
    connection.SetConnectionString(SystemDatabaseConnectionString(installDir));
    connection.SetLoginPrompt(false);
    connection.Open();
}

void OpenPayloadRecords(DbQuery& query, const std::string& payloadPath) {
    query.SetSQL("SELECT * FROM INSTDB ORDER BY UID");
    query.Open();
    const int files = query.RecordCount();
    if (files < kPayloadFiles) {
        query.Close();
        throw SetupError(payloadPath + " is incomplete: it holds " + std::to_string(files) +
                         " of the " + std::to_string(kPayloadFiles) +
                         " files an installation needs");
    }
}

void SavePayloadRecord(DbQuery& query, const std::string& destination, const ChunkHook& hook) {
    query.FieldByName("FDB").SaveToFile(destination, hook);
}

void SaveNextPayloadRecord(DbQuery& query, const std::string& destination,
                           const ChunkHook& hook) {
    query.Next();
    SavePayloadRecord(query, destination, hook);
}

void SaveRuntimeLibrary(DbQuery& query, const std::string& systemDir, const ChunkHook& hook) {
    query.Next();
    const std::string library = systemDir + paths::kRuntimeLibrary;
    if (!win::FileExists(library)) SavePayloadRecord(query, library, hook);
}

void SwapInSystemDatabase(DbQuery& query, DbConnection& connection,
                          const std::string& installDir, const ChunkHook& hook) {
    const std::string database = installDir + paths::kSystemDatabase;
    const std::string extracted = installDir + paths::kNewSystemDatabase;
    query.Close();
    connection.Close();
    // The payload copy holds every file of the payload: large enough to pump while it goes.
    if (!win::DeleteFileA(database, hook) && PathExists(database)) {
        throw SetupError(FormatMessage("Cannot delete the payload copy %s", database));
    }
    if (!win::MoveFileA(extracted, database)) {
        throw SetupError("Cannot rename " + extracted + " to " + database);
    }
}
