#include "extract/archive_extraction.h"

#include <cstdlib>
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
void RememberCreated(const wchar_t* relativePath) {
  wchar_t full[kCurrentDirectoryCapacity * 2];
  const DWORD length = ::GetFullPathNameW(relativePath, kCurrentDirectoryCapacity * 2, full, nullptr);
  if (length > 0 && length < kCurrentDirectoryCapacity * 2) {
    theApp.extractedPaths_.push_back(std::wstring(full, length));
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
  DecodeHost& host = CurrentDecodeHost();

  CFileInStream archiveStream;
  File_Construct(&archiveStream.file);
  if (InFile_OpenW(&archiveStream.file, archivePath.c_str()) != 0) {
    const DWORD error = ::GetLastError();
    theApp.error_.SetErrorCondition(L"InFile_OpenW failed with archive path: " + archivePath,
                                    kSfxErrExtractNoArchive, static_cast<int>(error));
    return SZ_ERROR_FAIL;
  }
  FileInStream_CreateVTable(&archiveStream);
  archiveStream.wres = 0;

  LookAheadReader lookStream(&archiveStream.vt, kLookBufferSize);

  CrcGenerateTable();
  CSzArEx db;
  SzArEx_Init(&db);
  SRes result = SzArEx_Open(&db, lookStream.stream(), &kAlloc, &kAlloc);
  if (result == SZ_OK) result = CheckEntryNames(db);

  if (result == SZ_OK) {
    UInt32 blockIndex = 0xFFFFFFFF;
    Byte* cache = nullptr;
    size_t cacheSize = 0;
    UInt16* name = nullptr;
    size_t nameCapacity = 0;
    int runState = kRunStateRunning;
    EntryFolders folders;

    for (UInt32 i = 0; i < db.NumFiles;) {
      if (runState == kRunStateFinished || host.IsFinished()) break;
      if (runState == kRunStatePaused) {
        host.WaitWhilePaused();
        runState = ReportEntryProgress();
        continue;  // the entry has not been touched yet
      }

      const size_t nameLength = GetStoredEntryName(db, i, nullptr);
      if (nameLength > nameCapacity) {
        std::free(name);
        nameCapacity = nameLength;
        name = static_cast<UInt16*>(std::malloc(nameCapacity * sizeof(UInt16)));
        if (name == nullptr) {
          nameCapacity = 0;
          result = SZ_ERROR_MEM;
          break;
        }
      }
      GetStoredEntryName(db, i, name);
      wchar_t* path = reinterpret_cast<wchar_t*>(name);
      static_assert(sizeof(wchar_t) == sizeof(UInt16), "UTF-16 names are used as they are");

      const bool isDir = SzArEx_IsDir(&db, i);
      size_t offset = 0;
      size_t outSize = 0;
      if (!isDir) {
        result = SzArEx_Extract(&db, lookStream.stream(), i, &blockIndex, &cache, &cacheSize, &offset,
                                &outSize, &kAlloc, &kAlloc);
        if (result != SZ_OK) break;
      }

      folders.CreateParents(path);
      if (isDir) {
        folders.Create(path);
        ++i;
        continue;
      }

      CSzFile outFile;
      File_Construct(&outFile);
      if (OutFile_OpenW(&outFile, path) != 0) {
        SfxLog::Write(1, L"can not open output file", path, 0);
        result = SZ_ERROR_FAIL;
        break;
      }
      RememberCreated(path);
      size_t written = outSize;
      const Byte* bytes = cache != nullptr ? cache + offset : nullptr;  // none for empty files
      const DWORD writeError = WriteOutputFile(outFile.handle, bytes, &written);
      if (writeError != 0 || written != outSize) {
        SfxLog::Write(1, L"can not write output file: ", path, 0);
        File_Close(&outFile);
        result = SZ_ERROR_WRITE;
        break;
      }
      if (SzBitWithVals_Check(&db.MTime, i)) {
        const FILETIME time = {db.MTime.Vals[i].Low, db.MTime.Vals[i].High};
        ::SetFileTime(outFile.handle, &time, nullptr, &time);
      }
      if (File_Close(&outFile) != 0) {
        SfxLog::Write(1, L"can not close output file");
        result = SZ_ERROR_FAIL;
        break;
      }
      if (SzBitWithVals_Check(&db.Attribs, i)) {
        const DWORD attributes = db.Attribs.Vals[i] & kSettableAttributes;
        if (attributes != kNewFileAttributes) ::SetFileAttributesW(path, attributes);
      }
      runState = ReportEntryProgress();
      ++i;
    }
    ISzAlloc_Free(&kAlloc, cache);
    std::free(name);
  }

  SzArEx_Free(&db, &kAlloc);
  File_Close(&archiveStream.file);
  if (result != SZ_OK) SetExtractErrorCondition(result);
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

  if (!::SetCurrentDirectoryW(savedDirectory)) {
    SfxLog::Write(2, L"Failed to change back current working directory", 0);
  }
  if (result != SZ_OK) {
    SfxLog::Write(2, L"ExtractFilesFromArchive failed", 1);
    return FALSE;
  }
  return TRUE;
}

}  // namespace zelko
