// Names of the updater's progress pipe, and the percentages sent over it.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "ui/pipe_progress.h"

namespace zelko {
namespace {

std::wstring Units(std::initializer_list<wchar_t> units) { return std::wstring(units); }

// Expected names worked out by hand from the rules: the serial as a signed decimal with the
// filler "mirkOlaPetVun", each code unit i raised by (i mod 15) * (i xor 2) and brought
// below 256; the fallback is the unsigned decimal reversed, with the filler, untransformed.
struct NameCase {
  const char* label;
  std::optional<DWORD> serial;
  std::wstring primary;
  std::wstring fallback;
};

TEST(PipeNamesTest, DerivedFromTheVolumeSerial) {
  const NameCase cases[] = {
      {"no serial", std::nullopt,
       Units({0x6D, 0x6C, 0x72, 0x6E, 0x67, 0x8F, 0x79, 0x73, 0xB5, 0xD7, 0xA6, 0xD8, 0x16}),
       L"mirkOlaPetVun"},
      {"zero", 0u,
       Units({0x30, 0x70, 0x69, 0x75, 0x83, 0x72, 0x84, 0x84, 0xA0, 0xC8, 0xC4, 0xB9, 0x1D,
              0x31}),
       L"0mirkOlaPetVun"},
      {"small", 7u,
       Units({0x37, 0x70, 0x69, 0x75, 0x83, 0x72, 0x84, 0x84, 0xA0, 0xC8, 0xC4, 0xB9, 0x1D,
              0x31}),
       L"7mirkOlaPetVun"},
      // Ten digits: 23 units, the limit of 16 does not stop the filler.
      {"ten digits", 1234567890u,
       Units({0x31, 0x35, 0x33, 0x37, 0x4D, 0x59, 0x4F, 0x5B, 0x89, 0x93, 0xBD, 0xCC, 0x1A,
              0x2E, 0xF7, 0x6C, 0x73, 0x76, 0x95, 0xB8, 0xC4, 0xFF, 0xFA}),
       L"0987654321mirkOlaPetVun"},
      // 2^31 reads as a negative number: 24 units with the minus sign.
      {"2^31", 2147483648u,
       Units({0x2D, 0x35, 0x31, 0x37, 0x4F, 0x57, 0x50, 0x56, 0x86, 0x97, 0x88, 0xD0, 0x11,
              0x35, 0x13, 0x4F, 0x7E, 0x87, 0x80, 0xA9, 0xE2, 0xE0, 0x01, 0x16}),
       L"8463847412mirkOlaPetVun"},
      {"all ones", 4294967295u,
       Units({0x2D, 0x34, 0x6D, 0x6C, 0x8A, 0x8E, 0x67, 0x8F, 0xB1, 0xB3, 0xB5, 0xD7, 0xFE,
              0x38, 0x16}),
       L"5927694924mirkOlaPetVun"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(ProgressPipeNameFor(c.serial), c.primary);
    EXPECT_EQ(FallbackPipeNameFor(c.serial), c.fallback);
  }
}

TEST(PipeNamesTest, PercentageIsFlooredAndZeroForNoTotal) {
  const struct {
    uint32_t done, total, percent;
  } cases[] = {
      {0, 200, 0},   {1, 200, 0},     {199, 200, 99}, {200, 200, 100},
      // A 32-bit product would overflow here.
      {4000000000u, 4000000000u, 100}, {2000000000u, 4000000000u, 50},
      // Nothing measured: not begun rather than done.
      {0, 0, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PipePercentage(c.done, c.total), c.percent) << c.done << " of " << c.total;
  }
}

}  // namespace
}  // namespace zelko
