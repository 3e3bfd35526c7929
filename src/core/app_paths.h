#pragma once
// Paths of the files the system keeps beside the executable. Built afresh at
// every use, so nothing caches a directory.
#include <string>
#include <string_view>

namespace nimbard {

// The folder of the installed service, for the processes that work on the
// service's files but may run from elsewhere ("--install" from the download
// folder, the monitor tray): from then on the configuration, log and status
// paths below name files in `directory` (ending in "\") instead of beside
// the executable. Set once by the entry, before any other thread starts.
void UseServiceFolder(const std::wstring& directory);
// Whether UseServiceFolder was called: the configuration is then the
// service's, which only administrators may read.
bool InServiceFolder();

// Full path of the configuration file: the executable's directory (or the
// service folder set above) followed by "nimbard-demo.json" (the bare file
// name when the directory is unknown).
std::wstring ConfigFilePath();

// The configuration file's directory (up to and including its last "\" or
// "/") followed by fileName; fileName alone when there is no separator.
std::wstring PathBesideConfig(const std::wstring& fileName);

// The part of path up to and including its last "\" or "/"; empty when
// the path holds neither.
std::wstring DirectoryPrefix(std::wstring_view path);

std::wstring LogFilePath();          // "nimbard.log"
std::wstring PreviousLogFilePath();  // "nimbard.1.log", what the log held before it last filled
std::wstring StatusFilePath();  // "nimbard.status"

}  // namespace nimbard
