// Checks the resources of a built nimbard.exe (or any module built from the
// same resource script) through Windows' own resource loader: the strings,
// menu and accelerators the tray window class uses, both application icons
// and the tray's warning icon with every image they must hold, the About
// box's version, the manifest and the version information.
//
//   resource_check.exe PATH...
//
// Prints one "ok" or "FAIL" line per check and "N failed" per module; with
// several modules each part starts with "== PATH". Exits with the number of
// modules that failed a check (0 when everything is in place).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "version_info.h"

namespace {

int g_failures = 0;

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                              nullptr, nullptr);
  std::string out(n > 0 ? n : 0, '\0');
  if (n > 0)
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n,
                        nullptr, nullptr);
  return out;
}

void Report(bool ok, const std::string& what, const std::string& detail = {}) {
  std::printf("%s %s%s%s\n", ok ? "ok  " : "FAIL", what.c_str(), detail.empty() ? "" : ": ",
              detail.c_str());
  if (!ok) ++g_failures;
}

struct Blob {
  const unsigned char* data = nullptr;
  DWORD size = 0;
};

Blob FindData(HMODULE module, LPCWSTR type, LPCWSTR name) {
  HRSRC info = FindResourceW(module, name, type);
  if (!info) return {};
  HGLOBAL loaded = LoadResource(module, info);
  if (!loaded) return {};
  return {static_cast<const unsigned char*>(LockResource(loaded)), SizeofResource(module, info)};
}

WORD ReadU16(const unsigned char* p) { return static_cast<WORD>(p[0] | (p[1] << 8)); }
DWORD ReadU32(const unsigned char* p) {
  return static_cast<DWORD>(p[0]) | (static_cast<DWORD>(p[1]) << 8) |
         (static_cast<DWORD>(p[2]) << 16) | (static_cast<DWORD>(p[3]) << 24);
}
DWORD ReadU32BigEndian(const unsigned char* p) {
  return (static_cast<DWORD>(p[0]) << 24) | (static_cast<DWORD>(p[1]) << 16) |
         (static_cast<DWORD>(p[2]) << 8) | static_cast<DWORD>(p[3]);
}

// ------------------------------------------------------------------ strings

void CheckStrings(HMODULE module) {
  const struct {
    UINT id;
    const wchar_t* text;
  } kStrings[] = {{103, L"nimbard"}, {109, L"NIMBARD"}};
  for (const auto& want : kStrings) {
    wchar_t buffer[100] = {};
    int n = LoadStringW(module, want.id, buffer, 100);
    std::wstring got(buffer, n > 0 ? n : 0);
    Report(got == want.text, "string " + std::to_string(want.id),
           "\"" + Utf8(got) + "\", want \"" + Utf8(want.text) + "\"");
  }
}

// --------------------------------------------------------------------- menu

struct MenuLine {
  int depth;
  std::wstring text;
  UINT id;  // 0 for a popup
  bool operator==(const MenuLine& o) const {
    return depth == o.depth && text == o.text && id == o.id;
  }
};

void FlattenMenu(HMENU menu, int depth, std::vector<MenuLine>& out) {
  int count = GetMenuItemCount(menu);
  for (int i = 0; i < count && depth < 4; ++i) {
    wchar_t text[128] = {};
    MENUITEMINFOW item = {};
    item.cbSize = sizeof item;
    item.fMask = MIIM_STRING | MIIM_ID | MIIM_SUBMENU;
    item.dwTypeData = text;
    item.cch = 127;
    if (!GetMenuItemInfoW(menu, i, TRUE, &item)) {
      out.push_back({depth, L"<unreadable>", 0});
      continue;
    }
    out.push_back({depth, text, item.hSubMenu ? 0 : item.wID});
    if (item.hSubMenu) FlattenMenu(item.hSubMenu, depth + 1, out);
  }
}

void CheckMenu(HMODULE module) {
  const std::vector<MenuLine> want = {
      {0, L"&File", 0}, {1, L"E&xit", 105}, {0, L"&Help", 0}, {1, L"&About ...", 104}};
  HMENU menu = LoadMenuW(module, MAKEINTRESOURCEW(109));
  if (!menu) {
    Report(false, "menu 109", "missing");
    return;
  }
  std::vector<MenuLine> got;
  FlattenMenu(menu, 0, got);
  DestroyMenu(menu);
  std::string shown;
  for (const auto& line : got)
    shown += std::string(line.depth * 2, ' ') + "\"" + Utf8(line.text) + "\" " +
             std::to_string(line.id) + "; ";
  Report(got == want, "menu 109", shown);
}

// ------------------------------------------------------------- accelerators

void CheckAccelerators(HMODULE module) {
  // Character keys (no FVIRTKEY), Alt only, both for About.
  const ACCEL want[] = {{FALT, '?', 104}, {FALT, '/', 104}};
  HACCEL table = LoadAcceleratorsW(module, MAKEINTRESOURCEW(109));
  if (!table) {
    Report(false, "accelerators 109", "missing");
    return;
  }
  int count = CopyAcceleratorTableW(table, nullptr, 0);
  std::vector<ACCEL> got(count > 0 ? count : 0);
  if (count > 0) CopyAcceleratorTableW(table, got.data(), count);
  DestroyAcceleratorTable(table);
  bool same = got.size() == sizeof want / sizeof want[0];
  std::string shown;
  for (size_t i = 0; i < got.size(); ++i) {
    BYTE flags = got[i].fVirt & 0x7F;  // 0x80 only marks the table's last entry
    shown += "flags " + std::to_string(flags) + " key " + std::to_string(got[i].key) + " cmd " +
             std::to_string(got[i].cmd) + "; ";
    if (same)
      same = flags == want[i].fVirt && got[i].key == want[i].key && got[i].cmd == want[i].cmd;
  }
  Report(same, "accelerators 109", shown);
}

// -------------------------------------------------------------------- icons

struct ImageFacts {
  bool readable = false;
  bool png = false;
  int width = 0, height = 0, bits = 0;
  double opaqueShare = -1;  // bitmaps only: share of pixels that are drawn
};

// Reads the header of one icon image: a PNG stream or a DIB whose height
// counts the colour rows and the mask rows.
ImageFacts DescribeImage(const unsigned char* p, DWORD size) {
  ImageFacts f;
  static const unsigned char kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (size >= 33 && std::memcmp(p, kPng, 8) == 0 && std::memcmp(p + 12, "IHDR", 4) == 0) {
    f.png = true;
    f.width = static_cast<int>(ReadU32BigEndian(p + 16));
    f.height = static_cast<int>(ReadU32BigEndian(p + 20));
    int depth = p[24], colourType = p[25];
    int channels = colourType == 6 ? 4 : colourType == 2 ? 3 : colourType == 4 ? 2 : 1;
    f.bits = depth * channels;
    f.readable = true;
    return f;
  }
  if (size < 40 || ReadU32(p) != 40) return f;
  f.width = static_cast<int>(ReadU32(p + 4));
  int fullHeight = static_cast<int>(ReadU32(p + 8));
  f.height = fullHeight / 2;
  f.bits = ReadU16(p + 14);
  if (f.width <= 0 || f.width > 256 || f.height != f.width || (f.bits != 8 && f.bits != 32))
    return f;
  DWORD paletteEntries = f.bits == 8 ? (ReadU32(p + 32) ? ReadU32(p + 32) : 256) : 0;
  if (paletteEntries > 256) return f;
  DWORD paletteBytes = paletteEntries * 4;
  DWORD colourStride = ((f.width * f.bits + 31) / 32) * 4;
  DWORD maskStride = ((f.width + 31) / 32) * 4;
  DWORD colourAt = 40 + paletteBytes;
  DWORD maskAt = colourAt + colourStride * f.height;
  if (maskAt + maskStride * f.height > size) return f;
  f.readable = true;
  int drawn = 0;
  for (int y = 0; y < f.height; ++y)
    for (int x = 0; x < f.width; ++x) {
      bool masked = (p[maskAt + y * maskStride + x / 8] >> (7 - x % 8)) & 1;
      bool visible = f.bits == 32 ? p[colourAt + y * colourStride + x * 4 + 3] >= 128 : !masked;
      drawn += visible ? 1 : 0;
    }
  f.opaqueShare = static_cast<double>(drawn) / (f.width * f.height);
  return f;
}

#pragma pack(push, 2)
struct GroupEntry {
  BYTE width, height, colours, reserved;
  WORD planes, bits;
  DWORD bytes;
  WORD id;
};
#pragma pack(pop)

struct IconImageRef {
  int size, bits;
  Blob data;
};

// Checks one icon's directory and images. With `reference`, every image must
// also be byte for byte the one of the same size and depth in the reference
// icon. Returns the icon's images.
std::vector<IconImageRef> CheckIcon(HMODULE module, UINT iconId,
                                    const std::vector<IconImageRef>* reference) {
  std::vector<IconImageRef> images;
  const std::string name = "icon " + std::to_string(iconId);
  // 256, 48, 32 and 16 pixels in 8 and 32 bits, 64 pixels in 32 bits only.
  std::vector<std::pair<int, int>> want = {{16, 8},  {16, 32}, {32, 8},  {32, 32}, {48, 8},
                                           {48, 32}, {64, 32}, {256, 8}, {256, 32}};
  Blob group = FindData(module, MAKEINTRESOURCEW(14), MAKEINTRESOURCEW(iconId));
  if (!group.data || group.size < 6 || ReadU16(group.data) != 0 || ReadU16(group.data + 2) != 1) {
    Report(false, name, "no icon directory");
    return images;
  }
  WORD count = ReadU16(group.data + 4);
  if (group.size < 6 + count * sizeof(GroupEntry)) {
    Report(false, name, "directory cut short");
    return images;
  }
  std::vector<GroupEntry> entries(count);
  std::memcpy(entries.data(), group.data + 6, count * sizeof(GroupEntry));

  std::vector<std::pair<int, int>> listed;
  for (const auto& e : entries) listed.push_back({e.width ? e.width : 256, e.bits});
  std::sort(listed.begin(), listed.end());
  std::string shown;
  for (const auto& l : listed)
    shown += std::to_string(l.first) + "px/" + std::to_string(l.second) + "bit ";
  Report(listed == want, name + " images", shown);

  for (const auto& e : entries) {
    int size = e.width ? e.width : 256;
    std::string image =
        name + " " + std::to_string(size) + "px/" + std::to_string(e.bits) + "bit";
    Blob data = FindData(module, RT_ICON, MAKEINTRESOURCEW(e.id));
    if (!data.data) {
      Report(false, image, "image " + std::to_string(e.id) + " missing");
      continue;
    }
    images.push_back({size, e.bits, data});
    if (reference) {
      bool same = false;
      for (const auto& r : *reference)
        if (r.size == size && r.bits == e.bits && r.data.size == data.size)
          same = same || std::memcmp(r.data.data, data.data, data.size) == 0;
      Report(same, image + " same as in the large icon");
    }
    ImageFacts f = DescribeImage(data.data, data.size);
    bool matches = f.readable && data.size == e.bytes && f.width == size && f.height == size &&
                   f.bits == e.bits && (e.width ? e.height == e.width : e.height == 0);
    // A picture that is all but empty or fills its whole square is not the artwork.
    bool drawn = f.png || (f.opaqueShare >= 0.10 && f.opaqueShare <= 0.95);
    HICON icon = CreateIconFromResourceEx(const_cast<PBYTE>(data.data), data.size, TRUE,
                                          0x00030000, size, size, LR_DEFAULTCOLOR);
    if (icon) DestroyIcon(icon);
    char detail[160];
    std::snprintf(detail, sizeof detail, "%s %dx%d %d bit, %lu of %lu bytes, drawn %.2f, %s",
                  f.png ? "png" : "dib", f.width, f.height, f.bits,
                  static_cast<unsigned long>(data.size), static_cast<unsigned long>(e.bytes),
                  f.opaqueShare, icon ? "loads" : "does not load");
    Report(matches && drawn && icon, image, detail);
  }

  // What a window class or the notification area asks for must be found.
  for (int size : {16, 32, 48, 256}) {
    HANDLE icon = LoadImageW(module, MAKEINTRESOURCEW(iconId), IMAGE_ICON, size, size, 0);
    int chosen = LookupIconIdFromDirectoryEx(const_cast<PBYTE>(group.data), TRUE, size, size,
                                             LR_DEFAULTCOLOR);
    int chosenSize = 0;
    for (const auto& e : entries)
      if (e.id == chosen) chosenSize = e.width ? e.width : 256;
    Report(icon && chosenSize == size, name + " at " + std::to_string(size) + "px",
           std::string(icon ? "loads" : "does not load") + ", directory picks " +
               std::to_string(chosenSize) + "px");
    if (icon) DestroyIcon(static_cast<HICON>(icon));
  }
  return images;
}

// The tray's warning icon (111): its own nine images, every one drawn
// differently from the application icon's of the same size and depth.
void CheckWarningIcon(HMODULE module, const std::vector<IconImageRef>& application) {
  for (const auto& image : CheckIcon(module, 111, nullptr)) {
    bool same = false;
    for (const auto& a : application)
      same = same || (a.size == image.size && a.bits == image.bits && a.data.size == image.data.size &&
                      std::memcmp(a.data.data, image.data.data, image.data.size) == 0);
    Report(!same, "icon 111 " + std::to_string(image.size) + "px/" + std::to_string(image.bits) +
                      "bit differs from the application icon");
  }
}

// ---------------------------------------------------------------- About box

// The About box (dialog 103) names the version as the release package does.
void CheckAboutVersion(HMODULE module) {
  Blob dialog = FindData(module, RT_DIALOG, MAKEINTRESOURCEW(103));
  const std::wstring want = L"nimbard, Version " NIMBARD_VERSION_TEXT;
  const auto* units = reinterpret_cast<const wchar_t*>(dialog.data);
  const std::wstring text(units ? units : L"", units ? dialog.size / sizeof(wchar_t) : 0);
  Report(text.find(want + L'\0') != std::wstring::npos, "about box version", Utf8(want));
}

// ----------------------------------------------------------------- manifest

BOOL CALLBACK CountName(HMODULE, LPCWSTR, LPWSTR, LONG_PTR counter) {
  ++*reinterpret_cast<int*>(counter);
  return TRUE;
}

void CheckManifest(HMODULE module) {
  int manifests = 0;
  EnumResourceNamesW(module, MAKEINTRESOURCEW(24), CountName, reinterpret_cast<LONG_PTR>(&manifests));
  Report(manifests == 1, "manifest count", std::to_string(manifests));
  Blob blob = FindData(module, MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1));
  if (!blob.data) {
    Report(false, "manifest", "no manifest 1");
    return;
  }
  std::string xml(reinterpret_cast<const char*>(blob.data), blob.size);
  const struct {
    const char* what;
    const char* needle;
    bool present;
  } kRules[] = {
      {"as invoker", "<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>", true},
      {"segment heap",
       "<heapType xmlns=\"http://schemas.microsoft.com/SMI/2020/WindowsSettings\">SegmentHeap</"
       "heapType>",
       true},
      {"windows 10 and 11", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}", true},
      {"windows 8.1", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}", true},
      {"common controls 6",
       "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"", true},
      {"never elevated", "requireAdministrator", false},
      {"never elevated", "highestAvailable", false},
      {"no UI access", "uiAccess=\"true\"", false},
  };
  for (const auto& rule : kRules) {
    bool found = xml.find(rule.needle) != std::string::npos;
    Report(found == rule.present, std::string("manifest ") + rule.what,
           std::string(rule.present ? "needs " : "must not have ") + rule.needle);
  }
  Report(xml.compare(0, 5, "<?xml") == 0, "manifest has no byte order mark or blank before XML");
}

// ------------------------------------------------------------------ version

void CheckVersion(const std::wstring& path) {
  // version.dll is loaded at run time so this helper needs no extra import library.
  HMODULE lib = LoadLibraryW(L"version.dll");
  using SizeFn = DWORD(WINAPI*)(LPCWSTR, LPDWORD);
  using InfoFn = BOOL(WINAPI*)(LPCWSTR, DWORD, DWORD, LPVOID);
  using QueryFn = BOOL(WINAPI*)(LPCVOID, LPCWSTR, LPVOID*, PUINT);
  auto size = lib ? reinterpret_cast<SizeFn>(reinterpret_cast<void*>(GetProcAddress(lib, "GetFileVersionInfoSizeW"))) : nullptr;
  auto info = lib ? reinterpret_cast<InfoFn>(reinterpret_cast<void*>(GetProcAddress(lib, "GetFileVersionInfoW"))) : nullptr;
  auto query = lib ? reinterpret_cast<QueryFn>(reinterpret_cast<void*>(GetProcAddress(lib, "VerQueryValueW"))) : nullptr;
  if (!size || !info || !query) {
    Report(false, "version", "version.dll unavailable");
    return;
  }
  DWORD handle = 0;
  DWORD bytes = size(path.c_str(), &handle);
  std::vector<unsigned char> block(bytes);
  if (!bytes || !info(path.c_str(), 0, bytes, block.data())) {
    Report(false, "version", "no version information");
    return;
  }
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT fixedSize = 0;
  bool fixedOk = query(block.data(), L"\\", reinterpret_cast<LPVOID*>(&fixed), &fixedSize) &&
                 fixed && fixedSize >= sizeof *fixed && fixed->dwSignature == 0xFEEF04BD;
  // The project's version, as the build that made this helper configured it.
  const DWORD wantMS = MAKELONG(NIMBARD_VERSION_MINOR, NIMBARD_VERSION_MAJOR);
  const DWORD wantLS = MAKELONG(0, NIMBARD_VERSION_PATCH);
  Report(fixedOk && fixed->dwFileVersionMS == wantMS && fixed->dwFileVersionLS == wantLS &&
             fixed->dwProductVersionMS == wantMS && fixed->dwProductVersionLS == wantLS,
         "version numbers " NIMBARD_FILE_VERSION_TEXT);

  WORD* translation = nullptr;
  UINT translationSize = 0;
  bool english = query(block.data(), L"\\VarFileInfo\\Translation",
                       reinterpret_cast<LPVOID*>(&translation), &translationSize) &&
                 translationSize >= 4 && translation[0] == 0x0409 && translation[1] == 1200;
  Report(english, "version translation US English, Unicode");

  const struct {
    const wchar_t* key;
    const wchar_t* text;  // null: any non-empty text
  } kValues[] = {
      {L"ProductName", L"nimbard"},
      {L"FileDescription", L"nimbard dynamic DNS updater"},
      {L"FileVersion", L"" NIMBARD_FILE_VERSION_TEXT},
      {L"ProductVersion", L"" NIMBARD_FILE_VERSION_TEXT},
      {L"OriginalFilename", L"nimbard.exe"},
      {L"InternalName", L"nimbard"},
      {L"CompanyName", nullptr},
      {L"LegalCopyright", nullptr},
  };
  for (const auto& v : kValues) {
    std::wstring key = std::wstring(L"\\StringFileInfo\\040904B0\\") + v.key;
    wchar_t* text = nullptr;
    UINT length = 0;
    std::wstring got;
    if (query(block.data(), key.c_str(), reinterpret_cast<LPVOID*>(&text), &length) && text)
      got = text;
    bool ok = v.text ? got == v.text : !got.empty();
    Report(ok, "version " + Utf8(v.key), "\"" + Utf8(got) + "\"");
  }
}

// Runs every check on one module; returns the number that failed.
int CheckModule(const std::wstring& path) {
  g_failures = 0;
  HMODULE module = LoadLibraryExW(path.c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (!module) {
    Report(false, "load", "error " + std::to_string(GetLastError()));
    return g_failures;
  }
  CheckStrings(module);
  CheckMenu(module);
  CheckAccelerators(module);
  std::vector<IconImageRef> large = CheckIcon(module, 107, nullptr);
  CheckIcon(module, 108, &large);
  CheckWarningIcon(module, large);
  CheckAboutVersion(module);
  CheckManifest(module);
  CheckVersion(path);
  FreeLibrary(module);
  return g_failures;
}

}  // namespace

int main() {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv || argc < 2) {
    std::fprintf(stderr, "usage: resource_check PATH...\n");
    return 2;
  }
  int failedModules = 0;
  for (int i = 1; i < argc; ++i) {
    if (argc > 2) std::printf("== %s\n", Utf8(argv[i]).c_str());
    int failed = CheckModule(argv[i]);
    std::printf("%d failed\n", failed);
    failedModules += failed ? 1 : 0;
  }
  LocalFree(argv);
  std::fflush(stdout);
  return std::min(failedModules, 100);
}
