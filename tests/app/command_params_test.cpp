#include "app/command_params.h"

#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <string>

#include "win/scoped_handle.h"

namespace zelko {
namespace {

// Expected outcome of parsing one command line. Null texts mean "not set".
struct Case {
  const wchar_t* commandLine;
  const char* flags;  // letters of the flags that are set: s d n b v g k r (see Flags())
  const wchar_t* outputFolder;
  const wchar_t* tail;
};

std::string Flags(const CommandParams& p) {
  std::string f;
  if (p.bSilent_) f += 's';
  if (p.bDoNotExecute_) f += 'd';
  if (p.bDoNotDelete_) f += 'n';
  if (p.bBasicUI_) f += 'b';
  if (p.bValidate_) f += 'v';
  if (p.bDebug_) f += 'g';
  if (p.bKiv_) f += 'k';
  if (p.bVuh_) f += 'r';
  return f;
}

const Case kCases[] = {
    {L"setup.exe", "", nullptr, nullptr},
    {L"setup.exe /SFX_NU -nos_ne /sfx_oD:\\x /q /qb", "sd", L"D:\\x", L"/q /qb"},
    {L"setup.exe /sfx_nu foo /sfx_ne", "s", nullptr, L"foo /sfx_ne"},
    // Three letters are not a switch; four with an unknown ending are consumed silently.
    {L"setup.exe /sfx", "", nullptr, L"/sfx"},
    {L"setup.exe /sfx_ x", "", nullptr, L"x"},
    {L"setup.exe /sfxfoo", "", nullptr, nullptr},
    {L"setup.exe /sfx_nd /sfx_va /sfx_db", "nvg", nullptr, nullptr},
    // The passed-on options are compared whole and with case.
    {L"setup.exe /Q /SALL /qn", "s", nullptr, L"/Q /SALL /qn"},
    {L"setup.exe /q", "s", nullptr, L"/q"},
    {L"setup.exe /sAll", "s", nullptr, L"/sAll"},
    {L"setup.exe /sPB /re", "r", nullptr, L"/sPB /re"},
    {L"setup.exe x /re", "r", nullptr, L"x /re"},
    // The updater switch: the whole word or its first letter, either prefix, any case.
    {L"setup.exe /Kiv", "k", nullptr, nullptr},
    {L"setup.exe -kIV /k -K", "k", nullptr, nullptr},
    {L"setup.exe /Ki", "", nullptr, L"/Ki"},
    {L"setup.exe /Kiv /sfx_ne /re", "dkr", nullptr, L"/re"},
    // Output folder: follows the letters directly; six characters give an empty folder.
    {L"setup.exe /sfx_o", "", L"", nullptr},
    {L"setup.exe \"/sfx_oC:\\Program Files\\Out\" /q", "s", L"C:\\Program Files\\Out", L"/q"},
    {L"setup.exe -NOS_OC:\\a", "", L"C:\\a", nullptr},
    // Empty arguments and a lone prefix are passed on.
    {L"setup.exe \"\" /q", "s", nullptr, L"\"\" /q"},
    {L"setup.exe / x", "", nullptr, L"/ x"},
    {L"setup.exe - x", "", nullptr, L"- x"},
    // Extra blanks between arguments.
    {L"setup.exe   /sfx_nu    tail  end", "s", nullptr, L"tail  end"},
    // A quoted program path does not shift the tail, even when the tail's text also occurs
    // inside a consumed switch.
    {L"\"C:\\Program Files\\My App\\setup.exe\" /sfx_nu u", "s", nullptr, L"u"},
    {L"\"C:\\p q\\setup.exe\" /sfx_ne /q", "sd", nullptr, L"/q"},
    // A quoted program name ends at its closing quote, blank or not.
    {L"\"C:\\x\\setup.exe\"/sfx_nu foo", "s", nullptr, L"foo"},
    {L"\"C:\\x\\setup.exe\"foo /q", "s", nullptr, L"foo /q"},
    {L"\"C:\\x\\setup.exe\"", "", nullptr, nullptr},
    // A quoted first passed-on argument keeps its opening quote, so quotes stay balanced.
    {L"setup.exe /sfx_nu \"C:\\my folder\\file.txt\" /q", "s", nullptr,
     L"\"C:\\my folder\\file.txt\" /q"},
    {L"setup.exe \"/q\"", "s", nullptr, L"\"/q\""},
    // An argument whose quotes sit inside it still starts the tail where it starts.
    {L"setup.exe /sfx_ne INSTALLDIR=\"C:\\a b\" /qn", "sd", nullptr,
     L"INSTALLDIR=\"C:\\a b\" /qn"},
};

TEST(CommandParamsTest, ParsesSwitchesOutputFolderAndTail) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << std::wstring(c.commandLine).c_str());
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(c.commandLine, &argc);
    ASSERT_NE(argv, nullptr);
    const ScopedLocalMemory argvOwner(argv);
    const CommandParams params(c.commandLine, argc, argv);

    EXPECT_EQ(Flags(params), c.flags);
    if (c.outputFolder == nullptr) {
      EXPECT_EQ(params.outputFolder_, nullptr);
    } else {
      ASSERT_NE(params.outputFolder_, nullptr);
      EXPECT_EQ(std::wstring(params.outputFolder_), c.outputFolder);
    }
    if (c.tail == nullptr) {
      EXPECT_EQ(params.passToSetup_, nullptr);
    } else {
      ASSERT_NE(params.passToSetup_, nullptr);
      EXPECT_EQ(std::wstring(params.passToSetup_), c.tail);
      // The tail points into the caller's command line, not into a copy.
      EXPECT_GE(params.passToSetup_, c.commandLine);
    }
  }
}

}  // namespace
}  // namespace zelko
