#pragma once
#include <string>
namespace nimbard {
// The machine's public address as the echo service sees it, trimmed; empty
// when no answer was obtained. Not validated here.
std::wstring PublicIpLookup();
}  // namespace nimbard
