#include "extract/entry_writer.h"

#include <mutex>
#include <new>
#include <string>
#include <unordered_set>
#include <vector>

#include "7z.h"
#include "7zAlloc.h"
#include "7zCrc.h"
#include "7zFile.h"
#include "app/sfx_app.h"
#include "extract/archive_extraction.h"
#include "extract/entry_names.h"
#include "extract/folder_stream.h"
#include "extract/pause_wait.h"
#include "extract/write_queue.h"
#include "report/run_log.h"
#include "win/folder_tree.h"

namespace zelko {
namespace {

constexpr UInt32 kNoFolder = static_cast<UInt32>(-1);
// What the entry writer returns to the decoder to stop it: the run was finished between two
// entries. It never leaves the writer.
constexpr SRes kStopped = SZ_ERROR_PROGRESS;

// Attribute bits that a file may be given. Archives made on other systems carry their own
// mode bits in the high half, which are no Windows attributes at all.
constexpr DWORD kSettableAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
    FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_TEMPORARY |
    FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
// What a file made by OutFile_OpenW (always created anew, normal attributes) carries, whether
// it is new or replaces one: setting these again would change nothing.
constexpr DWORD kNewFileAttributes = FILE_ATTRIBUTE_ARCHIVE;

const ISzAlloc kAlloc = {SzAlloc, SzFree};

// Remembers a file or folder this run made (by its full path), so that a cancel can take
// back exactly that from a folder that also holds the user's files.
void RememberCreated(const std::wstring& fullPath) {
  theApp.extractedPaths_.push_back(fullPath);
}

// The full path of the stored name `relative` (already with "\" between its parts) in the
// target folder `root`.
std::wstring FullPath(const std::wstring& root, const wchar_t* relative) {
  return root + L"\\" + relative;
}

// The folders of the entries' paths, each asked for once per extraction: the entries of a
// folder all name it again, and every call is a round trip to the file system (under Wine a
// message to its server, on Windows a pass through the antivirus filter). Once asked for, a
// folder was made or found, and asking again would give the same answer.
class EntryFolders {
 public:
  explicit EntryFolders(const std::wstring& root) : root_(root) {}

  // Creates the folder `name` and remembers it when it is new.
  void Create(const wchar_t* name) {
    if (!asked_.insert(name).second) return;
    const std::wstring full = FullPath(root_, name);
    if (::CreateDirectoryW(LongPathForm(full).c_str(), nullptr)) RememberCreated(full);
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
  const std::wstring& root_;
  std::unordered_set<std::wstring> asked_;
};

// An extracted file being written. Close() reports a failed close, which can lose data
// still buffered; a file left open on a failure path is closed by the destructor.
class OutputFile {
 public:
  OutputFile() { File_Construct(&file_); }
  ~OutputFile() { CloseKeepingLastError(&file_); }
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  WRes Open(const std::wstring& path) { return OutFile_OpenW(&file_, LongPathForm(path).c_str()); }
  WRes Close() { return File_Close(&file_); }
  // Closes a file whose content is worthless and deletes it.
  void Discard(const std::wstring& path) {
    CloseKeepingLastError(&file_);
    const DWORD saved = ::GetLastError();
    ::DeleteFileW(LongPathForm(path).c_str());
    ::SetLastError(saved);
  }
  bool IsOpen() const { return file_.handle != INVALID_HANDLE_VALUE; }
  HANDLE handle() const { return file_.handle; }

 private:
  CSzFile file_;
};

// Keeps the last error of the decoder's own calls across the file calls the writer makes
// while the decoder runs, so that a failing read is reported with its own error.
class LastErrorKept {
 public:
  LastErrorKept() : saved_(::GetLastError()) {}
  ~LastErrorKept() { ::SetLastError(saved_); }
  LastErrorKept(const LastErrorKept&) = delete;
  LastErrorKept& operator=(const LastErrorKept&) = delete;

 private:
  DWORD saved_;
};

class EntryWriter : public FolderSink {
 public:
  EntryWriter(ArchiveDatabase& db, ILookInStreamPtr stream, const std::wstring& root)
      : db_(db), stream_(stream), root_(root), shared_(RunDecodeHost()), host_(shared_) {}

  SRes Run(DWORD* failureError) {
    // The folders' files are written on a thread of their own while the folders decode; the
    // entries without data in between are made here, while that thread waits.
    ScopedDecodeHost hostScope(shared_);
    queued_ = queue_.Start();
    const UInt32 count = db_->NumFiles;
    SRes result = SZ_OK;
    while (next_ < count) {
      if (!ReadyForEntry()) break;
      const UInt32 folder = db_->FileToFolder[next_];
      result = folder == kNoFolder ? EntryWithoutData(next_++) : StreamEntries(folder);
      if (result == kStopped) return SZ_OK;
      if (result != SZ_OK) break;
    }
    *failureError = failureError_;
    return result;
  }

  // The folder's next bytes: into the open file, then the next files in their turn.
  SRes Put(const Byte* data, size_t size) override {
    LastErrorKept kept;
    while (size != 0) {
      if (!file_.IsOpen()) {
        const SRes res = OpenNextFile();
        if (res != SZ_OK || !file_.IsOpen()) return res;  // past the last file: bytes unused
      }
      const UInt64 left = fileEnd_ - position_;
      const size_t n = left < size ? static_cast<size_t>(left) : size;
      RINOK(WritePiece(data, n))
      data += n;
      size -= n;
      position_ += n;
      if (position_ == fileEnd_) RINOK(FinishFile())
    }
    return SZ_OK;
  }

 private:
  // The checks before every entry: stop once the run is finished, wait while it is paused
  // (and report 1 KB after the wait).
  bool ReadyForEntry() {
    for (;;) {
      if (runState_ == kRunStateFinished || host_.IsFinished()) return false;
      if (runState_ != kRunStatePaused) return true;
      host_.WaitWhilePaused();
      runState_ = ReportEntryProgress();
    }
  }

  // Reads the name of entry `index` into name_ and makes its parent folders.
  SRes PrepareName(UInt32 index) {
    const size_t length = GetStoredEntryName(db_.get(), index, nullptr);
    try {
      if (length > name_.size()) name_.resize(length);
    } catch (const std::bad_alloc&) {
      failureError_ = ERROR_NOT_ENOUGH_MEMORY;
      return SZ_ERROR_MEM;
    }
    GetStoredEntryName(db_.get(), index, name_.data());
    folders_.CreateParents(path());
    fullPath_ = FullPath(root_, path());
    return SZ_OK;
  }
  // The entry's name as stored, with "\" between its parts (what the log names).
  wchar_t* path() { return reinterpret_cast<wchar_t*>(name_.data()); }

  // A directory, or a file without data.
  SRes EntryWithoutData(UInt32 index) {
    RINOK(PrepareName(index))
    if (SzArEx_IsDir(db_.sdk(), index)) {
      folders_.Create(path());
      return SZ_OK;
    }
    RINOK(OpenFile(index))
    return FinishFile();
  }

  SRes OpenFile(UInt32 index) {
    if (const WRes openError = file_.Open(fullPath_)) {
      failureError_ = static_cast<DWORD>(openError);
      LogFailure(L"can not open output file", path());
      return SZ_ERROR_FAIL;
    }
    RememberCreated(fullPath_);
    fileIndex_ = index;
    fileBytes_ = 0;
    crc_ = CRC_INIT_VAL;
    return SZ_OK;
  }

  // Every entry of `folder`'s files, and the entries without data among them, from one
  // decoding of the folder.
  SRes StreamEntries(UInt32 folder) {
    lastFile_ = next_;
    for (UInt32 i = next_; i < db_->NumFiles; ++i) {
      const UInt32 owner = db_->FileToFolder[i];
      if (owner == folder) lastFile_ = i;
      else if (owner != kNoFolder) break;
    }
    const UInt64 folderSize = SzAr_GetFolderUnpackSize(&db_->db, folder);
    const UInt64 filesSize = db_->UnpackPositions[lastFile_ + 1] - db_->UnpackPositions[next_];
    if (filesSize > folderSize) return SZ_ERROR_FAIL;  // the files would reach past the folder

    position_ = 0;
    fileEnd_ = 0;
    readyChecked_ = true;  // Run looked at the flags for the folder's first entry
    ::SetLastError(0);
    FolderSink& sink = queued_ ? static_cast<FolderSink&>(queue_) : *this;
    const SRes res = StreamFolder(&db_->db, folder, stream_, db_->dataPos, sink, &kAlloc);
    const DWORD decodeError = ::GetLastError();
    // A failure stops the writer too; it has written everything before a success.
    if (queued_) queue_.Drain(res != SZ_OK);
    if (sinkResult_ != SZ_OK) return sinkResult_;  // the writer's own failure or stop
    if (res == SZ_OK && position_ == filesSize) {
      // Files without bytes at the folder's end, and entries without data before the next.
      const SRes rest = OpenNextFile();
      if (rest != SZ_OK) return rest;
      next_ = lastFile_ + 1;
      return SZ_OK;
    }
    if (res != SZ_OK) {
      // Damaged data: what was written of the file in hand is wrong, and goes.
      failureError_ = decodeError;
      if (file_.IsOpen()) DiscardFile();
      return res;
    }
    // A cancel while the folder was decoded.
    if (file_.IsOpen()) {
      LogFailure(L"can not write output file: ", path());
      return SZ_ERROR_WRITE;
    }
    return SZ_ERROR_CRC;
  }

  // Moves on to the folder's next file with data, creating the entries without data before
  // it and finishing files of no bytes. Leaves no file open past the folder's last file.
  SRes OpenNextFile() {
    while (next_ <= lastFile_) {
      if (!readyChecked_ && !ReadyForEntry()) return Fail(kStopped);
      readyChecked_ = false;
      const UInt32 index = next_++;
      if (db_->FileToFolder[index] == kNoFolder) {
        const SRes res = EntryWithoutData(index);
        if (res != SZ_OK) return Fail(res);
        continue;
      }
      SRes res = PrepareName(index);
      if (res == SZ_OK) res = OpenFile(index);
      if (res != SZ_OK) return Fail(res);
      fileEnd_ = position_ + SzArEx_GetFileSize(db_.sdk(), index);
      if (fileEnd_ != position_) return SZ_OK;
      res = FinishFile();
      if (res != SZ_OK) return res;
    }
    return SZ_OK;
  }

  SRes WritePiece(const Byte* data, size_t size) {
    crc_ = CrcUpdate(crc_, data, size);
    size_t written = size;
    const DWORD writeError = WriteFileChunks(file_.handle(), data, &written, &fileBytes_);
    if (writeError != 0 || written != size) {
      failureError_ = writeError;
      LogFailure(L"can not write output file: ", path());
      return Fail(SZ_ERROR_WRITE);
    }
    return SZ_OK;
  }

  // The file's last byte is written: its check sum, time, close and attributes, then 1 KB.
  SRes FinishFile() {
    const UInt32 i = fileIndex_;
    if (SzBitWithVals_Check(&db_->CRCs, i) && CRC_GET_DIGEST(crc_) != db_->CRCs.Vals[i]) {
      DiscardFile();
      return Fail(SZ_ERROR_CRC);
    }
    if (SzBitWithVals_Check(&db_->MTime, i)) {
      const FILETIME time = {db_->MTime.Vals[i].Low, db_->MTime.Vals[i].High};
      ::SetFileTime(file_.handle(), &time, nullptr, &time);
    }
    if (const WRes closeError = file_.Close()) {
      failureError_ = static_cast<DWORD>(closeError);
      LogFailure(L"can not close output file", nullptr);
      return Fail(SZ_ERROR_FAIL);
    }
    if (SzBitWithVals_Check(&db_->Attribs, i)) {
      const DWORD attributes = db_->Attribs.Vals[i] & kSettableAttributes;
      if (attributes != kNewFileAttributes) {
        ::SetFileAttributesW(LongPathForm(fullPath_).c_str(), attributes);
      }
    }
    runState_ = ReportEntryProgress();
    return SZ_OK;
  }

  // A failure's line (level 1), through the lock the decoder's lines take too: the two
  // threads may fail at once.
  void LogFailure(const wchar_t* text, const wchar_t* name) {
    std::lock_guard<DecodeMutex> lock(shared_.lock());
    if (name == nullptr) {
      SfxLog::Write(1, text);
    } else {
      SfxLog::Write(1, text, name, 0);
    }
  }

  // Deletes the file in hand; it is no longer the run's to take back.
  void DiscardFile() {
    file_.Discard(fullPath_);
    std::vector<std::wstring>& made = theApp.extractedPaths_;
    if (!made.empty()) made.pop_back();
  }

  // Records the writer's own failure (or stop), which the decoder hands back unchanged.
  SRes Fail(SRes result) {
    sinkResult_ = result;
    return result;
  }

  ArchiveDatabase& db_;
  ILookInStreamPtr stream_;
  const std::wstring root_;
  SharedDecodeHost shared_;
  DecodeHost& host_;
  std::vector<UInt16> name_;
  std::wstring fullPath_;  // of the entry in hand
  EntryFolders folders_{root_};
  OutputFile file_;
  int runState_ = kRunStateRunning;
  UInt32 next_ = 0;          // the next entry to write
  UInt32 lastFile_ = 0;      // the last entry of the folder being decoded
  UInt32 fileIndex_ = 0;     // the entry of the open file
  UInt64 position_ = 0;      // bytes of the folder so far
  UInt64 fileEnd_ = 0;       // where the open file ends in the folder
  UInt64 fileBytes_ = 0;     // bytes of the open file so far, for progress
  UInt32 crc_ = CRC_INIT_VAL;
  bool readyChecked_ = false;
  SRes sinkResult_ = SZ_OK;
  DWORD failureError_ = 0;
  bool queued_ = false;
  WriteQueue queue_{*this, shared_};  // last: its thread ends before anything it uses goes
};

}  // namespace

void CloseKeepingLastError(CSzFile* file) {
  const DWORD saved = ::GetLastError();
  File_Close(file);
  ::SetLastError(saved);
}

DWORD WriteFileChunks(HANDLE file, const void* data, size_t* size, UInt64* fileBytes) {
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
    const UInt64 before = *fileBytes;
    *fileBytes += chunk;
    host.ReportProgress(static_cast<uint32_t>(*fileBytes / 1024 - before / 1024));
    next += written;
    remaining -= written;
    *size += written;
    if (!ok) return error;
    if (written == 0 || remaining == 0) return 0;
  }
}

SRes WriteArchiveEntries(ArchiveDatabase& db, ILookInStreamPtr stream, const std::wstring& root,
                         DWORD* failureError) {
  EntryWriter writer(db, stream, root);
  return writer.Run(failureError);
}

}  // namespace zelko
