// The library's edge: everything it asks of the operating system, each concern in its own pair
// of files (POSIX and Win32). Files and their safe replacement come from common/, which the
// manifest generator shares.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "FileContents.h"
#include "SafeFile.h"

namespace kestrelwing::platform {

// Code pages (CodePage*.cpp) ------------------------------------------------------------------

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

// URL download (Download*.cpp) ---------------------------------------------------------------

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

// The message box of a failed URL (ErrorReport.cpp, ErrorBox*.cpp) ----------------------------

// Tells the user about a failure: a message box with the error icon on Windows, one line on
// standard error elsewhere.
void ReportError(std::u16string_view message);

// Sends ReportError's messages to reporter instead (tests record them; a message box would wait
// for a click). nullptr restores the default. Answers the reporter that was in place.
using ErrorReporter = void (*)(std::u16string_view message);
ErrorReporter SetErrorReporter(ErrorReporter reporter);

// The system's own way of telling the user: ReportError without a reporter installed.
void ShowError(std::u16string_view message);

}  // namespace kestrelwing::platform
