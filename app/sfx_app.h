// The application object: every field of one run, the fixed sequence of its steps
// (InitInstance) and its exit code (ExitInstance). Each step is implemented beside the
// subsystem it belongs to; the sequence only reads each step's result.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/product_run_lock.h"
#include "app/sfx_config.h"
#include "report/sfx_error.h"
#include "win/app_base.h"

namespace zelko {

class CZelkoSelfExtractorDlg;

// ERROR_INSTALL_USEREXIT: the exit code of a run its user cancelled, whether in our dialog or
// in the setup program.
constexpr int32_t kInstallUserExit = 1602;

class CZelkoSelfExtractorApp : public CWinAppBase {
 public:
  CZelkoSelfExtractorApp() = default;
  ~CZelkoSelfExtractorApp() override = default;

  // Runs the whole installation on the main thread; always returns false (no message loop).
  BOOL InitInstance() override;
  // Logs and returns the exit code of the run.
  int ExitInstance() override;

  // --- Steps of the run, in the order the sequence calls them ---

  // app/run_modes.cpp: true when the xRDC mode handled the run (it then ends).
  BOOL HandleXrdcMode(const wchar_t* commandTail);
  // app/prepare_configuration.cpp: support folder and "config.bin"; false ends the run.
  BOOL PrepareConfiguration();
  // app/product_run_lock.cpp: true when this run holds its product's lock until it ends;
  // false, with the error condition set, when another run of the product holds it.
  BOOL AcquireProductRunLock();
  // checks/system_requirements.cpp: false when a requirement (or the disk space) fails.
  BOOL CheckSystemRequirements();
  // checks/disk_space.cpp: true when more than `requiredMB` are free on the volume of `path`.
  BOOL CheckDiskSpace(uint32_t requiredMB, const std::wstring& path);
  // app/run_modes.cpp: true when validation mode handled the run.
  BOOL ValidateArchive();
  // checks/installed_product.cpp: true when the product counts as installed.
  BOOL IsAlreadyInstalled();
  // ui/progress_dialog.cpp: starts the progress dialog on its own thread; false on failure.
  BOOL InitDialog();
  // ui/progress.cpp: prepares progress against `totalKB` (dialog bar or updater pipe).
  void StartProgress(uint32_t totalKB);
  // checks/installer_launch.cpp: true when the payload is on disk in installFolder_.
  BOOL SetupInstaller();
  // checks/installer_launch.cpp: starts the setup program, waits, takes its exit code.
  BOOL StartInstaller();
  // app/cleanup.cpp: ends the dialog and removes what the run left in the temporary folder.
  void Cleanup();
  // checks/installer_folder.cpp: makes installFolder_ an existing, writable folder; with a
  // shell folder id (CSIDL_...) it first forms the program's own folder under it, with
  // kNoShellFolder it takes installFolder_ as it is.
  static constexpr int kNoShellFolder = -1;
  BOOL PrepareInstallerFolder(int shellFolderId);
  // checks/installer_launch.cpp: the command-line folder, the all-users folder, the per-user
  // folder, then the user's pick; false only when the user gave up.
  BOOL ChooseInstallerFolder();
  // checks/installer_folder.cpp: lets the user pick the installer folder. kChosen puts it in
  // installFolder_; a pick that has no file-system path (a virtual folder) leaves
  // installFolder_ as it was and counts as an unusable folder.
  enum class FolderPick { kChosen, kCancelled, kNoPath };
  FolderPick BrowseForFolder();

  // --- Fields of the run ---
  int32_t exitCode_ = 0;
  // Runs on the user-interface thread; the object stays valid until the process ends.
  CZelkoSelfExtractorDlg* dialog_ = nullptr;
  SFXError error_{SfxConfig::GetValue};
  uint32_t totalSizeKB_ = 0;
  BOOL bSilent_ = FALSE;
  volatile BOOL bFinished_ = FALSE;  // shared with the user-interface thread
  volatile BOOL bPaused_ = FALSE;    // shared with the user-interface thread
  volatile BOOL bCancelled_ = FALSE; // shared with the user-interface thread
  // Set by the main thread once the payload is on disk: from then on Cancel opens no question.
  volatile BOOL bSetupStarting_ = FALSE;  // shared with the user-interface thread
  BOOL bDoNotExecute_ = FALSE;
  BOOL bValidate_ = FALSE;
  BOOL b7zArchive_ = TRUE;
  std::wstring configPath_;
  std::wstring installerBinPath_;
  std::wstring rdcBinPath_;
  std::wstring supportFolder_;
  std::wstring tempPath_;
  std::wstring installFolder_;
  const wchar_t* passToSetup_ = nullptr;  // into the process command line; not owned
  volatile LONG uiThreadCount_ = 0;
  HANDLE waitEvent_ = nullptr;  // "WaitEvent", open until the process ends
  BOOL bKiv_ = FALSE;
  BOOL bVuh_ = FALSE;
  uint32_t progressTotal_ = 0;
  uint32_t progressDone_ = 0;
  std::wstring pipeName_;
  BOOL bRdcMode_ = FALSE;
  BOOL bProductInstalled_ = FALSE;
  // The installer folder is the program's own per-product folder, or one this run created:
  // after a cancel it goes as a whole. Any other folder is the user's, and only what this
  // run put into it (extractedPaths_, in the order made) is removed.
  BOOL bInstallFolderOwned_ = FALSE;
  std::vector<std::wstring> extractedPaths_;
  // Held from the checks to the end of the process: no other run of the product meanwhile.
  ProductRunLock productRunLock_;

 private:
  enum class NextStep { kReport, kCleanup };
  // app/prepare_configuration.cpp: the last step of the preparation; false ends the run.
  BOOL DetectRdcMode();
  // Steps 12 to 17: the checks, the dialog, the extraction and the setup program. Says
  // whether the run goes on with the report or straight to the cleanup.
  NextStep RunInstallation();
  // Step 18: makes the error condition the exit code, shows it and reports it.
  void ReportErrorCondition();
};

// The one application object of the process.
extern CZelkoSelfExtractorApp theApp;

}  // namespace zelko
