#include "extract/folder_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "7z.h"
#include "7zAlloc.h"
#include "7zCrc.h"
#include "extract/decode_host.h"
#include "extract/memory_stream.h"
#include "extract/look_reader.h"
#include "tests/extract/extract_test_support.h"
#include "tests/support/temp_folder.h"

namespace zelko::test {
namespace {

const ISzAlloc kAlloc = {SzAlloc, SzFree};

// Look-ahead input over bytes in memory, handing out at most 16,384 bytes a look like the
// archive stream does, with an optional failure of the n-th look or skip.
struct LookStream {
  ILookInStream vt;
  std::string bytes;
  size_t pos = 0;
  int failLookAt = -1, failSkipAt = -1;
  int looks = 0, skips = 0;

  explicit LookStream(std::string data) : bytes(std::move(data)) {
    vt.Look = [](ILookInStreamPtr p, const void** buf, size_t* size) -> SRes {
      auto* s = reinterpret_cast<LookStream*>(const_cast<ILookInStream*>(p));
      if (s->looks++ == s->failLookAt) return SZ_ERROR_READ;
      size_t n = std::min<size_t>({*size, 16384, s->bytes.size() - s->pos});
      *buf = s->bytes.data() + s->pos;
      *size = n;
      return SZ_OK;
    };
    vt.Skip = [](ILookInStreamPtr p, size_t offset) -> SRes {
      auto* s = reinterpret_cast<LookStream*>(const_cast<ILookInStream*>(p));
      if (s->skips++ == s->failSkipAt) return SZ_ERROR_READ;
      s->pos += offset;
      return SZ_OK;
    };
    vt.Read = nullptr;
    vt.Seek = nullptr;
  }
};

struct LogRecorder : QuietDecodeHost {
  void LogLine(int level, const char* text) override {
    lines.push_back(std::to_string(level) + " " + text);
  }
  std::vector<std::string> lines;
};

// The single LZMA coder of a 7z fixture: its properties, packed bytes and unpacked size.
struct LzmaCoderData {
  std::string props;
  std::string packed;
  size_t unpackSize = 0;
};

LzmaCoderData ReadCoder(const std::wstring& archive) {
  const std::string bytes = ReadFileBytes(archive);
  MemoryInStream in;
  MemoryInStream_Init(&in, bytes.data(), bytes.size());
  LookAheadReader look(&in.vt, 1 << 14);
  CrcGenerateTable();
  CSzArEx db;
  SzArEx_Init(&db);
  LzmaCoderData coder;
  EXPECT_EQ(SZ_OK, SzArEx_Open(&db, look.stream(), &kAlloc, &kAlloc));
  CSzFolder folder;
  CSzData sd = {db.db.CodersData, db.db.FoCodersOffsets[1]};
  EXPECT_EQ(SZ_OK, SzGetNextFolderItem(&folder, &sd));
  coder.props.assign(reinterpret_cast<const char*>(db.db.CodersData) + folder.Coders[0].PropsOffset,
                     folder.Coders[0].PropsSize);
  const size_t start = static_cast<size_t>(db.dataPos + db.db.PackPositions[0]);
  coder.packed = bytes.substr(start, static_cast<size_t>(db.db.PackPositions[1]));
  coder.unpackSize = static_cast<size_t>(SzAr_GetFolderUnpackSize(&db.db, 0));
  SzArEx_Free(&db, &kAlloc);
  return coder;
}

struct DecodeResult {
  SRes result;
  std::vector<std::string> log;
  std::string output;
};

DecodeResult Decode(const std::string& props, LookStream& stream, size_t outSize) {
  LogRecorder host;
  ScopedDecodeHost scope(host);
  std::string out(outSize, '\0');
  const SRes result = DecodeLzmaCoder(reinterpret_cast<const Byte*>(props.data()),
                                      static_cast<unsigned>(props.size()), stream.bytes.size(),
                                      &stream.vt, reinterpret_cast<Byte*>(&out[0]), outSize,
                                      &kAlloc);
  return {result, host.lines, out};
}

TEST(DecodeLzmaCoderTest, EndChecks) {
  const LzmaCoderData noMark = ReadCoder(Fixture(L"lzma_small.7z"));
  const std::string source = ReadFileBytes(Fixture(L"p1000\\small.bin"));
  ASSERT_EQ(source.size(), noMark.unpackSize);
  // .lzma: 5 property bytes, 8 size bytes, then the data ending in an end mark.
  const std::string withMarkFile = ReadFileBytes(Fixture(L"small_with_mark.lzma"));
  const std::string markProps = withMarkFile.substr(0, 5);
  const std::string withMark = withMarkFile.substr(13);

  const std::string kEndLine = "1 state or status are not valid";
  struct Case {
    const char* what;
    std::string props;
    std::string packed;
    SRes result;
    std::vector<std::string> log;
  };
  const Case cases[] = {
      {"exact, no end mark", noMark.props, noMark.packed, SZ_OK, {}},
      {"exact, end mark", markProps, withMark, SZ_OK, {}},
      {"cut short", noMark.props, noMark.packed.substr(0, noMark.packed.size() - 40),
       SZ_ERROR_DATA, {kEndLine}},
      {"extra bytes after the data", noMark.props, noMark.packed + "extra",
       SZ_ERROR_DATA, {kEndLine}},
      {"extra bytes after the end mark", markProps, withMark + "extra", SZ_ERROR_DATA,
       {kEndLine}},
      {"bad properties", std::string("\xff\0\0\1\0", 5), noMark.packed, SZ_ERROR_UNSUPPORTED, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    LookStream stream(c.packed);
    const DecodeResult r = Decode(c.props, stream, source.size());
    EXPECT_EQ(c.result, r.result);
    EXPECT_EQ(c.log, r.log);
    if (c.result == SZ_OK) EXPECT_TRUE(r.output == source);
  }
}

TEST(DecodeLzmaCoderTest, StreamFailures) {
  const LzmaCoderData coder = ReadCoder(Fixture(L"lzma_big.7z"));
  struct Case {
    int failLookAt, failSkipAt;
    const char* line;
  };
  const Case cases[] = {
      {0, -1, "1 inStream->Look  not SZ_OK"},
      {5, -1, "1 inStream->Look  not SZ_OK"},
      {-1, 0, "1 inStream->Skip not SZ_OK"},
  };
  for (const Case& c : cases) {
    LookStream stream(coder.packed);
    stream.failLookAt = c.failLookAt;
    stream.failSkipAt = c.failSkipAt;
    const DecodeResult r = Decode(coder.props, stream, coder.unpackSize);
    EXPECT_EQ(SZ_ERROR_READ, r.result);
    EXPECT_EQ(std::vector<std::string>{c.line}, r.log);
  }
  // Damage inside the data is the decoder's own failure.
  std::string damaged = coder.packed;
  for (size_t i = 100; i < 400; ++i) damaged[i] = '\xff';
  LookStream stream(damaged);
  const DecodeResult r = Decode(coder.props, stream, coder.unpackSize);
  EXPECT_EQ(SZ_ERROR_DATA, r.result);
  ASSERT_FALSE(r.log.empty());
  EXPECT_TRUE(r.log[0] == "1 LzmaDec_DecodeToDic not SZ_OK" ||
              r.log[0] == "1 state or status are not valid")
      << r.log[0];
}

// A host acting as the user: scripted pause and cancel at an exact progress step.
struct ScriptedHost : QuietDecodeHost {
  bool IsFinished() override { return finished; }
  bool IsCancelled() override { return finished; }
  bool IsPaused() override { return paused; }
  void WaitWhilePaused() override {
    ++waits;
    paused = false;
  }
  void ReportProgress(uint32_t amount) override {
    amounts.push_back(amount);
    if (amounts.size() == pauseAt) paused = true;
    if (amounts.size() == cancelAt) finished = true;
  }
  size_t pauseAt = 0, cancelAt = 0;
  bool paused = false, finished = false;
  int waits = 0;
  std::vector<uint32_t> amounts;
};

TEST(DecodeLzmaCoderTest, PauseAndCancelBetweenSteps) {
  const LzmaCoderData coder = ReadCoder(Fixture(L"lzma_big.7z"));
  const std::string source = ReadFileBytes(Fixture(L"p10m\\big.bin"));
  auto run = [&](ScriptedHost& host, LookStream& stream, std::string* out) {
    ScopedDecodeHost scope(host);
    out->assign(coder.unpackSize, '\0');
    return DecodeLzmaCoder(reinterpret_cast<const Byte*>(coder.props.data()),
                           static_cast<unsigned>(coder.props.size()), coder.packed.size(),
                           &stream.vt, reinterpret_cast<Byte*>(&(*out)[0]), out->size(),
                           &kAlloc);
  };

  // Paused after the 2nd report: the 3rd step waits before it reports, then goes on.
  ScriptedHost paused;
  paused.pauseAt = 2;
  LookStream pausedStream(coder.packed);
  std::string out;
  EXPECT_EQ(SZ_OK, run(paused, pausedStream, &out));
  EXPECT_EQ(1, paused.waits);
  EXPECT_TRUE(out == source);

  // Cancelled at the 3rd report: the next step stops before reporting or skipping.
  ScriptedHost cancelled;
  cancelled.cancelAt = 3;
  LookStream cancelledStream(coder.packed);
  EXPECT_EQ(SZ_OK, run(cancelled, cancelledStream, &out));
  EXPECT_EQ(3u, cancelled.amounts.size());
  EXPECT_EQ(3, cancelledStream.skips);
  EXPECT_FALSE(out == source);
}

}  // namespace
}  // namespace zelko::test
