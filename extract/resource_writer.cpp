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

}  // namespace

int ExtractResourceToFile(const std::wstring& path, CZelkoSelfExtractorApp& app, WORD id,
                          const wchar_t* type) {
  SfxLog::Write(1, L"Extracting: ", path, 0);

  HMODULE self = ::GetModuleHandleW(nullptr);
  HRSRC found = ::FindResourceW(self, MAKEINTRESOURCEW(id), type);
  if (found == nullptr) return kResourceNotCreated;
  HGLOBAL loaded = ::LoadResource(self, found);
  const BYTE* data = loaded ? static_cast<const BYTE*>(::LockResource(loaded)) : nullptr;
  const DWORD size = ::SizeofResource(self, found);
  if (data == nullptr && size != 0) return kResourceNotCreated;

  CFile file;
  if (!file.Open(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS)) {
    SfxLog::Write(1, L"Error creating file: ", path, 0);
    return kResourceNotCreated;
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
        if (app.bFinished_) return kResourceWritten;  // cancelled: the partial file stays
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
    app.error_.SetErrorCondition(L"Failed to extract resource", kSfxErrExtractResource,
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
