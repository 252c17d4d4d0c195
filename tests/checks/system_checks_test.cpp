#include "checks/system_checks.h"

#include <gtest/gtest.h>

#include <string>

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
    uint32_t installerMB, archiveBytes;
    bool rdc;
    uint32_t rdcMB, rdcArchiveBytes;
    bool is7z;
    uint32_t totalMB, totalKB;
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
  };
  for (const auto& c : cases) {
    const RequiredSpace space = ComputeRequiredSpace(c.installerMB, c.archiveBytes, c.rdc,
                                                     c.rdcMB, c.rdcArchiveBytes, c.is7z);
    EXPECT_EQ(space.totalMB, c.totalMB) << c.installerMB << " " << c.archiveBytes;
    EXPECT_EQ(space.totalSizeKB, c.totalKB) << c.installerMB << " " << c.archiveBytes;
  }
}

TEST(AvailableSpaceTest, MeasuresRealVolumesAndRefusesMissingOnes) {
  uint32_t available = 12345;
  EXPECT_TRUE(GetAvailableSpaceMB(L"C:\\", &available));
  EXPECT_GT(available, 0u);
  available = 12345;
  EXPECT_TRUE(GetAvailableSpaceMB(L"C:\\windows", &available)) << "drive paths go as they are";
  available = 12345;
  EXPECT_FALSE(GetAvailableSpaceMB(L"\\\\nosuchserver\\share", &available));
  EXPECT_EQ(available, 0u);
}

}  // namespace
}  // namespace zelko
