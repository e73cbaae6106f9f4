// Pieces the POSIX and the Win32 file code share.
#pragma once

#include <random>
#include <string>
#include <string_view>

#include "PathParts.h"

namespace kestrelwing::platform::shared {

// A hidden name beside target that no other process can guess, so nobody can prepare a file or a
// link under it: ".<name>.<32 random hex digits>.tmp".
inline std::u16string TemporaryNameBeside(std::u16string_view target) {
  static constexpr char16_t kDigits[] = u"0123456789abcdef";
  thread_local std::random_device random;  // opened once: small saves pay for it otherwise
  const std::size_t nameStart = FileNameStart(target, kSystemSeparators);
  std::u16string name(target.substr(0, nameStart));
  name += u'.';
  name += target.substr(nameStart);
  name += u'.';
  for (int word = 0; word < 4; ++word) {
    for (unsigned bits = random(), digit = 0; digit < 8; ++digit, bits >>= 4) {
      name += kDigits[bits & 15];
    }
  }
  name += u".tmp";
  return name;
}

// The one-line form of every file or download failure: <what> "<path>": <reason>.
inline std::u16string Describe(std::u16string_view what, std::u16string_view path,
                               std::u16string_view reason) {
  std::u16string text(what);
  text += u" \"";
  text += path;
  text += u"\": ";
  text += reason;
  return text;
}

}  // namespace kestrelwing::platform::shared
