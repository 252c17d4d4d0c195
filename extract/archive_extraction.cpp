#include "extract/archive_extraction.h"

#include <vector>

#include "7z.h"
#include "7zAlloc.h"
#include "7zCrc.h"
#include "7zFile.h"
#include "app/sfx_app.h"
#include "extract/entry_names.h"
#include "extract/entry_writer.h"
#include "extract/look_reader.h"
#include "extract/pause_wait.h"
#include "extract/sdk_archive.h"
#include "report/run_log.h"
#include "win/folder_tree.h"

namespace zelko {
namespace {

constexpr size_t kLookBufferSize = 1 << 14;
constexpr DWORD kCurrentDirectoryCapacity = MAX_PATH;  // terminating zero included

struct ResultText {
  SRes result;
  const wchar_t* text;
  int code;
};

constexpr ResultText kResultTexts[] = {
    {SZ_ERROR_DATA, L"Extract Files ERROR_DATA", 150200},
    {SZ_ERROR_MEM, L"Extract Files ERROR_MEM", 150201},
    {SZ_ERROR_CRC, L"Extract Files ERROR_CRC", 150202},
    {SZ_ERROR_UNSUPPORTED, L"Extract Files ERROR_UNSUPPORTED", 150203},
    {SZ_ERROR_PARAM, L"Extract Files ERROR_PARAM", 150204},
    {SZ_ERROR_INPUT_EOF, L"Extract Files ERROR_INPUT_EOF", 150205},
    {SZ_ERROR_OUTPUT_EOF, L"Extract Files ERROR_OUTPUT_EOF", 150206},
    {SZ_ERROR_READ, L"Extract Files ERROR_READ", 150207},
    {SZ_ERROR_WRITE, L"Extract Files ERROR_WRITE", 150208},
    {SZ_ERROR_PROGRESS, L"Extract Files ERROR_PROGRESS", 150209},
    {SZ_ERROR_FAIL, L"Extract Files ERROR_FAIL", 150210},
    {SZ_ERROR_THREAD, L"Extract Files ERROR_THREAD", 150211},
    {SZ_ERROR_ARCHIVE, L"Extract Files ERROR_ARCHIVE", 150212},
    {SZ_ERROR_NO_ARCHIVE, L"Extract Files NO_ARCHIVE", 150213},
};

const ISzAlloc kAlloc = {SzAlloc, SzFree};

std::wstring NameText(const std::vector<uint16_t>& name) {
  return std::wstring(name.begin(), name.end());
}

// Looks at every stored name before anything is written, so a hostile archive leaves the
// target folder as it was.
SRes CheckEntryNames(const CSzArEx& db) {
  std::vector<uint16_t> name;
  if (FindRefusedEntryName(db, &name)) {
    SfxLog::Write(1, L"Refused archive entry outside the target folder: ", NameText(name), 0);
    return SZ_ERROR_ARCHIVE;
  }
  return SZ_OK;
}

// The full path of `path`, however long; empty when the system cannot give it.
std::wstring FullPathOf(const std::wstring& path) {
  std::wstring full(::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr), L'\0');
  const DWORD length =
      ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  if (length == 0 || length >= full.size()) return std::wstring();
  full.resize(length);
  return full;
}

// The archive file, read through the SDK's file stream and closed however extraction ends.
class ArchiveFileStream {
 public:
  ArchiveFileStream() {
    File_Construct(&stream_.file);
    FileInStream_CreateVTable(&stream_);
    stream_.wres = 0;
  }
  ~ArchiveFileStream() { CloseKeepingLastError(&stream_.file); }
  ArchiveFileStream(const ArchiveFileStream&) = delete;
  ArchiveFileStream& operator=(const ArchiveFileStream&) = delete;

  // The system error of a failed open, 0 on success.
  WRes Open(const std::wstring& path) {
    const std::wstring full = FullPathOf(path);
    return InFile_OpenW(&stream_.file, full.empty() ? path.c_str() : LongPathForm(full).c_str());
  }
  const ISeekInStream* stream() const { return &stream_.vt; }

 private:
  CFileInStream stream_;
};

// Opens the archive read through `stream` and extracts its entries into the current
// directory. On a failure `*failureError` is the system error of the call that failed, 0
// when none did (a bad check sum, a refused name): it is carried to the condition past the
// cleanup that follows.
SRes ExtractEntries(ILookInStreamPtr stream, const std::wstring& root, DWORD* failureError) {
  CrcGenerateTable();
  ArchiveDatabase db(&kAlloc);
  ::SetLastError(0);
  SRes result = db.Open(stream);
  if (result != SZ_OK) {
    *failureError = ::GetLastError();
    return result;
  }
  result = CheckEntryNames(db.get());
  if (result != SZ_OK) return result;

  return WriteArchiveEntries(db, stream, root, failureError);
}

}  // namespace

int ReportEntryProgress() {
  DecodeHost& host = RunDecodeHost();
  host.ReportProgress(1);
  if (host.IsFinished()) return kRunStateFinished;
  if (host.IsPaused()) return kRunStatePaused;
  return kRunStateRunning;
}

void SetExtractErrorCondition(SRes result) {
  if (RunDecodeHost().IsCancelled()) return;
  for (const ResultText& row : kResultTexts) {
    if (row.result == result) {
      theApp.error_.SetErrorCondition(row.text, row.code, static_cast<int>(::GetLastError()));
      return;
    }
  }
}

DWORD WriteOutputFile(HANDLE file, const void* data, size_t* size) {
  UInt64 fileBytes = 0;
  return WriteFileChunks(file, data, size, &fileBytes);
}

SRes ExtractArchiveEntries(const std::wstring& archivePath) {
  ScopedDecodeHost hostScope(RunDecodeHost());

  ArchiveFileStream archiveStream;
  if (const WRes openError = archiveStream.Open(archivePath)) {
    theApp.error_.SetErrorCondition(L"InFile_OpenW failed with archive path: " + archivePath,
                                    kSfxErrExtractNoArchive, static_cast<int>(openError));
    ::SetLastError(static_cast<DWORD>(openError));
    return SZ_ERROR_FAIL;
  }
  LookAheadReader lookStream(archiveStream.stream(), kLookBufferSize);

  // Every entry is made through its full path in the current directory, the target folder.
  std::wstring root = FullPathOf(L".");
  if (!root.empty() && root.back() == L'\\') root.pop_back();
  DWORD failureError = 0;
  const SRes result = ExtractEntries(lookStream.stream(), root, &failureError);
  if (result != SZ_OK) {
    ::SetLastError(failureError);
    SetExtractErrorCondition(result);
    ::SetLastError(failureError);  // for the caller's log line
  }
  return result;
}

BOOL ExtractFilesFromArchive(const std::wstring& archivePath, const std::wstring& targetFolder) {
  SfxLog::Write(2, L"Extracting files from Archive: ", archivePath, 0);

  wchar_t savedDirectory[kCurrentDirectoryCapacity];
  const DWORD length = ::GetCurrentDirectoryW(kCurrentDirectoryCapacity, savedDirectory);
  if (length == 0 || length >= kCurrentDirectoryCapacity) {
    theApp.error_.SetErrorCondition(L"Failed to get current working directory",
                                    kSfxErrGetCurrentDirectory,
                                    static_cast<int>(::GetLastError()));
    return FALSE;
  }
  if (!::SetCurrentDirectoryW(targetFolder.c_str())) {
    theApp.error_.SetErrorCondition(L"Failed to change current working directory",
                                    kSfxErrSetCurrentDirectory,
                                    static_cast<int>(::GetLastError()));
    return FALSE;
  }

  const SRes result = ExtractArchiveEntries(archivePath);
  const DWORD extractError = ::GetLastError();

  if (!::SetCurrentDirectoryW(savedDirectory)) {
    SfxLog::Write(2, L"Failed to change back current working directory", 0);
  }
  if (result != SZ_OK) {
    ::SetLastError(extractError);
    SfxLog::Write(2, L"ExtractFilesFromArchive failed", 1);
    return FALSE;
  }
  return TRUE;
}

}  // namespace zelko
