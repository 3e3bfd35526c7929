// The command line selects exactly one mode.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "app/command_line.h"

namespace nimbard {
namespace {

TEST(CommandLine, SelectsOneMode) {
  const struct { Mode mode; std::vector<const wchar_t*> lines; } cases[] = {
      {Mode::Service, {L"--service", L"--SERVICE\r\n"}},
      {Mode::Install, {L"\t\r\n --Install \t\r\n"}},
      {Mode::Uninstall, {L"--uninstall"}},
      {Mode::TrayMonitor, {L"--TrAy"}},
      {Mode::Configure, {L"--configure "}},
      {Mode::StartService, {L"--start"}}, {Mode::StopService, {L" --STOP"}}, {Mode::RestartService, {L"--restart\r\n"}},
      // Anything that is not exactly one option; only blank, tab, CR and LF are trimmed.
      {Mode::TrayStandalone, {L"", nullptr, L" \t\r\n", L"--install now", L"--tray --service", L"/install",
                              L"--installx", L"--instal", L"--configure --install", L"--service\v", L"\u00A0--service",
                              L"--start --stop", L"--restarts"}},
  };
  for (const auto& c : cases) {
    for (const wchar_t* line : c.lines) EXPECT_EQ(ParseCommandLine(line), c.mode) << (line ? line : L"(null)");
  }
}

}  // namespace
}  // namespace nimbard
