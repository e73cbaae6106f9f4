// Queries on files that the desktop program and the tools share.
#pragma once

#include <optional>
#include <string>

#include "FileStamp.h"

namespace kestrelwing {

// The stamp of the file at path; none when there is no such file (or it cannot be opened).
std::optional<FileStamp> StampOf(const std::wstring& path);

}  // namespace kestrelwing
