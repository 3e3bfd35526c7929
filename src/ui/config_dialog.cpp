#include "ui/config_dialog.h"

#include <cerrno>
#include <cstdint>
#include <cwchar>
#include <memory>
#include <string>

#include "core/config_store.h"
#include "core/record_config.h"
#include "core/text.h"
#include "ui/resource.h"

namespace nimbard {
namespace {

constexpr int kTextBufferUnits = 512;  // each box is read with at most 511 characters
constexpr int kCloudflareIndex = 1;  // provider list: 0 "GoDaddy", 1 "Cloudflare"

struct TextBox {
  int control;
  std::wstring RecordConfig::*field;
};
constexpr TextBox kTextBoxes[] = {
    {IDC_CONFIG_API_KEY, &RecordConfig::apiKey}, {IDC_CONFIG_DOMAIN, &RecordConfig::domain},
    {IDC_CONFIG_RECORD, &RecordConfig::recordName},  {IDC_CONFIG_ZONE_ID, &RecordConfig::zoneId},
    {IDC_CONFIG_RECORD_ID, &RecordConfig::recordId},
};

// The working list lives in the dialog's user-data slot from WM_INITDIALOG
// to WM_DESTROY.
RecordList* WorkingList(HWND dialog) {
  return reinterpret_cast<RecordList*>(::GetWindowLongPtrW(dialog, DWLP_USER));
}

std::wstring RecordLabel(const RecordConfig& record) { return record.provider + L": " + RecordPath(record); }

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

void Warn(HWND dialog, const std::wstring& text) {
  ::MessageBoxW(dialog, text.c_str(), L"Invalid configuration", MB_OK | MB_ICONWARNING);
}

void ShowSaveFailed(HWND dialog) {
  ::MessageBoxW(dialog, L"The configuration file could not be saved.", L"Save failed", MB_OK | MB_ICONERROR);
}

INT_PTR Initialise(HWND dialog) {
  auto owned = std::make_unique<RecordList>();
  if (!LoadRecords(*owned)) owned->emplace_back();  // a new record: godaddy, unlocked, 5 minutes
  const RecordList& list = *owned;
  ::SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(owned.release()));

  const HWND provider = ::GetDlgItem(dialog, IDC_CONFIG_PROVIDER);
  for (const wchar_t* name : {L"GoDaddy", L"Cloudflare"}) {
    ::SendMessageW(provider, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
  }
  const HWND selector = ::GetDlgItem(dialog, IDC_CONFIG_RECORD_SELECTOR);
  for (const RecordConfig& record : list) {
    ::SendMessageW(selector, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(RecordLabel(record).c_str()));
  }
  ::SendMessageW(selector, CB_SETCURSEL, 0, 0);

  const RecordConfig& first = list.front();
  ::SendMessageW(provider, CB_SETCURSEL, IsCloudflareRecord(first) ? kCloudflareIndex : 0, 0);
  // This edition edits the first record only: the selector just lists them.
  ::EnableWindow(selector, FALSE);
  ::EnableWindow(::GetDlgItem(dialog, IDC_CONFIG_ADD_NEW), FALSE);
  ::EnableWindow(provider, !first.providerLocked);
  for (const TextBox& box : kTextBoxes) ::SetDlgItemTextW(dialog, box.control, (first.*box.field).c_str());
  ::SetDlgItemTextW(dialog, IDC_CONFIG_POLL_MINUTES, DecimalText(first.pollMinutes).c_str());
  return TRUE;
}

INT_PTR Save(HWND dialog) {
  const RecordList* list = WorkingList(dialog);
  if (!list) return FALSE;
  const LRESULT index = ::SendDlgItemMessageW(dialog, IDC_CONFIG_RECORD_SELECTOR, CB_GETCURSEL, 0, 0);
  if (index < 0 || static_cast<std::size_t>(index) >= list->size()) return TRUE;

  // A copy takes the input: the working record stays unlocked until a save
  // succeeds, so a refused Save does not fix the provider chosen at it.
  RecordList saved = *list;
  RecordConfig& record = saved[static_cast<std::size_t>(index)];
  if (!record.providerLocked) {
    const LRESULT choice = ::SendDlgItemMessageW(dialog, IDC_CONFIG_PROVIDER, CB_GETCURSEL, 0, 0);
    record.provider = choice == kCloudflareIndex ? L"cloudflare" : L"godaddy";
  }
  for (const TextBox& box : kTextBoxes) record.*box.field = TrimWhitespace(BoxText(dialog, box.control));
  record.pollMinutes = PollMinutesFromText(BoxText(dialog, IDC_CONFIG_POLL_MINUTES));

  if (!IsRecordComplete(record)) {
    Warn(dialog, L"Complete the required fields for the selected provider.");
    return TRUE;
  }
  if (const wchar_t* field = FirstUnsavableField(record)) {
    Warn(dialog, std::wstring(L"The ") + field +
                     L" field holds a character that cannot be saved: \"{\", \"}\" or a control character.");
    return TRUE;
  }
  record.providerLocked = true;
  if (SaveRecords(saved)) {
    ::EndDialog(dialog, IDOK);
  } else {
    ShowSaveFailed(dialog);
  }
  return TRUE;
}

INT_PTR CALLBACK ConfigDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  try {
    switch (message) {
      case WM_INITDIALOG:
        return Initialise(dialog);
      case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) return Save(dialog);
        if (LOWORD(wParam) != IDCANCEL) return FALSE;  // "Add New" and the rest do nothing
        ::EndDialog(dialog, IDCANCEL);
        return TRUE;
      case WM_DESTROY: {
        // Taken back from the cleared slot and deleted with its owner.
        const std::unique_ptr<RecordList> list(
            reinterpret_cast<RecordList*>(::SetWindowLongPtrW(dialog, DWLP_USER, 0)));
        return FALSE;
      }
      default:
        return FALSE;
    }
  } catch (...) {
    // Only allocations throw here. A dialog that could not be filled counts
    // as one that could not be created; a Save cut short as a failed save.
    if (message == WM_INITDIALOG) ::EndDialog(dialog, -1);
    if (message == WM_COMMAND) ShowSaveFailed(dialog);
    return TRUE;
  }
}

}  // namespace

INT_PTR ShowConfigDialog(HINSTANCE instance, HWND owner) {
  return ::DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_CONFIG), owner, ConfigDlgProc, 0);
}

}  // namespace nimbard
