#include "ui/config_dialog.h"

#include <commctrl.h>

#include <cerrno>
#include <cstdint>
#include <cwchar>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/app_paths.h"
#include "core/config_store.h"
#include "core/record_config.h"
#include "core/text.h"
#include "ui/resource.h"
#include "ui/save_check.h"

namespace nimbard {
namespace {

constexpr int kTextBufferUnits = 512;  // each box is read with at most 511 characters
constexpr int kCloudflareIndex = 1;  // provider list: 0 "GoDaddy", 1 "Cloudflare"
constexpr int kGoOnButton = 100;  // "Save anyway", "Save": the task dialogs' own button
// The end of the box after a check that proved only the right to read.
constexpr wchar_t kOnlyReadClosing[] =
    L"So nimbard could read the record but not try a change that leaves it as it is. Whether the key may change the "
    L"record shows at the first update; if it may not, the tray and the log say why.";
// Posted to the dialog by itself once it shows: "tell why the file was not read".
constexpr UINT kTellUnreadable = WM_APP + 2;

struct TextBox {
  int control;
  std::wstring RecordConfig::*field;
};
constexpr TextBox kTextBoxes[] = {
    {IDC_CONFIG_API_KEY, &RecordConfig::apiKey}, {IDC_CONFIG_DOMAIN, &RecordConfig::domain},
    {IDC_CONFIG_RECORD, &RecordConfig::recordName},  {IDC_CONFIG_ZONE_ID, &RecordConfig::zoneId},
    {IDC_CONFIG_RECORD_ID, &RecordConfig::recordId},
};

// The texts that follow the provider shown. Unknown: a provider the file
// names that this system does not know, kept as it is.
struct ProviderTexts {
  const wchar_t *keyLabel, *keyHint, *zoneIdLabel, *recordIdLabel;
};
constexpr ProviderTexts kCloudflareTexts{L"API token:", L"Made with the \"Edit zone DNS\" template, plus Zone, Zone, Read",
                                         L"Zone ID (optional):", L"Record ID (optional):"};
constexpr ProviderTexts kGoDaddyTexts{L"API key:secret:", L"A Production key and its secret, as KEY:SECRET",
                                      L"Zone ID (Cloudflare):", L"Record ID (Cloudflare):"};
constexpr ProviderTexts kUnknownTexts{L"API key:", L"", L"Zone ID:", L"Record ID:"};

// The record type list: which records of the name are kept.
struct RecordKinds {
  const wchar_t* label;
  bool ipv4, ipv6;
};
constexpr RecordKinds kRecordKinds[] = {
    {L"IPv4 (A record)", true, false}, {L"IPv6 (AAAA record)", false, true}, {L"Both", true, true}};
constexpr wchar_t kNoKindsText[] =
    L"Choose a record type: IPv4 (A record), IPv6 (AAAA record) or Both. nimbard keeps no record of a name that has "
    L"neither.";

// The list's entry for a record's kinds; none (-1, the list shows no choice)
// for a record of the file that keeps neither.
int KindsIndex(const RecordConfig& record) {
  for (int i = 0; i < static_cast<int>(ARRAYSIZE(kRecordKinds)); ++i) {
    if (kRecordKinds[i].ipv4 == record.ipv4 && kRecordKinds[i].ipv6 == record.ipv6) return i;
  }
  return -1;
}

// One record of the list: as edited, and as the file holds it (none for a
// record added here), with the object's text in the file, written back as it
// stands while the record is untouched.
struct Entry {
  RecordConfig record;
  std::optional<RecordConfig> saved;
  std::string text;
};

// Lives in the dialog's user-data slot from WM_INITDIALOG to WM_DESTROY.
struct DialogState {
  std::vector<Entry> entries;
  std::size_t shown = 0;  // the entry the boxes show
  // The file holds no record this system can read: Save keeps a copy of it.
  bool unreadable = false;
  bool toldUnreadable = false;
  // A Save under way: the records to write, the entries still to check and
  // which of them is at work.
  bool checking = false;
  unsigned run = 0;  // counts the runs: one started while outcomes are taken ends that
  StoredRecords toWrite;
  std::vector<std::size_t> toCheck;
  std::size_t next = 0;
  // The entries whose check could only read the record, and why.
  std::vector<std::pair<std::size_t, std::wstring>> onlyRead;
  HWND focusBefore = nullptr;
  SaveCheckRun checker;  // last: its thread ends before the rest goes
};

DialogState* StateOf(HWND dialog) { return reinterpret_cast<DialogState*>(::GetWindowLongPtrW(dialog, DWLP_USER)); }

std::wstring RecordLabel(const RecordConfig& record) { return record.provider + L": " + RecordPath(record); }

// A record of the file that a pass skips says what it lacks.
std::wstring EntryLabel(const Entry& entry) {
  const wchar_t* missing = entry.saved ? MissingField(entry.record) : nullptr;
  if (entry.saved && !missing && !entry.record.ipv4 && !entry.record.ipv6) missing = L"record type";
  return RecordLabel(entry.record) + (missing ? L" (no " + std::wstring(missing) + L")" : L"");
}

std::wstring BoxText(HWND dialog, int control) {
  wchar_t buffer[kTextBufferUnits] = {};
  const UINT length = ::GetDlgItemTextW(dialog, control, buffer, kTextBufferUnits);
  return std::wstring(buffer, length);
}

// As wcstoul reads it in base 10; no digits or a value beyond 32 bits gives
// the default, 0 gives 1, and the result is held to the bound the
// configuration reader applies, so the timers can count it.
std::uint32_t PollMinutesFromText(const std::wstring& text) {
  wchar_t* end = nullptr;
  errno = 0;
  const unsigned long value = std::wcstoul(text.c_str(), &end, 10);
  if (end == text.c_str() || errno == ERANGE) return kDefaultPollMinutes;  // unsigned long: 32 bits
  if (value < kMinPollMinutes) return kMinPollMinutes;
  return value > kMaxPollMinutes ? kMaxPollMinutes : static_cast<std::uint32_t>(value);
}

// What the check depends on (it looks up each record type kept); the
// interval alone needs no check.
bool SameForTheCheck(const RecordConfig& a, const RecordConfig& b) {
  return a.provider == b.provider && a.apiKey == b.apiKey && a.domain == b.domain && a.recordName == b.recordName &&
         a.zoneId == b.zoneId && a.recordId == b.recordId && a.ipv4 == b.ipv4 && a.ipv6 == b.ipv6;
}

// Every value the file keeps: an entry equal to what the file holds is
// written back as the file has it.
bool SameValues(const RecordConfig& a, const RecordConfig& b) {
  return SameForTheCheck(a, b) && a.providerLocked == b.providerLocked && a.pollMinutes == b.pollMinutes &&
         a.ttl == b.ttl && a.proxied == b.proxied;
}

void Warn(HWND dialog, const std::wstring& text) {
  ::MessageBoxW(dialog, text.c_str(), L"Invalid configuration", MB_OK | MB_ICONWARNING);
}

void ShowSaveFailed(HWND dialog) {
  ::MessageBoxW(dialog, L"The configuration file could not be saved.", L"Save failed", MB_OK | MB_ICONERROR);
}

// The provider of the record shown: a locked record's own, else the list's choice.
Provider ShownProvider(HWND dialog, const RecordConfig& record) {
  if (record.providerLocked) return ProviderOf(record);
  return ::SendDlgItemMessageW(dialog, IDC_CONFIG_PROVIDER, CB_GETCURSEL, 0, 0) == kCloudflareIndex ? Provider::Cloudflare
                                                                                                    : Provider::GoDaddy;
}

// A provider this system does not know is named as the file names it.
const wchar_t* ProviderName(const RecordConfig& record) {
  const wchar_t* name = ProviderDisplayName(ProviderOf(record));
  return name ? name : record.provider.c_str();
}

// Labels, hint and which controls take input, for the record shown and
// whether a check runs. Allocates nothing: also the way back after a failure.
void Refresh(HWND dialog, const DialogState& state) noexcept {
  const RecordConfig& record = state.entries[state.shown].record;
  const Provider provider = ShownProvider(dialog, record);
  const ProviderTexts& texts = provider == Provider::Cloudflare ? kCloudflareTexts
                               : provider == Provider::GoDaddy  ? kGoDaddyTexts
                                                                : kUnknownTexts;
  ::SetDlgItemTextW(dialog, IDC_CONFIG_API_KEY_LABEL, texts.keyLabel);
  ::SetDlgItemTextW(dialog, IDC_CONFIG_API_KEY_HINT, texts.keyHint);
  ::SetDlgItemTextW(dialog, IDC_CONFIG_ZONE_ID_LABEL, texts.zoneIdLabel);
  ::SetDlgItemTextW(dialog, IDC_CONFIG_RECORD_ID_LABEL, texts.recordIdLabel);

  const bool editing = !state.checking;
  for (const int id : {IDC_CONFIG_RECORD_SELECTOR, IDC_CONFIG_ADD_NEW, IDC_CONFIG_REMOVE, IDC_CONFIG_API_KEY,
                       IDC_CONFIG_DOMAIN, IDC_CONFIG_RECORD, IDC_CONFIG_RECORD_KINDS, IDC_CONFIG_POLL_MINUTES, IDOK}) {
    ::EnableWindow(::GetDlgItem(dialog, id), editing);
  }
  ::EnableWindow(::GetDlgItem(dialog, IDC_CONFIG_PROVIDER), editing && !record.providerLocked);
  // GoDaddy has no IDs: its boxes keep what they hold, greyed out.
  for (const int id : {IDC_CONFIG_ZONE_ID, IDC_CONFIG_ZONE_ID_LABEL, IDC_CONFIG_RECORD_ID, IDC_CONFIG_RECORD_ID_LABEL}) {
    ::EnableWindow(::GetDlgItem(dialog, id), editing && provider != Provider::GoDaddy);
  }
  if (!editing) {
    // The keyboard stays usable: Cancel takes the focus from a greyed control.
    const HWND focus = ::GetFocus();
    if (focus == nullptr || !::IsWindowEnabled(focus)) {
      ::SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(::GetDlgItem(dialog, IDCANCEL)), TRUE);
    }
  }
}

void Show(HWND dialog, DialogState& state, std::size_t index) {
  state.shown = index;
  const RecordConfig& record = state.entries[index].record;
  ::SendDlgItemMessageW(dialog, IDC_CONFIG_RECORD_SELECTOR, CB_SETCURSEL, index, 0);
  ::SendDlgItemMessageW(dialog, IDC_CONFIG_PROVIDER, CB_SETCURSEL, IsCloudflareRecord(record) ? kCloudflareIndex : 0, 0);
  for (const TextBox& box : kTextBoxes) ::SetDlgItemTextW(dialog, box.control, (record.*box.field).c_str());
  ::SendDlgItemMessageW(dialog, IDC_CONFIG_RECORD_KINDS, CB_SETCURSEL, static_cast<WPARAM>(KindsIndex(record)), 0);
  ::SetDlgItemTextW(dialog, IDC_CONFIG_POLL_MINUTES, DecimalText(record.pollMinutes).c_str());
  Refresh(dialog, state);
}

// The boxes into the shown entry, and its new label into the selector.
void StoreShown(HWND dialog, DialogState& state) {
  Entry& entry = state.entries[state.shown];
  RecordConfig& record = entry.record;
  // A record stays unlocked until a save succeeds, so that neither a
  // refused Save nor a look at another record fixes the provider. A name
  // the list shows as it is ("Cloudflare" for "cloudflare") stays as written.
  const Provider shown = ShownProvider(dialog, record);
  if (!record.providerLocked && shown != ProviderOf(record)) {
    record.provider = shown == Provider::Cloudflare ? L"cloudflare" : L"godaddy";
  }
  for (const TextBox& box : kTextBoxes) record.*box.field = TrimWhitespace(BoxText(dialog, box.control));
  record.pollMinutes = PollMinutesFromText(BoxText(dialog, IDC_CONFIG_POLL_MINUTES));
  // No choice made: the record keeps neither, as the file had it, and Save refuses it.
  const LRESULT kinds = ::SendDlgItemMessageW(dialog, IDC_CONFIG_RECORD_KINDS, CB_GETCURSEL, 0, 0);
  if (kinds >= 0 && kinds < static_cast<LRESULT>(ARRAYSIZE(kRecordKinds))) {
    record.ipv4 = kRecordKinds[kinds].ipv4;
    record.ipv6 = kRecordKinds[kinds].ipv6;
  }

  const HWND selector = ::GetDlgItem(dialog, IDC_CONFIG_RECORD_SELECTOR);
  const std::wstring label = EntryLabel(entry);
  ::SendMessageW(selector, CB_DELETESTRING, state.shown, 0);
  ::SendMessageW(selector, CB_INSERTSTRING, state.shown, reinterpret_cast<LPARAM>(label.c_str()));
  ::SendMessageW(selector, CB_SETCURSEL, state.shown, 0);
}

void AddEntry(HWND dialog, DialogState& state, Entry entry) {
  const std::wstring label = EntryLabel(entry);
  state.entries.push_back(std::move(entry));
  ::SendDlgItemMessageW(dialog, IDC_CONFIG_RECORD_SELECTOR, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(label.c_str()));
}

INT_PTR Initialise(HWND dialog) {
  auto owned = std::make_unique<DialogState>();
  DialogState& state = *owned;
  ::SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(owned.release()));

  const HWND provider = ::GetDlgItem(dialog, IDC_CONFIG_PROVIDER);
  for (const wchar_t* name : {L"GoDaddy", L"Cloudflare"}) {
    ::SendMessageW(provider, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
  }
  for (const RecordKinds& kinds : kRecordKinds) {
    ::SendDlgItemMessageW(dialog, IDC_CONFIG_RECORD_KINDS, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(kinds.label));
  }
  // Every record object of the file, complete or not: Save writes them all.
  RecordFile file = ReadRecordFile();
  for (StoredRecord& stored : file.records) {
    AddEntry(dialog, state, {stored.record, stored.record, std::move(stored.text)});
  }
  const bool newRecord = state.entries.empty();
  if (newRecord) AddEntry(dialog, state, {});  // a new record: godaddy, unlocked, 5 minutes
  Show(dialog, state, 0);
  if (file.state == RecordFile::State::Unreadable) {
    state.unreadable = true;
    ::PostMessageW(dialog, kTellUnreadable, 0, 0);  // once the dialog shows, above it
  }
  if (!newRecord) return TRUE;  // the focus on the first control: the list of records
  // Typing a first record starts with its provider.
  ::SetFocus(::GetDlgItem(dialog, IDC_CONFIG_PROVIDER));
  return FALSE;
}

void TellUnreadable(HWND dialog, DialogState& state) {
  if (!state.unreadable || state.toldUnreadable) return;
  state.toldUnreadable = true;
  // DialogBox shows the dialog only once its queue is empty: this box comes
  // first, so the dialog is shown now, under it.
  if (!::IsWindowVisible(dialog)) ::ShowWindow(dialog, SW_SHOW);
  const std::wstring text = L"nimbard could not read any record from " + ConfigFilePath() +
                            L": the file is empty, is not nimbard's JSON, or was saved as Unicode (UTF-16). "
                            L"The dialog starts with a new record. Save replaces the file and keeps the old one as "
                            L"nimbard-demo.json.bak beside it.";
  ::MessageBoxW(dialog, text.c_str(), L"Configuration file not read", MB_OK | MB_ICONWARNING);
}

void SelectRecord(HWND dialog, DialogState& state) {
  const LRESULT chosen = ::SendDlgItemMessageW(dialog, IDC_CONFIG_RECORD_SELECTOR, CB_GETCURSEL, 0, 0);
  if (chosen < 0 || static_cast<std::size_t>(chosen) >= state.entries.size()) return;
  StoreShown(dialog, state);
  Show(dialog, state, static_cast<std::size_t>(chosen));
}

void AddNew(HWND dialog, DialogState& state) {
  StoreShown(dialog, state);
  AddEntry(dialog, state, {});
  Show(dialog, state, state.entries.size() - 1);
  ::SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(::GetDlgItem(dialog, IDC_CONFIG_PROVIDER)), TRUE);
}

void Remove(HWND dialog, DialogState& state) {
  StoreShown(dialog, state);
  const std::wstring question = L"Remove " + RecordLabel(state.entries[state.shown].record) + L"?";
  if (::MessageBoxW(dialog, question.c_str(), L"Remove record", MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES) {
    return;
  }
  const std::size_t index = state.shown;
  state.entries.erase(state.entries.begin() + static_cast<std::ptrdiff_t>(index));
  ::SendDlgItemMessageW(dialog, IDC_CONFIG_RECORD_SELECTOR, CB_DELETESTRING, index, 0);
  // The file is written only on Save; an empty list edits a new record.
  if (state.entries.empty()) AddEntry(dialog, state, {});
  Show(dialog, state, index < state.entries.size() ? index : state.entries.size() - 1);
}

void Write(HWND dialog, DialogState& state) {
  for (StoredRecord& stored : state.toWrite) {
    if (stored.text.empty()) stored.record.providerLocked = true;
  }
  // A file the dialog could not read is kept whole before it is replaced.
  if (state.unreadable && !BackUpConfigFile()) {
    ShowSaveFailed(dialog);
    return;
  }
  if (SaveStoredRecords(state.toWrite)) {
    ::EndDialog(dialog, IDOK);
  } else {
    ShowSaveFailed(dialog);
  }
}

// A box of the check on Save that asks to go on (true) or go "Back". With no
// task dialog (no memory), a message box asks the same with Yes and No.
struct GoOnOrBack {
  const wchar_t* title;
  PCWSTR icon;
  const wchar_t* goOn;  // the button's label
  const wchar_t* fallbackQuestion;
  bool goOnByDefault;
};
bool AskGoOnOrBack(HWND dialog, const GoOnOrBack& box, const std::wstring& heading, const std::wstring& text) {
  const TASKDIALOG_BUTTON buttons[] = {{kGoOnButton, box.goOn}, {IDCANCEL, L"Back"}};
  TASKDIALOGCONFIG config{};
  config.cbSize = sizeof config;
  config.hwndParent = dialog;
  config.dwFlags = TDF_ALLOW_DIALOG_CANCELLATION | TDF_POSITION_RELATIVE_TO_WINDOW;
  config.pszWindowTitle = box.title;
  config.pszMainIcon = box.icon;
  config.pszMainInstruction = heading.empty() ? nullptr : heading.c_str();
  config.pszContent = text.c_str();
  config.cButtons = ARRAYSIZE(buttons);
  config.pButtons = buttons;
  config.nDefaultButton = box.goOnByDefault ? kGoOnButton : IDCANCEL;
  int pressed = IDCANCEL;
  if (SUCCEEDED(::TaskDialogIndirect(&config, &pressed, nullptr, nullptr))) return pressed == kGoOnButton;
  const std::wstring question = text + L"\n\n" + box.fallbackQuestion;
  const UINT style = box.icon == TD_WARNING_ICON ? MB_ICONWARNING : MB_ICONINFORMATION;
  return ::MessageBoxW(dialog, question.c_str(), box.title,
                       MB_YESNO | style | (box.goOnByDefault ? MB_DEFBUTTON1 : MB_DEFBUTTON2)) == IDYES;
}

const GoOnOrBack kCheckFailedBox{L"Check failed", TD_WARNING_ICON, L"Save anyway", L"Save anyway?", false};
const GoOnOrBack kOnlyReadBox{L"Only reading was checked", TD_INFORMATION_ICON, L"Save", L"Save?", true};

// "Save" (true) or "Back", after a check that proved only the right to read.
bool AskSaveReadOnly(HWND dialog, const DialogState& state) {
  std::wstring reasons;
  for (const auto& [item, reason] : state.onlyRead) {
    const std::wstring line = state.toCheck.size() > 1 ? RecordLabel(state.toWrite[item].record) + L": " + reason : reason;
    reasons += (reasons.empty() ? L"" : L"\n") + line;
  }
  return AskGoOnOrBack(dialog, kOnlyReadBox, L"", reasons + L"\n\n" + kOnlyReadClosing);
}

// Writes the file once every record is checked, unless the user goes back
// after a check that could only read.
void WriteChecked(HWND dialog, DialogState& state) {
  if (!state.onlyRead.empty() && !AskSaveReadOnly(dialog, state)) {
    Show(dialog, state, state.onlyRead.front().first);
    return;
  }
  Write(dialog, state);
}

void EndCheck(HWND dialog, DialogState& state) noexcept {
  state.checking = false;
  ::SetDlgItemTextW(dialog, IDC_CONFIG_CHECK_STATUS, L"");
  Refresh(dialog, state);
  if (state.focusBefore && ::IsWindowEnabled(state.focusBefore)) {
    ::SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(state.focusBefore), TRUE);
  }
}

void ShowCheckStatus(HWND dialog, const DialogState& state) {
  const RecordConfig& record = state.toWrite[state.toCheck[state.next]].record;
  // With several records to check, the line says which one is at work.
  const std::wstring text = state.toCheck.size() > 1
                                ? L"Checking " + RecordPath(record) + L" with " + ProviderName(record) + L"..."
                                : L"Checking the record with " + std::wstring(ProviderName(record)) + L"...";
  ::SetDlgItemTextW(dialog, IDC_CONFIG_CHECK_STATUS, text.c_str());
}

void CheckFailed(HWND dialog, DialogState& state, const std::wstring& explanation);

// Starts the check of the records from `toCheck[next]` on, or writes the
// file when none is left.
void CheckOrWrite(HWND dialog, DialogState& state) {
  if (state.next >= state.toCheck.size()) {
    WriteChecked(dialog, state);
    return;
  }
  std::vector<std::pair<std::size_t, RecordConfig>> records;
  for (std::size_t i = state.next; i < state.toCheck.size(); ++i) {
    records.emplace_back(state.toCheck[i], state.toWrite[state.toCheck[i]].record);
  }
  state.checking = true;
  ++state.run;
  if (!state.checker.Start(dialog, std::move(records))) {
    CheckFailed(dialog, state, L"nimbard could not run the check: Windows gave it no thread. Close other programs, "
                               L"then try again.");
    return;
  }
  const HWND focus = ::GetFocus();
  state.focusBefore = focus && ::IsChild(dialog, focus) ? focus : nullptr;
  Refresh(dialog, state);
  ShowCheckStatus(dialog, state);
}

void CheckFailed(HWND dialog, DialogState& state, const std::wstring& explanation) {
  const std::size_t item = state.toCheck[state.next];
  EndCheck(dialog, state);
  // With several records to check, the box says which one failed.
  const std::wstring heading =
      state.toCheck.size() > 1 ? L"The check of " + RecordLabel(state.toWrite[item].record) + L" failed." : L"";
  if (AskGoOnOrBack(dialog, kCheckFailedBox, heading, explanation)) {
    ++state.next;
    CheckOrWrite(dialog, state);
  } else {
    Show(dialog, state, item);
  }
}

INT_PTR Save(HWND dialog, DialogState& state) {
  if (state.checking) return TRUE;
  StoreShown(dialog, state);
  // A record as the file holds it is written back as it stands, complete or
  // not, unless it keeps no record type; a new or changed one must be
  // complete and savable.
  const auto untouched = [](const Entry& entry) { return entry.saved && SameValues(*entry.saved, entry.record); };
  for (std::size_t i = 0; i < state.entries.size(); ++i) {
    const RecordConfig& record = state.entries[i].record;
    if (!record.ipv4 && !record.ipv6) {
      Show(dialog, state, i);
      Warn(dialog, kNoKindsText);
      ::SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(::GetDlgItem(dialog, IDC_CONFIG_RECORD_KINDS)),
                     TRUE);
      return TRUE;
    }
    if (untouched(state.entries[i])) continue;
    if (!IsRecordComplete(record)) {
      Show(dialog, state, i);
      Warn(dialog, L"Complete the required fields for the selected provider.");
      return TRUE;
    }
    if (const wchar_t* field = FirstUnsavableField(record)) {
      Show(dialog, state, i);
      Warn(dialog, std::wstring(L"The ") + field +
                       L" field holds a character that cannot be saved: \"{\", \"}\" or a control character.");
      return TRUE;
    }
  }
  // Every record is written; the new and changed ones are tried first.
  state.toWrite.clear();
  state.toCheck.clear();
  state.onlyRead.clear();
  state.next = 0;
  for (std::size_t i = 0; i < state.entries.size(); ++i) {
    const Entry& entry = state.entries[i];
    state.toWrite.push_back({entry.record, untouched(entry) ? entry.text : std::string()});
    if (!entry.saved || !SameForTheCheck(*entry.saved, entry.record)) state.toCheck.push_back(i);
  }
  CheckOrWrite(dialog, state);
  return TRUE;
}

void CheckOutcome(HWND dialog, DialogState& state, const SaveCheckOutcome& outcome) {
  if (!outcome.check.passed) {
    CheckFailed(dialog, state, outcome.check.explanation);
    return;
  }
  // IDs found from the names stay out of the file: the service finds them
  // again, so that a record made anew in the dashboard is found again too.
  if (!outcome.check.onlyRead.empty()) state.onlyRead.emplace_back(outcome.item, outcome.check.onlyRead);
  ++state.next;
  if (state.next < state.toCheck.size()) {
    ShowCheckStatus(dialog, state);
    return;
  }
  EndCheck(dialog, state);
  WriteChecked(dialog, state);
}

// The outcomes the check has queued, in order, while the run that queued
// them is the one under way: outside a check there is nothing to take, and a
// look posted by anyone else finds nothing.
void TakeOutcomes(HWND dialog, DialogState& state) {
  const unsigned run = state.run;
  while (state.checking && state.run == run) {
    std::optional<SaveCheckOutcome> outcome = state.checker.TakeOutcome();
    if (!outcome) break;
    CheckOutcome(dialog, state, *outcome);
  }
  if (state.checking && state.run == run && state.checker.TakeBrokeOff()) {
    CheckFailed(dialog, state, L"nimbard could not finish the check: this computer is short of memory. Close other "
                               L"programs, then try again.");
  }
}

INT_PTR Command(HWND dialog, DialogState& state, WPARAM wParam) {
  const int control = LOWORD(wParam);
  if (HIWORD(wParam) == CBN_SELCHANGE) {
    if (control == IDC_CONFIG_RECORD_SELECTOR) SelectRecord(dialog, state);
    if (control == IDC_CONFIG_PROVIDER) Refresh(dialog, state);
    return TRUE;
  }
  switch (control) {
    case IDOK:
      return Save(dialog, state);
    case IDCANCEL:
      // Gives a check up at once; its outcome, should one still come, is stale.
      state.checker.Cancel();
      state.checking = false;
      ::EndDialog(dialog, IDCANCEL);
      return TRUE;
    case IDC_CONFIG_ADD_NEW:
      if (!state.checking) AddNew(dialog, state);
      return TRUE;
    case IDC_CONFIG_REMOVE:
      if (!state.checking) Remove(dialog, state);
      return TRUE;
    default:
      return FALSE;
  }
}

INT_PTR CALLBACK ConfigDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  DialogState* state = message == WM_INITDIALOG ? nullptr : StateOf(dialog);
  try {
    switch (message) {
      case WM_INITDIALOG:
        return Initialise(dialog);
      case WM_COMMAND:
        return state ? Command(dialog, *state, wParam) : FALSE;
      case kSaveCheckLook:
        if (state) TakeOutcomes(dialog, *state);
        return TRUE;
      case kTellUnreadable:
        if (state) TellUnreadable(dialog, *state);
        return TRUE;
      case WM_DESTROY: {
        // Taken back from the cleared slot and deleted with its owner: the
        // check is given up and its thread ended before its queue goes.
        std::unique_ptr<DialogState> owned(reinterpret_cast<DialogState*>(::SetWindowLongPtrW(dialog, DWLP_USER, 0)));
        return FALSE;
      }
      default:
        return FALSE;
    }
  } catch (...) {
    // Only allocations throw here. A dialog that could not be filled counts
    // as one that could not be created; a Save cut short as a failed save.
    if (message == WM_INITDIALOG) ::EndDialog(dialog, -1);
    if (message == WM_COMMAND || message == kSaveCheckLook) {
      if (state && state->checking) {
        state->checker.Cancel();
        EndCheck(dialog, *state);
      }
      ShowSaveFailed(dialog);
    }
    return TRUE;
  }
}

}  // namespace

INT_PTR ShowConfigDialog(HINSTANCE instance, HWND owner) {
  return ::DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_CONFIG), owner, ConfigDlgProc, 0);
}

}  // namespace nimbard
