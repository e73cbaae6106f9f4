// What tells one version of a file from the next: its identity on its volume and its last write.
// A file replaced through a temporary file and a rename gets a new identity, so a stamp taken
// before a program runs shows whether that program wrote the file, even on file systems whose
// times are coarse.
#pragma once

#include <cstdint>
#include <optional>

namespace kestrelwing {

struct FileStamp {
  std::uint32_t volume = 0;
  std::uint64_t fileIndex = 0;
  std::uint64_t lastWrite = 0;  // FILETIME
  bool operator==(const FileStamp&) const = default;
};

// True when both stamps are of one file, whatever its paths (short names, letter case, hard links).
inline bool SameFile(const std::optional<FileStamp>& a, const std::optional<FileStamp>& b) {
  return a && b && a->volume == b->volume && a->fileIndex == b->fileIndex;
}

// True when a file is at path now and it is not the one `before` described.
inline bool WrittenSince(const std::optional<FileStamp>& before,
                         const std::optional<FileStamp>& now) {
  return now.has_value() && now != before;
}

}  // namespace kestrelwing
