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
#include "extract/sdk_archive.h"
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
  size_t step = 16384;  // bytes a look hands out at most
  int failLookAt = -1, failSkipAt = -1;
  int looks = 0, skips = 0;

  explicit LookStream(std::string data) : bytes(std::move(data)) {
    vt.Look = [](ILookInStreamPtr p, const void** buf, size_t* size) -> SRes {
      auto* s = reinterpret_cast<LookStream*>(const_cast<ILookInStream*>(p));
      if (s->looks++ == s->failLookAt) return SZ_ERROR_READ;
      size_t n = std::min<size_t>({*size, s->step, s->bytes.size() - s->pos});
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
  ArchiveDatabase opened(&kAlloc);
  LzmaCoderData coder;
  EXPECT_EQ(SZ_OK, opened.Open(look.stream()));
  const CSzArEx& db = opened.get();
  CSzFolder folder;
  CSzData sd = {db.db.CodersData, db.db.FoCodersOffsets[1]};
  EXPECT_EQ(SZ_OK, SzGetNextFolderItem(&folder, &sd));
  coder.props.assign(reinterpret_cast<const char*>(db.db.CodersData) + folder.Coders[0].PropsOffset,
                     folder.Coders[0].PropsSize);
  const size_t start = static_cast<size_t>(db.dataPos + db.db.PackPositions[0]);
  coder.packed = bytes.substr(start, static_cast<size_t>(db.db.PackPositions[1]));
  coder.unpackSize = static_cast<size_t>(SzAr_GetFolderUnpackSize(&db.db, 0));
  return coder;
}

struct DecodeResult {
  SRes result;
  std::vector<std::string> log;
  std::string output;
};

using CoderFunction = SRes (*)(const Byte*, unsigned, UInt64, ILookInStreamPtr, Byte*, SizeT,
                               ISzAllocPtr);

DecodeResult Decode(const std::string& props, LookStream& stream, size_t outSize,
                    CoderFunction coder = DecodeLzmaCoder) {
  LogRecorder host;
  ScopedDecodeHost scope(host);
  std::string out(outSize, '\0');
  const SRes result = coder(reinterpret_cast<const Byte*>(props.data()),
                            static_cast<unsigned>(props.size()), stream.bytes.size(), &stream.vt,
                            reinterpret_cast<Byte*>(&out[0]), outSize, &kAlloc);
  return {result, host.lines, out};
}

const char kEndLine[] = "1 state or status are not valid";

struct EndCase {
  std::string what;
  std::string props;
  std::string packed;
  std::string expected;  // the output, whose size is the declared size
  SRes result;
  std::vector<std::string> log;
  size_t step = 16384;
};

void ExpectEndCases(const std::vector<EndCase>& cases, CoderFunction coder) {
  for (const EndCase& c : cases) {
    SCOPED_TRACE(c.what);
    LookStream stream(c.packed);
    stream.step = c.step;
    const DecodeResult r = Decode(c.props, stream, c.expected.size(), coder);
    EXPECT_EQ(c.result, r.result);
    EXPECT_EQ(c.log, r.log);
    if (c.result == SZ_OK) {
      EXPECT_TRUE(r.output == c.expected);
    }
  }
}

TEST(DecodeLzmaCoderTest, EndChecks) {
  const LzmaCoderData noMark = ReadCoder(Fixture(L"lzma_small.7z"));
  const std::string source = ReadFileBytes(Fixture(L"p1000\\small.bin"));
  ASSERT_EQ(source.size(), noMark.unpackSize);
  // .lzma: 5 property bytes, 8 size bytes, then the data ending in an end mark.
  const std::string withMarkFile = ReadFileBytes(Fixture(L"small_with_mark.lzma"));
  const std::string markProps = withMarkFile.substr(0, 5);
  const std::string withMark = withMarkFile.substr(13);

  std::vector<EndCase> cases = {
      {"exact, no end mark", noMark.props, noMark.packed, source, SZ_OK, {}},
      {"exact, end mark", markProps, withMark, source, SZ_OK, {}},
      {"cut short", noMark.props, noMark.packed.substr(0, noMark.packed.size() - 40), source,
       SZ_ERROR_DATA, {kEndLine}},
      {"extra bytes after the data", noMark.props, noMark.packed + "extra", source,
       SZ_ERROR_DATA, {kEndLine}},
      {"extra bytes after the end mark", markProps, withMark + "extra", source, SZ_ERROR_DATA,
       {kEndLine}},
      {"bad properties", std::string("\xff\0\0\1\0", 5), noMark.packed, source,
       SZ_ERROR_UNSUPPORTED, {}},
      // Extra bytes that start exactly where a look ends are left over all the same.
      {"extra bytes after the data, in the next look", noMark.props, noMark.packed + "extra",
       source, SZ_ERROR_DATA, {kEndLine}, noMark.packed.size()},
  };

  // Streams of 7zz with an end mark, each exactly as long as its name says: the mark ends
  // before, on and after the boundary of the 16 KiB looks.
  for (const char* size : {"16380", "16383", "16384", "16385", "16386", "16388", "16390",
                           "16393", "16397"}) {
    const std::wstring name(size, size + 5);
    const LzmaCoderData coder = ReadCoder(Fixture(L"eos_" + name + L".7z"));
    const std::string data = ReadFileBytes(Fixture(L"eos\\data_" + name + L".bin"));
    ASSERT_EQ(std::to_string(coder.packed.size()), size);
    ASSERT_EQ(data.size(), coder.unpackSize);
    cases.push_back({std::string("end mark, ") + size + " bytes", coder.props, coder.packed,
                     data, SZ_OK, {}});
  }
  const LzmaCoderData atBoundary = ReadCoder(Fixture(L"eos_16384.7z"));
  const std::string boundaryData = ReadFileBytes(Fixture(L"eos\\data_16384.bin"));
  cases.push_back({"end mark before the declared size", atBoundary.props, atBoundary.packed,
                   boundaryData + "x", SZ_ERROR_DATA, {kEndLine}});
  cases.push_back({"a byte after the end mark, in the next look", atBoundary.props,
                   atBoundary.packed + "x", boundaryData, SZ_ERROR_DATA, {kEndLine}});
  ExpectEndCases(cases, DecodeLzmaCoder);
}

TEST(DecodeLzma2CoderTest, EndChecks) {
  const LzmaCoderData coder = ReadCoder(Fixture(L"lzma2_small.7z"));
  const std::string source = ReadFileBytes(Fixture(L"p1000\\small.bin"));
  ASSERT_EQ(source.size(), coder.unpackSize);
  ASSERT_EQ('\0', coder.packed.back());  // the end byte
  const std::string noEnd = coder.packed.substr(0, coder.packed.size() - 1);
  const std::vector<EndCase> cases = {
      {"exact", coder.props, coder.packed, source, SZ_OK, {}},
      {"end byte split from its chunk by a look", coder.props, coder.packed, source, SZ_OK, {},
       noEnd.size()},
      {"end byte missing", coder.props, noEnd, source, SZ_ERROR_DATA, {}},
      {"cut short", coder.props, coder.packed.substr(0, coder.packed.size() - 40), source,
       SZ_ERROR_DATA, {}},
      {"end byte before the declared size", coder.props, coder.packed, source + "x",
       SZ_ERROR_DATA, {}},
      {"extra bytes after the end byte", coder.props, coder.packed + "extra", source,
       SZ_ERROR_DATA, {}},
      {"extra bytes after the end byte, in the next look", coder.props, coder.packed + "extra",
       source, SZ_ERROR_DATA, {}, coder.packed.size()},
      {"bad properties", std::string("\xff"), coder.packed, source, SZ_ERROR_UNSUPPORTED, {}},
  };
  ExpectEndCases(cases, DecodeLzma2Coder);
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
  EXPECT_EQ(std::vector<std::string>{"1 LzmaDec_DecodeToDic not SZ_OK"}, r.log);
}

TEST(DecodeLzmaCoderTest, PauseAndCancelBetweenSteps) {
  const std::string source = ReadFileBytes(Fixture(L"p10m\\big.bin"));
  struct Coder {
    const wchar_t* archive;
    CoderFunction decode;
  } const coders[] = {{L"lzma_big.7z", DecodeLzmaCoder}, {L"lzma2_big.7z", DecodeLzma2Coder}};
  for (const Coder& c : coders) {
    SCOPED_TRACE(::testing::PrintToString(std::wstring(c.archive)));
    const LzmaCoderData coder = ReadCoder(Fixture(c.archive));
    auto run = [&](ScriptedHost& host, LookStream& stream, std::string* out) {
      ScopedDecodeHost scope(host);
      out->assign(coder.unpackSize, '\0');
      return c.decode(reinterpret_cast<const Byte*>(coder.props.data()),
                      static_cast<unsigned>(coder.props.size()), coder.packed.size(),
                      &stream.vt, reinterpret_cast<Byte*>(&(*out)[0]), out->size(), &kAlloc);
    };

    // Paused after the 2nd report: the 3rd step waits before it reports, then goes on.
    ScriptedHost paused;
    paused.pauseAt = 2;
    LookStream pausedStream(coder.packed);
    std::string out;
    EXPECT_EQ(SZ_OK, run(paused, pausedStream, &out));
    EXPECT_EQ(1, paused.waits);
    EXPECT_TRUE(out == source);
    // Every step but the last reports, the first 1 KB and the others what came before them.
    ASSERT_GT(paused.amounts.size(), 100u);
    EXPECT_EQ(1u, paused.amounts[0]);
    EXPECT_EQ(static_cast<size_t>(pausedStream.skips), paused.amounts.size());

    // Cancelled at the 3rd report: the next step stops before reporting or skipping.
    ScriptedHost cancelled;
    cancelled.cancelAt = 3;
    LookStream cancelledStream(coder.packed);
    EXPECT_EQ(SZ_OK, run(cancelled, cancelledStream, &out));
    EXPECT_EQ(3u, cancelled.amounts.size());
    EXPECT_EQ(3, cancelledStream.skips);
    EXPECT_FALSE(out == source);
  }
}

}  // namespace
}  // namespace zelko::test
