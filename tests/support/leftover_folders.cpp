#include "tests/support/leftover_folders.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "tests/support/temp_folder.h"
#include "win/scoped_handle.h"

namespace zelko::test {
namespace {

constexpr int kLongAgo = 120;   // minutes: more than the hour after which a folder is abandoned
constexpr int kRecently = 50;   // minutes: less than that hour

}  // namespace

bool AgeFile(const std::wstring& path, int minutes) {
  const ScopedFileHandle file(::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                            nullptr));
  if (!file) return false;
  FILETIME now{};
  ::GetSystemTimeAsFileTime(&now);
  ULARGE_INTEGER time{};
  time.LowPart = now.dwLowDateTime;
  time.HighPart = now.dwHighDateTime;
  time.QuadPart -= static_cast<ULONGLONG>(minutes) * 60 * 10000000;
  const FILETIME then{time.LowPart, time.HighPart};
  return ::SetFileTime(file.get(), nullptr, nullptr, &then) != FALSE;
}

bool MakeAgedFiles(const std::wstring& folder, const std::vector<std::wstring>& names,
                   int minutes) {
  ::CreateDirectoryW(folder.c_str(), nullptr);
  for (const std::wstring& name : names) {
    const std::wstring path = folder + L"\\" + name;
    if (!WriteFileBytes(path, "resource bytes") || !AgeFile(path, minutes)) return false;
  }
  return true;
}

LeftoversThatStay::LeftoversThatStay(const std::wstring& temp, const std::wstring& outside)
    : temp_(temp), linkTarget_(outside + L"\\linked") {
  const std::vector<std::wstring> ours = {L"config.bin", L"installer.bin"};
  struct Made {
    const wchar_t* name;
    std::vector<std::wstring> oldFiles;
    std::vector<std::wstring> newFiles;
  } const made[] = {
      {L"1001", {}, ours},                                  // a run at work now
      {L"1002", {L"installer.bin"}, {L"config.bin"}},       // one file written recently
      {L"1003", {L"config.bin", L"notes.txt"}, {}},         // something not ours
      {L"1004", {}, {}},                                    // nothing in it
      {L"10a5", ours, {}},                                  // not a number
      {L"1006", {L"RDC.bin"}, {}},                          // our name, but a folder in it
  };
  for (const Made& m : made) {
    const std::wstring folder = temp + L"\\" + m.name;
    EXPECT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    EXPECT_TRUE(MakeAgedFiles(folder, m.oldFiles, kLongAgo));
    EXPECT_TRUE(MakeAgedFiles(folder, m.newFiles, kRecently));
    folders_.push_back({m.name, SortedFolderEntries(folder)});
  }
  EXPECT_TRUE(::CreateDirectoryW((temp + L"\\1006\\config.bin").c_str(), nullptr));
  folders_.back().second = SortedFolderEntries(temp + L"\\1006");
  // A link to a folder that holds only our files, long untouched.
  ::CreateDirectoryW(outside.c_str(), nullptr);
  EXPECT_TRUE(MakeAgedFiles(linkTarget_, ours, kLongAgo));
  EXPECT_TRUE(MakeFolderLink(linkTarget_, temp + L"\\1007"));
  folders_.push_back({L"1007", ours});  // in alphabetical order
}

void LeftoversThatStay::ExpectUntouched() const {
  for (const auto& [name, entries] : folders_) {
    EXPECT_EQ(SortedFolderEntries(temp_ + L"\\" + name), entries)
        << testing::PrintToString(name);
  }
  EXPECT_NE(::GetFileAttributesW((temp_ + L"\\1007").c_str()) & FILE_ATTRIBUTE_REPARSE_POINT, 0u)
      << "the link is gone";
  EXPECT_EQ(SortedFolderEntries(linkTarget_),
            (std::vector<std::wstring>{L"config.bin", L"installer.bin"}));
}

std::vector<std::wstring> LeftoversThatStay::Names() const {
  std::vector<std::wstring> names;
  for (const auto& folder : folders_) names.push_back(folder.first);
  return names;
}

}  // namespace zelko::test
