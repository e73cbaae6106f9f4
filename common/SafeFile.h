// Writing files so that a reader never meets a half-written one, alone or several together.
// Paths are UTF-16, as in FileContents.h.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kestrelwing::platform {

// Writes a file so that the old one is replaced only by a complete new one: the bytes go to a
// new temporary file in the same folder, which is flushed and then moved over the target in one
// step. Every failure leaves the target as it was and removes the temporary file.
class SafeFileWriter {
 public:
  SafeFileWriter() = default;
  ~SafeFileWriter() { Abandon(); }  // an uncommitted file goes
  SafeFileWriter(const SafeFileWriter&) = delete;
  SafeFileWriter& operator=(const SafeFileWriter&) = delete;

  bool Open(std::u16string_view path);
  bool Write(std::string_view bytes);
  // Flush and close the new file: it is complete, and only the replacement is left.
  bool Finish();
  // Move the finished file over the target (keeping the target's permissions on POSIX).
  bool Replace();
  bool Commit() { return Finish() && Replace(); }
  void Abandon();
  // One line saying what failed, after Open, Write or Commit answered false.
  const std::u16string& Error() const { return error_; }
  // The new file while it is not in place yet; after Finish it may be read by others.
  const std::u16string& PendingPath() const { return tempPath_; }
  bool Finished() const { return handle_ == -1 && !tempPath_.empty(); }

 private:
  // The failure of a step that leaves nothing worth keeping: its text, the file abandoned.
  bool Fail(std::u16string error) {
    error_ = std::move(error);
    Abandon();
    return false;
  }
  // A step taken out of turn; the text of an earlier failure stays.
  bool OutOfTurn(std::u16string_view error) {
    if (error_.empty()) error_ = error;
    return false;
  }

  std::intptr_t handle_ = -1;  // a file descriptor on POSIX, a HANDLE on Windows
  std::u16string path_;
  std::u16string tempPath_;
  std::u16string error_;
};

// Puts several files in place together: every one is finished first, and only when all are
// complete are they moved over their targets, in order. Nothing is replaced when one cannot be
// written. A replacement that fails after others succeeded cannot undo them (no system moves
// several files in one step); the files after it are abandoned. False with the failing file's
// Error().
bool CommitAll(std::span<SafeFileWriter* const> files, std::u16string& error);

// The files of one CommitAll, each written whole before any is put in place.
class FileBatch {
 public:
  // Writes bytes to a new file beside path. False with Error() when it cannot be written.
  bool Add(std::u16string_view path, std::string_view bytes);
  // Finishes every file added, so that it may be read before it is put in place; answers their
  // new paths in the order added, or nothing with Error().
  std::vector<std::u16string> Finish();
  // CommitAll of every file added; false with Error().
  bool Commit();
  const std::u16string& Error() const { return error_; }

 private:
  std::vector<std::unique_ptr<SafeFileWriter>> files_;
  std::u16string error_;
};

}  // namespace kestrelwing::platform
