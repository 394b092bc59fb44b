#pragma once
// The data steps of an installation on the payload: keep the earlier system database, copy
// the payload into place once it has proved itself, extract its six records to their files in
// UID order (each checked against the digest it carries), and swap the clean system database
// in. An extracted file waits under a hidden name until it is placed, which the sequence does
// after its next pause, when the file's write-back has had time to reach the disk. Each function is
// one step; the install sequence calls them in order, with its captions, tips and pauses in
// between. Paths are Windows paths in code page 936, folders without a trailing backslash.

#include <optional>
#include <string>

#include "platform/ChunkHook.h"
#include "platform/PendingFile.h"

class DbConnection;
class DbQuery;

// The connection string of the system database of an install folder.
std::string SystemDatabaseConnectionString(const std::string& installDir);

// Upgrade rule: an existing system database is copied to "\Data\MachineData.old" whole: a
// journal left beside it is first settled through the engine, so the copy holds the last
// committed state and opens alone. An existing .old copy is first kept under a dated name, so
// the user's real data is never overwritten by a clean database on a second install. A system
// database that is a payload copy (a run cut short before the swap left it) is not kept. The
// hidden temporaries of a run cut short are removed from "\Data" first. The copy is on the
// disk, bytes and name, before this returns.
void KeepEarlierSystemDatabase(const std::string& installDir);

// Proves "\Setup.data" of sourceDir, opened read-only: an SQLite database whose INSTDB has the
// columns UID and FDB and at least six rows, each of the first six matching the digest it
// carries; the error otherwise names it (and the record). Then removes the
// side files left at the system database path and copies the payload over it, and clears
// its attributes. A failed copy is an error naming the copy and its cause.
void CopyPayloadIntoPlace(const std::string& sourceDir, const std::string& installDir,
                          const ChunkHook& hook);

// Gives the connection the system database's connection string, login prompt off, and opens
// it; hook is called while a statement on it runs long.
void OpenSystemDatabase(DbConnection& connection, const std::string& installDir,
                        const ChunkHook& hook = {});

// Opens "SELECT * FROM INSTDB ORDER BY UID" on the query; the first record is current.
// A payload with fewer than six records raises an error naming payloadPath (the Setup.data
// it came from) and how many files it holds, before any file is extracted.
void OpenPayloadRecords(DbQuery& query, const std::string& payloadPath);

// Saves the current record's file (column FDB) for destination, as a pending file that takes
// its name when placed. A record that carries a digest (XXH128, else SHA256) is checked as
// its bytes stream: a mismatch, or a stored value that is no such digest, is an error naming
// the record, and no file is left.
win::PendingFile SavePayloadRecord(DbQuery& query, const std::string& destination,
                                   const ChunkHook& hook);
// Moves to the next record and saves its file for destination.
win::PendingFile SaveNextPayloadRecord(DbQuery& query, const std::string& destination,
                                       const ChunkHook& hook);
// Moves to the next record (always) and saves it for systemDir + "\Midas.dll" only when no
// such file exists; an existing library is never touched.
std::optional<win::PendingFile> SaveRuntimeLibrary(DbQuery& query, const std::string& systemDir,
                                                   const ChunkHook& hook);
// Moves to the next record and saves it for installDir + "\Data\Demo.qdb".
win::PendingFile SaveDemoDatabase(DbQuery& query, const std::string& installDir,
                                  const ChunkHook& hook);
// Places the demonstration database, first removing the side files of an earlier one: the
// engine would read them as the new one's.
void PlaceDemoDatabase(win::PendingFile& demo, const ChunkHook& hook);

// Closes the query and the connection, deletes the payload copy and its side files, and
// renames "\Data\Temp.qdb" (placed, so on the disk) to the system database path, flushing the
// folder after. A failed delete or rename raises an error naming the path; Temp.qdb is then
// kept.
void SwapInSystemDatabase(DbQuery& query, DbConnection& connection, const std::string& installDir,
                          const ChunkHook& hook);
