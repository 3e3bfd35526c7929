// The configuration and About dialogs driven as a user would: a second thread finds them on the test thread, types
// into the boxes, picks from the lists, presses the buttons, and reads and answers the boxes that open. The check on
// Save meets scripted providers.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/app_paths.h"
#include "core/config_store.h"
#include "net/api_hosts.h"
#include "net/cloudflare.h"
#include "win32/unique_handle.h"
#include "ui/about_dialog.h"
#include "ui/config_dialog.h"
#include "ui/resource.h"
#include "version_info.h"
#include "unit/test_support.h"

namespace nimbard {
namespace {

using testing::Ok;
using testing::Status;

const HINSTANCE kInstance = ::GetModuleHandleW(nullptr);
constexpr int kLook = 0, kCloseBox = -2, kSaveNoWait = -3, kTimedCancel = -4, kAwaitBox = -5, kLookType = -6;  // steps that are no control of the dialog
constexpr int kGoOn = 100;  // "Save anyway" of "Check failed", "Save" of "Only reading was checked"; "Back" is IDCANCEL

std::wstring TextOf(HWND window) { wchar_t text[1024] = {}; return std::wstring(text, ::GetWindowTextW(window, text, 1024)); }
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

// "caption: text", the texts of every static control that has one (a message box's text; a task dialog's heading
// and content), joined by " | ".
std::wstring BoxText(HWND box) {
  std::wstring texts;
  ::EnumChildWindows(box, [](HWND child, LPARAM p) -> BOOL {
    auto& texts = *reinterpret_cast<std::wstring*>(p);
    if (ClassOf(child) == L"Static" && !TextOf(child).empty()) texts += (texts.empty() ? L"" : L" | ") + TextOf(child);
    return TRUE;
  }, reinterpret_cast<LPARAM>(&texts));
  return TextOf(box) + L": " + texts;
}

// Presses a button (or the close box) and tells what follows: "closed", or the box that opened ("caption: text"),
// answered with `answer` (a message box's button, or a task dialog's) and hidden at once, so never found again.
std::wstring Press(DWORD thread, HWND dialog, int control, int answer = IDOK) {
  if (control == kCloseBox) ::PostMessageW(dialog, WM_CLOSE, 0, 0);
  else ::PostMessageW(::GetDlgItem(dialog, control), BM_CLICK, 0, 0);
  for (int tries = 3000; tries > 0; --tries, ::Sleep(10)) {  // a loaded machine may take its time
    if (!::IsWindow(dialog)) return L"closed";
    if (HWND box = AwaitDialog(thread, dialog, 1)) {
      const std::wstring seen = BoxText(box);
      const bool taskDialog = TextOf(box) == L"Check failed" || TextOf(box) == L"Only reading was checked";
      if (taskDialog) ::SendMessageW(box, TDM_CLICK_BUTTON, answer, 0);
      else ::SendMessageW(box, WM_COMMAND, answer, 0);
      // What the dialog does with the answer runs once the box is gone, before its thread takes another message.
      for (int gone = 3000; gone > 0 && ::IsWindow(box); --gone) ::Sleep(10);
      if (::IsWindow(dialog)) ::SendMessageW(dialog, WM_NULL, 0, 0);
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

// Selector items (the selected one starred) | which of selector, Add New, Remove, provider, zone id, Save take input |
// provider shown | the key's label | API key | domain | record | zone id | record id | interval | the check's line.
std::wstring State(HWND dialog) {
  const HWND selector = ::GetDlgItem(dialog, IDC_CONFIG_RECORD_SELECTOR);
  const LRESULT count = ::SendMessageW(selector, CB_GETCOUNT, 0, 0), current = ::SendMessageW(selector, CB_GETCURSEL, 0, 0);
  std::wstring state;
  for (LRESULT i = 0; i < count; ++i) {
    wchar_t item[256] = {};
    ::SendMessageW(selector, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item));
    state += std::wstring(i ? L"," : L"") + (i == current ? L"*" : L"") + item;
  }
  state += L"|";
  for (int id : {IDC_CONFIG_RECORD_SELECTOR, IDC_CONFIG_ADD_NEW, IDC_CONFIG_REMOVE, IDC_CONFIG_PROVIDER, IDC_CONFIG_ZONE_ID, IDOK}) state += ::IsWindowEnabled(::GetDlgItem(dialog, id)) ? L"+" : L"-";
  for (int id : {IDC_CONFIG_PROVIDER, IDC_CONFIG_API_KEY_LABEL, IDC_CONFIG_API_KEY, IDC_CONFIG_DOMAIN, IDC_CONFIG_RECORD, IDC_CONFIG_ZONE_ID, IDC_CONFIG_RECORD_ID, IDC_CONFIG_POLL_MINUTES, IDC_CONFIG_CHECK_STATUS}) state += L"|" + TextOf(::GetDlgItem(dialog, id));
  return state;
}

// kLook reads the state; Add New is chosen; IDOK, IDCANCEL, kCloseBox and Remove press (a box that opens is answered
// with the number given as text, OK when none); kSaveNoWait presses Save and waits for the check's line; kTimedCancel presses
// Cancel and tells whether the dialog was gone within a second; kAwaitBox answers the box the dialog opens by itself
// with OK; kLookType reads the record type list, and whether it has the focus; the lists take the index given as text (as a choice
// of the user's, with its notification); an edit box takes the text.
struct Step { int control; std::wstring text; };
const Step kLookStep{kLook, L""}, kSave{IDOK, L""}, kCancel{IDCANCEL, L""}, kClose{kCloseBox, L""}, kBoxStep{kAwaitBox, L""};
Step Pick(int index) { return {IDC_CONFIG_PROVIDER, std::to_wstring(index)}; }
Step Choose(int index) { return {IDC_CONFIG_RECORD_SELECTOR, std::to_wstring(index)}; }
Step Type(int index) { return {IDC_CONFIG_RECORD_KINDS, std::to_wstring(index)}; }  // 0 IPv4, 1 IPv6, 2 Both
Step Answer(int control, int answer) { return {control, std::to_wstring(answer)}; }
std::vector<Step> Then(std::vector<Step> first, const std::vector<Step>& more) { return first.insert(first.end(), more.begin(), more.end()), first; }
std::vector<Step> Typed(std::vector<Step> more, const wchar_t* minutes = L"5") {  // a complete GoDaddy record first
  more.insert(more.begin(), {{IDC_CONFIG_API_KEY, L"key"}, {IDC_CONFIG_DOMAIN, L"example.com"}, {IDC_CONFIG_RECORD, L"www"}, {IDC_CONFIG_POLL_MINUTES, minutes}});
  return more;
}
// A file as a save writes it (locked), with the interval, ttl and proxied off their defaults.
std::string LockedFile(const wchar_t* provider, const wchar_t* zoneId = L"", const wchar_t* recordId = L"", bool ipv4 = true, bool ipv6 = false) {
  return FormatRecordFile({{provider, true, L"k1", L"example.com", L"www", zoneId, recordId, 7, 120, false, ipv4, ipv6}});
}

std::wstring Act(DWORD thread, HWND dialog, const Step& step) {
  const auto [control, text] = step;
  // A look waits until the dialog's thread has dealt with everything before it (a box's answer, a choice): a sent
  // message is handled only once that thread is back at its messages.
  if (control == kLook) return ::SendMessageW(dialog, WM_NULL, 0, 0), State(dialog);
  if (control == kLookType) {
    ::SendMessageW(dialog, WM_NULL, 0, 0);
    const HWND list = ::GetDlgItem(dialog, IDC_CONFIG_RECORD_KINDS);
    GUITHREADINFO gui{};
    gui.cbSize = sizeof gui;
    const bool focused = ::GetGUIThreadInfo(thread, &gui) && gui.hwndFocus == list;
    return L"type: " + (TextOf(list).empty() ? L"(none)" : TextOf(list)) + (focused ? L", focused" : L"");
  }
  if (control == kSaveNoWait) {
    ::PostMessageW(::GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    for (int tries = 500; tries > 0 && TextOf(::GetDlgItem(dialog, IDC_CONFIG_CHECK_STATUS)).empty(); --tries) ::Sleep(10);
    return {};
  }
  if (control == kAwaitBox) {
    const HWND box = AwaitDialog(thread, dialog, 500);
    if (!box) return L"no box";
    const std::wstring seen = BoxText(box);
    ::SendMessageW(box, WM_COMMAND, IDOK, 0);
    for (int gone = 3000; gone > 0 && ::IsWindow(box); --gone) ::Sleep(10);
    return seen;
  }
  if (control == kTimedCancel) {
    const auto start = std::chrono::steady_clock::now();
    const std::wstring seen = Press(thread, dialog, IDCANCEL);
    return seen + (std::chrono::steady_clock::now() - start < std::chrono::seconds(1) ? L" within a second" : L" late");
  }
  if (control == IDC_CONFIG_PROVIDER || control == IDC_CONFIG_RECORD_SELECTOR || control == IDC_CONFIG_RECORD_KINDS) {
    ::SendDlgItemMessageW(dialog, control, CB_SETCURSEL, std::stoi(text), 0);
    ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(control, CBN_SELCHANGE), reinterpret_cast<LPARAM>(::GetDlgItem(dialog, control)));
    return {};
  }
  if (control >= IDC_CONFIG_API_KEY && control <= IDC_CONFIG_RECORD_ID) {
    ::SetDlgItemTextW(dialog, control, text.c_str());
    return {};
  }
  if (control == IDC_CONFIG_ADD_NEW) {
    ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(control, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(dialog, control)));
    return {};
  }
  return Press(thread, dialog, control, text.empty() ? IDOK : std::stoi(text));
}

// The providers as the check meets them: the address; at GoDaddy, one A record of each name "www" and "y" and one AAAA
// record "www", in every domain; Cloudflare's zone z9 and its A record r5 for home.example.com; every write back
// accepted. A case adds or replaces answers by method and path.
struct Reply { std::wstring host, path; HttpResponse reply; std::wstring method = L"GET"; };
const std::wstring kCf = kCloudflareApiHost;
const std::string kZoneZ9 = R"({"result":[{"id":"z9","name":"example.com"}]})";
std::string RecordR5(const char* name) { return std::string(R"({"result":[{"id":"r5","name":")") + name + R"(","type":"A","content":"198.51.100.4"}]})"; }
std::string CfError(const char* code, const char* message) { return std::string(R"({"success":false,"errors":[{"code":)") + code + R"(,"message":")" + message + R"("}]})"; }
void Script(testing::ScriptedTransport& transport, const std::vector<Reply>& answers) {
  transport.Clear();
  ForgetCloudflareIds();
  transport.Set(L"GET", kPublicIpHost, Ok("203.0.113.7"));
  transport.Set(L"GET", kGoDaddyApiHost, Ok(R"([{"type":"A","name":"www","data":"192.0.2.1","ttl":600},{"type":"AAAA","name":"www","data":"2001:db8::1","ttl":600},)"
                                              R"({"type":"A","name":"y","data":"192.0.2.1","ttl":600}])"));
  transport.Set(L"GET", kCf, Ok(kZoneZ9), L"/client/v4/zones?name=example.com");
  transport.Set(L"GET", kCf, Ok(RecordR5("home.example.com")), L"/client/v4/zones/z9/dns_records?type=A&name=home.example.com");
  transport.Set(L"PUT", kGoDaddyApiHost, Ok(""));
  transport.Set(L"PATCH", kCf, Ok(R"({"success":true})"));
  for (const Reply& a : answers) transport.Set(a.method, a.host, a.reply, a.path);
}

TEST(ConfigDialog, DrivenAsAUserWould) {
  const std::wstring kIncomplete = L"Invalid configuration: Complete the required fields for the selected provider.";
  const std::wstring kNoType = L"Invalid configuration: Choose a record type: IPv4 (A record), IPv6 (AAAA record) or Both. nimbard keeps no record of a name that has neither.";
  const Step kLookTypeStep{kLookType, L""};
  const auto kUnsavable = [](const wchar_t* field) {
    return std::wstring(L"Invalid configuration: The ") + field + L" field holds a character that cannot be saved: \"{\", \"}\" or a control character.";
  };
  const std::string kTyped = "godaddy|1|key|example.com|www|||";
  const std::wstring kNewGoDaddyFields = L"|++++-+|GoDaddy|API key:secret:||||||5|", kNewGoDaddy = L"*godaddy: /" + kNewGoDaddyFields;
  const Step kBack = Answer(IDOK, IDCANCEL), kSaveAnywayStep = Answer(IDOK, kGoOn);
  const std::string kThree = testing::ConfigFileText({{"godaddy", "a.com", "x", "", ""}, {"cloudflare", "b.com", "y", "z", "r"}, {"godaddy", "c.com", "@", "", ""}});
  const std::vector<Step> kNewCloudflare = {Pick(1), {IDC_CONFIG_API_KEY, L"tok"}, {IDC_CONFIG_DOMAIN, L"example.com"}, {IDC_CONFIG_RECORD, L"home"}};
  // seen: what the looks and presses showed, " = " and the dialog's result; saved: the file's records afterwards.
  struct Case { const char* name; std::string file; std::vector<Step> steps; std::wstring seen; std::string saved; std::vector<Reply> answers = {}; bool holdFile = false; bool backup = false; };
  // Three GoDaddy records, the middle one without its key and with a key nimbard does not know.
  const std::string kGap = "{\"records\": [{\"apiKey\": \"k1\", \"domain\": \"a.com\", \"record\": \"x\"},\n  {\"domain\": \"b.com\", \"record\": \"y\", \"pollMinutes\": 9, \"note\": \"[kept]\"},\n  {\"apiKey\": \"k3\", \"domain\": \"c.com\", \"record\": \"z\"}]}";
  const std::wstring kGapList = L"godaddy: a.com/x,*godaddy: b.com/y (no API key),godaddy: c.com/z|++++-+|GoDaddy|API key:secret:||b.com|y|||9|";
  const std::string kGapSaved = "godaddy|0|k1|a.com|x|||5|3600|1\ngodaddy|0||b.com|y|||9|3600|1\ngodaddy|0|k3|c.com|z|||5|3600|1";
  const std::wstring kUnreadableBox = L"Configuration file not read: nimbard could not read any record from <path>: the file is empty, is not nimbard's JSON, or was saved as Unicode (UTF-16). The dialog starts with a new record. Save replaces the file and keeps the old one as nimbard-demo.json.bak beside it.";
  const std::wstring kOnlyRead = L"GoDaddy has no A record named www.example.com yet; the first update makes it.\n\nSo nimbard could read the record but not try a change that leaves it as it is. Whether the key may change the record shows at the first update; if it may not, the tray and the log say why.";
  const Case cases[] = {
      {"no file: a new record; the close box cancels", "", {kLookStep, kClose}, kNewGoDaddy + L" / closed = 2", "unchanged"},
      {"locked: the list's choice ignored; blanks trimmed; ttl and proxied kept", LockedFile(L"cloudflare", L"z1", L"r1"),
       {kLookStep, Pick(0), {IDC_CONFIG_DOMAIN, L"  example.org \t"}, {IDC_CONFIG_API_KEY, L" k2 "}, kSave},
       L"*cloudflare: example.com/www|+++-++|Cloudflare|API token:|k1|example.com|www|z1|r1|7| / closed = 1", "cloudflare|1|k2|example.org|www|z1|r1|7|120|0",
       {{kCf, L"/client/v4/zones/z1/dns_records/r1", Ok(R"({"result":{"name":"www.example.org","type":"A","content":"192.0.2.1"}})")}}},
      {"unknown provider, locked: its IDs open, no check for a new interval, written back", LockedFile(L"route53", L"z", L"r"), {kLookStep, {IDC_CONFIG_POLL_MINUTES, L"9"}, kSave},
       L"*route53: example.com/www|+++-++|GoDaddy|API key:|k1|example.com|www|z|r|7| / closed = 1", "route53|1|k1|example.com|www|z|r|9|120|0"},
      {"unknown provider, unlocked: becomes the list's choice", testing::ConfigFileText({{"route53", "example.com", "home", "", ""}}),
       {kLookStep, Pick(1), {IDC_CONFIG_RECORD_ID, L"r5"}, kLookStep, kSave},
       L"*route53: example.com/home|++++-+|GoDaddy|API key:secret:|key-0|example.com|home|||5| / *route53: example.com/home|++++++|Cloudflare|API token:|key-0|example.com|home||r5|5| / closed = 1",
       "cloudflare|1|key-0|example.com|home||r5|5|3600|1", {{kCf, L"/client/v4/zones/z9/dns_records/r5", Ok(R"({"result":{"name":"home.example.com","type":"A","content":"192.0.2.1"}})")}}},
      {"Cloudflare without an API key, then without a domain: warned, nothing written", "",
       Typed({Pick(1), {IDC_CONFIG_API_KEY, L" "}, kSave, {IDC_CONFIG_API_KEY, L"k"}, {IDC_CONFIG_DOMAIN, L""}, kSave, kCancel}),
       kIncomplete + L" / " + kIncomplete + L" / closed = 2", "unchanged"},
      {"GoDaddy checked and saved; interval 0 gives 1", "", Typed({kSave}, L"0"), L"closed = 1", kTyped + "1|3600|1"},
      {"interval beyond 32 bits gives 5", "", Typed({kSave}, L"4294967296"), L"closed = 1", kTyped + "5|3600|1"},
      {"interval above the bound gives the bound", "", Typed({kSave}, L"4294967295"), L"closed = 1", kTyped + "35791|3600|1"},
      {"Cloudflare with empty IDs: found, and left out of the file", "", Then(kNewCloudflare, {kSave}), L"closed = 1", "cloudflare|1|tok|example.com|home|||5|3600|1"},
      {"file held open: save fails, the dialog stays, the old file stays whole", LockedFile(L"godaddy"), {{IDC_CONFIG_DOMAIN, L"new.example"}, kSave, kLookStep, kCancel},
       L"Save failed: The configuration file could not be saved. / *godaddy: new.example/www|+++--+|GoDaddy|API key:secret:|k1|new.example|www|||7| / closed = 2", "unchanged", {}, true},
      {"refused Save, then another provider: the new one saved", "", Typed({Pick(1), {IDC_CONFIG_API_KEY, L""}, kSave, Pick(0), {IDC_CONFIG_API_KEY, L"key"}, kSave}),
       kIncomplete + L" / closed = 1", kTyped + "5|3600|1"},
      {"braces and control characters refused, naming the field", "",
       Typed({{IDC_CONFIG_DOMAIN, L"exa{mple.com"}, kSave, {IDC_CONFIG_DOMAIN, L"example.com"}, {IDC_CONFIG_RECORD, L"w}"}, kSave, {IDC_CONFIG_RECORD, L"www"}, {IDC_CONFIG_API_KEY, L"k\x01y"}, kSave, kCancel}),
       kUnsavable(L"Domain") + L" / " + kUnsavable(L"Record") + L" / " + kUnsavable(L"API key") + L" / closed = 2", "unchanged"},
      // Each failing check shows its box: "Back" returns with the input kept and writes nothing, "Save anyway" writes
      // (and the dialog closes with the box).
      {"no network: Back, then Save anyway", "", Typed({kBack, kLookStep, kSaveAnywayStep}),
       L"Check failed: nimbard could not reach the service that tells nimbard this computer's address. Check that this computer is online, and that no firewall or security program blocks nimbard.exe. / "
       L"*godaddy: example.com/www|++++-+|GoDaddy|API key:secret:|key|example.com|www|||5| / Check failed: nimbard could not reach the service that tells nimbard this computer's address. Check that this computer is online, and that no firewall or security program blocks nimbard.exe. = 1",
       kTyped + "5|3600|1", {{kPublicIpHost, L"", testing::Unreachable()}, {kPublicIpFallbackHost, L"", testing::Unreachable()}}},
      {"token without Zone Read: Back", "", Then(kNewCloudflare, {kBack, kCancel}),
       L"Check failed: This Cloudflare token may not look zones up, so nimbard cannot find the Zone ID. Add the permission Zone, Zone, Read to the token, or enter the Zone ID yourself. / closed = 2", "unchanged",
       {{kCf, L"/client/v4/zones?name=example.com", Status(403, CfError("9109", "Unauthorized to access requested resource"))}}},
      {"a record ID of another record: Save anyway", "", Then(kNewCloudflare, {{IDC_CONFIG_ZONE_ID, L"z1"}, {IDC_CONFIG_RECORD_ID, L"r1"}, kSaveAnywayStep}),
       L"Check failed: The Record ID belongs to another record: www.example.com (A). Enter the ID of the A record home.example.com, or leave the Record ID empty so that nimbard finds it. = 1",
       "cloudflare|1|tok|example.com|home|z1|r1|5|3600|1", {{kCf, L"/client/v4/zones/z1/dns_records/r1", Ok(R"({"result":{"name":"www.example.com","type":"A","content":"192.0.2.1"}})")}}},
      {"GoDaddy account without API access: Back", "", Typed({kBack, kCancel}),
       L"Check failed: GoDaddy does not let this account use its DNS API. GoDaddy allows it only for accounts with 10 or more domains or a Discount Domain Club Premier plan, and only for domains in the key's own account. / closed = 2",
       "unchanged", {{kGoDaddyApiHost, L"", Status(403, R"({"code":"ACCESS_DENIED","message":"Authenticated user is not allowed access"})")}}},
      // The check writes a record back as it found it: a refusal is a box; where no such write exists (no record
      // yet), a box says that only reading was checked, and Back there writes nothing.
      {"a token that may only read: Back", "", Then(kNewCloudflare, {kBack, kCancel}),
       L"Check failed: This Cloudflare token may not change the DNS records of this domain. Give it the permission Zone, DNS, Edit for this zone. / closed = 2", "unchanged",
       {{kCf, L"", Status(403, CfError("10000", "Authentication error")), L"PATCH"}}},
      {"GoDaddy without the record yet: only reading was checked; Back, then Save", "", Typed({kBack, kLookStep, Answer(IDOK, kGoOn)}),
       L"Only reading was checked: " + kOnlyRead + L" / *godaddy: example.com/www|++++-+|GoDaddy|API key:secret:|key|example.com|www|||5| / Only reading was checked: " + kOnlyRead + L" = 1",
       kTyped + "5|3600|1", {{kGoDaddyApiHost, L"", Ok("[]")}}},
      {"rate limited: Save anyway", "", Typed({kSaveAnywayStep}),
       L"Check failed: GoDaddy asks nimbard to wait: too many requests in a short time. Try again in a few minutes. = 1", kTyped + "5|3600|1",
       {{kGoDaddyApiHost, L"", Status(429, R"({"code":"TOO_MANY_REQUESTS","message":"Too many requests","retryAfterSec":30})")}}},
      // Three records: each shown when chosen, with its provider's labels; edited, added, removed; saved in order.
      {"three records: choose, edit, add, remove (No, then Yes), save in order", kThree,
       {kLookStep, Choose(1), kLookStep, Choose(2), {IDC_CONFIG_RECORD, L"www"}, {IDC_CONFIG_ADD_NEW, L""}, kLookStep, Pick(1), {IDC_CONFIG_API_KEY, L"tok"},
        {IDC_CONFIG_DOMAIN, L"d.com"}, {IDC_CONFIG_RECORD, L"home"}, Choose(0), Answer(IDC_CONFIG_REMOVE, IDNO), Answer(IDC_CONFIG_REMOVE, IDYES), kLookStep, kBack, kLookStep,
        {IDC_CONFIG_ZONE_ID, L"z7"}, kSave},
       L"*godaddy: a.com/x,cloudflare: b.com/y,godaddy: c.com/@|++++-+|GoDaddy|API key:secret:|key-0|a.com|x|||5| / "
       L"godaddy: a.com/x,*cloudflare: b.com/y,godaddy: c.com/@|++++++|Cloudflare|API token:|key-1|b.com|y|z|r|5| / "
       L"godaddy: a.com/x,cloudflare: b.com/y,godaddy: c.com/www,*godaddy: /" + kNewGoDaddyFields + L" / "
       L"Remove record: Remove godaddy: a.com/x? / Remove record: Remove godaddy: a.com/x? / "
       L"*cloudflare: b.com/y,godaddy: c.com/www,cloudflare: d.com/home|++++++|Cloudflare|API token:|key-1|b.com|y|z|r|5| / "
       L"Check failed: The check of cloudflare: d.com/home failed. | This Cloudflare token may not look zones up, so nimbard cannot find the Zone ID. Add the permission Zone, Zone, Read to the token, or enter the Zone ID yourself. / "
       L"cloudflare: b.com/y,godaddy: c.com/www,*cloudflare: d.com/home|++++++|Cloudflare|API token:|tok|d.com|home|||5| / closed = 1",
       "cloudflare|0|key-1|b.com|y|z|r|5|3600|1\ngodaddy|1|key-2|c.com|www|||5|3600|1\ncloudflare|1|tok|d.com|home|z7||5|3600|1",
       {{kCf, L"/client/v4/zones?name=d.com", Status(403, CfError("9109", "Unauthorized to access requested resource"))},
        {kCf, L"/client/v4/zones/z7/dns_records?type=A&name=home.d.com", Ok(RecordR5("home.d.com"))}}},
      // Every record object of the file is listed; one the user leaves alone is written back as the file had it.
      {"a record without its key: listed with what it lacks, Save writes all three back", kGap, {Choose(1), kLookStep, kSave}, kGapList + L" / closed = 1", kGapSaved},
      {"a record without its key, its interval changed: Save asks for the key", kGap, {Choose(1), {IDC_CONFIG_POLL_MINUTES, L"7"}, kSave, kCancel}, kIncomplete + L" / closed = 2", "unchanged"},
      {"a record without its key completed, another removed", kGap, {Choose(1), {IDC_CONFIG_API_KEY, L"k2"}, Choose(2), Answer(IDC_CONFIG_REMOVE, IDYES), kSave},
       L"Remove record: Remove godaddy: c.com/z? / closed = 1", "godaddy|0|k1|a.com|x|||5|3600|1\ngodaddy|1|k2|b.com|y|||9|3600|1"},
      {"a UTF-16 file: the box, a new record; Save keeps the old file as .bak", std::string("\xFF\xFE{\0\"\0r\0", 8), Then({kBoxStep}, Typed({kSave})),
       kUnreadableBox + L" / closed = 1", kTyped + "5|3600|1", {}, false, true},
      {"an empty file: the box; Cancel keeps it", " \r\n", {kBoxStep, kLookStep, kCancel}, kUnreadableBox + L" / " + kNewGoDaddy + L" / closed = 2", "unchanged"},
      // The record type: what the file keeps is shown; a record that keeps neither shows no choice, and Save refuses
      // it (untouched too) with the focus on the list; a new type is checked before it is saved.
      {"a new record keeps the A record; IPv6 alone saved", "", Typed({kLookTypeStep, Type(1), kSave}), L"type: IPv4 (A record) / closed = 1", kTyped + "5|3600|1|no A|AAAA"},
      {"both from the file; IPv4 alone saved", LockedFile(L"godaddy", L"", L"", true, true), {kLookTypeStep, Type(0), kSave},
       L"type: Both / closed = 1", "godaddy|1|k1|example.com|www|||7|120|0"},
      {"neither: no choice, Save refuses, Both saved", LockedFile(L"godaddy", L"", L"", false, false),
       {kLookStep, kLookTypeStep, kSave, kLookTypeStep, Type(2), kSave},
       L"*godaddy: example.com/www (no record type)|+++--+|GoDaddy|API key:secret:|k1|example.com|www|||7| / type: (none) / " + kNoType + L" / type: (none), focused / closed = 1", "godaddy|1|k1|example.com|www|||7|120|0|AAAA"},
      {"another type alone is checked: Back writes nothing", LockedFile(L"godaddy"), {Type(1), kBack, kCancel},
       L"Check failed: GoDaddy does not let this account use its DNS API. GoDaddy allows it only for accounts with 10 or more domains or a Discount Domain Club Premier plan, and only for domains in the key's own account. / closed = 2",
       "unchanged", {{kGoDaddyApiHost, L"", Status(403, R"({"code":"ACCESS_DENIED","message":"Authenticated user is not allowed access"})")}}},
      {"removing the only record leaves a new one, which Save refuses", LockedFile(L"godaddy"), {Answer(IDC_CONFIG_REMOVE, IDYES), kLookStep, kSave, kCancel},
       L"Remove record: Remove godaddy: example.com/www? / " + kNewGoDaddy + L" / " + kIncomplete + L" / closed = 2", "unchanged"},
  };
  testing::ScriptedTransport transport;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::ScratchDir dir("dialog");
    Script(transport, c.answers);
    if (!c.file.empty()) dir.Write("nimbard-demo.json", c.file);
    const std::string before = dir.ReadBytes("nimbard-demo.json");
    // Held open without sharing deletion, the file cannot be replaced.
    UniqueFile held(c.holdFile ? ::CreateFileW(ConfigFilePath().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr) : INVALID_HANDLE_VALUE);
    std::wstring seen;
    const INT_PTR result = RunDialog(ShowConfig, [&](DWORD thread, HWND dialog) {
      for (const Step& step : c.steps) {
        const std::wstring shown = Act(thread, dialog, step);
        if (!shown.empty()) seen += (seen.empty() ? L"" : L" / ") + shown;
      }
    });
    held.reset();
    for (std::size_t at; (at = seen.find(ConfigFilePath())) != std::wstring::npos;) seen.replace(at, ConfigFilePath().size(), L"<path>");
    EXPECT_EQ(seen + L" = " + std::to_wstring(result), c.seen);
    const std::string after = dir.ReadBytes("nimbard-demo.json");
    std::string shown;
    const std::string head = "{\n  \"records\": [\n", tail = "\n  ]\n}\n";
    for (const StoredRecord& stored : ParseRecordObjects(after)) {
      shown += (shown.empty() ? "" : "\n") + testing::Show(stored.record);
      // Each object as the old file had it, or exactly as the template writes it, so the reader's own bounds on the
      // interval hide nothing.
      const std::string alone = FormatRecordFile({stored.record});
      const bool asBefore = before.find(stored.text) != std::string::npos, asTemplate = "    " + stored.text == alone.substr(head.size(), alone.size() - head.size() - tail.size());
      EXPECT_TRUE(asBefore || asTemplate) << stored.text;
    }
    EXPECT_EQ(after == before ? "unchanged" : shown, c.saved);
    // A check writes a record back only as it found it, never with the new address.
    const std::set<std::string> kWriteBacks = {R"({"content":"198.51.100.4"})", R"({"content":"192.0.2.1"})", R"([{"data":"192.0.2.1","ttl":600}])",
                                               R"([{"data":"2001:db8::1","ttl":600}])"};
    for (const HttpRequest& r : transport.Requests()) {
      if (r.method != L"GET") { EXPECT_EQ(kWriteBacks.count(r.body), 1u) << r.body; }
    }
    dir.Remove("nimbard.log");  // the check's requests, logged as a pass logs them
    // No temporary file left; the copy of a file the dialog could not read.
    EXPECT_EQ(dir.Listing(), after == "<missing>" ? "" : c.backup ? "nimbard-demo.json|nimbard-demo.json.bak" : "nimbard-demo.json");
    if (c.backup) { EXPECT_EQ(dir.ReadBytes("nimbard-demo.json.bak"), c.file); }
  }
}

// A server that holds every request until the test lets it go.
struct HeldServer {
  testing::ScriptedTransport transport;
  std::atomic<bool> release{false};
  HeldServer() {
    Script(transport, {});
    transport.onRequest = [this](const HttpRequest&) { while (!release) ::Sleep(5); };
  }
};

// Cancel while the check waits for a slow server: the dialog is gone within a second and nothing is written.
// Where typing goes: a new record (no file) starts at Provider, a file's records at the list; Tab walks a GoDaddy
// record's fields in the order they stand, to Save (Cloudflare's IDs between type and interval).
TEST(ConfigDialog, FocusAndTabOrder) {
  const struct { const char* name; std::string file; std::vector<int> order; } cases[] = {
      {"a new record", "", {IDC_CONFIG_PROVIDER, IDC_CONFIG_API_KEY, IDC_CONFIG_DOMAIN, IDC_CONFIG_RECORD, IDC_CONFIG_RECORD_KINDS, IDC_CONFIG_POLL_MINUTES, IDOK}},
      {"a file's Cloudflare record", LockedFile(L"cloudflare", L"z1", L"r1"),
       {IDC_CONFIG_RECORD_SELECTOR, IDC_CONFIG_ADD_NEW, IDC_CONFIG_REMOVE, IDC_CONFIG_API_KEY, IDC_CONFIG_DOMAIN, IDC_CONFIG_RECORD, IDC_CONFIG_RECORD_KINDS,
        IDC_CONFIG_ZONE_ID, IDC_CONFIG_RECORD_ID, IDC_CONFIG_POLL_MINUTES, IDOK}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testing::ScratchDir dir("dialog-focus");
    if (!c.file.empty()) dir.Write("nimbard-demo.json", c.file);
    std::vector<int> walked;
    RunDialog(ShowConfig, [&](DWORD thread, HWND dialog) {
      ::SendMessageW(dialog, WM_NULL, 0, 0);
      GUITHREADINFO gui{};
      gui.cbSize = sizeof gui;
      HWND at = ::GetGUIThreadInfo(thread, &gui) ? gui.hwndFocus : nullptr;
      while (at && walked.size() < c.order.size()) {
        walked.push_back(::GetDlgCtrlID(at));
        at = ::GetNextDlgTabItem(dialog, at, FALSE);
      }
    });
    EXPECT_EQ(walked, c.order);
  }
}

TEST(ConfigDialog, CancelDuringTheCheck) {
  testing::ScratchDir dir("dialog-cancel");
  HeldServer server;
  std::wstring seen;
  const INT_PTR result = RunDialog(ShowConfig, [&](DWORD thread, HWND dialog) {
    for (const Step& step : Typed({{kSaveNoWait, L""}, kLookStep, {kTimedCancel, L""}})) {
      const std::wstring shown = Act(thread, dialog, step);
      if (!shown.empty()) seen += (seen.empty() ? L"" : L" / ") + shown;
    }
  });
  server.release = true;
  EXPECT_EQ(seen + L" = " + std::to_wstring(result), L"*godaddy: example.com/www|------|GoDaddy|API key:secret:|key|example.com|www|||5|Checking the record with GoDaddy... / closed within a second = 2");
  EXPECT_EQ(dir.ReadBytes("nimbard-demo.json"), "<missing>");
}

// WM_APP + 1, the check's "look", posted by another program with made-up values, before and during a check: the
// dialog neither crashes nor changes (no box, the check still under way), and the check's own outcome still saves.
TEST(ConfigDialog, ForeignMessagesChangeNothing) {
  testing::ScratchDir dir("dialog-foreign");
  HeldServer server;
  std::wstring seen;
  const INT_PTR result = RunDialog(ShowConfig, [&](DWORD thread, HWND dialog) {
    const auto foreign = [&] {
      for (const auto& [w, l] : {std::pair<WPARAM, LPARAM>{0, 0}, {1, 0x12345678}, {~WPARAM(0), ~LPARAM(0)}}) {
        ::PostMessageW(dialog, WM_APP + 1, w, l);
      }
    };
    for (const Step& step : Typed({kLookStep, {kSaveNoWait, L""}, kLookStep})) {
      if (step.control == kSaveNoWait) foreign(), seen += L" = " + Act(thread, dialog, kLookStep) + L" / ";
      const std::wstring shown = Act(thread, dialog, step);
      if (step.control == kLook) seen += shown;
    }
    foreign();
    seen += L" = " + Act(thread, dialog, kLookStep);
    if (HWND box = AwaitDialog(thread, dialog, 10)) seen += L" / a box: " + BoxText(box);
    server.release = true;
    for (int tries = 500; tries > 0 && ::IsWindow(dialog); --tries) ::Sleep(10);
  });
  const std::wstring typed = L"*godaddy: /|++++-+|GoDaddy|API key:secret:|key|example.com|www|||5|";
  const std::wstring checking = L"*godaddy: example.com/www|------|GoDaddy|API key:secret:|key|example.com|www|||5|Checking the record with GoDaddy...";
  EXPECT_EQ(seen, typed + L" = " + typed + L" / " + checking + L" = " + checking);
  EXPECT_EQ(result, IDOK);
  EXPECT_NE(dir.ReadBytes("nimbard-demo.json"), "<missing>");
}

std::map<int, int> g_createdHeight;  // control id -> height at creation

TEST(ConfigDialog, TemplateGeometry) {
  // The dialog's client area, then its controls in template order (the tab order): id, class, the text shown with no
  // configuration file (a new GoDaddy record), and x, y, width, height in dialog units.
  const struct { int id; const wchar_t* kind; const wchar_t* text; RECT units; } windows[] = {
      {0, L"#32770", L"nimbard Configuration", {0, 0, 270, 290}},
      {-1, L"Static", L"Add or update a DNS A or AAAA record.", {10, 10, 250, 10}}, {-1, L"Static", L"Configured record:", {10, 28, 95, 8}},
      {IDC_CONFIG_RECORD_SELECTOR, L"ComboBox", L"godaddy: /", {110, 26, 150, 80}},
      {IDC_CONFIG_ADD_NEW, L"Button", L"Add New", {155, 44, 50, 14}},        {IDC_CONFIG_REMOVE, L"Button", L"Remove", {210, 44, 50, 14}},
      {-1, L"Static", L"Provider:", {10, 70, 95, 8}},
      {IDC_CONFIG_PROVIDER, L"ComboBox", L"GoDaddy", {110, 68, 150, 80}},   {IDC_CONFIG_API_KEY_LABEL, L"Static", L"API key:secret:", {10, 91, 95, 8}},
      {IDC_CONFIG_API_KEY, L"Edit", L"", {110, 89, 150, 14}},
      {IDC_CONFIG_API_KEY_HINT, L"Static", L"A Production key and its secret, as KEY:SECRET", {110, 105, 150, 16}},
      {-1, L"Static", L"Domain:", {10, 126, 95, 8}},                          {IDC_CONFIG_DOMAIN, L"Edit", L"", {110, 124, 150, 14}},
      {-1, L"Static", L"Record:", {10, 147, 95, 8}},                          {IDC_CONFIG_RECORD, L"Edit", L"", {110, 145, 150, 14}},
      {-1, L"Static", L"Record type:", {10, 168, 95, 8}},                     {IDC_CONFIG_RECORD_KINDS, L"ComboBox", L"IPv4 (A record)", {110, 166, 150, 80}},
      {IDC_CONFIG_ZONE_ID_LABEL, L"Static", L"Zone ID (Cloudflare):", {10, 189, 95, 8}}, {IDC_CONFIG_ZONE_ID, L"Edit", L"", {110, 187, 150, 14}},
      {IDC_CONFIG_RECORD_ID_LABEL, L"Static", L"Record ID (Cloudflare):", {10, 210, 95, 8}}, {IDC_CONFIG_RECORD_ID, L"Edit", L"", {110, 208, 150, 14}},
      {-1, L"Static", L"Poll interval (minutes):", {10, 231, 95, 8}},         {IDC_CONFIG_POLL_MINUTES, L"Edit", L"5", {110, 229, 150, 14}},
      {IDC_CONFIG_CHECK_STATUS, L"Static", L"", {10, 254, 250, 8}},
      {IDOK, L"Button", L"Save", {155, 268, 50, 14}},                         {IDCANCEL, L"Button", L"Cancel", {210, 268, 50, 14}},
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
    EXPECT_EQ(seen, L"About nimbard | icon | nimbard, Version " + WidenBytes(NIMBARD_VERSION_TEXT) + L" | OK | closed");
    if (command) { EXPECT_EQ(result, command); }
  }
}

}  // namespace
}  // namespace nimbard
