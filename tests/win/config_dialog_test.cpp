// The configuration and About dialogs driven as a user would: a second thread finds them on the test thread, types
// into the boxes, picks the provider, presses the buttons, and reads and dismisses the message boxes.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "core/app_paths.h"
#include "core/config_store.h"
#include "win32/unique_handle.h"
#include "ui/about_dialog.h"
#include "ui/config_dialog.h"
#include "ui/resource.h"
#include "unit/test_support.h"

namespace nimbard {
namespace {

const HINSTANCE kInstance = ::GetModuleHandleW(nullptr);
constexpr int kLook = 0, kCloseBox = -2;  // steps that are no control of the dialog

std::wstring TextOf(HWND window) { wchar_t text[512] = {}; return std::wstring(text, ::GetWindowTextW(window, text, 512)); }
std::wstring ClassOf(HWND window) { wchar_t kind[32] = {}; return std::wstring(kind, ::GetClassNameW(window, kind, 32)); }

// A shown dialog or message box of `thread` owned by `owner`; waits up to tries x 10 ms for one.
HWND AwaitDialog(DWORD thread, HWND owner, int tries = 1000) {
  std::pair<HWND, HWND> search{owner, nullptr};
  for (; tries > 0 && !search.second; --tries, ::Sleep(10)) {
    ::EnumThreadWindows(thread, [](HWND w, LPARAM p) -> BOOL {
      auto& [owner, found] = *reinterpret_cast<std::pair<HWND, HWND>*>(p);
      if (::IsWindowVisible(w) && ClassOf(w) == L"#32770" && ::GetWindow(w, GW_OWNER) == owner) found = w;
      return !found;
    }, reinterpret_cast<LPARAM>(&search));
  }
  return search.second;
}

// Presses a button (or the close box) and tells what follows: "closed", or the message box that opened ("caption:
// text"), which is then dismissed with OK (and hidden at once, so never found again).
std::wstring Press(DWORD thread, HWND dialog, int control) {
  if (control == kCloseBox) ::PostMessageW(dialog, WM_CLOSE, 0, 0);
  else ::PostMessageW(::GetDlgItem(dialog, control), BM_CLICK, 0, 0);
  for (int tries = 1000; tries > 0; --tries, ::Sleep(10)) {
    if (!::IsWindow(dialog)) return L"closed";
    if (HWND box = AwaitDialog(thread, dialog, 1)) {
      const std::wstring seen = TextOf(box) + L": " + TextOf(::GetDlgItem(box, 0xFFFF));
      ::SendMessageW(box, WM_COMMAND, IDOK, 0);
      return seen;
    }
  }
  return L"nothing happened";
}

// Runs `show` on this thread while `user` acts on the dialog from another; whatever the user leaves open is
// cancelled, so no case can hang the run. Returns show's result.
INT_PTR RunDialog(const std::function<INT_PTR()>& show, const std::function<void(DWORD, HWND)>& user) {
  const DWORD thread = ::GetCurrentThreadId();
  std::thread userThread([&] {
    if (HWND dialog = AwaitDialog(thread, nullptr)) {
      user(thread, dialog);
      if (::IsWindow(dialog)) ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    }
  });
  const INT_PTR result = show();
  userThread.join();
  return result;
}
INT_PTR ShowConfig() { return ShowConfigDialog(kInstance, nullptr); }

// Selector items (the selected one starred) | selector and Add New enabled | provider shown and enabled | API key |
// domain | record | zone id | record id | interval.
std::wstring State(HWND dialog) {
  const HWND selector = ::GetDlgItem(dialog, IDC_CONFIG_RECORD_SELECTOR);
  const LRESULT count = ::SendMessageW(selector, CB_GETCOUNT, 0, 0), current = ::SendMessageW(selector, CB_GETCURSEL, 0, 0);
  std::wstring state;
  for (LRESULT i = 0; i < count; ++i) {
    wchar_t item[256] = {};
    ::SendMessageW(selector, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item));
    state += std::wstring(i ? L"," : L"") + (i == current ? L"*" : L"") + item;
  }
  const auto on = [&](int id) { return ::IsWindowEnabled(::GetDlgItem(dialog, id)) ? L"+" : L"-"; };
  state += std::wstring(L"|") + on(IDC_CONFIG_RECORD_SELECTOR) + on(IDC_CONFIG_ADD_NEW) + L"|" + TextOf(::GetDlgItem(dialog, IDC_CONFIG_PROVIDER)) + on(IDC_CONFIG_PROVIDER);
  for (int id : {IDC_CONFIG_API_KEY, IDC_CONFIG_DOMAIN, IDC_CONFIG_RECORD, IDC_CONFIG_ZONE_ID, IDC_CONFIG_RECORD_ID, IDC_CONFIG_POLL_MINUTES}) state += L"|" + TextOf(::GetDlgItem(dialog, id));
  return state;
}

// kLook reads the state; IDOK, IDCANCEL and kCloseBox press; the provider list takes the index given as text; an edit
// box takes the text.
struct Step { int control; std::wstring text; };
const Step kLookStep{kLook, L""}, kSave{IDOK, L""}, kCancel{IDCANCEL, L""}, kClose{kCloseBox, L""};
Step Pick(int index) { return {IDC_CONFIG_PROVIDER, std::to_wstring(index)}; }
std::vector<Step> Typed(std::vector<Step> more, const wchar_t* minutes = L"5") {  // a complete GoDaddy record first
  more.insert(more.begin(), {{IDC_CONFIG_API_KEY, L"key"}, {IDC_CONFIG_DOMAIN, L"example.com"}, {IDC_CONFIG_RECORD, L"www"}, {IDC_CONFIG_POLL_MINUTES, minutes}});
  return more;
}
// A file as a save writes it (locked), with the interval, ttl and proxied off their defaults.
std::string LockedFile(const wchar_t* provider, const wchar_t* zoneId = L"", const wchar_t* recordId = L"") {
  return FormatRecordFile({{provider, true, L"k1", L"example.com", L"www", zoneId, recordId, 7, 120, false}});
}

TEST(ConfigDialog, DrivenAsAUserWould) {
  const std::wstring kIncomplete = L"Invalid configuration: Complete the required fields for the selected provider.";
  const auto kUnsavable = [](const wchar_t* field) {
    return std::wstring(L"Invalid configuration: The ") + field + L" field holds a character that cannot be saved: \"{\", \"}\" or a control character.";
  };
  const std::string kTyped = "godaddy|1|key|example.com|www|||";
  // seen: what the looks and presses showed, " = " and the dialog's result; saved: the file's records afterwards.
  struct Case { const char* name; std::string file; std::vector<Step> steps; std::wstring seen; std::string saved; bool holdFile = false; };
  const Case cases[] = {
      {"no file: a new record; the close box cancels", "", {kLookStep, kClose}, L"*godaddy: /|--|GoDaddy+||||||5 / closed = 2", "unchanged"},
      {"locked: the list's choice ignored; blanks trimmed; ttl and proxied kept", LockedFile(L"cloudflare", L"z1", L"r1"),
       {kLookStep, Pick(0), {IDC_CONFIG_DOMAIN, L"  example.org \t"}, {IDC_CONFIG_API_KEY, L" k2 "}, kSave},
       L"*cloudflare: example.com/www|--|Cloudflare-|k1|example.com|www|z1|r1|7 / closed = 1", "cloudflare|1|k2|example.org|www|z1|r1|7|120|0"},
      {"unknown provider, locked: written back unchanged", LockedFile(L"route53"), {kLookStep, {IDC_CONFIG_RECORD, L"@"}, kSave},
       L"*route53: example.com/www|--|GoDaddy-|k1|example.com|www|||7 / closed = 1", "route53|1|k1|example.com|@|||7|120|0"},
      {"unknown provider, unlocked: becomes the list's choice", testing::ConfigFileText({{"route53", "example.com", "www", "", ""}}),
       {kLookStep, Pick(1), {IDC_CONFIG_ZONE_ID, L"z"}, {IDC_CONFIG_RECORD_ID, L"r"}, kSave},
       L"*route53: example.com/www|--|GoDaddy+|key-0|example.com|www|||5 / closed = 1", "cloudflare|1|key-0|example.com|www|z|r|5|3600|1"},
      {"Cloudflare without an API key, then without a domain: warned, nothing written", "",
       Typed({Pick(1), {IDC_CONFIG_API_KEY, L" "}, kSave, {IDC_CONFIG_API_KEY, L"k"}, {IDC_CONFIG_DOMAIN, L""}, kSave, kCancel}),
       kIncomplete + L" / " + kIncomplete + L" / closed = 2", "unchanged"},
      {"GoDaddy with both ids empty: saved; interval 0 gives 1", "", Typed({kSave}, L"0"), L"closed = 1", kTyped + "1|3600|1"},
      {"empty interval gives 5", "", Typed({kSave}, L""), L"closed = 1", kTyped + "5|3600|1"},
      {"interval beyond 32 bits gives 5", "", Typed({kSave}, L"4294967296"), L"closed = 1", kTyped + "5|3600|1"},
      {"interval above the bound gives the bound", "", Typed({kSave}, L"4294967295"), L"closed = 1", kTyped + "35791|3600|1"},
      {"several records: all listed, the first edited and the only one written",
       testing::ConfigFileText({{"godaddy", "a.com", "x", "", ""}, {"cloudflare", "b.com", "y", "z", "r"}, {"godaddy", "c.com", "@", "", ""}}), {kLookStep, kSave},
       L"*godaddy: a.com/x,cloudflare: b.com/y,godaddy: c.com/@|--|GoDaddy+|key-0|a.com|x|||5 / closed = 1", "godaddy|1|key-0|a.com|x|||5|3600|1"},
      {"file held open: save fails, the dialog stays, the old file stays whole", LockedFile(L"godaddy"), {{IDC_CONFIG_DOMAIN, L"new.example"}, kSave, kLookStep, kCancel},
       L"Save failed: The configuration file could not be saved. / *godaddy: example.com/www|--|GoDaddy-|k1|new.example|www|||7 / closed = 2", "unchanged", true},
      {"refused Save, then another provider: the new one saved", "", Typed({Pick(1), {IDC_CONFIG_API_KEY, L""}, kSave, Pick(0), {IDC_CONFIG_API_KEY, L"key"}, kSave}),
       kIncomplete + L" / closed = 1", kTyped + "5|3600|1"},
      {"braces and control characters refused, naming the field", "",
       Typed({{IDC_CONFIG_DOMAIN, L"exa{mple.com"}, kSave, {IDC_CONFIG_DOMAIN, L"example.com"}, {IDC_CONFIG_RECORD, L"w}"}, kSave, {IDC_CONFIG_RECORD, L"www"}, {IDC_CONFIG_API_KEY, L"k\x01y"}, kSave, kCancel}),
       kUnsavable(L"Domain") + L" / " + kUnsavable(L"Record") + L" / " + kUnsavable(L"API key") + L" / closed = 2", "unchanged"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::ScratchDir dir("dialog");
    if (!c.file.empty()) dir.Write("nimbard-demo.json", c.file);
    const std::string before = dir.ReadBytes("nimbard-demo.json");
    // Held open without sharing deletion, the file cannot be replaced.
    UniqueFile held(c.holdFile ? ::CreateFileW(ConfigFilePath().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr) : INVALID_HANDLE_VALUE);
    std::wstring seen;
    const INT_PTR result = RunDialog(ShowConfig, [&](DWORD thread, HWND dialog) {
      for (const auto& [control, text] : c.steps) {
        if (control == IDC_CONFIG_PROVIDER) ::SendDlgItemMessageW(dialog, control, CB_SETCURSEL, std::stoi(text), 0);
        else if (control >= IDC_CONFIG_API_KEY) ::SetDlgItemTextW(dialog, control, text.c_str());
        else seen += (seen.empty() ? L"" : L" / ") + (control == kLook ? State(dialog) : Press(thread, dialog, control));
      }
    });
    held.reset();
    EXPECT_EQ(seen + L" = " + std::to_wstring(result), c.seen);
    const std::string after = dir.ReadBytes("nimbard-demo.json");
    RecordList written;  // a save writes one record
    ParseRecordsText(after, written);
    EXPECT_EQ(after == before ? "unchanged" : written.empty() ? "" : testing::Show(written[0]), c.saved);
    // Read back exactly as written, so the reader's own bounds on the interval hide nothing; no temporary file left.
    if (after != before) { EXPECT_EQ(after, written.empty() ? "" : FormatRecordFile({written[0]})); }
    EXPECT_EQ(dir.Listing(), after == "<missing>" ? "" : "nimbard-demo.json");
  }
}

std::map<int, int> g_createdHeight;  // control id -> height at creation

TEST(ConfigDialog, TemplateGeometry) {
  // The dialog's client area, then its controls in template order (the tab order): id, class, the text shown with no
  // configuration file, and x, y, width, height in dialog units.
  const struct { int id; const wchar_t* kind; const wchar_t* text; RECT units; } windows[] = {
      {0, L"#32770", L"nimbard Configuration", {0, 0, 280, 245}},
      {-1, L"Static", L"Add or update a DNS A record.", {10, 10, 250, 10}}, {-1, L"Static", L"Configured record:", {10, 28, 95, 8}},
      {IDC_CONFIG_RECORD_SELECTOR, L"ComboBox", L"godaddy: /", {110, 26, 150, 80}}, {-1, L"Static", L"Provider:", {10, 49, 95, 8}},
      {IDC_CONFIG_PROVIDER, L"ComboBox", L"GoDaddy", {110, 47, 150, 80}},   {-1, L"Static", L"API key (bearer token):", {10, 70, 95, 8}},
      {IDC_CONFIG_API_KEY, L"Edit", L"", {110, 68, 150, 14}},               {-1, L"Static", L"Domain:", {10, 91, 95, 8}},
      {IDC_CONFIG_DOMAIN, L"Edit", L"", {110, 89, 150, 14}},                {-1, L"Static", L"Record:", {10, 112, 95, 8}},
      {IDC_CONFIG_RECORD, L"Edit", L"", {110, 110, 150, 14}},               {-1, L"Static", L"Zone ID (Cloudflare):", {10, 133, 95, 8}},
      {IDC_CONFIG_ZONE_ID, L"Edit", L"", {110, 131, 150, 14}},              {-1, L"Static", L"Record ID (Cloudflare):", {10, 154, 95, 8}},
      {IDC_CONFIG_RECORD_ID, L"Edit", L"", {110, 152, 150, 14}},            {-1, L"Static", L"Poll interval (minutes):", {10, 175, 95, 8}},
      {IDC_CONFIG_POLL_MINUTES, L"Edit", L"5", {110, 173, 150, 14}},        {IDC_CONFIG_ADD_NEW, L"Button", L"Add New", {105, 210, 50, 14}},
      {IDOK, L"Button", L"Save", {160, 210, 50, 14}},                       {IDCANCEL, L"Button", L"Cancel", {215, 210, 50, 14}},
  };
  // A combo box's template height is that of its open list: the height it is created with, before it shrinks to its
  // selection field (Wine's CB_GETDROPPEDCONTROLRECT leaves that field out).
  const HHOOK hook = ::SetWindowsHookExW(WH_CBT, [](int code, WPARAM window, LPARAM data) {
    const CREATESTRUCTW* created = code == HCBT_CREATEWND ? reinterpret_cast<CBT_CREATEWNDW*>(data)->lpcs : nullptr;
    if (created) g_createdHeight[static_cast<int>(reinterpret_cast<INT_PTR>(created->hMenu))] = created->cy;
    return ::CallNextHookEx(nullptr, code, window, data);
  }, nullptr, ::GetCurrentThreadId());
  const auto line = [](int id, const std::wstring& kind, const std::wstring& text, LONG left, LONG top, LONG right, LONG bottom) {
    return std::to_wstring(id) + L" " + kind + L" \"" + text + L"\" " + std::to_wstring(left) + L"," + std::to_wstring(top) + L"," + std::to_wstring(right) + L"," + std::to_wstring(bottom);
  };
  testing::ScratchDir dir("geometry");
  std::vector<std::wstring> want{L"masked"}, got;
  const INT_PTR result = RunDialog(ShowConfig, [&](DWORD, HWND dialog) {
    got.push_back(::SendDlgItemMessageW(dialog, IDC_CONFIG_API_KEY, EM_GETPASSWORDCHAR, 0, 0) ? L"masked" : L"shown");
    HWND window = dialog;
    for (const auto& w : windows) {
      RECT units = w.units, at{};
      ::MapDialogRect(dialog, &units);  // position and size apart, as the dialog manager converts them
      want.push_back(line(w.id, w.kind, w.text, units.left, units.top, units.left + units.right, units.top + units.bottom));
      const std::wstring kind = ClassOf(window);
      ::GetWindowRect(window, &at);
      ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&at), 2);
      if (window == dialog) ::GetClientRect(dialog, &at);  // the dialog itself: its client area
      if (kind == L"ComboBox") at.bottom = at.top + g_createdHeight[w.id];
      got.push_back(line(window == dialog ? 0 : ::GetDlgCtrlID(window), kind, TextOf(window), at.left, at.top, at.right, at.bottom));
      window = ::GetWindow(window, window == dialog ? GW_CHILD : GW_HWNDNEXT);
    }
  });
  ::UnhookWindowsHookEx(hook);
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_EQ(got, want);
}

TEST(AboutDialog, IconVersionAndTheCommandThatEndsIt) {
  // OK and the close box end the dialog with their command; 0: through the entry point, which opens the same template.
  for (const int command : {IDOK, IDCANCEL, 0}) {
    std::wstring seen;
    const INT_PTR result = RunDialog(
        [command] { return command ? ::DialogBoxParamW(kInstance, MAKEINTRESOURCEW(IDD_ABOUTBOX), nullptr, AboutDlgProc, 0) : (ShowAboutDialog(kInstance, nullptr), 0); },
        [&](DWORD thread, HWND dialog) {
          const HWND icon = ::GetWindow(dialog, GW_CHILD);
          seen = TextOf(dialog) + L" | " + (::SendMessageW(icon, STM_GETICON, 0, 0) ? L"icon" : L"no icon") + L" | " + TextOf(::GetWindow(icon, GW_HWNDNEXT)) + L" | " + TextOf(::GetDlgItem(dialog, IDOK)) + L" | ";
          seen += Press(thread, dialog, command == IDCANCEL ? kCloseBox : IDOK);
        });
    EXPECT_EQ(seen, L"About nimbard | icon | nimbard, Version 1.0 | OK | closed");
    if (command) { EXPECT_EQ(result, command); }
  }
}

}  // namespace
}  // namespace nimbard
