// Progress of an updater run over the updater's pipe, received by a real pipe server in
// another process.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/ui/ui_fixture.h"
#include "ui/pipe_progress.h"
#include "ui/progress.h"

namespace zelko::test {
namespace {

class PipeProgressTest : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    theApp.bKiv_ = TRUE;
  }
  void TearDown() override { theApp.bKiv_ = FALSE; }

  const std::wstring primary_ = kProgressPipePrefix + DeriveProgressPipeName();
  const std::wstring fallback_ = kFallbackPipePrefix + DeriveFallbackPipeName();
};

// "<pipe> <4 bytes little-endian>" for a percentage sent on pipe 0.
std::string Message(uint32_t percent) {
  char text[32];
  snprintf(text, sizeof(text), "0 %02x000000", percent);
  return text;
}

// The records without the impersonation level that ends each.
std::vector<std::string> Connections(const std::vector<std::string>& records) {
  std::vector<std::string> connections;
  for (const auto& record : records) {
    connections.push_back(record.substr(0, record.rfind(' ')));
  }
  return connections;
}

bool RunningOnWine() {
  HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

TEST_F(PipeProgressTest, PercentagesUpToTheTotalAndNothingAfter) {
  PipeServer server({primary_, fallback_});
  theApp.StartProgress(200);
  EXPECT_EQ(theApp.pipeName_, primary_);
  ASSERT_TRUE(server.WaitForRecords(1));  // the probe: a connection without bytes

  // Each report is one connection; waiting for it keeps the record in order.
  const uint32_t reports[] = {1, 49, 0, 100, 50};
  size_t expected = 1;
  for (uint32_t amount : reports) {
    ReportProgress(amount);
    ASSERT_TRUE(server.WaitForRecords(++expected)) << amount;
  }
  ReportProgress(1);  // past the total: nothing is sent
  ReportProgress(0);

  // Nothing on the fallback pipe (1) either.
  const std::vector<std::string> want = {
      "0 -", Message(0), Message(25), Message(25), Message(75), Message(100),
  };
  EXPECT_EQ(Connections(server.Flush()), want);
}

TEST_F(PipeProgressTest, ServerMayIdentifyButNotImpersonateTheClient) {
  // Wine grants the server full impersonation whatever the client asks for.
  if (RunningOnWine()) GTEST_SKIP() << "Wine does not honour the client's security level";
  PipeServer server({primary_, fallback_});
  theApp.StartProgress(1);
  ASSERT_TRUE(server.WaitForRecords(1));
  ReportProgress(1);
  ASSERT_TRUE(server.WaitForRecords(2));
  EXPECT_EQ(server.Records()[1], Message(100) + " 1");  // SecurityIdentification
}

TEST_F(PipeProgressTest, FallbackOnlyWhenTheFirstNameHasNoServer) {
  PipeServer server({fallback_});
  theApp.StartProgress(10);
  EXPECT_EQ(theApp.pipeName_, fallback_);
  ASSERT_TRUE(server.WaitForRecords(1));
  ReportProgress(10);
  ASSERT_TRUE(server.WaitForRecords(2));
  EXPECT_EQ(Connections(server.Flush()), (std::vector<std::string>{"0 -", Message(100)}));
}

TEST_F(PipeProgressTest, WithoutServerNothingIsSentAndTheRunGoesOn) {
  theApp.StartProgress(10);
  EXPECT_EQ(theApp.pipeName_, L"");
  ReportProgress(5);
  EXPECT_EQ(theApp.progressDone_, 5u);
  // A server that appears later is not used: the path was chosen at start.
  PipeServer late({primary_, fallback_});
  ReportProgress(5);
  EXPECT_EQ(late.Flush(), std::vector<std::string>{});
}

TEST_F(PipeProgressTest, TotalOfZeroSendsZeroForNothingAndStopsAfterIt) {
  PipeServer server({primary_});
  theApp.StartProgress(0);
  ASSERT_TRUE(server.WaitForRecords(1));
  ReportProgress(0);
  ASSERT_TRUE(server.WaitForRecords(2));
  ReportProgress(1);
  EXPECT_EQ(Connections(server.Flush()), (std::vector<std::string>{"0 -", Message(0)}));
}

// An updater whose only pipe instance stays taken: the first report waits for it and is lost,
// and the reports after it do not wait again until one gets through.
TEST_F(PipeProgressTest, BusyPipeIsWaitedForUntilAWaitFails) {
  const std::wstring path = primary_;
  ScopedFileHandle instance(::CreateNamedPipeW(path.c_str(),
                                               PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED,
                                               PIPE_TYPE_BYTE | PIPE_WAIT, 1, 0, 4096, 0,
                                               nullptr));
  ASSERT_TRUE(instance);
  ScopedHandle connected(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  OVERLAPPED overlapped{};
  overlapped.hEvent = connected.get();
  // Listens without blocking: the next writer that opens the pipe takes the instance.
  auto listen = [&] {
    ::ResetEvent(connected.get());
    return ::ConnectNamedPipe(instance.get(), &overlapped) ||
           ::GetLastError() == ERROR_IO_PENDING;
  };
  ASSERT_TRUE(listen());
  theApp.progressTotal_ = 10;
  theApp.progressDone_ = 0;
  theApp.pipeName_ = path;
  theApp.bWaitForBusyPipe_ = TRUE;
  // The one instance, taken by another writer that never lets go.
  ScopedFileHandle holder(OpenProgressPipe(path));
  ASSERT_TRUE(holder);

  ReportProgress(1);
  EXPECT_FALSE(theApp.bWaitForBusyPipe_);
  ReportProgress(1);
  EXPECT_FALSE(theApp.bWaitForBusyPipe_);
  EXPECT_EQ(theApp.progressDone_, 2u);  // counted all the same

  // Free again: the next report gets through, and a busy pipe is worth a wait once more.
  holder.reset();
  ::DisconnectNamedPipe(instance.get());
  ASSERT_TRUE(listen());
  ReportProgress(1);
  EXPECT_TRUE(theApp.bWaitForBusyPipe_);
  theApp.pipeName_.clear();
}

}  // namespace
}  // namespace zelko::test
