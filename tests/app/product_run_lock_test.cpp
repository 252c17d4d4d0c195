#include "app/product_run_lock.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <future>
#include <string>

namespace zelko {
namespace {

// A mutex belongs to the thread that took it, and a thread may take its own mutex again, so
// every other run is played by a thread of its own.
bool AcquireOnOwnThread(const std::wstring& productCode, DWORD* error) {
  return std::async(std::launch::async, [&] {
           ProductRunLock lock;
           return lock.Acquire(productCode, error);
         }).get();
}

constexpr wchar_t kCode[] = L"{6E0F1A2B-3C4D-4E5F-8A9B-0C1D2E3F4A5B}";

TEST(ProductRunLockTest, OneProductOneRunWhateverTheCaseOfItsCode) {
  const std::wstring longCode(300, L'x');
  struct Case {
    std::wstring held;
    std::wstring tried;
    bool excluded;
  } const cases[] = {
      {kCode, kCode, true},
      {L"{6e0f1a2b-3c4d-4e5f-8a9b-0c1d2e3f4a5b}", kCode, true},
      {kCode, L"{6E0F1A2B-3C4D-4E5F-8A9B-0C1D2E3F4A5C}", false},
      // Codes that are no valid object name as they stand still give a lock.
      {L"{A\\B}", L"{a\\b}", true},
      {longCode, std::wstring(300, L'X'), true},
      {L"", L"", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.held) + " / " + testing::PrintToString(c.tried));
    ProductRunLock first;
    DWORD error = 1;
    ASSERT_TRUE(first.Acquire(c.held, &error));
    EXPECT_EQ(error, 0u);
    EXPECT_EQ(AcquireOnOwnThread(c.tried, &error), !c.excluded);
    EXPECT_EQ(error, 0u) << "a held lock is no failure";
  }
}

TEST(ProductRunLockTest, ReleasedOrAbandonedLockIsFree) {
  DWORD error = 0;
  {
    ProductRunLock first;
    ASSERT_TRUE(first.Acquire(kCode, &error));
  }
  EXPECT_TRUE(AcquireOnOwnThread(kCode, &error)) << "released when the first run ended";

  // A run that dies holding the lock: its thread ends without releasing.
  ProductRunLock crashed;
  ASSERT_TRUE(std::async(std::launch::async, [&] { return crashed.Acquire(kCode, &error); }).get());
  ProductRunLock next;
  EXPECT_TRUE(next.Acquire(kCode, &error));
  EXPECT_FALSE(AcquireOnOwnThread(kCode, &error)) << "the next run holds it now";
}

}  // namespace
}  // namespace zelko
