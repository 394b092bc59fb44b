#include "install/InstallSequence.h"

#include "install/InstallPaths.h"
#include "install/InstallTexts.h"
#include "install/InstallWindow.h"
#include "install/PayloadExtraction.h"
#include "install/ProgressPacing.h"
#include "install/SystemParams.h"
#include "platform/CodePage.h"
#include "platform/Database.h"
#include "platform/PrefixSkeleton.h"
#include "platform/SetupError.h"
#include "platform/WinFiles.h"
#include "utils/mUtils.h"

namespace texts = install_texts;

namespace {

// "C:\a" of "C:\a\b" and "C:\" of "C:\a", cut at the last whole-character "\"; "" for a
// drive's root.
std::string ParentFolder(const std::string& folder) {
    const auto at = cp936::LastDelimiter(folder, "\\");
    if (at == std::string::npos || at + 1 == folder.size()) return {};
    const std::string parent = folder.substr(0, at);
    return parent.find('\\') == std::string::npos ? parent + "\\" : parent;
}

}  // namespace

InstallSequence::InstallSequence(InstallWindow& window, ProgressPacing& pacing,
                                 std::string sourceDir, std::string systemDir)
    : window_(window),
      pacing_(pacing),
      FSourceDir(std::move(sourceDir)),
      FSystemDir(std::move(systemDir)) {}

InstallSequence::~InstallSequence() = default;

void InstallSequence::PerformInstall() {
    TakeInstallFolder();
    LockInstallFolder();
    ShowInstallationPage();
    PacingPoint(10, 1000);
    KeepEarlierSystemDatabase(FInstallDir);
    window_.SetTips(texts::IntroductionTips());
    window_.SetStatusCaption(texts::CreatingFolders());
    PumpMessages();
    CreateFolders();
    PacingPoint(20, 1000);
    CopyPayloadIntoPlace(FSourceDir, FInstallDir, [this] { BetweenChunks(); });
    window_.SetTips(texts::ModuleTips());
    RunDatabasePhases();
    PacingPoint(98, 1000);
    window_.SetStatusCaption(texts::CreatingShortcuts());
    PumpMessages();
    CreateShortcuts();
    window_.SetTips(texts::NoTips());
    MakeDatedBackup();
    ShowFinish();
}

void InstallSequence::TakeInstallFolder() {
    // As the folder edit holds it: the browser's rule never leaves a trailing backslash.
    FInstallDir = window_.FolderEditText();
}

void InstallSequence::LockInstallFolder() {
    // A second installation into the same folder would delete the first one's temporaries
    // and replace its files under it.
    if (!installLock_ || !installLock_->Held()) installLock_.emplace(FInstallDir);
}

void InstallSequence::ShowInstallationPage() {
    window_.ShowInstallPicture();
    window_.SetBusyCursor(true);
}

void InstallSequence::CreateFolders() {
    // The prefix may lack folders Windows always has: the default install folder's parent
    // among them, since folders are created one level at a time.
    win::EnsureStandardFolders();
    // An existing folder leaves the call without effect.
    win::CreateDirectoryA(FInstallDir);
    win::CreateDirectoryA(FInstallDir + paths::kDataFolder);
    RequireInstallFolder();
    LockInstallFolder();
    // The new folders' names last once the folders that hold them are on the disk.
    win::FlushFolderToDisk(ParentFolder(FInstallDir));
    win::FlushFolderToDisk(FInstallDir);
}

void InstallSequence::RequireInstallFolder() {
    // Every later step would fail on the missing folder with a message naming a file in it.
    if (win::GetFileAttributesA(FInstallDir) == win::FILE_ATTRIBUTE_DIRECTORY) return;
    std::string missing = FInstallDir;
    for (std::string parent = ParentFolder(missing);
         !parent.empty() && win::GetFileAttributesA(parent) == win::INVALID_FILE_ATTRIBUTES;
         parent = ParentFolder(parent)) {
        missing = parent;
    }
    throw SetupError(FormatMessage("Cannot create the install folder %s: ", FInstallDir) +
                     (missing == FInstallDir
                          ? std::string("it cannot be made there")
                          : FormatMessage("the folder %s does not exist", missing)));
}

void InstallSequence::RunDatabasePhases() {
    // The query object and then the connection are released on every way out.
    struct Release {
        InstallSequence& sequence;
        ~Release() {
            sequence.query_.reset();
            sequence.FConnection.reset();
        }
    } release{*this};

    OpenConnection();
    ExtractProgram();
    ExtractSystemDatabase();
    ExtractHelpFiles();
    ExtractRuntimeLibrary();
    ExtractDemoDatabase();
    SwapInCleanDatabase();
    WriteInstallRecords();
}

void InstallSequence::OpenConnection() {
    FConnection = std::make_unique<DbConnection>();
    OpenSystemDatabase(*FConnection, FInstallDir, [this] { BetweenChunks(); });
    PacingPoint(50, 3000);
}

void InstallSequence::ExtractProgram() {
    window_.SetStatusCaption(texts::CopyingProgram());
    window_.SetTips(texts::ModuleFeatureTips());
    PumpMessages();
    query_ = std::make_unique<DbQuery>(*FConnection);
    OpenPayloadRecords(*query_, FSourceDir + paths::kPayload);
    win::PendingFile program =
        SavePayloadRecord(*query_, FInstallDir + paths::kProgram, [this] { BetweenChunks(); });
    PacingPoint(58, 2000);
    program.Place([this] { BetweenChunks(); });
}

void InstallSequence::ExtractSystemDatabase() {
    window_.SetStatusCaption(texts::CopyingDatabase());
    window_.SetTips(texts::DataExportTips());
    PumpMessages();
    win::PendingFile database = SaveNextPayloadRecord(
        *query_, FInstallDir + paths::kNewSystemDatabase, [this] { BetweenChunks(); });
    PumpDelay(1000);
    PacingPoint(68, 3000);
    database.Place([this] { BetweenChunks(); });
}

void InstallSequence::ExtractHelpFiles() {
    window_.SetStatusCaption(texts::CopyingDemoDatabase());
    PumpMessages();
    window_.SetTips(texts::PrintingTips());
    win::PendingFile manual =
        SaveNextPayloadRecord(*query_, FInstallDir + paths::kManual, [this] { BetweenChunks(); });
    win::PendingFile readMe =
        SaveNextPayloadRecord(*query_, FInstallDir + paths::kReadMe, [this] { BetweenChunks(); });
    PacingPoint(80, 1000);
    manual.Place([this] { BetweenChunks(); });
    readMe.Place([this] { BetweenChunks(); });
}

void InstallSequence::ExtractRuntimeLibrary() {
    window_.SetStatusCaption(texts::CopyingHelpFiles());
    PumpMessages();
    std::optional<win::PendingFile> library =
        SaveRuntimeLibrary(*query_, FSystemDir, [this] { BetweenChunks(); });
    PacingPoint(85, 1000);
    if (library) library->Place([this] { BetweenChunks(); });
}

void InstallSequence::ExtractDemoDatabase() {
    window_.SetStatusCaption(texts::SettingUpSystemFiles());
    PumpMessages();
    window_.SetTips(texts::PermissionTips());
    win::PendingFile demo = SaveDemoDatabase(*query_, FInstallDir, [this] { BetweenChunks(); });
    PumpDelay(1000);
    // The same target again: the gauge holds still through the pause.
    PacingPoint(85, 3000);
    PlaceDemoDatabase(demo, [this] { BetweenChunks(); });
}

void InstallSequence::SwapInCleanDatabase() {
    window_.SetStatusCaption(texts::CopyingDemoDatabase());
    PumpMessages();
    SwapInSystemDatabase(*query_, *FConnection, FInstallDir, [this] { BetweenChunks(); });
    PumpMessages();
    FConnection->Open();
    pacing_.SetProgressTarget(93);
    PumpDelay(1000);
}

void InstallSequence::WriteInstallRecords() {
    window_.SetStatusCaption(texts::UpdatingSystemInformation());
    PumpMessages();
    installTime_ = win::GetLocalTime();
    WriteSystemParams(*query_, window_.CompanyEntries(), FInstallDir, installTime_);
    AppendInstallLog(*query_, *FConnection, installTime_);
}

void InstallSequence::CreateShortcuts() {
    const std::string program = FInstallDir + paths::kProgram;
    const std::string group = texts::ProgramGroup();
    CreateShortcut(program, ShortcutPlace::Desktop, "", texts::DesktopShortcutName());
    CreateShortcut(program, ShortcutPlace::Programs, group, texts::ProgramShortcutName());
    CreateShortcut(FInstallDir + paths::kReadMe, ShortcutPlace::Programs, group,
                   texts::ReadMeShortcutName());
    CreateShortcut(FInstallDir + paths::kManual, ShortcutPlace::Programs, group,
                   texts::ManualShortcutName());
}

void InstallSequence::MakeDatedBackup() {
    // Named by the date stored as the backup date, so a run across midnight cannot make
    // the two disagree; a second run on the same day replaces that day's copy.
    const std::string backup =
        FInstallDir + "\\" + FormatCompactDate(installTime_) + paths::kBackupSuffix;
    // A backup copy cut short by a killed run left its hidden temporary in the folder.
    win::RemoveLeftTemporaries(
        FInstallDir, [](const std::string& name) { return name.ends_with(paths::kBackupSuffix); });
    // On the disk before the finish page says the installation is complete.
    win::CopyFileToDisk(FInstallDir + paths::kSystemDatabase, backup, [this] { BetweenChunks(); });
}

void InstallSequence::ShowFinish() {
    window_.SetStatusCaption(texts::InstallComplete());
    // The last two steps of the gauge are made by ticks in the main loop after the return.
    pacing_.SetProgressTarget(100);
    window_.SetBusyCursor(false);
    PumpMessages();
    window_.ShowFinishPicture();
    window_.EnableCloseButton();
}

void InstallSequence::PacingPoint(std::int32_t target, std::uint32_t ms) {
    pacing_.SetProgressTarget(target);
    PumpDelay(ms);
    PumpMessages();
}

void InstallSequence::PumpMessages() { window_.Pump().PumpMessages(); }

void InstallSequence::PumpDelay(std::uint32_t ms) { ::PumpDelay(ms, window_.Pump()); }

void InstallSequence::BetweenChunks() { PumpMessages(); }
