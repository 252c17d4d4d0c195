// What the stub binds when it starts, read from its import table: only known DLLs that load
// nothing from the program's folder; everything else waits for the restricted DLL search.
// (GNU ld leaves the delay-import directory of the image empty, so which DLLs are bound later,
// and from where, is what the planting tests show by running the installer.)
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/process_runner.h"
#include "tests/support/temp_folder.h"

namespace zelko {
namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(::tolower(c)); });
  return text;
}

// The import table of a 64-bit image file, read from its bytes.
class ImageImports {
 public:
  explicit ImageImports(std::string bytes) : bytes_(std::move(bytes)) {
    const auto* dos = At<IMAGE_DOS_HEADER>(0);
    if (dos == nullptr || dos->e_magic != IMAGE_DOS_SIGNATURE) return;
    nt_ = At<IMAGE_NT_HEADERS64>(static_cast<size_t>(dos->e_lfanew));
    if (nt_ == nullptr || nt_->Signature != IMAGE_NT_SIGNATURE ||
        nt_->OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR64_MAGIC) {
      nt_ = nullptr;
    }
  }

  bool valid() const { return nt_ != nullptr; }

  // Names of the DLLs bound when the image is loaded, lower case.
  std::vector<std::string> BoundAtStart() const {
    std::vector<std::string> names;
    for (size_t at = Directory(IMAGE_DIRECTORY_ENTRY_IMPORT);; at += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
      const auto* entry = at ? At<IMAGE_IMPORT_DESCRIPTOR>(at) : nullptr;
      if (entry == nullptr || entry->Name == 0) break;
      names.push_back(Lower(Text(entry->Name)));
    }
    return names;
  }

  // Names of the functions imported from `dll` at start.
  std::vector<std::string> FunctionsOf(const std::string& dll) const {
    std::vector<std::string> functions;
    for (size_t at = Directory(IMAGE_DIRECTORY_ENTRY_IMPORT);; at += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
      const auto* entry = at ? At<IMAGE_IMPORT_DESCRIPTOR>(at) : nullptr;
      if (entry == nullptr || entry->Name == 0) break;
      if (Lower(Text(entry->Name)) != dll) continue;
      const DWORD thunks = entry->OriginalFirstThunk ? entry->OriginalFirstThunk : entry->FirstThunk;
      for (size_t t = Offset(thunks);; t += sizeof(ULONGLONG)) {
        const auto* thunk = t ? At<ULONGLONG>(t) : nullptr;
        if (thunk == nullptr || *thunk == 0) break;
        if (!(*thunk & IMAGE_ORDINAL_FLAG64)) {
          functions.push_back(Text(static_cast<DWORD>(*thunk) + 2));  // past the hint
        }
      }
    }
    return functions;
  }

 private:
  template <typename T>
  const T* At(size_t offset) const {
    if (offset > bytes_.size() || bytes_.size() - offset < sizeof(T)) return nullptr;
    return reinterpret_cast<const T*>(bytes_.data() + offset);
  }

  // The file offset of an address in the image, 0 when no section holds it.
  size_t Offset(DWORD rva) const {
    const auto* section = IMAGE_FIRST_SECTION(nt_);
    const size_t first = reinterpret_cast<const char*>(section) - bytes_.data();
    for (WORD i = 0; i < nt_->FileHeader.NumberOfSections; ++i) {
      const auto* s = At<IMAGE_SECTION_HEADER>(first + i * sizeof(IMAGE_SECTION_HEADER));
      if (s == nullptr) return 0;
      if (rva >= s->VirtualAddress && rva < s->VirtualAddress + s->SizeOfRawData) {
        return rva - s->VirtualAddress + s->PointerToRawData;
      }
    }
    return 0;
  }

  size_t Directory(int index) const {
    const DWORD rva = nt_->OptionalHeader.DataDirectory[index].VirtualAddress;
    return rva ? Offset(rva) : 0;
  }

  std::string Text(DWORD rva) const {
    const size_t at = Offset(rva);
    if (at == 0) return "";
    return std::string(bytes_.data() + at, strnlen(bytes_.data() + at, bytes_.size() - at));
  }

  std::string bytes_;
  const IMAGE_NT_HEADERS64* nt_ = nullptr;
};

TEST(DllImportsTest, TheStubBindsOnlyKnownDllsThatLoadNothingElseWhenItStarts) {
  const ImageImports stub(test::ReadFileBytes(test::BuiltProgramFolder() + L"ZelkoSFX.exe"));
  ASSERT_TRUE(stub.valid());

  // Known DLLs on every Windows the program supports, which on Wine too pull in no DLL that
  // could be planted beside the program (Wine's user32 loads version.dll, for one).
  const std::vector<std::string> allowedAtStart = {"kernel32.dll", "advapi32.dll", "msvcrt.dll"};
  for (const std::string& dll : stub.BoundAtStart()) {
    EXPECT_NE(std::find(allowedAtStart.begin(), allowedAtStart.end(), dll), allowedAtStart.end())
        << dll << " is bound when the program starts";
  }

  // A function that older systems lack would stop the program from starting at all, before
  // it could say that the system is not supported.
  const std::vector<std::string> kernel = stub.FunctionsOf("kernel32.dll");
  ASSERT_FALSE(kernel.empty());
  for (const char* lookedUpAtRunTime : {"SetDefaultDllDirectories", "AddDllDirectory"}) {
    EXPECT_EQ(std::find(kernel.begin(), kernel.end(), lookedUpAtRunTime), kernel.end())
        << lookedUpAtRunTime;
  }

}

}  // namespace
}  // namespace zelko
