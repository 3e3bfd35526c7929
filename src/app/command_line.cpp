#include "app/command_line.h"

#include <wchar.h>

#include "core/text.h"

namespace nimbard {

Mode ParseCommandLine(const wchar_t* commandLine) {
  const std::wstring trimmed = TrimWhitespace(commandLine ? commandLine : L"");
  struct Option {
    const wchar_t* text;
    Mode mode;
  };
  static constexpr Option kOptions[] = {
      {L"--service", Mode::Service},
      {L"--install", Mode::Install},
      {L"--uninstall", Mode::Uninstall},
      {L"--tray", Mode::TrayMonitor},
      {L"--configure", Mode::Configure},
      {L"--start", Mode::StartService},
      {L"--stop", Mode::StopService},
      {L"--restart", Mode::RestartService},
  };
  for (const Option& option : kOptions) {
    if (_wcsicmp(trimmed.c_str(), option.text) == 0) return option.mode;
  }
  return Mode::TrayStandalone;
}

}  // namespace nimbard
