// The Windows half of the extraction benchmark (bench/extract_bench.sh runs it under Wine).
//   zelko_extract_bench extract ARCHIVE TARGET           our extraction, as the installer runs it
//   zelko_extract_bench cancel ARCHIVE TARGET AFTER-KB   cancels once AFTER-KB of progress came
//                                                        in; prints the delay until the end
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cwchar>
#include <string>
#include <thread>

#include "app/sfx_app.h"
#include "extract/archive_extraction.h"
#include "extract/pause_wait.h"

namespace {

double Now() {
  LARGE_INTEGER frequency, counter;
  ::QueryPerformanceFrequency(&frequency);
  ::QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Counts progress as the dialog would receive it.
class CountingHost : public zelko::AppDecodeHost {
 public:
  CountingHost() : AppDecodeHost(zelko::theApp) {}
  void ReportProgress(uint32_t amountKB) override {
    total += amountKB;
    zelko::AppDecodeHost::ReportProgress(amountKB);
  }
  std::atomic<uint64_t> total{0};
};

int Cancel(const wchar_t* archive, const wchar_t* target, uint64_t afterKB) {
  CountingHost host;
  zelko::ScopedDecodeHost scope(host);
  std::atomic<double> cancelledAt{0};
  std::thread user([&] {
    while (host.total < afterKB) ::Sleep(1);
    cancelledAt = Now();
    zelko::theApp.bCancelled_ = TRUE;
    zelko::theApp.bFinished_ = TRUE;
  });
  zelko::ExtractFilesFromArchive(archive, target);
  const double endedAt = Now();
  user.join();
  std::printf("%.2f\n", (endedAt - cancelledAt) * 1000.0);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 4 && std::wcscmp(argv[1], L"extract") == 0) {
    return zelko::ExtractFilesFromArchive(argv[2], argv[3]) ? 0 : 1;
  }
  if (argc == 5 && std::wcscmp(argv[1], L"cancel") == 0) {
    return Cancel(argv[2], argv[3], std::wcstoull(argv[4], nullptr, 10));
  }
  std::fprintf(stderr, "usage: see the head of bench/extract_bench.cpp\n");
  return 2;
}
