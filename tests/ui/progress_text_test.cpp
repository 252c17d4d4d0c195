// The dialog's bar position and percentage text.
#include <gtest/gtest.h>

#include "ui/progress_dialog.h"

namespace zelko {
namespace {

TEST(ProgressTextTest, PositionReadsAsPercentWithTwoDecimals) {
  const struct {
    uint32_t position;
    const wchar_t* text;
  } cases[] = {
      {0, L".00%"}, {5, L".05%"}, {50, L".50%"}, {100, L"1.00%"}, {4567, L"45.67%"},
      {10000, L"100.00%"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatProgressPercent(c.position), c.text);
}

TEST(ProgressTextTest, PositionIsFlooredInTenThousandths) {
  EXPECT_EQ(ProgressPosition(1, 3), 3333u);
  EXPECT_EQ(ProgressPosition(3, 3), 10000u);
  EXPECT_EQ(ProgressPosition(4000000000u, 4000000000u), 10000u);  // 64-bit product
  EXPECT_EQ(ProgressPosition(0, 0), 0u);                          // nothing measured
}

}  // namespace
}  // namespace zelko
