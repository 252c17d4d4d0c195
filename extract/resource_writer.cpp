#include "extract/resource_writer.h"

#include "app/sfx_app.h"
#include "app/sfx_config.h"
#include "extract/pause_wait.h"
#include "report/run_log.h"
#include "resources/config_keys.h"
#include "resources/payload_resources.h"
#include "win/file.h"
#include "win/format_text.h"

namespace zelko {
namespace {

constexpr uint32_t kChunkProgressKB = 500;
constexpr wchar_t kExtractResourceFailed[] = L"Failed to extract resource";

// A resource that never reached its file: whatever the caller does next, nothing of it is
// on disk, and the run must not count that as done.
int NotCreated(CZelkoSelfExtractorApp& app, DWORD error) {
  ::SetLastError(error);
  app.error_.SetErrorCondition(kExtractResourceFailed, kSfxErrExtractResource,
                               static_cast<int>(error));
  return kResourceNotCreated;
}

}  // namespace

int ExtractResourceToFile(const std::wstring& path, CZelkoSelfExtractorApp& app, WORD id,
                          const wchar_t* type) {
  SfxLog::Write(1, L"Extracting: ", path, 0);

  HMODULE self = ::GetModuleHandleW(nullptr);
  HRSRC found = ::FindResourceW(self, MAKEINTRESOURCEW(id), type);
  if (found == nullptr) return NotCreated(app, ::GetLastError());
  HGLOBAL loaded = ::LoadResource(self, found);
  const BYTE* data = loaded ? static_cast<const BYTE*>(::LockResource(loaded)) : nullptr;
  const DWORD size = ::SizeofResource(self, found);
  if (data == nullptr && size != 0) return NotCreated(app, ::GetLastError());

  CFile file;
  if (!file.Open(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS)) {
    const DWORD error = ::GetLastError();
    SfxLog::Write(1, L"Error creating file: ", path, 0);
    return NotCreated(app, error);
  }

  DecodeHost& host = RunDecodeHost();
  try {
    if (app.bSilent_ && !app.bKiv_) {
      // Nobody watches progress: one write, no flags.
      file.Write(data, size);
    } else {
      DWORD offset = 0;
      for (;;) {
        // The last chunk, full or not, goes out without a look at the flags.
        if (size - offset <= kResourceChunkSize) {
          file.Write(data + offset, size - offset);
          break;
        }
        if (app.bFinished_) return kResourceCancelled;  // the partial file stays
        if (app.bPaused_) {
          WaitWhilePaused();
          continue;
        }
        file.Write(data + offset, kResourceChunkSize);
        offset += kResourceChunkSize;
        host.ReportProgress(kChunkProgressKB);
      }
    }
  } catch (const CFileException& e) {
    file.Close();
    app.error_.SetErrorCondition(kExtractResourceFailed, kSfxErrExtractResource,
                                 static_cast<int>(e.error()));
    return kResourceWriteFailed;
  }
  // Every write was complete; the file class's close has no result to look at.
  file.Close();
  return kResourceWritten;
}

BOOL ExtractInstallerFiles(CZelkoSelfExtractorApp& app) {
  SfxLog::Write(1, L"Extracting Installer...");
  for (unsigned n = 0;; ++n) {
    if (app.bFinished_) return TRUE;
    const std::wstring key = kFileResourceTypePrefix + DecimalText(n);
    const std::wstring name = SfxConfig::GetValue(kInstallSection, key.c_str());
    if (name.empty() && n == 0) {
      // A configuration of file resources that names none: nothing would be installed.
      SfxLog::Write(1, L"No FILE_0 in the configuration");
      NotCreated(app, ERROR_RESOURCE_NAME_NOT_FOUND);
      return FALSE;
    }
    if (name.empty()) return TRUE;
    const std::wstring path = app.installFolder_ + L"\\" + name;
    app.extractedPaths_.push_back(path);  // for a cancel in a folder that is the user's
    if (ExtractResourceToFile(path, app, static_cast<WORD>(kFileResourceBaseId + n),
                              key.c_str()) != kResourceWritten) {
      return FALSE;
    }
  }
}

}  // namespace zelko
