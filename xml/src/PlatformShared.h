// Pieces the POSIX and the Win32 platform layers share.
#pragma once

#include <atomic>
#include <random>
#include <string>
#include <string_view>

#include "Platform.h"

namespace kestrelwing::platform::shared {

#ifdef _WIN32
inline constexpr std::u16string_view kSeparators = u"\\/";
#else
inline constexpr std::u16string_view kSeparators = u"/";
#endif

// Where the file name starts in path (after its last separator).
inline std::size_t NameStart(std::u16string_view path) {
  const std::size_t separator = path.find_last_of(kSeparators);
  return separator == std::u16string_view::npos ? 0 : separator + 1;
}

// A hidden name beside target that no other process can guess, so nobody can prepare a file or a
// link under it: ".<name>.<32 random hex digits>.tmp".
inline std::u16string TemporaryNameBeside(std::u16string_view target) {
  static constexpr char16_t kDigits[] = u"0123456789abcdef";
  thread_local std::random_device random;  // opened once: small saves pay for it otherwise
  std::u16string name(target.substr(0, NameStart(target)));
  name += u'.';
  name += target.substr(NameStart(target));
  name += u'.';
  for (int word = 0; word < 4; ++word) {
    for (unsigned bits = random(), digit = 0; digit < 8; ++digit, bits >>= 4) {
      name += kDigits[bits & 15];
    }
  }
  name += u".tmp";
  return name;
}

// The one-line form of every file failure: <what> "<path>": <reason>.
inline std::u16string Describe(std::u16string_view what, std::u16string_view path,
                               std::u16string_view reason) {
  std::u16string text(what);
  text += u" \"";
  text += path;
  text += u"\": ";
  text += reason;
  return text;
}

// The reporter a test installed with SetErrorReporter; null for the system's own way.
inline std::atomic<ErrorReporter> customReporter{nullptr};

// Hands message to the installed reporter, if there is one.
inline bool SentToCustomReporter(std::u16string_view message) {
  const ErrorReporter reporter = customReporter.load();
  if (reporter) reporter(message);
  return reporter != nullptr;
}

}  // namespace kestrelwing::platform::shared
