#include "tests/support/installer_run.h"

#include <windows.h>

#include <shlobj.h>

#include <gtest/gtest.h>

#include "resources/payload_resources.h"
#include "tests/support/host_process.h"
#include "tests/support/temp_folder.h"
#include "win/scoped_handle.h"

namespace zelko::test {

namespace {

// The packer packs nothing that could not install, so the stand-in is a configuration of one
// file resource. The real parts replace it; the stand-in's FILE_0 stays where the package has
// no files, and is never read: a 7z configuration ignores file resources, and one of file
// resources reads FILE_0 only when its configuration names it.
constexpr char kStandInIni[] =
    "[INSTALL]\nProductCode={00000000-0000-0000-0000-000000000000}\nCompression=files\n"
    "FILE_0=stand_in.txt\n";

// The configuration resource the packer makes of an ASCII or UTF-8 `ini`.
std::string IniResource(const std::string& ini) {
  std::string lf;
  for (size_t i = 0; i < ini.size(); ++i) {
    if (ini[i] == '\r' && i + 1 < ini.size() && ini[i + 1] == '\n') continue;
    lf.push_back(ini[i]);
  }
  std::wstring text(static_cast<size_t>(::MultiByteToWideChar(
                        CP_UTF8, 0, lf.data(), static_cast<int>(lf.size()), nullptr, 0)),
                    L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, lf.data(), static_cast<int>(lf.size()), text.data(),
                        static_cast<int>(text.size()));
  std::string bytes = "\xFF\xFE";
  for (const wchar_t c : text) {
    if (c == L'\n') bytes += std::string("\r\0", 2);
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  return bytes;
}

// Puts the parts of `package` into the installer at `path` with the system's resource update.
void UpdateResources(const std::wstring& path, const InstallerPackage& package) {
  struct Part {
    std::wstring type;
    WORD id;
    std::string bytes;
  };
  std::vector<Part> parts = {
      {kConfigResourceType, kConfigResourceId, IniResource(package.ini)}};
  if (!package.archive.empty()) {
    parts.push_back({kArchiveResourceType, kArchiveResourceId, ReadFileBytes(package.archive)});
  }
  if (!package.rdcArchive.empty()) {
    parts.push_back(
        {kRdcArchiveResourceType, kRdcArchiveResourceId, ReadFileBytes(package.rdcArchive)});
  }
  for (size_t n = 0; n < package.files.size(); ++n) {
    parts.push_back({kFileResourceTypePrefix + std::to_wstring(n),
                     static_cast<WORD>(kFileResourceBaseId + n), ReadFileBytes(package.files[n])});
  }
  const HANDLE update = ::BeginUpdateResourceW(path.c_str(), FALSE);
  ASSERT_NE(update, nullptr) << "error " << ::GetLastError();
  for (Part& part : parts) {
    EXPECT_TRUE(::UpdateResourceW(update, part.type.c_str(), MAKEINTRESOURCEW(part.id),
                                  MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), part.bytes.data(),
                                  static_cast<DWORD>(part.bytes.size())))
        << "error " << ::GetLastError();
  }
  ASSERT_TRUE(::EndUpdateResourceW(update, FALSE)) << "error " << ::GetLastError();
}

}  // namespace

void BuildInstaller(const std::wstring& workFolder, const InstallerPackage& package,
                    const std::wstring& outputPath) {
  const std::wstring ini = workFolder + L"\\setup.ini";
  const bool standIn = package.pastThePackersChecks;
  ASSERT_TRUE(WriteFileBytes(ini, standIn ? kStandInIni : package.ini));
  std::vector<std::string> arguments = {"--stub", UnixPath(BuiltProgramFolder() + L"ZelkoSFX.exe"),
                                        "--config", UnixPath(ini), "--out", UnixPath(outputPath)};
  if (standIn) {
    const std::wstring file = workFolder + L"\\stand_in.txt";
    ASSERT_TRUE(WriteFileBytes(file, "stand-in"));
    arguments.insert(arguments.end(), {"--file", UnixPath(file)});
  }
  auto add = [&](const char* option, const std::wstring& path) {
    if (!standIn && !path.empty()) arguments.insert(arguments.end(), {option, UnixPath(path)});
  };
  add("--archive", package.archive);
  add("--rdc-archive", package.rdcArchive);
  for (const auto& file : package.files) add("--file", file);
  if (package.fillSizes && !standIn) arguments.push_back("--fill-sizes");
  const ProcessResult packed = RunHostProgram(NativePacker(), arguments);
  ASSERT_TRUE(packed.started);
  ASSERT_EQ(packed.exitCode, 0u) << packed.output;
  if (standIn) UpdateResources(outputPath, package);
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

std::wstring ZelkoDataFolder() {
  wchar_t common[MAX_PATH];
  ::SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, common);
  return std::wstring(common) + L"\\Zelko";
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
