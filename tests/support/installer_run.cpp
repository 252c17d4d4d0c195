#include "tests/support/installer_run.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "tests/support/temp_folder.h"
#include "win/scoped_handle.h"

namespace zelko::test {

void BuildInstaller(const std::wstring& workFolder, const InstallerPackage& package,
                    const std::wstring& outputPath) {
  const std::wstring ini = workFolder + L"\\setup.ini";
  ASSERT_TRUE(WriteFileBytes(ini, package.ini));
  const std::wstring folder = BuiltProgramFolder();
  std::wstring command = QuoteArgument(folder + L"zelko_pack.exe") + L" --stub " +
                         QuoteArgument(folder + L"ZelkoSFX.exe") + L" --config " +
                         QuoteArgument(ini) + L" --out " + QuoteArgument(outputPath);
  if (!package.archive.empty()) command += L" --archive " + QuoteArgument(package.archive);
  if (!package.rdcArchive.empty()) command += L" --rdc-archive " + QuoteArgument(package.rdcArchive);
  for (const auto& file : package.files) command += L" --file " + QuoteArgument(file);
  if (package.fillSizes) command += L" --fill-sizes";
  const ProcessResult packed = RunProcess(command);
  ASSERT_TRUE(packed.started);
  ASSERT_EQ(packed.exitCode, 0u) << packed.output;
}

ProcessResult RunWithTempFolder(const std::wstring& commandLine, const std::wstring& tempFolder) {
  ProcessOptions options;
  options.environment = {L"TEMP=" + tempFolder, L"TMP=" + tempFolder};
  return RunProcess(commandLine, options);
}

ProcessResult RunInstaller(const std::wstring& installer, const std::wstring& arguments,
                           const std::wstring& tempFolder) {
  std::wstring command = QuoteArgument(installer);
  if (!arguments.empty()) command += L" " + arguments;
  return RunWithTempFolder(command, tempFolder);
}

std::vector<std::string> LogLines(const std::wstring& tempFolder, const wchar_t* name) {
  const std::string bytes = ReadFileBytes(tempFolder + L"\\" + name);
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(bytes.substr(start, end - start));
  }
  if (start < bytes.size()) lines.push_back(bytes.substr(start));
  return lines;
}

testing::AssertionResult HasLogLine(const std::wstring& tempFolder, const std::string& text) {
  std::string log;
  for (const auto& line : LogLines(tempFolder)) {
    if (WithoutTimestamp(line) == text) return testing::AssertionSuccess();
    log += "  " + line + "\n";
  }
  return testing::AssertionFailure() << "no line \"" << text << "\" in the log:\n" << log;
}

std::string WithoutTimestamp(const std::string& line) {
  // "[2024-03-05 07:04:09] " is 22 characters.
  if (line.size() < 22 || line[0] != '[' || line[20] != ']' || line[21] != ' ') return "";
  return line.substr(22);
}

std::vector<std::wstring> FolderEntries(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW entry;
  ScopedFindHandle find(::FindFirstFileW((folder + L"\\*").c_str(), &entry));
  if (!find) return names;
  do {
    const std::wstring name = entry.cFileName;
    if (name != L"." && name != L"..") names.push_back(name);
  } while (::FindNextFileW(find.get(), &entry));
  return names;
}

std::wstring FixtureFolder() {
  std::wstring bin = BuiltProgramFolder();  // ends in "\\bin\\"
  bin.pop_back();
  return bin.substr(0, bin.find_last_of(L'\\')) + L"\\test-fixtures\\";
}

void InstallerRunTest::SetUp() { ::CreateDirectoryW(temp_.c_str(), nullptr); }

ProcessResult InstallerRunTest::Run(const std::wstring& arguments) const {
  return RunInstaller(installer_, arguments, temp_);
}

ProcessResult InstallerRunTest::RunExactly(const std::wstring& commandLine) const {
  return RunWithTempFolder(commandLine, temp_);
}

testing::AssertionResult InstallerRunTest::Logged(const std::string& text) const {
  return HasLogLine(temp_, text);
}

std::vector<std::string> InstallerRunTest::LogTexts() const {
  std::vector<std::string> texts;
  for (const auto& line : LogLines(temp_)) texts.push_back(WithoutTimestamp(line));
  return texts;
}

void InstallerRunTest::ExpectNoLeftovers() const {
  EXPECT_EQ(FolderEntries(temp_), std::vector<std::wstring>{L"ZelkoSFX.log"});
}

std::string Narrow(const std::wstring& text) {
  std::string narrow;
  for (wchar_t c : text) narrow.push_back(static_cast<char>(c));
  return narrow;
}

}  // namespace zelko::test
