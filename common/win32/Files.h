// Queries on files that the desktop program and the tools share.
#pragma once

#include <optional>
#include <string>

#include "FileStamp.h"

namespace kestrelwing {

// True when a file, not a folder, is at path.
bool IsFile(const std::wstring& path);

// A file name or path in upper case as Windows compares file names: by the system's own table,
// which reaches beyond ASCII (é and É name the same file).
std::wstring FileNameUpper(const std::wstring& path);

// The stamp of the file at path; none when there is no such file (or it cannot be opened).
std::optional<FileStamp> StampOf(const std::wstring& path);

}  // namespace kestrelwing
