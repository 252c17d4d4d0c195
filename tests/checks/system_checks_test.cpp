#include "checks/system_checks.h"

#include <gtest/gtest.h>

#include <string>

#include "app/sfx_app.h"

namespace zelko {
namespace {

TEST(RoundMemoryTest, RoundsUpToAPowerOfTwo) {
  struct Case {
    uint32_t physical;
    uint32_t rounded;
  } const cases[] = {
      {0, 0},       {1, 1},       {2, 2},       {3, 4},          {120, 128},
      {200, 256},   {255, 256},   {256, 256},   {257, 512},      {2046, 2048},
      {3070, 4096}, {32767, 32768}, {(1u << 30) - 1, 1u << 30}, {1u << 30, 1u << 30},
      {(1u << 30) + 1, (1u << 30) + 1}, {0xFFFFFFFFu, 0xFFFFFFFFu},
  };
  for (const auto& c : cases) EXPECT_EQ(RoundMemoryMB(c.physical), c.rounded) << c.physical;
}

TEST(OsStringTest, NamesVersionProductTypeAndWidth) {
  struct Case {
    DWORD major, minor;
    WORD suiteMask;
    BYTE productType;
    bool serverR2, is64;
    const wchar_t* expected;
  } const cases[] = {
      {5, 1, 0, VER_NT_WORKSTATION, false, false, L"51W3"},
      {6, 1, 0, VER_NT_WORKSTATION, false, true, L"61W6"},
      {10, 0, 0, VER_NT_WORKSTATION, false, true, L"100W6"},
      {5, 2, 0, VER_NT_SERVER, true, false, L"522" L"3"},
      {5, 2, 0, VER_NT_SERVER, true, true, L"5226"},
      {6, 0, 0, VER_NT_SERVER, false, true, L"60S6"},
      {6, 0, 0, VER_NT_DOMAIN_CONTROLLER, false, false, L"60S3"},
      // The home-server suite wins over everything, R2 over the product type.
      {6, 0, VER_SUITE_WH_SERVER, VER_NT_WORKSTATION, true, true, L"60H6"},
      {5, 2, 0, VER_NT_WORKSTATION, true, true, L"5226"},
  };
  for (const auto& c : cases) {
    OSVERSIONINFOEXW version{};
    version.dwMajorVersion = c.major;
    version.dwMinorVersion = c.minor;
    version.wSuiteMask = c.suiteMask;
    version.wProductType = c.productType;
    EXPECT_EQ(FormatOsString(version, c.serverR2, c.is64), c.expected);
  }
}

TEST(RequiredSpaceTest, CountsArchivesOnceAndUnpackedSizesAsWork) {
  struct Case {
    uint64_t installerMB;
    uint32_t archiveBytes;
    bool rdc;
    uint64_t rdcMB;
    uint32_t rdcArchiveBytes;
    bool is7z;
    uint64_t totalMB;
    uint32_t totalKB;
  } const cases[] = {
      // 37,566,366 bytes fill 35 whole MB.
      {130, 37566366, false, 0, 0, false, 165, 168960},
      {130, 37566366, false, 0, 0, true, 165, 302080},
      // Small archives count 1 MB, absent ones nothing; exactly 1 MiB is still "small".
      {0, 1, false, 0, 0, true, 1, 1024},
      {0, 1048576, false, 0, 0, true, 1, 1024},
      {0, 1048577, false, 0, 0, true, 1, 1024},
      {0, 0, false, 0, 0, true, 0, 0},
      // The second payload counts only in RDC mode: 19 MB + 12,495,512 bytes (11 MB).
      {130, 37566366, true, 19, 12495512, false, 195, 199680},
      {130, 37566366, true, 19, 12495512, true, 195, 199680 + 149 * 1024},
      {130, 37566366, false, 19, 12495512, false, 165, 168960},
      {0, 0, true, 0, 12495512, false, 11, 11264},
      // The largest sizes the configuration can give do not wrap round to small ones; the
      // work is held to what progress counts in.
      {2147483647, 1, false, 0, 0, true, 2147483648, UINT32_MAX},
      {2147483647, 1, true, 2147483647, 1, false, 4294967296, UINT32_MAX},
  };
  for (const auto& c : cases) {
    const RequiredSpace space = ComputeRequiredSpace(c.installerMB, c.archiveBytes, c.rdc,
                                                     c.rdcMB, c.rdcArchiveBytes, c.is7z);
    EXPECT_EQ(space.totalMB, c.totalMB) << c.installerMB << " " << c.archiveBytes;
    EXPECT_EQ(space.totalSizeKB, c.totalKB) << c.installerMB << " " << c.archiveBytes;
  }
}

TEST(RequiredSpaceTest, NegativeSizesCountAsNotConfigured) {
  EXPECT_EQ(ConfiguredSizeMB(-1), 0u);
  EXPECT_EQ(ConfiguredSizeMB(-2147483647 - 1), 0u);
  EXPECT_EQ(ConfiguredSizeMB(0), 0u);
  EXPECT_EQ(ConfiguredSizeMB(2147483647), 2147483647u);
}

TEST(AvailableSpaceTest, MeasuresRealVolumesAndRefusesMissingOnes) {
  uint64_t available = 12345;
  EXPECT_TRUE(GetAvailableSpaceMB(L"C:\\", &available));
  EXPECT_GT(available, 0u);
  available = 12345;
  EXPECT_TRUE(GetAvailableSpaceMB(L"C:\\windows", &available)) << "drive paths go as they are";
  available = 12345;
  EXPECT_FALSE(GetAvailableSpaceMB(L"\\\\nosuchserver\\share", &available));
  EXPECT_EQ(available, 0u);
}

// Free space that cannot be queried is no reason to stop: the check is skipped with its log
// lines, and a full disk would show as the write that fails.
TEST(DiskSpaceCheckTest, UnknownFreeSpaceSkipsTheCheck) {
  theApp.error_ = SFXError(nullptr);
  EXPECT_TRUE(theApp.CheckDiskSpace(5, L"\\\\nosuchserver\\share"));
  EXPECT_EQ(theApp.error_.code_, kSfxNoError);
  // A volume that is there and too small still fails, and names the whole requirement.
  EXPECT_FALSE(theApp.CheckDiskSpace(uint64_t{1} << 40, L"C:\\"));
  EXPECT_EQ(theApp.error_.code_, 150110);
  EXPECT_EQ(theApp.error_.detail_, 2147483647) << "held to what the condition carries";
  theApp.error_ = SFXError(nullptr);
}

}  // namespace
}  // namespace zelko
