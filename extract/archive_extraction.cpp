#include "extract/archive_extraction.h"

#include <new>
#include <unordered_set>
#include <vector>

#include "7z.h"
#include "7zAlloc.h"
#include "7zCrc.h"
#include "7zFile.h"
#include "app/sfx_app.h"
#include "extract/entry_names.h"
#include "extract/look_reader.h"
#include "extract/pause_wait.h"
#include "extract/sdk_archive.h"
#include "report/run_log.h"

namespace zelko {
namespace {

constexpr size_t kLookBufferSize = 1 << 14;
constexpr DWORD kCurrentDirectoryCapacity = MAX_PATH;  // terminating zero included

// Attribute bits that a file may be given. Archives made on other systems carry their own
// mode bits in the high half, which are no Windows attributes at all.
constexpr DWORD kSettableAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
    FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_TEMPORARY |
    FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
// What a file made by OutFile_OpenW (always created anew, normal attributes) carries, whether
// it is new or replaces one: setting these again would change nothing.
constexpr DWORD kNewFileAttributes = FILE_ATTRIBUTE_ARCHIVE;

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

// Remembers a file or folder this run made (the current directory is the target folder), so
// that a cancel can take back exactly that from a folder that also holds the user's files.
// Paths deep in the tree may be longer than any fixed buffer; each is recorded all the same.
void RememberCreated(const wchar_t* relativePath) {
  std::wstring full(::GetFullPathNameW(relativePath, 0, nullptr, nullptr), L'\0');
  const DWORD length =
      ::GetFullPathNameW(relativePath, static_cast<DWORD>(full.size()), full.data(), nullptr);
  if (length > 0 && length < full.size()) {
    full.resize(length);
    theApp.extractedPaths_.push_back(std::move(full));
  }
}

// The folders of the entries' paths, each asked for once per extraction: the entries of a
// folder all name it again, and every call is a round trip to the file system (under Wine a
// message to its server, on Windows a pass through the antivirus filter). Once asked for, a
// folder was made or found, and asking again would give the same answer.
class EntryFolders {
 public:
  // Creates the folder `name` and remembers it when it is new.
  void Create(const wchar_t* name) {
    if (!asked_.insert(name).second) return;
    if (::CreateDirectoryW(name, nullptr)) RememberCreated(name);
  }

  // Creates the directories on the way to `name` and turns its "/" into "\".
  void CreateParents(wchar_t* name) {
    for (wchar_t* c = name; *c != 0; ++c) {
      if (*c != L'/') continue;
      *c = 0;
      Create(name);
      *c = L'\\';
    }
  }

 private:
  std::unordered_set<std::wstring> asked_;
};

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
  WRes Open(const std::wstring& path) { return InFile_OpenW(&stream_.file, path.c_str()); }
  const ISeekInStream* stream() const { return &stream_.vt; }

  static void CloseKeepingLastError(CSzFile* file) {
    const DWORD saved = ::GetLastError();
    File_Close(file);
    ::SetLastError(saved);
  }

 private:
  CFileInStream stream_;
};

// An extracted file being written. Close() reports a failed close, which can lose data
// still buffered; a file left open on a failure path is closed by the destructor.
class OutputFile {
 public:
  OutputFile() { File_Construct(&file_); }
  ~OutputFile() { ArchiveFileStream::CloseKeepingLastError(&file_); }
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  WRes Open(const wchar_t* path) { return OutFile_OpenW(&file_, path); }
  WRes Close() { return File_Close(&file_); }
  HANDLE handle() const { return file_.handle; }

 private:
  CSzFile file_;
};

// Makes room for a stored name of `length` units (its terminating zero included).
bool ReserveName(std::vector<UInt16>* name, size_t length) {
  try {
    if (length > name->size()) name->resize(length);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

// Opens the archive read through `stream` and extracts its entries into the current
// directory. On a failure `*failureError` is the system error of the call that failed, 0
// when none did (a bad check sum, a refused name): it is carried to the condition past the
// cleanup that follows.
SRes ExtractEntries(ILookInStreamPtr stream, DWORD* failureError) {
  DecodeHost& host = CurrentDecodeHost();
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

  ExtractCache cache(&kAlloc);
  std::vector<UInt16> name;
  static_assert(sizeof(wchar_t) == sizeof(UInt16), "UTF-16 names are used as they are");
  int runState = kRunStateRunning;
  EntryFolders folders;

  for (UInt32 i = 0; i < db->NumFiles;) {
    if (runState == kRunStateFinished || host.IsFinished()) break;
    if (runState == kRunStatePaused) {
      host.WaitWhilePaused();
      runState = ReportEntryProgress();
      continue;  // the entry has not been touched yet
    }

    if (!ReserveName(&name, GetStoredEntryName(db.get(), i, nullptr))) {
      *failureError = ERROR_NOT_ENOUGH_MEMORY;
      return SZ_ERROR_MEM;
    }
    GetStoredEntryName(db.get(), i, name.data());
    wchar_t* path = reinterpret_cast<wchar_t*>(name.data());

    const bool isDir = SzArEx_IsDir(db.sdk(), i);
    const Byte* bytes = nullptr;  // none for empty files
    size_t outSize = 0;
    if (!isDir) {
      ::SetLastError(0);
      result = cache.Extract(db, stream, i, &bytes, &outSize);
      if (result != SZ_OK) {
        *failureError = ::GetLastError();
        return result;
      }
    }

    folders.CreateParents(path);
    if (isDir) {
      folders.Create(path);
      ++i;
      continue;
    }

    OutputFile outFile;
    if (const WRes openError = outFile.Open(path)) {
      *failureError = static_cast<DWORD>(openError);
      SfxLog::Write(1, L"can not open output file", path, 0);
      return SZ_ERROR_FAIL;
    }
    RememberCreated(path);
    size_t written = outSize;
    const DWORD writeError = WriteOutputFile(outFile.handle(), bytes, &written);
    if (writeError != 0 || written != outSize) {
      *failureError = writeError;
      SfxLog::Write(1, L"can not write output file: ", path, 0);
      return SZ_ERROR_WRITE;
    }
    if (SzBitWithVals_Check(&db->MTime, i)) {
      const FILETIME time = {db->MTime.Vals[i].Low, db->MTime.Vals[i].High};
      ::SetFileTime(outFile.handle(), &time, nullptr, &time);
    }
    if (const WRes closeError = outFile.Close()) {
      *failureError = static_cast<DWORD>(closeError);
      SfxLog::Write(1, L"can not close output file");
      return SZ_ERROR_FAIL;
    }
    if (SzBitWithVals_Check(&db->Attribs, i)) {
      const DWORD attributes = db->Attribs.Vals[i] & kSettableAttributes;
      if (attributes != kNewFileAttributes) ::SetFileAttributesW(path, attributes);
    }
    runState = ReportEntryProgress();
    ++i;
  }
  return SZ_OK;
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
  size_t remaining = *size;
  *size = 0;
  if (remaining == 0) return 0;
  DecodeHost& host = RunDecodeHost();
  const BYTE* next = static_cast<const BYTE*>(data);
  for (;;) {
    if (host.IsFinished()) return 0;
    if (host.IsPaused()) {
      host.WaitWhilePaused();
      if (host.IsFinished()) return 0;
    }
    const DWORD chunk = static_cast<DWORD>(remaining < kOutputChunkSize ? remaining
                                                                        : kOutputChunkSize);
    DWORD written = 0;
    const BOOL ok = ::WriteFile(file, next, chunk, &written, nullptr);
    const DWORD error = ok ? 0 : ::GetLastError();
    host.ReportProgress(chunk / 1024);
    next += written;
    remaining -= written;
    *size += written;
    if (!ok) return error;
    if (written == 0 || remaining == 0) return 0;
  }
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

  DWORD failureError = 0;
  const SRes result = ExtractEntries(lookStream.stream(), &failureError);
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
