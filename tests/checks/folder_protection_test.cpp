#include "checks/folder_protection.h"

#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/support/installer_run.h"
#include "tests/support/temp_folder.h"
#include "win/scoped_handle.h"

namespace zelko {
namespace {

using test::FileExists;
using test::MakeFolderLink;
using test::ReadFileBytes;
using test::TempFolder;
using test::WriteFileBytes;

std::wstring AsSddl(PSECURITY_DESCRIPTOR descriptor) {
  wchar_t* text = nullptr;
  if (!::ConvertSecurityDescriptorToStringSecurityDescriptorW(
          descriptor, SDDL_REVISION_1, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
          &text, nullptr)) {
    return L"(not convertible)";
  }
  const ScopedLocalMemory owned(text);
  return text;
}

TEST(FolderProtectionTest, DescriptorGivesOthersReadAndRunOnly) {
  const ScopedLocalMemory descriptor(NewProtectedFolderDescriptor());
  ASSERT_TRUE(descriptor);
  // Read back: owner Administrators; protected; SYSTEM and Administrators full control, Users
  // FILE_GENERIC_READ | FILE_GENERIC_EXECUTE; each entry passed on to files and folders.
  EXPECT_EQ(AsSddl(descriptor.get()),
            L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)");
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  ASSERT_TRUE(::GetSecurityDescriptorControl(descriptor.get(), &control, &revision));
  EXPECT_TRUE(control & SE_DACL_PROTECTED) << "nothing comes in from the parent folder";
  // A folder made with it is used as it is on the next run, not re-secured every time.
  const FolderSecurity security = JudgeFolderSecurity(descriptor.get());
  EXPECT_TRUE(security.ownerTrusted);
  EXPECT_FALSE(security.othersMayWrite);
}

TEST(FolderProtectionTest, JudgesOwnerAndEntries) {
  struct Case {
    const wchar_t* sddl;
    bool ownerTrusted;
    bool othersMayWrite;
  } const cases[] = {
      {L"O:SYD:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x1200a9;;;WD)", true, false},
      // Made beforehand by a user, with entries that look like ours.
      {L"O:S-1-5-21-1-2-3-1001D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)", false,
       false},
      // What the all-users folder passes on: Users may add files and folders.
      {L"O:BAD:AI(A;OICIID;FA;;;SY)(A;OICIID;FA;;;BA)(A;CIID;0x116;;;BU)", true, true},
      {L"O:BAD:(A;;FA;;;WD)", true, true},
      {L"O:BAD:(A;;GW;;;AU)", true, true},
      {L"O:BAD:(A;;GA;;;S-1-5-21-1-2-3-1001)", true, true},
      // Rights over the folder's security, or deleting it, are as good as writing.
      {L"O:BAD:(A;;WD;;;BU)", true, true},
      {L"O:BAD:(A;;WO;;;BU)", true, true},
      {L"O:BAD:(A;;SD;;;BU)", true, true},
      // Entries only for what is made below count too: new files would inherit them.
      {L"O:BAD:(A;OICIIO;GA;;;CO)", true, true},
      // Denying takes nothing away from safety.
      {L"O:BAD:(D;;FA;;;WD)(A;;FA;;;BA)", true, false},
      {L"O:BAD:", true, false},
      // No list at all: everyone may do everything.
      {L"O:BA", true, true},
      {L"D:P(A;;FA;;;SY)", false, false},
      // How Wine shows any folder: the user's own, from the Unix mode bits.
      {L"O:S-1-5-21-0-0-0-1000D:(A;OICI;FA;;;SY)(A;OICI;FA;;;S-1-5-21-0-0-0-1000)"
       L"(A;OICI;0x1200a9;;;WD)",
       false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(c.sddl)));
    PSECURITY_DESCRIPTOR raw = nullptr;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(c.sddl, SDDL_REVISION_1,
                                                                       &raw, nullptr));
    const ScopedLocalMemory descriptor(raw);
    const FolderSecurity security = JudgeFolderSecurity(raw);
    EXPECT_EQ(security.ownerTrusted, c.ownerTrusted);
    EXPECT_EQ(security.othersMayWrite, c.othersMayWrite);
  }
  // A list that is present but null, which Wine's text form does not make.
  SECURITY_DESCRIPTOR nullList;
  ASSERT_TRUE(::InitializeSecurityDescriptor(&nullList, SECURITY_DESCRIPTOR_REVISION));
  ASSERT_TRUE(::SetSecurityDescriptorDacl(&nullList, TRUE, nullptr, FALSE));
  EXPECT_TRUE(JudgeFolderSecurity(&nullList).othersMayWrite);
}

TEST(FolderProtectionTest, DecidesByElevationKindOwnerAndEntries) {
  using V = FolderVerdict;
  struct Case {
    bool isFolder, isLink, ownerTrusted, othersMayWrite;
    FolderVerdict elevated;
  } const cases[] = {
      {true, false, true, false, V::kUse},
      {true, false, true, true, V::kResecure},
      {true, false, false, false, V::kResecure},
      {true, false, false, true, V::kResecure},
      // A link would hand over its target, a file is no folder: neither is made ours.
      {true, true, true, false, V::kRefuse},
      {true, true, false, true, V::kRefuse},
      {false, false, true, false, V::kRefuse},
      {false, true, false, true, V::kRefuse},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.isFolder << c.isLink << c.ownerTrusted
                                    << c.othersMayWrite);
    FolderFacts facts;
    facts.isFolder = c.isFolder;
    facts.isLink = c.isLink;
    facts.security.ownerTrusted = c.ownerTrusted;
    facts.security.othersMayWrite = c.othersMayWrite;
    EXPECT_EQ(DecideFolderUse(true, facts), c.elevated);
    EXPECT_EQ(DecideFolderUse(false, facts), V::kUse) << "a plain run uses its folders as ever";
  }
}

// A base folder (the shell folder's stand-in) with "A\B\C" to prepare below it.
class PrepareOwnFolderTest : public testing::Test {
 protected:
  std::wstring Path(const wchar_t* below) const { return base_ / below; }

  TempFolder base_;
  TempFolder outside_;
};

TEST_F(PrepareOwnFolderTest, MakesThePathAndEmptiesOnlyItsLastFolder) {
  for (bool elevated : {true, false}) {
    SCOPED_TRACE(elevated ? "elevated" : "not elevated");
    ASSERT_TRUE(PrepareOwnFolder(base_.path(), L"A\\B\\C", elevated));
    EXPECT_TRUE(FileExists(Path(L"A\\B\\C")));

    ASSERT_TRUE(WriteFileBytes(Path(L"A\\B\\other product.txt"), "not this run's"));
    ASSERT_TRUE(::CreateDirectoryW(Path(L"A\\B\\C\\docs").c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(Path(L"A\\B\\C\\docs\\stale.txt"), "an earlier run's"));
    ASSERT_TRUE(PrepareOwnFolder(base_.path(), L"A\\B\\C", elevated));
    EXPECT_TRUE(FileExists(Path(L"A\\B\\C")));
    EXPECT_FALSE(FileExists(Path(L"A\\B\\C\\docs")));
    EXPECT_EQ(ReadFileBytes(Path(L"A\\B\\other product.txt")), "not this run's");
    test::RemoveTree(Path(L"A"));
  }
}

TEST_F(PrepareOwnFolderTest, ElevatedRunRefusesLinksAndFilesInThePath) {
  ASSERT_TRUE(WriteFileBytes(outside_ / L"precious.txt", "keep me"));
  for (const wchar_t* planted : {L"A", L"A\\B", L"A\\B\\C"}) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(planted)));
    for (bool link : {true, false}) {
      test::RemoveTree(Path(L"A"));
      ASSERT_TRUE(PrepareOwnFolder(base_.path(), L"A\\B\\C", false));
      test::RemoveTree(Path(planted));
      if (link) {
        ASSERT_TRUE(MakeFolderLink(outside_.path(), Path(planted)));
      } else {
        ASSERT_TRUE(WriteFileBytes(Path(planted), "in the way"));
      }
      EXPECT_FALSE(PrepareOwnFolder(base_.path(), L"A\\B\\C", true)) << (link ? "link" : "file");
      EXPECT_EQ(ReadFileBytes(outside_ / L"precious.txt"), "keep me");
    }
  }
  test::RemoveTree(Path(L"A"));
}

// Under Wine no access list keeps the run out, so a file held open without delete sharing
// stands in for what an elevated run could not remove: a subfolder whose access list denies
// administrators, on Windows. The rule is the same for both: what is left behind may be
// someone else's, so the folder is not used and the run goes on to the per-user folder.
TEST_F(PrepareOwnFolderTest, ElevatedRunDoesNotUseAFolderItCouldNotEmpty) {
  ASSERT_TRUE(PrepareOwnFolder(base_.path(), L"A\\B\\C", false));
  ASSERT_TRUE(::CreateDirectoryW(Path(L"A\\B\\C\\docs").c_str(), nullptr));
  ASSERT_TRUE(WriteFileBytes(Path(L"A\\B\\C\\docs\\held.txt"), "another user's"));
  {
    const ScopedFileHandle held(::CreateFileW(Path(L"A\\B\\C\\docs\\held.txt").c_str(),
                                              GENERIC_READ, FILE_SHARE_READ, nullptr,
                                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held);
    test::LogCapture log;
    EXPECT_FALSE(PrepareOwnFolder(base_.path(), L"A\\B\\C", true));
    EXPECT_NE(log.Text().find("] Cannot empty installer folder: " +
                              test::Narrow(Path(L"A\\B\\C")) + "\r\n"),
              std::string::npos)
        << log.Text();
    EXPECT_EQ(ReadFileBytes(Path(L"A\\B\\C\\docs\\held.txt")), "another user's");
    // A run without administrator rights protects nothing and uses the folder as it finds it.
    EXPECT_TRUE(PrepareOwnFolder(base_.path(), L"A\\B\\C", false));
  }
  // Once nothing is left behind, the elevated run makes the folder anew and uses it.
  EXPECT_TRUE(PrepareOwnFolder(base_.path(), L"A\\B\\C", true));
  EXPECT_FALSE(FileExists(Path(L"A\\B\\C\\docs")));
  test::RemoveTree(Path(L"A"));
}

TEST_F(PrepareOwnFolderTest, NamesThatLeaveTheBaseAreRefused) {
  // A folder beside the own path that a product code climbing out would reach.
  ASSERT_TRUE(::CreateDirectoryW(Path(L"B").c_str(), nullptr));
  ASSERT_TRUE(WriteFileBytes(Path(L"B\\mine.txt"), "keep me"));
  for (const wchar_t* below : {L"A\\..\\B", L"A\\.\\..\\B", L"A/../B", L"A\\B ", L"A\\B.",
                               L"A\\", L"", L"A\\C:\\B", L"\\B"}) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(below)));
    for (bool elevated : {true, false}) {
      EXPECT_FALSE(PrepareOwnFolder(base_.path(), below, elevated));
      EXPECT_EQ(ReadFileBytes(Path(L"B\\mine.txt")), "keep me");
    }
  }
}

}  // namespace
}  // namespace zelko
