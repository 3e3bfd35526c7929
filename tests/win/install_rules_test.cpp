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
#include "host/pending_renames.h"
#include "unit/test_support.h"
#include "win32/file_security.h"
#include "win32/unique_handle.h"

namespace nimbard {
namespace {

using namespace std::string_literals;

// "<group> <first right>", or "" when none of the broad groups may change the object.
std::string Judged(const std::wstring& sddl, bool folder) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr)) {
    return "bad SDDL";
  }
  const UniqueLocal owned(descriptor);
  const BroadRight found = FindBroadRight(descriptor, ChangeRights(folder));
  return found.group.empty() ? "" : NarrowLow8(found.group + L" " + ChangeRightName(found.rights));
}

TEST(ChangeAccess, EachGroupAndRight) {
  const struct { const wchar_t* sid; const char* group; } groups[] = {
      {L"WD", "Everyone"}, {L"AU", "Authenticated Users"}, {L"BU", "Users"}, {L"IU", "Interactive"},
      {L"BA", ""}, {L"SY", ""}, {L"CO", ""}, {L"S-1-5-21-1-2-3-1001", ""}};  // administrators, SYSTEM, the user: not counted
  const struct { const wchar_t* right; const char* name; bool fileToo; } rights[] = {
      {L"0x2", "write", true}, {L"0x4", "append", true}, {L"SD", "delete", true}, {L"WD", "change permissions", true},
      {L"WO", "change owner", true}, {L"GW", "write", true}, {L"GA", "write", true}, {L"FA", "write", true},
      {L"0x40", "delete child", false}, {L"FR", "", false}, {L"FX", "", false}, {L"0x1200a9", "", false},
      {L"RC", "", false}, {L"0x180", "", false}};  // read, execute, read control, attributes
  for (const auto& group : groups) {
    for (const auto& right : rights) {
      for (bool folder : {false, true}) {
        const std::string expected =
            *group.group && *right.name && (folder || right.fileToo) ? group.group + " "s + right.name : "";
        EXPECT_EQ(Judged(L"D:(A;;"s + right.right + L";;;" + group.sid + L")", folder), expected)
            << NarrowLow8(group.sid) << " " << NarrowLow8(right.right) << (folder ? " folder" : " file");
      }
    }
  }
}

TEST(ChangeAccess, OrderInheritanceAndMissingLists) {
  const struct { std::wstring sddl; std::string expected; } cases[] = {
      {L"D:(A;ID;FA;;;BU)", "Users write"},                         // inherited entries count
      {L"D:(A;OICIIO;FA;;;BU)(A;;FR;;;BU)", ""},                    // inherit-only: for the children only
      {L"D:(D;;FA;;;WD)(A;;FA;;;BU)", ""},                          // a deny first takes the rights away
      {L"D:(D;;0x2;;;IU)(A;;FA;;;AU)", "Authenticated Users append"},  // ... only those it names
      {L"D:(A;;FA;;;BU)(D;;FA;;;WD)", "Users write"},               // a deny after the allow comes too late
      {L"D:(D;;FA;;;BA)(A;;FA;;;BU)", "Users write"},               // another group's deny is not theirs
      {L"D:(A;;FR;;;WD)(A;;0x10000;;;BU)", "Users delete"},         // rights add up across entries
      {L"D:", ""},                                                  // an empty list: nobody
      // Wine: a folder of Unix mode 755, then with o+w.
      {L"D:(A;OICI;FA;;;SY)(A;OICI;FA;;;S-1-5-21-0-0-0-1000)(A;OICI;0x1200a9;;;WD)", ""},
      {L"D:(A;OICI;FA;;;SY)(A;OICI;FA;;;S-1-5-21-0-0-0-1000)(A;OICI;0x1301ff;;;WD)", "Everyone write"},
      // Windows: a new folder under Program Files.
      {L"D:AI(A;ID;FA;;;S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464)(A;CIIOID;GA;;;S-1-5-80-"
       L"956008885-3418522649-1831038044-1853292631-2271478464)(A;ID;FA;;;SY)(A;OICIIOID;GA;;;SY)(A;ID;FA;;;BA)"
       L"(A;OICIIOID;GA;;;BA)(A;ID;0x1200a9;;;BU)(A;OICIIOID;GXGR;;;BU)(A;OICIIOID;GA;;;CO)",
       ""},
  };
  for (const auto& c : cases) EXPECT_EQ(Judged(c.sddl, true), c.expected) << NarrowLow8(c.sddl);
  // A NULL list lets anyone do anything (built by hand: Wine's SDDL reader cannot make one).
  SECURITY_DESCRIPTOR open{};
  ::InitializeSecurityDescriptor(&open, SECURITY_DESCRIPTOR_REVISION);
  ::SetSecurityDescriptorDacl(&open, TRUE, nullptr, FALSE);
  EXPECT_EQ(FindBroadRight(&open, ChangeRights(false)).group, L"Everyone");
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
  BroadRight readers;
  ASSERT_EQ(ReadBroadRight(dir.File("nimbard-demo.json"), FILE_READ_DATA, readers), 0u);
  EXPECT_EQ(NarrowLow8(readers.group), "");
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
