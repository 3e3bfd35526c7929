#pragma once
// Paths of the files the system keeps beside the executable. Built afresh at
// every use, so nothing caches a directory.
#include <string>

namespace nimbard {

// The configuration file's directory (up to and including its last "\" or
// "/") followed by fileName; fileName alone when there is no separator.
std::wstring PathBesideConfig(const std::wstring& fileName);

std::wstring LogFilePath();     // "nimbard.log"
std::wstring StatusFilePath();  // "nimbard.status"

}  // namespace nimbard
