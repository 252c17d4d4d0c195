#include "extract/lzma2_blocks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <numeric>
#include <memory>
#include <string>
#include <vector>

#include "7z.h"
#include "7zAlloc.h"
#include "7zCrc.h"
#include "extract/decode_host.h"
#include "extract/look_reader.h"
#include "extract/memory_stream.h"
#include "tests/extract/extract_test_support.h"
#include "tests/support/temp_folder.h"

namespace zelko::test {
namespace {

const ISzAlloc kAlloc = {SzAlloc, SzFree};
constexpr size_t kBlockSize = 2 << 20;  // the c= of make_fixtures.sh

// The allocator of an archive whose folder decoding tells which path ran: each worker of the
// block decoder takes an input buffer of its own (256 KiB); the one-decoder path reads
// through the archive's look-ahead buffer and takes no such buffer.
constexpr size_t kWorkerInputBuffer = 1 << 18;
std::atomic<int> workerBuffers{0};
void* CountingAlloc(ISzAllocPtr, size_t size) {
  if (size == kWorkerInputBuffer) ++workerBuffers;
  return SzAlloc(nullptr, size);
}
void CountingFree(ISzAllocPtr, void* address) { SzFree(nullptr, address); }
const ISzAlloc kCountingAlloc = {CountingAlloc, CountingFree};

// An archive held in memory and opened with the SDK's reader: its first folder is one LZMA2
// coder over one packed stream.
class MemoryArchive {
 public:
  // `alloc` serves the decoding; the archive's own tables come from kAlloc.
  explicit MemoryArchive(std::string bytes, const ISzAlloc* alloc = &kAlloc)
      : bytes_(std::move(bytes)), alloc_(alloc) {
    MemoryInStream_Init(&input_, bytes_.data(), bytes_.size());
    look_ = std::make_unique<LookAheadReader>(&input_.vt, 1 << 14);
    CrcGenerateTable();
    SzArEx_Init(&db_);
    opened_ = SzArEx_Open(&db_, look_->stream(), &kAlloc, &kAlloc);
  }
  ~MemoryArchive() {
    ISzAlloc_Free(&kAlloc, cache_);
    SzArEx_Free(&db_, &kAlloc);
  }

  SRes opened() const { return opened_; }
  ILookInStreamPtr stream() const { return look_->stream(); }
  UInt64 packStart() const { return db_.dataPos + db_.db.PackPositions[0]; }
  UInt64 packSize() const { return db_.db.PackPositions[1] - db_.db.PackPositions[0]; }
  size_t unpackSize() const { return static_cast<size_t>(SzAr_GetFolderUnpackSize(&db_.db, 0)); }
  Byte prop() const {
    CSzFolder folder;
    CSzData sd = {db_.db.CodersData, db_.db.FoCodersOffsets[1]};
    EXPECT_EQ(SZ_OK, SzGetNextFolderItem(&folder, &sd));
    EXPECT_EQ(1u, folder.Coders[0].PropsSize);
    return db_.db.CodersData[folder.Coders[0].PropsOffset];
  }

  // Extracts every file entry into `files` by name; the first failing result, or SZ_OK.
  SRes ExtractAll(std::map<std::wstring, std::string>* files) {
    for (UInt32 i = 0; i < db_.NumFiles; ++i) {
      if (SzArEx_IsDir(&db_, i)) continue;
      size_t offset = 0, size = 0;
      RINOK(SzArEx_Extract(&db_, look_->stream(), i, &blockIndex_, &cache_, &cacheSize_, &offset,
                           &size, &kAlloc, alloc_))
      std::vector<UInt16> units(SzArEx_GetFileNameUtf16(&db_, i, nullptr));  // with its 0
      SzArEx_GetFileNameUtf16(&db_, i, units.data());
      (*files)[std::wstring(units.begin(), units.end() - 1)].assign(reinterpret_cast<const char*>(cache_) + offset, size);
    }
    return SZ_OK;
  }

 private:
  std::string bytes_;
  const ISzAlloc* alloc_;
  MemoryInStream input_;
  std::unique_ptr<LookAheadReader> look_;
  CSzArEx db_;
  SRes opened_;
  UInt32 blockIndex_ = 0xFFFFFFFF;
  Byte* cache_ = nullptr;
  size_t cacheSize_ = 0;
};

// The progress a run was given, in KB.
uint64_t TotalKB(const ScriptedHost& run) {
  return std::accumulate(run.amounts.begin(), run.amounts.end(), uint64_t{0});
}

// A run that lets the decoder use `threads` threads.
ScriptedHost WithThreads(unsigned threads) {
  ScriptedHost run;
  run.threads = threads;
  return run;
}

std::map<std::wstring, std::string> SourceFiles() {
  std::map<std::wstring, std::string> files;
  for (const wchar_t* name : {L"a_numbers.txt", L"b_noise.bin", L"c_numbers.txt"}) {
    files[name] = ReadFileBytes(Fixture(std::wstring(L"blocks\\") + name));
  }
  return files;
}

std::vector<Lzma2Block> Blocks(MemoryArchive& archive) {
  std::vector<Lzma2Block> blocks;
  EXPECT_TRUE(FindLzma2Blocks(archive.stream(), archive.packStart(), archive.packSize(),
                              archive.unpackSize(), &blocks));
  return blocks;
}

TEST(Lzma2BlocksTest, FindsTheBlocksTheEncoderWrote) {
  MemoryArchive split(ReadFileBytes(Fixture(L"lzma2_blocks.7z")));
  ASSERT_EQ(SZ_OK, split.opened());
  const std::vector<Lzma2Block> blocks = Blocks(split);
  ASSERT_EQ((split.unpackSize() + kBlockSize - 1) / kBlockSize, blocks.size());
  UInt64 packEnd = 0;
  for (size_t i = 0; i < blocks.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(i * kBlockSize, blocks[i].unpackOffset);
    EXPECT_EQ(i + 1 < blocks.size() ? kBlockSize : split.unpackSize() - i * kBlockSize,
              blocks[i].unpackSize);
    EXPECT_EQ(packEnd, blocks[i].packOffset);
    packEnd += blocks[i].packSize;
  }
  EXPECT_EQ(split.packSize(), packEnd);

  MemoryArchive whole(ReadFileBytes(Fixture(L"lzma2_one_block.7z")));
  ASSERT_EQ(SZ_OK, whole.opened());
  const std::vector<Lzma2Block> one = Blocks(whole);
  ASSERT_EQ(1u, one.size());
  EXPECT_EQ(whole.unpackSize(), one[0].unpackSize);
  EXPECT_EQ(whole.packSize(), one[0].packSize);
}

TEST(Lzma2BlocksTest, EveryThreadCountDecodesTheSameFiles) {
  const std::map<std::wstring, std::string> source = SourceFiles();
  struct Case {
    const wchar_t* archive;
    unsigned threads;
    bool parallel;  // whether the progress comes from the block decoder
  };
  const Case cases[] = {
      {L"lzma2_blocks.7z", 1, false},    {L"lzma2_blocks.7z", 2, true},
      {L"lzma2_blocks.7z", 3, true},     {L"lzma2_blocks.7z", 64, true},
      {L"lzma2_one_block.7z", 1, false}, {L"lzma2_one_block.7z", 4, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(std::wstring(c.archive)) + " threads " +
                 std::to_string(c.threads));
    MemoryArchive archive(ReadFileBytes(Fixture(c.archive)));
    ASSERT_EQ(SZ_OK, archive.opened());
    ScriptedHost run = WithThreads(c.threads);
    ScopedDecodeHost scope(run);
    std::map<std::wstring, std::string> files;
    ASSERT_EQ(SZ_OK, archive.ExtractAll(&files));
    EXPECT_TRUE(files == source);
    // The bar gets the whole folder, in KB.
    if (c.parallel) {
      EXPECT_EQ(archive.unpackSize() / 1024, TotalKB(run));
    }
  }
}

// Where in the packed stream a fault is put, counted from the start of block `block`
// (negative: from the end of the stream).
struct Damage {
  const char* what;
  int block;
  long long offset;
  char byte;
  bool parallel;  // whether the block headers still hold, so the block decoder runs
};

TEST(Lzma2BlocksTest, DamageFailsAsWithOneDecoder) {
  const std::string original = ReadFileBytes(Fixture(L"lzma2_blocks.7z"));
  MemoryArchive intact(original);
  ASSERT_EQ(SZ_OK, intact.opened());
  const std::vector<Lzma2Block> blocks = Blocks(intact);
  ASSERT_GE(blocks.size(), 4u);
  const int last = static_cast<int>(blocks.size()) - 1;
  // The byte after an LZMA chunk's six-byte header starts its range coder and must be 0.
  auto lzmaStart = [&](int block) {
    const Byte control = static_cast<Byte>(original[intact.packStart() + blocks[block].packOffset]);
    return control >= 0xE0;
  };
  const Damage cases[] = {
      {"data of the first block", 0, 6, '\x55', true},
      {"data of the second block", 1, 6, '\x55', true},
      {"data of the last block", last, 6, '\x55', true},
      {"no chunk header where the third block begins", 2, 0, '\x03', false},
      {"no end mark", -1, -1, '\x02', false},
  };
  for (const Damage& d : cases) {
    SCOPED_TRACE(d.what);
    if (d.block >= 0 && d.offset == 6) {
      ASSERT_TRUE(lzmaStart(d.block));
    }
    std::string bytes = original;
    const UInt64 at = d.block >= 0
                          ? intact.packStart() + blocks[d.block].packOffset + d.offset
                          : intact.packStart() + intact.packSize() + d.offset;
    bytes[at] = d.byte;
    SRes results[2];
    for (unsigned threads : {1u, 4u}) {
      MemoryArchive archive(bytes, &kCountingAlloc);
      ASSERT_EQ(SZ_OK, archive.opened());
      ScriptedHost run = WithThreads(threads);
      ScopedDecodeHost scope(run);
      std::map<std::wstring, std::string> files;
      workerBuffers = 0;
      results[threads == 1 ? 0 : 1] = archive.ExtractAll(&files);
      // One thread is always the one-decoder path; four take the block decoder's when the
      // headers allow it, with a worker per block up to four.
      EXPECT_EQ(threads > 1 && d.parallel ? 4 : 0, workerBuffers.load()) << threads << " threads";
    }
    EXPECT_EQ(SZ_ERROR_DATA, results[1]);
    EXPECT_EQ(results[0], results[1]);
  }
}

// Decodes the folder of lzma2_blocks.7z with two workers into a buffer that starts out as
// a byte the folder never holds, under `run`.
struct BlockDecode {
  SRes result;
  std::string out;
  std::string expected;
};

// `watch`, when given, points at the output while the decode runs.
BlockDecode DecodeWithTwoWorkers(ScriptedHost& run, const std::string** watch = nullptr) {
  MemoryArchive archive(ReadFileBytes(Fixture(L"lzma2_blocks.7z")));
  EXPECT_EQ(SZ_OK, archive.opened());
  const std::vector<Lzma2Block> blocks = Blocks(archive);
  BlockDecode d;
  for (const auto& file : SourceFiles()) d.expected += file.second;
  d.out.assign(archive.unpackSize(), '\xAA');
  if (watch != nullptr) *watch = &d.out;
  d.result = DecodeLzma2Blocks(archive.prop(), archive.stream(), archive.packStart(), blocks,
                               reinterpret_cast<Byte*>(&d.out[0]), nullptr, 2, &kAlloc, run);
  return d;
}

TEST(Lzma2BlocksTest, CancelStopsTheWorkers) {
  ScriptedHost run = WithThreads(2);
  run.cancelAt = 1;
  const BlockDecode d = DecodeWithTwoWorkers(run);
  EXPECT_EQ(SZ_OK, d.result);  // a cancel is no failure; the check sum tells the caller
  EXPECT_EQ(1u, run.amounts.size());  // nothing is reported after the cancel
  // Each worker runs at most a few steps of 256 KiB beyond the last look at the flags, so
  // most of the folder is never decoded.
  const size_t untouched = std::count(d.out.begin(), d.out.end(), '\xAA');
  EXPECT_GT(untouched, d.out.size() / 2);

  // The whole way through the archive reader: the folder's check sum fails.
  MemoryArchive archive(ReadFileBytes(Fixture(L"lzma2_blocks.7z")));
  ScriptedHost cancelled = WithThreads(2);
  cancelled.cancelAt = 1;
  ScopedDecodeHost scope(cancelled);
  std::map<std::wstring, std::string> files;
  EXPECT_EQ(SZ_ERROR_CRC, archive.ExtractAll(&files));
}

// While the pause lasts the workers come to rest within a few steps of 256 KiB, far short of
// the folder, and afterwards they finish it.
struct HoldingRun : ScriptedHost {
  void WaitWhilePaused() override {
    // Watches the output until it has not changed for 300 ms (the workers rest) or has
    // grown past what the workers may decode beyond the last look at the flags.
    constexpr ULONGLONG kQuietMs = 300;
    const ULONGLONG deadline = ::GetTickCount64() + 30000;
    size_t last = Decoded();
    ULONGLONG quietSince = ::GetTickCount64();
    for (;;) {
      ::Sleep(10);
      const size_t now = Decoded();
      atRest = now;
      if (now > limit || ::GetTickCount64() > deadline) break;
      if (now != last) {
        last = now;
        quietSince = ::GetTickCount64();
      } else if (::GetTickCount64() - quietSince >= kQuietMs) {
        rested = true;
        break;
      }
    }
    ScriptedHost::WaitWhilePaused();
  }
  size_t Decoded() const {
    // Read while the workers may write: only whether a byte has left the fill value counts.
    return static_cast<size_t>(out->size() - std::count(out->begin(), out->end(), '\xAA'));
  }

  const std::string* out = nullptr;
  size_t limit = 0;
  size_t atRest = 0;
  bool rested = false;
};

TEST(Lzma2BlocksTest, PauseHoldsAndResumes) {
  HoldingRun run;
  run.threads = 2;
  run.pauseAt = 1;
  // Paused at the first report: neither worker may have gone past its first steps, two of
  // 256 KiB before the first look and two more granted at it.
  run.limit = 2 * 4 * (size_t{1} << 18);
  const BlockDecode d = DecodeWithTwoWorkers(run, &run.out);
  EXPECT_EQ(SZ_OK, d.result);
  EXPECT_EQ(1, run.waits);
  EXPECT_TRUE(run.rested) << "the workers did not come to rest while paused";
  EXPECT_LE(run.atRest, run.limit) << "the workers decoded on while paused";
  EXPECT_LT(run.limit, d.out.size() / 2);
  EXPECT_TRUE(d.out == d.expected);
  EXPECT_EQ(d.out.size() / 1024, TotalKB(run));
}

// Streaming: each worker decodes into a buffer of one block, and the blocks reach the sink
// whole and in their order; a sink that fails stops the workers with its own result.
struct BlockSink : FolderSink {
  SRes Put(const Byte* data, size_t size) override {
    sizes.push_back(size);
    out.append(reinterpret_cast<const char*>(data), size);
    return sizes.size() == failAt ? SZ_ERROR_WRITE : SZ_OK;
  }
  std::string out;
  std::vector<size_t> sizes;
  size_t failAt = 0;
};

TEST(Lzma2BlocksTest, StreamingHandsTheBlocksOnInOrder) {
  for (size_t failAt : {0, 2}) {
    SCOPED_TRACE(failAt);
    MemoryArchive archive(ReadFileBytes(Fixture(L"lzma2_blocks.7z")));
    ASSERT_EQ(SZ_OK, archive.opened());
    const std::vector<Lzma2Block> blocks = Blocks(archive);
    ASSERT_GT(blocks.size(), 2u);
    std::string expected;
    for (const auto& file : SourceFiles()) expected += file.second;
    ScriptedHost run = WithThreads(2);
    BlockSink sink;
    sink.failAt = failAt;
    const SRes result = DecodeLzma2Blocks(archive.prop(), archive.stream(), archive.packStart(),
                                          blocks, nullptr, &sink, 2, &kAlloc, run);
    const size_t handed = failAt == 0 ? blocks.size() : failAt;
    EXPECT_EQ(failAt == 0 ? SZ_OK : SZ_ERROR_WRITE, result);
    ASSERT_EQ(handed, sink.sizes.size());
    for (size_t i = 0; i < handed; ++i) EXPECT_EQ(blocks[i].unpackSize, sink.sizes[i]);
    EXPECT_TRUE(sink.out == expected.substr(0, sink.out.size()));
    if (failAt == 0) EXPECT_EQ(expected.size(), sink.out.size());
  }
}

}  // namespace
}  // namespace zelko::test
