// Runs the built packer on the built stub and reads the installers it writes back through the
// system's resource loader, the way the installer itself finds its parts.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/host_process.h"
#include "tests/support/installer_run.h"
#include "tests/support/process_runner.h"
#include "tests/support/temp_folder.h"
#include "win/scoped_handle.h"

namespace zelko {
namespace {

using namespace std::string_literals;
using test::BuiltProgramFolder;
using test::FileExists;
using test::FixtureFolder;
using test::NativePacker;
using test::ProcessResult;
using test::QuoteArgument;
using test::ReadFileBytes;
using test::RunHostProgram;
using test::TempFolder;
using test::UnixPath;
using test::WriteFileBytes;

constexpr char kErrorPrefix[] = "zelko_pack: error: ";
constexpr char kPreviousInstaller[] = "the installer of an earlier, good build";
// The line every configuration needs: the packer refuses one without a product code.
constexpr char kCodeLines[] = "[INSTALL]\r\nProductCode={6F1D3C52-2B0B-4C1E-9F3A-1B2C3D4E5F60}\r\n";
constexpr char16_t kCodeLines16[] =
    u"[INSTALL]\r\nProductCode={6F1D3C52-2B0B-4C1E-9F3A-1B2C3D4E5F60}\r\n";
const std::string kDemoIni = kCodeLines + "[Config]\r\nTitle=Demo\r\n"s;
const std::u16string kDemoText = kCodeLines16 + u"[Config]\r\nTitle=Demo\r\n"s;
// The demo configuration with more lines in [INSTALL] (the installer reads only the first
// section of a name).
std::string DemoIniWith(const std::string& install) {
  return kCodeLines + install + "[Config]\r\nTitle=Demo\r\n";
}

std::wstring Packer() { return BuiltProgramFolder() + L"zelko_pack.exe"; }
std::wstring Stub() { return BuiltProgramFolder() + L"ZelkoSFX.exe"; }

std::string Utf8(const std::wstring& text) {
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size,
                        nullptr, nullptr);
  return bytes;
}

std::string Utf16(const std::u16string& text, bool bigEndian) {
  std::string bytes;
  for (const char16_t unit : text) {
    const char low = static_cast<char>(unit & 0xFF);
    const char high = static_cast<char>(unit >> 8);
    bytes += bigEndian ? std::string{high, low} : std::string{low, high};
  }
  return bytes;
}
std::string Utf16Le(const std::u16string& text) { return Utf16(text, false); }
std::string Utf16Be(const std::u16string& text) { return Utf16(text, true); }

// What the installer must find as its configuration for `text`.
std::string IniResource(const std::u16string& text) { return "\xFF\xFE" + Utf16Le(text); }

// The archives with known unpacked sizes made at build time (tests/tools/make_fixtures.sh).
std::wstring SizeFixture(const wchar_t* name) { return FixtureFolder() + L"packer\\" + name; }

// A resource's type or name as text: "#5" for a number.
std::string ResourceKeyText(const wchar_t* key) {
  return IS_INTRESOURCE(key) ? "#" + std::to_string(reinterpret_cast<uintptr_t>(key)) : Utf8(key);
}

// Every resource of the program at `path` (type/name/language) with its data, read through the
// system's resource functions.
std::map<std::string, std::string> AllResources(const std::wstring& path) {
  std::map<std::string, std::string> found;
  const ScopedModule module(::LoadLibraryExW(
      path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
  if (!module) {
    ADD_FAILURE() << "cannot load " << Utf8(path) << " as data, error " << ::GetLastError();
    return found;
  }
  struct Walk {
    HMODULE module;
    std::map<std::string, std::string>* found;
    const wchar_t* type;
    const wchar_t* name;
  } walk{module.get(), &found, nullptr, nullptr};
  ::EnumResourceTypesW(
      module.get(),
      [](HMODULE m, LPWSTR type, LONG_PTR context) -> BOOL {
        auto* w = reinterpret_cast<Walk*>(context);
        w->type = type;
        ::EnumResourceNamesW(
            m, type,
            [](HMODULE m, LPCWSTR type, LPWSTR name, LONG_PTR context) -> BOOL {
              auto* w = reinterpret_cast<Walk*>(context);
              w->name = name;
              ::EnumResourceLanguagesW(
                  m, type, name,
                  [](HMODULE m, LPCWSTR type, LPCWSTR name, WORD language,
                     LONG_PTR context) -> BOOL {
                    auto* w = reinterpret_cast<Walk*>(context);
                    const HRSRC found = ::FindResourceExW(m, type, name, language);
                    const HGLOBAL loaded = found ? ::LoadResource(m, found) : nullptr;
                    const auto* data = static_cast<const char*>(loaded ? ::LockResource(loaded) : nullptr);
                    (*w->found)[ResourceKeyText(type) + "/" + ResourceKeyText(name) + "/" +
                                std::to_string(language)] =
                        data ? std::string(data, ::SizeofResource(m, found)) : "<unreadable>";
                    return TRUE;
                  },
                  context);
              return TRUE;
            },
            context);
        return TRUE;
      },
      reinterpret_cast<LONG_PTR>(&walk));
  return found;
}

// A Windows path as the native packer takes it; other arguments as they are.
std::string HostArgument(const std::wstring& argument) {
  const bool isPath = argument.size() > 2 && argument[1] == L':' && argument[2] == L'\\';
  return isPath ? UnixPath(argument) : Utf8(argument);
}

// Resource `type`/`id` in the neutral language of the program at `path` (a full path), or
// nullopt when it has none.
std::optional<std::string> ReadResource(const std::wstring& path, const wchar_t* type, WORD id) {
  const ScopedModule module(::LoadLibraryExW(
      path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
  if (!module) {
    ADD_FAILURE() << "cannot load " << Utf8(path) << " as data, error " << ::GetLastError();
    return std::nullopt;
  }
  const HRSRC found = ::FindResourceExW(module.get(), type, MAKEINTRESOURCEW(id),
                                        MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
  if (found == nullptr) return std::nullopt;
  const DWORD size = ::SizeofResource(module.get(), found);
  const HGLOBAL loaded = ::LoadResource(module.get(), found);
  const auto* data = static_cast<const char*>(loaded ? ::LockResource(loaded) : nullptr);
  if (size != 0 && data == nullptr) return std::nullopt;
  return std::string(data ? data : "", size);
}

// The image checksum in the header of the program at `path` and the one the system's own
// imagehlp computes for its bytes.
std::pair<DWORD, DWORD> ImageChecksums(const std::wstring& path) {
  using CheckSumMappedFileFn = PIMAGE_NT_HEADERS(WINAPI*)(PVOID, DWORD, PDWORD, PDWORD);
  const ScopedModule imagehlp(
      ::LoadLibraryExW(L"imagehlp.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
  const auto checkSum = imagehlp ? reinterpret_cast<CheckSumMappedFileFn>(reinterpret_cast<void*>(
                                       ::GetProcAddress(imagehlp.get(), "CheckSumMappedFile")))
                                 : nullptr;
  std::string bytes = ReadFileBytes(path);
  DWORD inHeader = 0;
  DWORD computed = 1;
  if (checkSum == nullptr ||
      checkSum(bytes.data(), static_cast<DWORD>(bytes.size()), &inHeader, &computed) == nullptr) {
    ADD_FAILURE() << "CheckSumMappedFile is not available or refused " << Utf8(path);
  }
  return {inHeader, computed};
}

// The base relocations of the program at `path`, found as the loader finds them: through its
// data directory and section table (imagehlp reading the file's bytes).
std::string RelocationData(const std::wstring& path) {
  using DirectoryDataFn = PVOID(WINAPI*)(PVOID, BOOLEAN, USHORT, PULONG);
  const ScopedModule imagehlp(
      ::LoadLibraryExW(L"imagehlp.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
  const auto directoryData =
      imagehlp ? reinterpret_cast<DirectoryDataFn>(reinterpret_cast<void*>(
                     ::GetProcAddress(imagehlp.get(), "ImageDirectoryEntryToData")))
               : nullptr;
  if (directoryData == nullptr) {
    ADD_FAILURE() << "ImageDirectoryEntryToData is not available";
    return {};
  }
  std::string bytes = ReadFileBytes(path);
  ULONG size = 0;
  const auto* data = static_cast<const char*>(
      directoryData(bytes.data(), FALSE, IMAGE_DIRECTORY_ENTRY_BASERELOC, &size));
  return data ? std::string(data, size) : "<none>";
}

// A short fingerprint of a file's bytes, so that a failed comparison prints readably.
std::string Fingerprint(const std::string& bytes) {
  uint64_t hash = 14695981039346656037ull;  // FNV-1a
  for (const char c : bytes) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  return std::to_string(bytes.size()) + " bytes, hash " + std::to_string(hash);
}

// Every file and folder below `folder` with a fingerprint of each file ("<folder>" for
// folders), so a test sees anything a run added, removed or changed, temporary files included.
std::map<std::string, std::string> Snapshot(const std::wstring& folder,
                                            const std::wstring& prefix = L"") {
  std::map<std::string, std::string> entries;
  WIN32_FIND_DATAW data;
  ScopedFindHandle find(::FindFirstFileW((folder + L"\\*").c_str(), &data));
  if (!find) return entries;
  do {
    const std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    const std::wstring path = folder + L"\\" + name;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      entries[Utf8(prefix + name)] = "<folder>";
      entries.merge(Snapshot(path, prefix + name + L"\\"));
    } else {
      entries[Utf8(prefix + name)] = Fingerprint(ReadFileBytes(path));
    }
  } while (::FindNextFileW(find.get(), &data));
  return entries;
}

void ExpectOneErrorLine(const std::string& output) {
  EXPECT_EQ(output.rfind(kErrorPrefix, 0), 0u) << output;
  EXPECT_EQ(output.find('\n'), output.size() - 1) << "expected one line:\n" << output;
}

// A folder with a good set of inputs; each test changes what it is about.
class PackerTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(FileExists(Packer())) << Utf8(Packer());
    ASSERT_TRUE(FileExists(Stub())) << Utf8(Stub());
    // Non-Latin file names: the paths must reach the packer and its messages intact.
    config_ = folder_ / L"\x0443\x0441\x0442\x0430\x043D\x043E\x0432\x043A\x0430.ini";
    output_ = folder_ / L"\x5B89\x88C5 setup.exe";
    ASSERT_TRUE(WriteFileBytes(config_, kDemoIni));
  }

  // Runs the Windows packer under Wine, or with `native` the Linux one with the paths in
  // `arguments` turned into Linux paths.
  ProcessResult Pack(const std::vector<std::wstring>& arguments, bool native = false) {
    if (native) {
      std::vector<std::string> hostArguments;
      for (const std::wstring& argument : arguments) hostArguments.push_back(HostArgument(argument));
      ProcessResult result = RunHostProgram(NativePacker(), hostArguments);
      EXPECT_TRUE(result.started) << NativePacker();
      return result;
    }
    std::wstring commandLine = QuoteArgument(Packer());
    for (const std::wstring& argument : arguments) commandLine += L" " + QuoteArgument(argument);
    ProcessResult result = test::RunProcess(commandLine);
    EXPECT_TRUE(result.started) << "error " << result.startError;
    return result;
  }

  // Packs the stub, `config` and the smallest archive (the payload every 7z configuration
  // needs) into `output`.
  ProcessResult PackConfig(const std::wstring& config, const std::wstring& output) {
    return Pack({L"--stub", Stub(), L"--config", config, L"--archive",
                 SizeFixture(L"one_byte.7z"), L"--out", output});
  }

  TempFolder folder_;
  std::wstring config_;
  std::wstring output_;
};

// Both packers write the same installer: the Windows one under Wine and the native one.
class BothPackersTest : public PackerTest, public testing::WithParamInterface<bool> {};

TEST_P(BothPackersTest, AddsEveryResourceAndKeepsTheStubs) {
  const bool native = GetParam();
  const std::string archive = ReadFileBytes(SizeFixture(L"one_mib_and_a_byte.7z"));
  const std::string rdcArchive = ReadFileBytes(SizeFixture(L"solid_packed_header.7z"));
  ASSERT_FALSE(archive.empty());
  ASSERT_FALSE(rdcArchive.empty());
  // Large enough to push the relocations behind the resources into later pages.
  std::string pages;
  for (int i = 0; i < 70000; ++i) pages.push_back(static_cast<char>(i * 7 % 256));
  const std::vector<std::string> files = {"first file\r\n", pages, std::string("\0\1\2\xFF", 4)};
  ASSERT_TRUE(WriteFileBytes(config_, DemoIniWith("RDCArchiveSize=1\r\n")));
  ASSERT_TRUE(WriteFileBytes(folder_ / L"payload.7z", archive));
  ASSERT_TRUE(WriteFileBytes(folder_ / L"rdc.7z", rdcArchive));
  std::vector<std::wstring> arguments = {L"--stub",        Stub(),
                                         L"--config",      config_,
                                         L"--archive",     folder_ / L"payload.7z",
                                         L"--rdc-archive", folder_ / L"rdc.7z"};
  for (size_t n = 0; n < files.size(); ++n) {
    const std::wstring path = folder_ / (L"file" + std::to_wstring(n) + L".bin");
    ASSERT_TRUE(WriteFileBytes(path, files[n]));
    arguments.insert(arguments.end(), {L"--file", path});
  }
  arguments.insert(arguments.end(), {L"--out", output_});
  const auto inputs = Snapshot(folder_.path());

  const ProcessResult result = Pack(arguments, native);

  ASSERT_EQ(result.exitCode, 0u) << result.output;
  EXPECT_EQ(result.output, native ? "zelko_pack: wrote " + UnixPath(output_) + " (6 resources)\n"
                                  : "zelko_pack: wrote " + Utf8(output_) + " (6 resources)\r\n");
  // The stub's own resources (icon, dialog, manifest, version) and the installer's, nothing
  // else, byte for byte.
  auto expected = AllResources(Stub());
  ASSERT_TRUE(expected.count("#24/#1/1033") || expected.count("#24/#1/0")) << "no manifest";
  expected["ZELKO_SFX_INI/#133/0"] =
      IniResource(kCodeLines16 + u"RDCArchiveSize=1\r\n[Config]\r\nTitle=Demo\r\n"s);
  expected["ARCHIVE_7Z/#131/0"] = archive;
  expected["ARCHIVE_7Z_RDC/#135/0"] = rdcArchive;
  for (size_t n = 0; n < files.size(); ++n) {
    expected["FILE_" + std::to_string(n) + "/#" + std::to_string(140 + n) + "/0"] = files[n];
  }
  EXPECT_EQ(AllResources(output_), expected);
  const auto [inHeader, computed] = ImageChecksums(output_);
  EXPECT_EQ(inHeader, computed);
  // The relocations moved behind the grown resources and are found there, whole.
  const std::string relocations = RelocationData(Stub());
  EXPECT_GT(relocations.size(), 8u);
  EXPECT_EQ(Fingerprint(RelocationData(output_)), Fingerprint(relocations));
  // The inputs are untouched, the installer is new, and nothing else was left behind.
  auto after = inputs;
  after[Utf8(output_.substr(folder_.path().size() + 1))] = Fingerprint(ReadFileBytes(output_));
  EXPECT_EQ(Snapshot(folder_.path()), after);
}

INSTANTIATE_TEST_SUITE_P(Packers, BothPackersTest, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) {
                           return std::string(info.param ? "Native" : "Windows");
                         });

// A 32-bit stub (tests/tools/pe32_stub) keeps its own resources, named ones too, and gains
// the installer's; the installer's 32-bit headers are right for the system's loader.
TEST_F(PackerTest, Pe32StubGainsTheResources) {
  const std::wstring stub = FixtureFolder() + L"pe32_stub\\pe32_stub.exe";
  ASSERT_TRUE(FileExists(stub)) << Utf8(stub);
  const std::string archive = ReadFileBytes(SizeFixture(L"one_byte.7z"));
  ASSERT_TRUE(WriteFileBytes(folder_ / L"payload.7z", archive));
  const std::string pages(70000, 'p');  // moves the relocations by many pages
  ASSERT_TRUE(WriteFileBytes(folder_ / L"pages.bin", pages));

  const ProcessResult result =
      Pack({L"--stub", stub, L"--config", config_, L"--archive", folder_ / L"payload.7z",
            L"--file", folder_ / L"pages.bin", L"--out", output_},
           /*native=*/true);

  ASSERT_EQ(result.exitCode, 0u) << result.output;
  auto expected = AllResources(stub);
  ASSERT_TRUE(expected.count("STUBTEXT/#10/1033") || expected.count("#10/STUBTEXT/1033"))
      << testing::PrintToString(expected);
  expected["ZELKO_SFX_INI/#133/0"] = IniResource(kDemoText);
  expected["ARCHIVE_7Z/#131/0"] = archive;
  expected["FILE_0/#140/0"] = pages;
  EXPECT_EQ(AllResources(output_), expected);
  const auto [inHeader, computed] = ImageChecksums(output_);
  EXPECT_EQ(inHeader, computed);
  const std::string relocations = RelocationData(stub);
  EXPECT_GT(relocations.size(), 8u);
  EXPECT_EQ(Fingerprint(RelocationData(output_)), Fingerprint(relocations));
}

TEST_F(PackerTest, SecondArchiveAndFilesAreOptional) {
  const ProcessResult result = PackConfig(config_, output_);

  ASSERT_EQ(result.exitCode, 0u) << result.output;
  EXPECT_EQ(result.output, "zelko_pack: wrote " + Utf8(output_) + " (2 resources)\r\n");
  EXPECT_TRUE(ReadResource(output_, L"ZELKO_SFX_INI", 133).has_value());
  EXPECT_EQ(ReadResource(output_, L"ARCHIVE_7Z", 131), ReadFileBytes(SizeFixture(L"one_byte.7z")));
  EXPECT_EQ(ReadResource(output_, L"ARCHIVE_7Z_RDC", 135), std::nullopt);
  EXPECT_EQ(ReadResource(output_, L"FILE_0", 140), std::nullopt);
}

TEST_F(PackerTest, ReplacesAnExistingInstaller) {
  ASSERT_TRUE(WriteFileBytes(output_, kPreviousInstaller));

  const ProcessResult result = PackConfig(config_, output_);

  ASSERT_EQ(result.exitCode, 0u) << result.output;
  EXPECT_EQ(ReadResource(output_, L"ZELKO_SFX_INI", 133), IniResource(kDemoText));
}

// ---------------------------------------------------------------------------------------------
// The configuration in every form an editor saves it, and what the installer then reads.

struct IniCase {
  const char* name;
  std::string input;
  std::u16string stored;  // the text of the resource after its byte-order mark
};

void PrintTo(const IniCase& value, std::ostream* out) { *out << value.name; }

class IniEncodingTest : public PackerTest, public testing::WithParamInterface<IniCase> {};

TEST_P(IniEncodingTest, StoresUtf16LeWithMarkAndCrLf) {
  ASSERT_TRUE(WriteFileBytes(config_, GetParam().input));

  const ProcessResult result = PackConfig(config_, output_);

  ASSERT_EQ(result.exitCode, 0u) << result.output;
  EXPECT_EQ(ReadResource(output_, L"ZELKO_SFX_INI", 133), IniResource(GetParam().stored));
}

const std::u16string kNonLatinText =
    kCodeLines16 +
    u"[Config]\r\nTitle=\u0423\u0441\u0442\u0430\u043D\u043E\u0432\u043A\u0430 \u5B89\u88C5 "
    u"\U0001F4E6\r\n"s;
const std::string kCodeLinesLf = "[INSTALL]\nProductCode={6F1D3C52-2B0B-4C1E-9F3A-1B2C3D4E5F60}\n";

INSTANTIATE_TEST_SUITE_P(
    Forms, IniEncodingTest,
    testing::Values(
        IniCase{"Utf8", kDemoIni, kDemoText},
        IniCase{"Utf8WithMark", "\xEF\xBB\xBF" + kDemoIni, kDemoText},
        IniCase{"Utf16LeWithMark", "\xFF\xFE" + Utf16Le(kDemoText), kDemoText},
        IniCase{"Utf16LeWithoutMark", Utf16Le(kDemoText), kDemoText},
        IniCase{"Utf16BeWithMark", "\xFE\xFF" + Utf16Be(kNonLatinText), kNonLatinText},
        IniCase{"Utf8NonLatin",
                kCodeLinesLf +
                    u8"[Config]\nTitle=\u0423\u0441\u0442\u0430\u043D\u043E\u0432\u043A\u0430 "
                    u8"\u5B89\u88C5 \U0001F4E6\n",
                kNonLatinText},
        IniCase{"MixedLineEnds", kCodeLinesLf + "a=1\nb=2\rc=3\r\nd=4\r\r\ne=5",
                kCodeLines16 + u"a=1\r\nb=2\r\nc=3\r\nd=4\r\n\r\ne=5"s},
        IniCase{"Utf16LineEnds", "\xFF\xFE" + Utf16Le(kCodeLines16 + u"a=1\nb=2\r"s),
                kCodeLines16 + u"a=1\r\nb=2\r\n"s}),
    [](const testing::TestParamInfo<IniCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// Bad inputs: one clear line, exit code 1, and the output folder exactly as before.

struct Inputs {
  std::wstring stub;
  std::wstring config;
  std::wstring archive;
  std::vector<std::wstring> files;
  std::wstring output;
  std::wstring rdcArchive;  // given only when set
  ScopedFileHandle held;  // a file the test keeps open while the packer runs
};

struct BadInputCase {
  const char* name;
  // Spoils one input in `folder` and returns the path that the message must name.
  std::function<std::wstring(const TempFolder& folder, Inputs& inputs)> spoil;
  const char* cause;  // part of the message that says what is wrong
};

void PrintTo(const BadInputCase& value, std::ostream* out) { *out << value.name; }

class BadInputTest : public PackerTest, public testing::WithParamInterface<BadInputCase> {};

TEST_P(BadInputTest, FailsWithOneLineAndWritesNothing) {
  ASSERT_TRUE(WriteFileBytes(folder_ / L"payload.7z", ReadFileBytes(SizeFixture(L"one_byte.7z"))));
  ASSERT_TRUE(WriteFileBytes(folder_ / L"readme.txt", "read me"));
  ASSERT_TRUE(WriteFileBytes(output_, kPreviousInstaller));
  Inputs inputs{Stub(), config_, folder_ / L"payload.7z", {folder_ / L"readme.txt"}, output_, {}};
  const std::wstring named = GetParam().spoil(folder_, inputs);
  std::vector<std::wstring> arguments = {L"--stub", inputs.stub, L"--config", inputs.config};
  if (!inputs.archive.empty()) arguments.insert(arguments.end(), {L"--archive", inputs.archive});
  for (const std::wstring& file : inputs.files) {
    arguments.insert(arguments.end(), {L"--file", file});
  }
  if (!inputs.rdcArchive.empty()) arguments.insert(arguments.end(), {L"--rdc-archive", inputs.rdcArchive});
  arguments.insert(arguments.end(), {L"--out", inputs.output});
  const auto before = Snapshot(folder_.path());

  const ProcessResult result = Pack(arguments);

  EXPECT_EQ(result.exitCode, 1u) << result.output;
  ExpectOneErrorLine(result.output);
  EXPECT_NE(result.output.find(Utf8(named)), std::string::npos) << result.output;
  EXPECT_NE(result.output.find(GetParam().cause), std::string::npos) << result.output;
  EXPECT_EQ(Snapshot(folder_.path()), before);
  EXPECT_EQ(ReadFileBytes(output_), kPreviousInstaller);
}

// Spoilers for the table.
auto MissingInput(std::wstring Inputs::*input) {
  return [input](const TempFolder& folder, Inputs& inputs) {
    inputs.*input = folder / L"absent.bin";
    return inputs.*input;
  };
}
auto StubMadeOf(std::string bytes) {
  return [bytes](const TempFolder& folder, Inputs& inputs) {
    inputs.stub = folder / L"stub.exe";
    EXPECT_TRUE(WriteFileBytes(inputs.stub, bytes));
    return inputs.stub;
  };
}
auto ConfigMadeOf(std::string bytes) {
  return [bytes](const TempFolder&, Inputs& inputs) {
    EXPECT_TRUE(WriteFileBytes(inputs.config, bytes));
    return inputs.config;
  };
}
// The configuration made of `install` lines after "[INSTALL]", or of `text` as it is.
auto ConfigInstall(std::string install) { return ConfigMadeOf("[INSTALL]\r\n" + install); }
// A second archive (a good one) with the configuration's [INSTALL] extended by `install`.
auto SecondArchiveDeclared(std::string install) {
  return [install](const TempFolder& folder, Inputs& inputs) {
    inputs.rdcArchive = folder / L"rdc.7z";
    EXPECT_TRUE(WriteFileBytes(inputs.rdcArchive, ReadFileBytes(SizeFixture(L"one_byte.7z"))));
    EXPECT_TRUE(WriteFileBytes(inputs.config, DemoIniWith(install)));
    return inputs.config;
  };
}
// The configuration made of `install` lines after the product code, with the archive and the
// files given only when `archive` and `files` say so.
auto PayloadDeclared(std::string install, bool archive, bool files) {
  return [install, archive, files](const TempFolder&, Inputs& inputs) {
    if (!archive) inputs.archive.clear();
    if (!files) inputs.files.clear();
    EXPECT_TRUE(WriteFileBytes(inputs.config, DemoIniWith(install)));
    return inputs.config;
  };
}
// The built stub with a signature directory, as signing leaves it.
std::string SignedStub() {
  std::string bytes = ReadFileBytes(Stub());
  const uint32_t pe = static_cast<unsigned char>(bytes[0x3C]) | static_cast<unsigned char>(bytes[0x3D]) << 8;
  const size_t directory = pe + 4 + 20 + 112 + 4 * 8;  // PE32+: the fifth data directory
  const uint32_t at = static_cast<uint32_t>(bytes.size());
  const uint32_t size = 16;
  for (int i = 0; i < 4; ++i) {
    bytes[directory + i] = static_cast<char>(at >> (8 * i));
    bytes[directory + 4 + i] = static_cast<char>(size >> (8 * i));
  }
  return bytes + std::string(size, '\x01');
}

std::string MzHeaderPointingTo(uint32_t peOffset, size_t fileSize) {
  std::string bytes(fileSize, '\0');
  bytes[0] = 'M';
  bytes[1] = 'Z';
  for (int i = 0; i < 4; ++i) bytes[0x3C + i] = static_cast<char>(peOffset >> (8 * i));
  return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BadInputTest,
    testing::Values(
        BadInputCase{"MissingStub", MissingInput(&Inputs::stub), "cannot read the stub"},
        BadInputCase{"MissingConfig", MissingInput(&Inputs::config),
                     "cannot read the configuration"},
        BadInputCase{"MissingArchive", MissingInput(&Inputs::archive), "cannot read the archive"},
        BadInputCase{"MissingFile",
                     [](const TempFolder& folder, Inputs& inputs) {
                       inputs.files.push_back(folder / L"absent.txt");
                       return inputs.files.back();
                     },
                     "cannot read the file"},
        BadInputCase{"EmptyArchive",
                     [](const TempFolder&, Inputs& inputs) {
                       EXPECT_TRUE(WriteFileBytes(inputs.archive, ""));
                       return inputs.archive;
                     },
                     "the file is empty"},
        BadInputCase{"EmptyFile",
                     [](const TempFolder&, Inputs& inputs) {
                       EXPECT_TRUE(WriteFileBytes(inputs.files[0], ""));
                       return inputs.files[0];
                     },
                     "the file is empty"},
        BadInputCase{"ConfigIsAFolder",
                     [](const TempFolder& folder, Inputs& inputs) {
                       inputs.config = folder / L"config.d";
                       EXPECT_TRUE(::CreateDirectoryW(inputs.config.c_str(), nullptr));
                       return inputs.config;
                     },
                     "is a folder"},
        BadInputCase{"StubIsText", StubMadeOf("[Config]\r\nTitle=Demo\r\n"),
                     "does not start with an \"MZ\" header"},
        BadInputCase{"StubIsMzWithoutPeHeader", StubMadeOf(MzHeaderPointingTo(0x80, 0x200)),
                     "no \"PE\" signature"},
        BadInputCase{"StubPeOffsetOutsideFile", StubMadeOf(MzHeaderPointingTo(0x10000, 0x200)),
                     "outside the file"},
        BadInputCase{"StubTooShort", StubMadeOf("MZ"), "\"MZ\" header"},
        BadInputCase{"StubSigned", StubMadeOf(SignedStub()),
                     "is signed; pack the unsigned stub and sign the installer afterwards"},
        // What the installer would refuse on the user's machine.
        BadInputCase{"ConfigEmpty", ConfigMadeOf(""), "has no ProductCode in [INSTALL]"},
        BadInputCase{"ProductCodeMissing", ConfigInstall("DisplayName=Demo\r\n"),
                     "has no ProductCode in [INSTALL]; the installer would stop at once"},
        BadInputCase{"ProductCodeEmpty", ConfigInstall("ProductCode=  \r\n"),
                     "has no ProductCode in [INSTALL]"},
        BadInputCase{"ProductCodeInAnotherSection",
                     ConfigMadeOf("[STRING]\r\nProductCode={6F1D3C52-2B0B-4C1E-9F3A-1B2C3D4E5F60}\r\n"),
                     "has no ProductCode in [INSTALL]"},
        BadInputCase{"ProductCodeWithoutBraces",
                     ConfigInstall("ProductCode=6F1D3C52-2B0B-4C1E-9F3A-1B2C3D4E5F60\r\n"),
                     "has ProductCode=6F1D3C52-2B0B-4C1E-9F3A-1B2C3D4E5F60 in [INSTALL], which is "
                     "not a product code in braces"},
        BadInputCase{"ProductCodeNotHexadecimal",
                     ConfigInstall("ProductCode={6F1D3C52-2B0B-4C1E-9F3A-1B2C3D4E5F6G}\r\n"),
                     "not a product code in braces"},
        BadInputCase{"ProductCodeCutShort", ConfigInstall("ProductCode={6F1D3C52-2B0B}\r\n"),
                     "not a product code in braces"},
        BadInputCase{"LanguageSectionNotALocaleName",
                     ConfigMadeOf(kCodeLines + "[STRING]\r\nSFX_BTN_CANCEL=Cancel\r\n"s +
                                  "[STRING.de]\r\nSFX_BTN_CANCEL=Abbrechen\r\n"
                                  "[STRING.pt_BR]\r\nSFX_BTN_CANCEL=Cancelar\r\n"),
                     "has a section [STRING.pt_BR], which no user's language would ever select: "
                     "name a language section [STRING.<locale>] with a locale name such as "
                     "de-DE, de, pt-BR or zh-Hans"},
        BadInputCase{"ArchiveOfNoise",
                     [](const TempFolder&, Inputs& inputs) {
                       std::string noise;
                       for (int i = 0; i < 1000; ++i) noise.push_back(static_cast<char>(i * 151 % 256));
                       EXPECT_TRUE(WriteFileBytes(inputs.archive, noise));
                       return inputs.archive;
                     },
                     "the archive is not a 7z archive the installer can read: it has no 7z signature"},
        BadInputCase{"SecondArchiveWithoutSize", SecondArchiveDeclared(""),
                     "has no RDCArchiveSize in [INSTALL], and the installer refuses its second archive"},
        BadInputCase{"SecondArchiveSizeZero", SecondArchiveDeclared("RDCArchiveSize=0\r\n"),
                     "has RDCArchiveSize=0 in [INSTALL], and the installer refuses"},
        BadInputCase{"SecondArchiveSizeText", SecondArchiveDeclared("RDCArchiveSize=word\r\n"),
                     "has RDCArchiveSize=word in [INSTALL]"},
        // An installer that could not install anything, or would leave an input unused.
        BadInputCase{"SevenZipWithoutArchive", PayloadDeclared("", false, true),
                     "asks for a 7z payload (Compression is not set), but no --archive is given: "
                     "the installer would install nothing (give the archive with --archive, or "
                     "set Compression=files and give the files with --file)"},
        BadInputCase{"SevenZipNamedWithoutArchive", PayloadDeclared("Compression=7Z\r\n", false, false),
                     "asks for a 7z payload (Compression is 7z), but no --archive is given"},
        BadInputCase{"FilesWithAnArchive",
                     PayloadDeclared("Compression=files\r\nFILE_0=readme.txt\r\n", true, true),
                     "has Compression=files in [INSTALL], so the installer writes file resources "
                     "and never extracts the --archive given (leave Compression out, or set it to "
                     "7z, to install the archive)"},
        BadInputCase{"FilesWithoutFiles", PayloadDeclared("Compression=files\r\nFILE_0=a.txt\r\n", false, false),
                     "has Compression=files in [INSTALL], but no --file is given: the installer "
                     "would install nothing"},
        BadInputCase{"FilesWithoutFile0", PayloadDeclared("Compression=none\r\nFILE_1=a.txt\r\n", false, true),
                     "has Compression=none in [INSTALL], but no FILE_0 in [INSTALL]: the installer "
                     "would write none of the files (name the first --file with FILE_0=, the next "
                     "with FILE_1=, ...)"},
        BadInputCase{"NegativeInstallerSize", PayloadDeclared("InstallerFolderSizeInMB=-1\r\n", true, true),
                     "has InstallerFolderSizeInMB=-1 in [INSTALL], and the installer counts a "
                     "negative size as none, so its free-space check would be short (give the "
                     "unpacked size in MB, or --fill-sizes)"},
        BadInputCase{"NegativeSecondSize", PayloadDeclared("RDCFolderSizeInMB=-20\r\n", true, true),
                     "has RDCFolderSizeInMB=-20 in [INSTALL]"},
        BadInputCase{"ConfigLatin1", ConfigMadeOf("[Config]\r\nTitle=Caf\xE9\r\n"),
                     "not valid UTF-8 (byte 0xE9 at offset 19) in line 2"},
        BadInputCase{"ConfigStrayContinuationByte", ConfigMadeOf("a=\x80\n"), "UTF-8"},
        BadInputCase{"ConfigOverlongUtf8", ConfigMadeOf("a=\xC0\xAF\n"), "UTF-8"},
        BadInputCase{"ConfigEncodedSurrogate", ConfigMadeOf("a=\xED\xA0\x80\n"), "UTF-8"},
        BadInputCase{"ConfigAboveUnicode", ConfigMadeOf("a=\xF4\x90\x80\x80\n"), "UTF-8"},
        BadInputCase{"ConfigCutInSequence", ConfigMadeOf("a=\xE2\x82"), "UTF-8"},
        BadInputCase{"ConfigUtf8MarkThenLatin1", ConfigMadeOf("\xEF\xBB\xBF"s + "a=\xE9\n"),
                     "UTF-8"},
        BadInputCase{"ConfigUtf16OddLength", ConfigMadeOf("\xFF\xFE" + Utf16Le(u"a=1") + "x"),
                     "odd number of bytes"},
        BadInputCase{"ConfigUtf16UnpairedSurrogate",
                     ConfigMadeOf("\xFF\xFE" + Utf16Le(u"a=1\r\nb=\xD800\r\n")),
                     "unpaired surrogate) in line 2"},
        BadInputCase{"ConfigUtf16Nul", ConfigMadeOf("\xFF\xFE" + Utf16Le(u"a=1\r\n\0b=2"s)),
                     "NUL character in line 2"},
        BadInputCase{"ConfigBinary", ConfigMadeOf(std::string("\0\0\0\x01\x02\0", 6)),
                     "neither UTF-8 nor UTF-16"},
        BadInputCase{"OutputFolderMissing",
                     [](const TempFolder& folder, Inputs& inputs) {
                       inputs.output = folder / L"missing\\setup.exe";
                       return inputs.output;
                     },
                     "does not exist"},
        BadInputCase{"OutputIsAFolder",
                     [](const TempFolder& folder, Inputs& inputs) {
                       inputs.output = folder / L"setup.d";
                       EXPECT_TRUE(::CreateDirectoryW(inputs.output.c_str(), nullptr));
                       return inputs.output;
                     },
                     "is a folder"},
        BadInputCase{"OutputReadOnly",
                     [](const TempFolder&, Inputs& inputs) {
                       EXPECT_TRUE(
                           ::SetFileAttributesW(inputs.output.c_str(), FILE_ATTRIBUTE_READONLY));
                       return inputs.output;
                     },
                     "read-only"},
        // Fails only at the last step, after the whole installer was built beside it.
        BadInputCase{"OutputInUse",
                     [](const TempFolder&, Inputs& inputs) {
                       inputs.held.reset(::CreateFileW(inputs.output.c_str(), GENERIC_READ,
                                                       FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                                       FILE_ATTRIBUTE_NORMAL, nullptr));
                       EXPECT_TRUE(inputs.held.valid());
                       return inputs.output;
                     },
                     "cannot replace it"}),
    [](const testing::TestParamInfo<BadInputCase>& info) { return std::string(info.param.name); });

// A stub that already carries an installer's parts would keep whichever of them the new build
// leaves out, such as an old archive.
TEST_F(PackerTest, RefusesAStubThatWasPackedBefore) {
  const std::wstring firstBuild = folder_ / L"first.exe";
  ASSERT_EQ(PackConfig(config_, firstBuild).exitCode, 0u);
  ASSERT_TRUE(WriteFileBytes(output_, kPreviousInstaller));
  const auto before = Snapshot(folder_.path());

  const ProcessResult result =
      Pack({L"--stub", firstBuild, L"--config", config_, L"--out", output_});

  EXPECT_EQ(result.exitCode, 1u);
  ExpectOneErrorLine(result.output);
  // The first installer resource found names the build (the archive, then the configuration).
  EXPECT_NE(result.output.find("already holds installer resources (ARCHIVE_7Z)"),
            std::string::npos)
      << result.output;
  EXPECT_EQ(Snapshot(folder_.path()), before);
}

// ---------------------------------------------------------------------------------------------
// --fill-sizes: the archives' byte sizes and unpacked sizes, the latter in whole MiB rounded up.

// The key=value lines of a configuration resource written in ASCII; a key twice is a failure,
// since the installer would see only one of them.
std::map<std::string, std::string> IniValues(const std::string& resource) {
  std::string text;
  for (size_t i = 2; i + 1 < resource.size(); i += 2) text.push_back(resource[i]);
  std::map<std::string, std::string> values;
  for (size_t start = 0, end; start < text.size(); start = end + 2) {
    end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    const size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    if (!values.emplace(line.substr(0, equals), line.substr(equals + 1)).second) {
      ADD_FAILURE() << "key given twice: " << line;
    }
  }
  return values;
}

struct FillSizesCase {
  const char* name;
  const wchar_t* archive;     // fixture given as --archive, or null
  const wchar_t* rdcArchive;  // fixture given as --rdc-archive, or null
  const char* installerMB;    // expected InstallerFolderSizeInMB ("99": left as it was)
  const char* rdcMB;          // expected RDCFolderSizeInMB ("99": left as it was)
};

void PrintTo(const FillSizesCase& value, std::ostream* out) { *out << value.name; }

class FillSizesTest : public PackerTest, public testing::WithParamInterface<FillSizesCase> {};

TEST_P(FillSizesTest, WritesPackedAndUnpackedSizes) {
  // Stale values to be replaced; a value whose archive is not given stays as it is.
  ASSERT_TRUE(WriteFileBytes(config_, kCodeLines + "InstallerFolderSizeInMB=99\r\nRDCFolderSizeInMB=99\r\n"s));
  std::vector<std::wstring> arguments = {L"--stub", Stub(), L"--config", config_, L"--fill-sizes",
                                         L"--out", output_};
  std::map<std::string, std::string> expected = {
      {"ProductCode", "{6F1D3C52-2B0B-4C1E-9F3A-1B2C3D4E5F60}"},
      {"InstallerFolderSizeInMB", GetParam().installerMB},
      {"RDCFolderSizeInMB", GetParam().rdcMB}};
  if (GetParam().archive != nullptr) {
    const std::wstring path = SizeFixture(GetParam().archive);
    arguments.insert(arguments.end(), {L"--archive", path});
    expected["ArchiveSize"] = std::to_string(ReadFileBytes(path).size());
  }
  if (GetParam().rdcArchive != nullptr) {
    const std::wstring path = SizeFixture(GetParam().rdcArchive);
    arguments.insert(arguments.end(), {L"--rdc-archive", path});
    expected["RDCArchiveSize"] = std::to_string(ReadFileBytes(path).size());
  }

  const ProcessResult result = Pack(arguments);

  ASSERT_EQ(result.exitCode, 0u) << result.output;
  const auto config = ReadResource(output_, L"ZELKO_SFX_INI", 133);
  ASSERT_TRUE(config.has_value());
  EXPECT_EQ(IniValues(*config), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Archives, FillSizesTest,
    testing::Values(
        FillSizesCase{"EmptyFilesAndAFolder", L"empty_files.7z", nullptr, "0", "99"},
        FillSizesCase{"OneByte", L"one_byte.7z", nullptr, "1", "99"},
        FillSizesCase{"ExactlyOneMiBInAFolder", L"one_mib_in_a_folder.7z", nullptr, "1", "99"},
        FillSizesCase{"OneMiBAndOneByte", L"one_mib_and_a_byte.7z", nullptr, "2", "99"},
        FillSizesCase{"SummedBeforeRounding", L"halves_plain_header.7z", nullptr, "2", "99"},
        FillSizesCase{"SolidWithPackedHeader", L"solid_packed_header.7z", nullptr, "3", "99"},
        FillSizesCase{"BothArchives", L"one_byte.7z", L"solid_packed_header.7z", "1", "3"}),
    [](const testing::TestParamInfo<FillSizesCase>& info) { return std::string(info.param.name); });

// A large LZMA2 folder in one block is decoded on one thread: --fill-sizes says so, and says
// nothing of a folder in blocks or of a small one.
TEST_F(PackerTest, FillSizesPointsOutALargeSingleBlock) {
  const std::string kNote =
      " MiB is LZMA2 in a single block, which the installer decodes on one thread; packed "
      "with 7zz a -m0=LZMA2:d=16m:c=32m it is decoded on all cores";
  struct Case {
    const wchar_t* archive;
    const char* folderMiB;  // the folder the note names, or null for no note
  };
  const Case cases[] = {
      {L"large_one_block.7z", "64"},
      {L"large_blocks.7z", nullptr},
      {L"solid_packed_header.7z", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(std::wstring(c.archive)));
    const std::wstring path = SizeFixture(c.archive);
    const ProcessResult result = Pack({L"--stub", Stub(), L"--config", config_, L"--archive",
                                       path, L"--fill-sizes", L"--out", output_});
    ASSERT_EQ(result.exitCode, 0u) << result.output;
    std::string narrowPath;
    for (const wchar_t ch : path) narrowPath.push_back(static_cast<char>(ch));
    const std::string note = c.folderMiB == nullptr ? std::string()
                                                     : "zelko_pack: note: " + narrowPath +
                                                           ": a folder of " + c.folderMiB + kNote;
    if (c.folderMiB != nullptr) {
      EXPECT_NE(result.output.find(note + "\r\n"), std::string::npos) << result.output;
    } else {
      EXPECT_EQ(result.output.find("note"), std::string::npos) << result.output;
    }
  }
}

// The archive is read as the installer will read it, whether or not its sizes are filled: one
// the installer could not open fails the pack instead of the user's installation.
TEST_F(PackerTest, RefusesArchivesTheInstallerCannotRead) {
  ASSERT_TRUE(WriteFileBytes(config_, DemoIniWith("RDCArchiveSize=1\r\n")));
  const std::string archive = ReadFileBytes(SizeFixture(L"one_byte.7z"));
  ASSERT_FALSE(archive.empty());
  ASSERT_TRUE(WriteFileBytes(folder_ / L"good.7z", archive));
  ASSERT_TRUE(WriteFileBytes(folder_ / L"text.7z", "7z archive bytes"));
  // The header lies at the end of the archive.
  ASSERT_TRUE(WriteFileBytes(folder_ / L"cut.7z", archive.substr(0, archive.size() - 1)));
  struct Case {
    std::vector<std::wstring> archives;  // the archive options
    std::wstring refused;                // the archive the message names
    const char* message;                 // follows the path
  } const cases[] = {
      {{L"--archive", folder_ / L"text.7z"},
       folder_ / L"text.7z",
       ": the archive is not a 7z archive the installer can read: it has no 7z signature"},
      {{L"--archive", folder_ / L"good.7z", L"--rdc-archive", folder_ / L"cut.7z"},
       folder_ / L"cut.7z",
       ": the second archive is not a 7z archive the installer can read: it ends before its "
       "header does"},
      // Archives that open but whose names the installer would refuse before writing.
      {{L"--archive", FixtureFolder() + L"extract\\no_names.7z"},
       FixtureFolder() + L"extract\\no_names.7z",
       ": the archive is not a 7z archive the installer can read: it holds an entry without a "
       "name"},
      // Headers with every check sum right that break the format.
      {{L"--archive", FixtureFolder() + L"extract\\repeated_times.7z"},
       FixtureFolder() + L"extract\\repeated_times.7z",
       ": the archive is not a 7z archive the installer can read: its header breaks the 7z "
       "format (a property given twice, or one too short for what it holds)"},
      {{L"--archive", folder_ / L"good.7z", L"--rdc-archive",
        FixtureFolder() + L"extract\\names_size_zero.7z"},
       FixtureFolder() + L"extract\\names_size_zero.7z",
       ": the second archive is not a 7z archive the installer can read: its header breaks the "
       "7z format (a property given twice, or one too short for what it holds)"},
      {{L"--archive", FixtureFolder() + L"extract\\hostile_0.7z"},
       FixtureFolder() + L"extract\\hostile_0.7z",
       ": the archive is not a 7z archive the installer can read: it holds the entry "
       "\"../evil.txt\", whose name the installer refuses"},
      // Names the installer takes but Windows cannot create.
      {{L"--archive", SizeFixture(L"forbidden_character.7z")},
       SizeFixture(L"forbidden_character.7z"),
       ": the archive is not a 7z archive the installer can read: it holds the entry "
       "\"a<b.txt\", a name Windows cannot give a file (< > \" | ? * and control characters "
       "are not allowed); rename it and pack the archive again"},
      {{L"--archive", SizeFixture(L"control_character.7z")},
       SizeFixture(L"control_character.7z"),
       ": the archive is not a 7z archive the installer can read: it holds the entry "
       "\"tab\there.txt\", a name Windows cannot give a file (< > \" | ? * and control "
       "characters are not allowed); rename it and pack the archive again"},
      {{L"--archive", folder_ / L"good.7z", L"--rdc-archive", SizeFixture(L"file_and_folder.7z")},
       SizeFixture(L"file_and_folder.7z"),
       ": the second archive is not a 7z archive the installer can read: it holds \"DOCS\" "
       "both as a file and as a folder, and Windows cannot create both; rename one of them and "
       "pack the archive again"},
  };
  const auto before = Snapshot(folder_.path());
  for (const Case& c : cases) for (const bool fillSizes : {true, false}) {
    SCOPED_TRACE(Utf8(c.refused) + (fillSizes ? " with --fill-sizes" : ""));
    std::vector<std::wstring> arguments = {L"--stub", Stub(), L"--config", config_, L"--out",
                                           output_};
    if (fillSizes) arguments.push_back(L"--fill-sizes");
    arguments.insert(arguments.end(), c.archives.begin(), c.archives.end());

    const ProcessResult result = Pack(arguments);

    EXPECT_EQ(result.exitCode, 1u) << result.output;
    EXPECT_EQ(result.output, kErrorPrefix + Utf8(c.refused) + c.message + "\r\n");
    EXPECT_EQ(Snapshot(folder_.path()), before);
  }
}

// A [STRING] key the installer never reads is most likely a misspelt one: the pack goes on,
// and says so.
TEST_F(PackerTest, WarnsOfStringKeysTheInstallerNeverReads) {
  ASSERT_TRUE(WriteFileBytes(config_, kDemoIni + "[STRING]\r\nSFX_BTN_CANCLE=Cancel\r\n"
                                                 "sfx_btn_cancel=Cancel\r\n"
                                                 "SFX_DLG_ERR_TITLE=Error\r\n"));

  const ProcessResult result = PackConfig(config_, output_);

  EXPECT_EQ(result.exitCode, 0u) << result.output;
  const std::string warning = "zelko_pack: warning: " + Utf8(config_) + ": [STRING] key ";
  EXPECT_EQ(result.output,
            warning + "SFX_BTN_CANCLE is not one the installer reads; it is never shown\r\n" +
                warning + "SFX_DLG_ERR_TITLE is not one the installer reads; it is never shown\r\n" +
                "zelko_pack: wrote " + Utf8(output_) + " (2 resources)\r\n");
  EXPECT_TRUE(ReadResource(output_, L"ZELKO_SFX_INI", 133).has_value());
}

// The installer reads 254 characters of a value: longer setup arguments would reach the setup
// program cut. The pack goes on, and says so; 254 characters pass without a word.
TEST_F(PackerTest, WarnsOfSetupArgumentsTheInstallerCuts) {
  ASSERT_TRUE(WriteFileBytes(config_, DemoIniWith("SetupArgs1=" + std::string(255, 'a') +
                                                  "\r\nSetupArgs2=" + std::string(254, 'b') +
                                                  "\r\n")));

  const ProcessResult result = PackConfig(config_, output_);

  EXPECT_EQ(result.exitCode, 0u) << result.output;
  EXPECT_EQ(result.output,
            "zelko_pack: warning: " + Utf8(config_) +
                ": SetupArgs1 in [INSTALL] is 255 characters long, and the installer reads only "
                "the first 254; the setup program gets it cut (shorten it, or pass the rest on "
                "the installer's command line)\r\n"
                "zelko_pack: wrote " + Utf8(output_) + " (2 resources)\r\n");
}

// The same for the sections of each language, named as the file writes them; the
// configuration goes into the installer as written, every language in it.
TEST_F(PackerTest, WarnsOfUnreadKeysInEachLanguageSection) {
  const std::string ini = kDemoIni + "[STRING]\r\nSFX_BTN_CANCEL=Cancel\r\n"
                          "[String.de-DE]\r\nSFX_BTN_CANCEL=Abbrechen\r\nSFX_TITEL=Setup\r\n"
                          "[STRING.ar]\r\nSFX_BTN_CANCEL=\xD8\xA5\xD9\x84\xD8\xBA\xD8\xA7\xD8\xA1\r\n"
                          "SFX_BTN_CANCLE=x\r\n";
  ASSERT_TRUE(WriteFileBytes(config_, ini));

  const ProcessResult result = PackConfig(config_, output_);

  EXPECT_EQ(result.exitCode, 0u) << result.output;
  const std::string warning = "zelko_pack: warning: " + Utf8(config_) + ": [";
  EXPECT_EQ(result.output,
            warning + "String.de-DE] key SFX_TITEL is not one the installer reads; it is never "
                      "shown\r\n" +
                warning + "STRING.ar] key SFX_BTN_CANCLE is not one the installer reads; it is "
                          "never shown\r\n" +
                "zelko_pack: wrote " + Utf8(output_) + " (2 resources)\r\n");
  const auto resource = ReadResource(output_, L"ZELKO_SFX_INI", 133);
  ASSERT_TRUE(resource.has_value());
  EXPECT_NE(resource->find(Utf16Le(u"SFX_BTN_CANCEL=\x0625\x0644\x063A\x0627\x0621\r\n")),
            std::string::npos);
}

// An installer of 2 GiB or more would not load: the packer says so before it writes a byte.
// The file is sparse, so the test needs neither the time nor the disk to write it.
TEST_F(PackerTest, RefusesAPayloadBeyondTheLargestImage) {
  const std::wstring big = folder_ / L"big.bin";
  {
    ScopedFileHandle file(::CreateFileW(big.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file.valid());
    LARGE_INTEGER size{};
    size.QuadPart = 0x80000000ll;
    ASSERT_TRUE(::SetFilePointerEx(file.get(), size, nullptr, FILE_BEGIN));
    ASSERT_TRUE(::SetEndOfFile(file.get()));
  }
  ASSERT_TRUE(WriteFileBytes(config_, kCodeLines + "Compression=files\r\nFILE_0=big.bin\r\n"s));
  ASSERT_TRUE(WriteFileBytes(output_, kPreviousInstaller));
  // Names only: fingerprinting the big file would read all of it.
  const auto before = test::FolderEntries(folder_.path());

  for (const bool native : {false, true}) {
    SCOPED_TRACE(native ? "native" : "Windows");
    const ProcessResult result =
        Pack({L"--stub", Stub(), L"--config", config_, L"--file", big, L"--out", output_}, native);

    EXPECT_EQ(result.exitCode, 1u) << result.output;
    EXPECT_NE(result.output.find(" bytes in memory, and Windows loads programs only below "
                                 "2,147,483,648 bytes (2 GiB): the stub takes "),
              std::string::npos)
        << result.output;
    EXPECT_NE(result.output.find(" and the configuration, archives and files 2,147,483,"),
              std::string::npos)
        << result.output;
    EXPECT_EQ(test::FolderEntries(folder_.path()), before);
    EXPECT_EQ(ReadFileBytes(output_), kPreviousInstaller);
  }
}

// ---------------------------------------------------------------------------------------------
// The command line.

TEST_F(PackerTest, WrongCommandLinesAreUsageErrors) {
  const std::wstring stub = Stub();
  const std::vector<std::vector<std::wstring>> cases = {
      {},
      {L"--stub", stub, L"--config", config_},
      {L"--stub", stub, L"--out", output_},
      {L"--config", config_, L"--out", output_},
      {L"--stub", stub, L"--config", config_, L"--out", output_, L"--bogus"},
      {L"--stub", stub, L"--config", config_, L"--out"},
      {L"--stub", L"--config", config_, L"--out", output_},
      {L"--stub", stub, L"--config", config_, L"--out", output_, L"extra.exe"},
      {L"--stub", stub, L"--stub", stub, L"--config", config_, L"--out", output_},
  };
  const auto before = Snapshot(folder_.path());
  for (const auto& arguments : cases) {
    std::wstring shown;
    for (const auto& argument : arguments) shown += L" " + argument;
    SCOPED_TRACE(Utf8(shown));

    const ProcessResult result = Pack(arguments);

    EXPECT_EQ(result.exitCode, 2u) << result.output;
    ExpectOneErrorLine(result.output);
  }
  EXPECT_EQ(Snapshot(folder_.path()), before);
}

TEST_F(PackerTest, HelpExplainsEveryOption) {
  for (const wchar_t* help : {L"--help", L"-h", L"/?"}) {
    SCOPED_TRACE(Utf8(help));
    // Help wins over everything else on the line.
    const ProcessResult result = Pack({L"--out", output_, help});

    EXPECT_EQ(result.exitCode, 0u) << result.output;
    for (const char* option :
         {"--stub", "--config", "--archive", "--rdc-archive", "--file", "--fill-sizes", "--out",
          "--help"}) {
      EXPECT_NE(result.output.find(option), std::string::npos) << option;
    }
    // Texts in two languages, as an example to copy.
    EXPECT_NE(result.output.find("  [STRING]\r\n  SFX_TITLE_CAPTIONBAR=Demo Setup\r\n"),
              std::string::npos);
    EXPECT_NE(result.output.find("  [STRING.de]\r\n  SFX_TITLE_CAPTIONBAR=Demo-Installation\r\n"),
              std::string::npos);
    EXPECT_FALSE(FileExists(output_));
  }
}

}  // namespace
}  // namespace zelko
