#pragma once
// The installation, run in one go from the install button: folders, payload extraction,
// database swap, company details and install log, shortcuts and the dated backup, with
// captions, tips and a paced gauge in between. An error of the engine, of file creation, of
// COM or of the registry ends the run at its step and leaves this object; what was done stays.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/FolderLock.h"
#include "platform/WinTime.h"

class DbConnection;
class DbQuery;
class InstallWindow;
class ProgressPacing;

class InstallSequence {
public:
    // sourceDir holds Setup.data; systemDir is the Windows system directory. Both without a
    // trailing backslash, code page 936.
    InstallSequence(InstallWindow& window, ProgressPacing& pacing, std::string sourceDir,
                    std::string systemDir);
    ~InstallSequence();

    void PerformInstall();

private:
    void TakeInstallFolder();
    void LockInstallFolder();
    void ShowInstallationPage();
    void CreateFolders();
    void RequireInstallFolder();
    void RunDatabasePhases();
    void OpenConnection();
    void ExtractProgram();
    void ExtractSystemDatabase();
    void ExtractHelpFiles();
    void ExtractRuntimeLibrary();
    void ExtractDemoDatabase();
    void SwapInCleanDatabase();
    void WriteInstallRecords();
    void CreateShortcuts();
    void MakeDatedBackup();
    void ShowFinish();

    void PacingPoint(std::int32_t target, std::uint32_t ms);
    void PumpMessages();
    void PumpDelay(std::uint32_t ms);
    // Called between the chunks of a long copy or extraction, so the window keeps answering.
    void BetweenChunks();

    InstallWindow& window_;
    ProgressPacing& pacing_;
    std::string FInstallDir;
    std::string FSourceDir;
    std::string FSystemDir;
    std::unique_ptr<DbConnection> FConnection;
    std::unique_ptr<DbQuery> query_;
    // Held from the first step to the last, once the install folder exists.
    std::optional<win::FolderLock> installLock_;
    // One clock reading for the stored dates and the backup's name, so they always agree.
    win::SYSTEMTIME installTime_;
};
