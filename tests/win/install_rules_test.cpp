// The rules "--install" and "--uninstall" apply: who besides administrators may change the installed folder or exe,
// judged from security descriptors built here; and a scheduled deletion taken out of PendingFileRenameOperations.
#include <gtest/gtest.h>
#include <windows.h>
#include <sddl.h>

#include <string>
#include <vector>

#include <aclapi.h>

#include "core/platform.h"
#include "core/text.h"
#include "host/change_access.h"
#include "host/install_source.h"
#include "host/installed_copy.h"
#include "host/pending_renames.h"
#include "unit/test_support.h"
#include "win32/file_security.h"
#include "win32/unique_handle.h"

namespace nimbard {
namespace {

using namespace std::string_literals;

constexpr wchar_t kInstaller[] = L"S-1-5-21-0-0-0-1000";  // the account running "--install" (Wine's user)

// "<party> <first right>[ how]" for each untrusted party that may change the object, joined by ", "; "" for none.
std::string Judged(PSECURITY_DESCRIPTOR descriptor, ACCESS_MASK wanted) {
  std::string text;
  for (const ForeignChange& change : FindForeignChanges(descriptor, wanted, kInstaller)) {
    static const char* const kHow[] = {"", " conditional", " owner", " parent"};
    text += (text.empty() ? "" : ", ") + NarrowLow8(PartyName(change.sid)) + " " +
            NarrowLow8(ChangeRightName(change.rights)) + kHow[static_cast<int>(change.via)];
  }
  return text;
}

std::string Judged(const std::wstring& sddl, ACCESS_MASK wanted) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr)) {
    return "bad SDDL";
  }
  const UniqueLocal owned(descriptor);
  return Judged(descriptor, wanted);
}

std::string Judged(const std::wstring& sddl, bool folder) { return Judged(sddl, ChangeRights(folder)); }

TEST(ChangeAccess, EachPartyAndRight) {
  const struct { const wchar_t* sid; const char* party; } parties[] = {
      {L"WD", "Everyone"}, {L"AU", "Authenticated Users"}, {L"BU", "Users"}, {L"IU", "Interactive"},
      {L"S-1-2-0", "LOCAL"}, {L"S-1-2-1", "CONSOLE LOGON"}, {L"S-1-5-113", "Local account"},
      {L"S-1-15-2-1", "ALL APPLICATION PACKAGES"}, {L"S-1-5-32-555", "Remote Desktop Users"},
      {L"S-1-5-32-547", "Power Users"}, {L"S-1-5-21-1-2-3-1001", "S-1-5-21-1-2-3-1001"},  // another account
      // trusted: administrators, SYSTEM, TrustedInstaller, the installing account; CREATOR OWNER names nobody here
      {L"BA", ""}, {L"SY", ""}, {L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464", ""},
      {kInstaller, ""}, {L"CO", ""}};
  const struct { const wchar_t* right; const char* name; bool fileToo; } rights[] = {
      {L"0x2", "write", true}, {L"0x4", "append", true}, {L"SD", "delete", true}, {L"WD", "change permissions", true},
      {L"WO", "change owner", true}, {L"GW", "write", true}, {L"GA", "write", true}, {L"FA", "write", true},
      {L"0x40", "delete child", false}, {L"FR", "", false}, {L"FX", "", false}, {L"0x1200a9", "", false},
      {L"RC", "", false}, {L"0x180", "", false}};  // read, execute, read control, attributes
  for (const auto& party : parties) {
    for (const auto& right : rights) {
      for (bool folder : {false, true}) {
        const std::string expected =
            *party.party && *right.name && (folder || right.fileToo) ? party.party + " "s + right.name : "";
        EXPECT_EQ(Judged(L"D:(A;;"s + right.right + L";;;" + party.sid + L")", folder), expected)
            << NarrowLow8(party.sid) << " " << NarrowLow8(right.right) << (folder ? " folder" : " file");
      }
    }
  }
}

TEST(ChangeAccess, OrderInheritanceOwnersAndMissingLists) {
  const struct { std::wstring sddl; std::string expected; } cases[] = {
      {L"D:(A;ID;FA;;;BU)", "Users write"},                         // inherited entries count
      {L"D:(A;OICIIO;FA;;;BU)(A;;FR;;;BU)", ""},                    // inherit-only: for the children only
      {L"D:(D;;FA;;;WD)(A;;FA;;;BU)", ""},                          // a deny for Everyone first takes the rights away
      // A deny for Interactive leaves the members that are not (a scheduled task, a network logon) their write.
      {L"D:(D;;0x2;;;IU)(A;;FA;;;AU)", "Authenticated Users write"},
      {L"D:(D;;0x2;;;AU)(A;;FA;;;AU)", "Authenticated Users append"},  // ... one for the group itself only what it names
      {L"D:(A;;FA;;;BU)(D;;FA;;;WD)", "Users write"},               // a deny after the allow comes too late
      {L"D:(D;;FA;;;BA)(A;;FA;;;BU)", "Users write"},               // another group's deny is not theirs
      {L"D:(D;;FA;;;S-1-5-21-1-2-3-1001)(A;;FA;;;S-1-5-21-1-2-3-1001)", ""},
      {L"D:(A;;FR;;;WD)(A;;0x10000;;;BU)", "Users delete"},         // rights add up across entries
      {L"D:(A;;0x10000;;;BU)(A;;FA;;;BU)", "Users write"},          // ... for one party
      {L"D:(A;;FA;;;BU)(A;;0x2;;;WD)(A;;FA;;;BA)", "Users write, Everyone write"},  // every party, in order
      {L"D:", ""},                                                  // an empty list: nobody
      // Owners: the owner may always change the access list.
      {L"O:S-1-5-21-1-2-3-1001D:(A;;FA;;;SY)", "S-1-5-21-1-2-3-1001 change permissions owner"},
      {L"O:BUD:", "Users change permissions owner"},
      {L"O:BAD:", ""}, {L"O:SYD:", ""}, {L"O:S-1-5-21-0-0-0-1000D:", ""},
      {L"O:S-1-5-21-1-2-3-1001D:(A;;FA;;;S-1-5-21-1-2-3-1001)",
       "S-1-5-21-1-2-3-1001 write, S-1-5-21-1-2-3-1001 change permissions owner"},
      // OWNER RIGHTS stands for the owner, judged as such.
      {L"O:BAD:(A;;FA;;;S-1-3-4)", ""},
      // Wine: a folder of Unix mode 755, then with o+w.
      {L"D:(A;OICI;FA;;;SY)(A;OICI;FA;;;S-1-5-21-0-0-0-1000)(A;OICI;0x1200a9;;;WD)", ""},
      {L"D:(A;OICI;FA;;;SY)(A;OICI;FA;;;S-1-5-21-0-0-0-1000)(A;OICI;0x1301ff;;;WD)", "Everyone write"},
      // Windows: a new folder under Program Files.
      {L"O:BAD:AI(A;ID;FA;;;S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464)(A;CIIOID;GA;;;S-1-5-80-"
       L"956008885-3418522649-1831038044-1853292631-2271478464)(A;ID;FA;;;SY)(A;OICIIOID;GA;;;SY)(A;ID;FA;;;BA)"
       L"(A;OICIIOID;GA;;;BA)(A;ID;0x1200a9;;;BU)(A;OICIIOID;GXGR;;;BU)(A;OICIIOID;GA;;;CO)(A;ID;0x1200a9;;;AC)"
       L"(A;OICIIOID;GXGR;;;AC)",
       ""},
  };
  for (const auto& c : cases) EXPECT_EQ(Judged(c.sddl, true), c.expected) << NarrowLow8(c.sddl);
  // A NULL list lets anyone do anything (built by hand: Wine's SDDL reader cannot make one).
  SECURITY_DESCRIPTOR open{};
  ::InitializeSecurityDescriptor(&open, SECURITY_DESCRIPTOR_REVISION);
  ::SetSecurityDescriptorDacl(&open, TRUE, nullptr, FALSE);
  EXPECT_EQ(Judged(&open, ChangeRights(false)), "Everyone write");
}

// The folder above the installed one: what lets a party delete (and so replace) the folder.
TEST(ChangeAccess, ParentFolder) {
  const struct { std::wstring sddl; std::string expected; } cases[] = {
      {L"D:(A;;0x40;;;BU)", "Users delete child"},
      {L"D:(A;;WD;;;AU)", "Authenticated Users change permissions"},  // which it could then grant itself
      {L"D:(A;;0x116;;;BU)", ""},                                    // creating files and folders there replaces nothing
      // Windows: Program Files.
      {L"O:S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464D:PAI(A;;FA;;;S-1-5-80-956008885-3418522649-"
       L"1831038044-1853292631-2271478464)(A;CIIO;GA;;;S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464)"
       L"(A;;0x1301bf;;;SY)(A;OICIIO;GA;;;SY)(A;;0x1301bf;;;BA)(A;OICIIO;GA;;;BA)(A;;0x1200a9;;;BU)"
       L"(A;OICIIO;GXGR;;;BU)(A;OICIIO;GA;;;CO)(A;;0x1200a9;;;AC)(A;OICIIO;GXGR;;;AC)",
       ""},
  };
  for (const auto& c : cases) EXPECT_EQ(Judged(c.sddl, ParentChangeRights()), c.expected) << NarrowLow8(c.sddl);
}

// A conditional allow entry grants whenever its condition holds; a conditional deny may not apply. Built by hand: an
// ordinary entry with the callback type (same layout, no condition data), as Wine's SDDL reader knows no "XA".
TEST(ChangeAccess, ConditionalEntries) {
  const struct { BYTE first, second; std::string expected; } cases[] = {
      {ACCESS_ALLOWED_CALLBACK_ACE_TYPE, ACCESS_ALLOWED_ACE_TYPE, "Users write conditional"},
      {ACCESS_DENIED_CALLBACK_ACE_TYPE, ACCESS_ALLOWED_ACE_TYPE, "Users write"},  // the deny may not apply
      {ACCESS_DENIED_ACE_TYPE, ACCESS_ALLOWED_CALLBACK_ACE_TYPE, ""},
  };
  for (const auto& c : cases) {
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof sid;
    ASSERT_TRUE(::CreateWellKnownSid(WinBuiltinUsersSid, nullptr, sid, &sidSize));
    alignas(DWORD) BYTE aclBytes[256];
    auto* acl = reinterpret_cast<PACL>(aclBytes);
    ASSERT_TRUE(::InitializeAcl(acl, sizeof aclBytes, ACL_REVISION));
    ASSERT_TRUE(::AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, sid));
    ASSERT_TRUE(::AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, sid));
    void* entry = nullptr;
    for (DWORD i = 0; i < 2; ++i) {
      ASSERT_TRUE(::GetAce(acl, i, &entry));
      static_cast<ACE_HEADER*>(entry)->AceType = i == 0 ? c.first : c.second;
    }
    SECURITY_DESCRIPTOR descriptor{};
    ::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    ::SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE);
    EXPECT_EQ(Judged(&descriptor, ChangeRights(false)), c.expected) << int(c.first) << " " << int(c.second);
  }
}

TEST(ChangeAccess, TheBoxNamesEachPartyAndHow) {
  const std::vector<ForeignChange> found = {{L"S-1-1-0", FILE_WRITE_DATA, ChangeVia::Entry},
                                            {L"S-1-5-32-545", DELETE, ChangeVia::ConditionalEntry},
                                            {L"S-1-5-21-1-2-3-1001", WRITE_DAC, ChangeVia::Owner},
                                            {L"S-1-5-11", FILE_DELETE_CHILD, ChangeVia::ParentFolder}};
  EXPECT_EQ(NarrowLow8(DescribeForeignChanges(found, L"C:\\Program Files\\")),
            "Everyone (write), Users (delete, under a condition), S-1-5-21-1-2-3-1001 (change permissions, as owner), "
            "Authenticated Users (delete child in C:\\Program Files\\)");
}

// The installed configuration's list as the code builds it: protected (nothing inherited from Program Files), full
// control for SYSTEM and Administrators, nothing for anyone else. A file written with it reads back with no broad
// group that may read it; Wine keeps no list a program sets but narrows the file's Unix mode to it.
TEST(AdministratorsOnly, ProtectedListAndWhatAFileWrittenWithItReports) {
  const UniqueLocal built = AdministratorsOnlyDescriptor();
  ASSERT_TRUE(built);
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  BOOL present = FALSE, defaulted = FALSE;
  PACL dacl = nullptr;
  ASSERT_TRUE(::GetSecurityDescriptorControl(built.get(), &control, &revision) &&
              ::GetSecurityDescriptorDacl(built.get(), &present, &dacl, &defaulted) && dacl);
  EXPECT_TRUE(control & SE_DACL_PROTECTED);
  std::vector<std::string> entries;
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    ACCESS_ALLOWED_ACE* ace = nullptr;
    LPWSTR sid = nullptr;
    ::GetAce(dacl, i, reinterpret_cast<void**>(&ace));
    ::ConvertSidToStringSidW(&ace->SidStart, &sid);
    entries.push_back(std::to_string(ace->Header.AceType) + " " + NarrowLow8(sid) + " " + std::to_string(ace->Mask));
    ::LocalFree(sid);
  }
  EXPECT_EQ(entries, (std::vector<std::string>{"0 S-1-5-18 " + std::to_string(FILE_ALL_ACCESS),
                                               "0 S-1-5-32-544 " + std::to_string(FILE_ALL_ACCESS)}));

  testing::ScratchDir dir("administrators-only");
  ASSERT_TRUE(platform::ReplaceFileBytes(dir.File("nimbard-demo.json"), "{}", true, platform::FileAccess::AdministratorsOnly));
  std::vector<ForeignChange> readers;
  ASSERT_EQ(ReadForeignChanges(dir.File("nimbard-demo.json"), FILE_READ_DATA, CurrentAccountSid(), readers), 0u);
  EXPECT_TRUE(readers.empty()) << NarrowLow8(DescribeForeignChanges(readers, L""));
}

// The exe "--install" copies is the one that runs: this test exe passes, a byte-identical copy of it does not, and
// while it is held nobody may write, rename or delete it. What is placed is what the handle read.
TEST(RunningImage, OnlyTheFileThisProcessRunsFromAndHeldSo) {
  const std::wstring self = platform::ExecutablePath();
  testing::ScratchDir dir("running-image");
  const std::wstring copy = dir.File("copy.exe");
  ASSERT_TRUE(::CopyFileW(self.c_str(), copy.c_str(), FALSE));
  UniqueFile image;
  EXPECT_EQ(OpenRunningImage(copy, image), static_cast<DWORD>(ERROR_FILE_INVALID));
  EXPECT_FALSE(image);
  ASSERT_EQ(OpenRunningImage(self, image), 0u);
  ASSERT_TRUE(image);
  UniqueFile writer(::CreateFileW(self.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, 0, nullptr));
  EXPECT_FALSE(writer) << "opened for writing while held";
  EXPECT_FALSE(::MoveFileW(self.c_str(), (self + L".moved").c_str())) << "renamed while held";
  EXPECT_TRUE(IsSameFile(image.get(), self));
  EXPECT_FALSE(IsSameFile(image.get(), copy));

  // Placed over an older file: the copy holds the image's bytes, the older file waits aside, and undoing brings it
  // back; without an older file, undoing leaves nothing.
  const std::wstring target = dir.File("nimbard.exe");
  dir.Write("nimbard.exe", "older");
  std::wstring previous;
  ASSERT_EQ(PlaceExecutable(image.get(), target, previous), 0u);
  std::string placed, original;
  ASSERT_TRUE(platform::ReadFileBytes(target, placed) && platform::ReadFileBytes(self, original));
  EXPECT_TRUE(placed == original);
  EXPECT_EQ(dir.ReadBytes("nimbard.exe.previous"), "older");
  ASSERT_EQ(RestorePreviousExecutable(target, previous), 0u);
  EXPECT_EQ(dir.ReadBytes("nimbard.exe"), "older");
  dir.Remove("nimbard.exe");
  ASSERT_EQ(PlaceExecutable(image.get(), target, previous), 0u);
  EXPECT_TRUE(previous.empty());
  ASSERT_EQ(RestorePreviousExecutable(target, previous), 0u);
  EXPECT_EQ(dir.Listing(), "copy.exe");
}

TEST(FileSnapshot, ReadOnceWithItsTime) {
  testing::ScratchDir dir("snapshot");
  FileSnapshot missing, older, newer;
  ASSERT_EQ(ReadFileSnapshot(dir.File("nimbard-demo.json"), missing), 0u);
  EXPECT_FALSE(missing.exists);
  dir.Write("a.json", "{\"a\": 1}");
  ::Sleep(20);
  dir.Write("b.json", "{}");
  ASSERT_EQ(ReadFileSnapshot(dir.File("a.json"), older), 0u);
  ASSERT_EQ(ReadFileSnapshot(dir.File("b.json"), newer), 0u);
  EXPECT_EQ(older.bytes, "{\"a\": 1}");
  EXPECT_TRUE(IsNewerSnapshot(newer, older));
  EXPECT_FALSE(IsNewerSnapshot(older, newer));
  EXPECT_TRUE(IsNewerSnapshot(older, missing));
  EXPECT_FALSE(IsNewerSnapshot(missing, older));
}

TEST(PendingRenames, RemovesOnlyTheDeletionOfThePath) {
  const std::wstring ours = L"\\??\\C:\\Program Files\\nimbard\\nimbard.exe";
  const struct { std::wstring before; bool removed; std::wstring after; } cases[] = {
      {ours + L"\0\0\0"s, true, L""},
      {L"\\??\\c:\\PROGRAM FILES\\nimbard\\NIMBARD.EXE\0\0\0"s, true, L""},  // case does not matter
      {L"\\??\\C:\\a\0\0"s + ours + L"\0\0\\??\\C:\\b\0!\\??\\C:\\c\0\0"s, true, L"\\??\\C:\\a\0\0\\??\\C:\\b\0!\\??\\C:\\c\0\0"s},
      {ours + L"\0\0"s + ours + L"\0\0\0"s, true, L""},                      // every deletion of it
      {ours + L"\0\0\\??\\C:\\rest"s, true, L""},                            // a broken rest is dropped
      {ours + L"\0!\\??\\C:\\elsewhere\0\0"s, false, L""},                   // a rename, not a deletion
      {L"\\??\\C:\\other\0"s + ours + L"\0\0"s, false, L""},                 // the path as a destination
      {ours + L".123.old\0\0\0"s, false, L""},                               // another file
      {L"C:\\Program Files\\nimbard\\nimbard.exe\0\0\0"s, false, L""},        // no NT prefix: not what Windows reads
      {L"", false, L""},
  };
  for (const auto& c : cases) {
    std::wstring data = c.before;
    EXPECT_EQ(RemovePendingDeletion(data, L"C:\\Program Files\\nimbard\\nimbard.exe"), c.removed) << NarrowLow8(c.before);
    EXPECT_EQ(data, c.removed ? c.after : c.before) << NarrowLow8(c.before);
  }
}

}  // namespace
}  // namespace nimbard
