#pragma once
// Paths of the files the system keeps beside the executable. Built afresh at
// every use, so nothing caches a directory.
#include <string>
#include <string_view>

namespace nimbard {

// Full path of the configuration file: the executable's directory followed
// by "nimbard-demo.json" (the bare file name when the directory is unknown).
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
