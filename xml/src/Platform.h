// Everything the library needs from the operating system. Paths are UTF-16 here: the POSIX side
// hands them to the system as UTF-8, the Win32 side uses the wide (W) functions.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kestrelwing::platform {

// True when a file or folder exists at path.
bool FileExists(std::u16string_view path);

// The whole content of a regular file; none when it cannot be read (missing, a folder, locked).
std::optional<std::vector<std::uint8_t>> ReadWholeFile(std::u16string_view path);

// The system's narrow code page: the ANSI code page on Windows, Windows-1252 elsewhere (with the
// five unassigned bytes 81 8D 8F 90 9D kept as U+0081 U+008D U+008F U+0090 U+009D).
std::u16string NarrowToText(std::span<const std::uint8_t> bytes);
// The character of every byte when the code page has one byte per character (as NarrowToText
// gives it); none for a code page with multi-byte characters.
const std::array<char16_t, 256>* NarrowByteTable();
// Characters the code page cannot represent become '?'.
void AppendTextAsNarrow(std::string& out, std::u16string_view text);
// The number of that code page (1252 for Windows-1252); the tests ask it which bytes must survive.
std::uint32_t NarrowCodePage();

// Downloads a URL into memory; none with a one-line error.
struct Download {
  std::optional<std::vector<std::uint8_t>> bytes;
  std::u16string error;
};
// A download gives up when the server does not answer within connect, or when no data arrives
// for stall (whole seconds on POSIX).
struct DownloadTimeouts {
  std::chrono::milliseconds connect{30000};
  std::chrono::milliseconds stall{30000};
};
Download DownloadUrl(std::u16string_view url, DownloadTimeouts timeouts = {});

// One pointer of each thread's own for the whole library: the pool that node memory comes from
// while the thread reads a document. Read for every allocation, so it must be cheap: MinGW's
// thread_local is emulated (a library call and a lookup on every use), while a Windows TLS slot
// is one read.
#ifdef _WIN32
void* CurrentNodePool();
void SetCurrentNodePool(void* pool);
#else
inline thread_local void* currentNodePool = nullptr;
inline void* CurrentNodePool() {
  return currentNodePool;
}
inline void SetCurrentNodePool(void* pool) {
  currentNodePool = pool;
}
#endif

// Tells the user about a failure: a message box with the error icon on Windows, one line on
// standard error elsewhere.
void ReportError(std::u16string_view message);

// Sends ReportError's messages to reporter instead (tests record them; a message box would wait
// for a click). nullptr restores the default. Answers the reporter that was in place.
using ErrorReporter = void (*)(std::u16string_view message);
ErrorReporter SetErrorReporter(ErrorReporter reporter);

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
inline bool CommitAll(std::span<SafeFileWriter* const> files, std::u16string& error) {
  const auto giveUp = [&](SafeFileWriter& failed) {
    error = failed.Error();
    for (SafeFileWriter* file : files)
      file->Abandon();
    return false;
  };
  for (SafeFileWriter* file : files) {
    if (!file->Finished() && !file->Finish()) return giveUp(*file);
  }
  for (SafeFileWriter* file : files) {
    if (!file->Replace()) return giveUp(*file);
  }
  return true;
}

}  // namespace kestrelwing::platform
