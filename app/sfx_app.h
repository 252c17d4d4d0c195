// The application object: every field of one run, the fixed sequence of its steps
// (InitInstance) and its exit code (ExitInstance). A step returns whether the run goes on;
// one that ends it has recorded why, in error_ or in exitCode_, and the sequence only reads
// that. The steps are defined beside the subsystem they belong to (checks/, ui/, report/).
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "app/product_run_lock.h"
#include "app/sfx_config.h"
#include "app/ui_language.h"
#include "report/sfx_error.h"
#include "win/app_base.h"

namespace zelko {

class CZelkoSelfExtractorDlg;

// ERROR_INSTALL_USEREXIT: the exit code of a run its user cancelled, whether in our dialog or
// in the setup program.
constexpr int32_t kInstallUserExit = 1602;
// The Windows Installer codes that callers already read for runs that could not install:
// ERROR_INSTALL_PACKAGE_INVALID for a configuration the run cannot use,
// ERROR_INSTALL_TEMP_UNWRITABLE when the temporary folder cannot hold the run's files, and
// ERROR_INVALID_COMMAND_LINE for an xRDC line without its folder.
constexpr int32_t kInstallPackageInvalid = 1620;
constexpr int32_t kInstallTempUnwritable = 1632;
constexpr int32_t kInvalidCommandLine = 1639;

// A flag of the run that the main thread and the user-interface thread share.
using SharedFlag = std::atomic<BOOL>;
static_assert(sizeof(SharedFlag) == 4 && SharedFlag::is_always_lock_free,
              "a shared flag is one 32-bit value, read and written without a lock");

class CZelkoSelfExtractorApp : public CWinAppBase {
 public:
  CZelkoSelfExtractorApp() = default;
  ~CZelkoSelfExtractorApp() override = default;

  // Runs the whole installation on the main thread; always returns false (no message loop).
  BOOL InitInstance() override;
  // Logs and returns the exit code of the run.
  int ExitInstance() override;

  // --- Steps of the run, in the order the sequence calls them ---

  // The xRDC mode (/xRDC "FOLDER" in `commandTail`): writes the configuration and the payload
  // archive into FOLDER for the caller, and nothing else. True when the mode handled the run,
  // which then ends with exitCode_ (0, or the failed write's code).
  BOOL HandleXrdcMode(const wchar_t* commandTail);
  // Makes the run's private support folder in the temporary folder and writes the
  // configuration there ("config.bin"), from which every later step reads it. False ends
  // the run, with the reason logged.
  BOOL PrepareConfiguration();
  // Takes the product's lock for the rest of the process. False, with the error condition
  // set, when another run of the same product holds it.
  BOOL AcquireProductRunLock();
  // The configured minimums: Windows version, memory, service pack, then the free space the
  // payload needs. False, with the error condition set, when one is not met.
  BOOL CheckSystemRequirements();
  // True when more than `requiredMB` are free on the volume of `path`, and when the volume
  // cannot be asked (logged; a write that then fails names a full disk). False with the
  // error condition set when too little is free.
  BOOL CheckDiskSpace(uint64_t requiredMB, const std::wstring& path);
  // Validation mode (/sfx_va): compares the payload archive's size with ArchiveSize. True when
  // the mode handled the run, which then ends with exitCode_ (0 when they match).
  BOOL ValidateArchive();
  // Asks Windows Installer whether the configured product is installed (any answer but
  // "unknown product" counts as installed) and remembers it in bProductInstalled_. Outside
  // RDC mode an installed product sets its error condition. Always false for /sfx_ne runs.
  BOOL IsAlreadyInstalled();
  // Starts the progress dialog on its own user-interface thread and waits until its controls
  // are up: on the dialog's ready signal and the thread's handle together, so a thread that
  // dies early ends the wait at once, for at most 4.2 seconds, then up to 2 seconds more for
  // controls not yet there. False, with the failure shown, when it cannot be created; the run
  // then ends.
  BOOL InitDialog();
  // Resets progress to nothing done of `totalKB`, on the dialog's bar or the updater's pipe.
  void StartProgress(uint32_t totalKB);
  // Puts the payload on disk in installFolder_ (the archives extracted, or the plain file
  // resources written), after choosing that folder. False on a failure, with the error
  // condition set, or when the user gave up; after a cancel the flags tell.
  BOOL SetupInstaller();
  // Starts the setup program (RUN, or setup.exe in installFolder_) with the passed-on
  // arguments, elevated when it asks for it, waits for it and takes its exit code into
  // exitCode_. A missing or unstartable program sets the error condition; a refused
  // elevation or an exit code of 1602 counts as a cancel.
  BOOL StartInstaller();
  // Ends the dialog, waits up to 10 seconds on its thread's handle, and removes the support
  // folder. After a cancel of a run that would start the setup program, it also takes back
  // what the run extracted: all of an owned installer folder, else only the paths in
  // extractedPaths_. The folders made on the way to an installer folder (createdFolders_) go
  // when they are empty and the payload never reached the folder or was taken back. Runs on
  // every path out of the sequence.
  void Cleanup();
  // Makes installFolder_ an existing, writable folder. With a shell folder id (CSIDL_...) it
  // first forms the program's own per-product folder under it and empties it; with
  // kNoShellFolder it takes installFolder_ as given and never empties it, and when that
  // folder cannot be used, removes again the folders it made on the way.
  static constexpr int kNoShellFolder = -1;
  BOOL PrepareInstallerFolder(int shellFolderId);
  // Picks the installer folder: the command line's, else the all-users one, else the
  // per-user one, else (with a dialog) the user's pick. False only when the user gave up at
  // the retry question, which counts as a cancel; otherwise the extraction is tried in
  // installFolder_ and its failure names the problem.
  BOOL ChooseInstallerFolder();
  // Lets the user pick the installer folder. kChosen puts it in installFolder_; a pick that
  // has no file-system path (a virtual folder) leaves installFolder_ as it was and counts as
  // an unusable folder.
  enum class FolderPick { kChosen, kCancelled, kNoPath };
  FolderPick BrowseForFolder();

  // --- Fields of the run ---
  int32_t exitCode_ = 0;
  // Runs on the user-interface thread; the object stays valid until the process ends.
  CZelkoSelfExtractorDlg* dialog_ = nullptr;
  SFXError error_{SfxConfig::GetText};
  uint32_t totalSizeKB_ = 0;
  BOOL bSilent_ = FALSE;
  // The flags shared with the user-interface thread: each a whole 32-bit value, written by one
  // thread and read by the other without a lock. Atomic, so a read never races a write, and
  // (sequentially consistent) both threads see the writes of all four in one order: a flag
  // set before another is never seen after it, with no barrier beside them.
  SharedFlag bFinished_{FALSE};
  SharedFlag bPaused_{FALSE};
  SharedFlag bCancelled_{FALSE};
  // Set by the main thread once the payload is on disk: from then on Cancel opens no question.
  SharedFlag bSetupStarting_{FALSE};
  BOOL bDoNotExecute_ = FALSE;
  BOOL bValidate_ = FALSE;
  BOOL b7zArchive_ = TRUE;
  // Where "config.bin" is, which SfxConfig reads on both threads. Set before anything reads
  // it (by PrepareConfiguration, or by the xRDC mode) and so before the user-interface thread
  // starts, and never changed after: that thread reads it without a lock.
  std::wstring configPath_;
  std::wstring installerBinPath_;
  std::wstring rdcBinPath_;
  std::wstring supportFolder_;
  std::wstring tempPath_;
  std::wstring installFolder_;
  const wchar_t* passToSetup_ = nullptr;  // into the process command line; not owned
  // Running user-interface threads: 1 from just before InitDialog starts one until it ends.
  std::atomic<LONG> uiThreadCount_{0};
  // The user-interface thread's handle, which the cleanup waits on; null until InitDialog
  // started the thread. Borrowed from the thread's object, which lives until the process ends.
  HANDLE uiThread_ = nullptr;
  // "WaitEvent", created by the sequence before the user-interface thread starts and open
  // until the process ends; null when it could not be created (the pause then polls). Never
  // replaced while that thread runs, so it reads the handle without a lock.
  HANDLE waitEvent_ = nullptr;
  BOOL bKiv_ = FALSE;
  BOOL bVuh_ = FALSE;
  uint32_t progressTotal_ = 0;
  uint32_t progressDone_ = 0;
  std::wstring pipeName_;
  // Whether a busy pipe is worth waiting for: true until a wait for it times out, and again
  // once a report gets through.
  BOOL bWaitForBusyPipe_ = TRUE;
  BOOL bRdcMode_ = FALSE;
  BOOL bProductInstalled_ = FALSE;
  // The installer folder is the program's own per-product folder, or one this run created:
  // after a cancel it goes as a whole. Any other folder is the user's, and only what this
  // run put into it (extractedPaths_, in the order made) is removed.
  BOOL bInstallFolderOwned_ = FALSE;
  std::vector<std::wstring> extractedPaths_;
  // The folders this run made on the way to a folder it was given or shown (outermost first):
  // when that folder fails or the run is cancelled, the empty ones go again.
  std::vector<std::wstring> createdFolders_;
  // Held from the checks to the end of the process: no other run of the product meanwhile.
  ProductRunLock productRunLock_;
  // Set where the run did its job: the setup program ran and its code was taken, an
  // extract-only run wrote its whole payload, validation, /sfx_db, an xRDC run that wrote
  // both files. Only such a run may end with 0 (see RunEndedWithoutResult).
  BOOL bRunSucceeded_ = FALSE;
  // The step the sequence is in, named in the log when the run ends without a result.
  const wchar_t* runStep_ = L"start";
  // Chosen right after the configuration is on disk; read by every thread from then on.
  UiLanguage uiLanguage_;

 private:
  enum class NextStep { kReport, kCleanup };
  // Points configPath_ and installerBinPath_ at their files in `folder` and deletes what an
  // earlier run may have left under those names.
  void PlaceResourceFiles(const std::wstring& folder);
  // The last step of the preparation: a second archive with RDCArchiveSize configured sets
  // bRdcMode_ and its file's path; one without it ends the run (false) with a message.
  BOOL DetectRdcMode();
  // The checks, the dialog, the extraction and the setup program. Says whether the run goes
  // on with the report of its error condition or straight to the cleanup.
  NextStep RunInstallation();
  // Makes the error condition the exit code, shows it and reports it. A run that reached no
  // success point, was not cancelled and set no condition gets condition 1603 here.
  void ReportErrorCondition();
  // The run did not do its job, and nothing says so yet: no success point, no cancel, no
  // error condition and an exit code of 0.
  bool RunEndedWithoutResult() const;
  // The log line naming runStep_ as where a run without a result stopped.
  std::wstring NoResultLogText() const;
};

// The one application object of the process.
extern CZelkoSelfExtractorApp theApp;

}  // namespace zelko
