// The narrow code page on POSIX systems: Windows-1252.
#include <algorithm>
#include <array>

#include "Edge.h"

namespace kestrelwing::platform {
namespace {

// Windows-1252 bytes 80-9F. The five bytes the code page leaves unassigned keep the C1 control
// of the same number, so that every byte survives a narrow read followed by a narrow write.
constexpr std::array<char16_t, 32> kWindows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

constexpr std::array<char16_t, 256> MakeWindows1252() {
  std::array<char16_t, 256> table{};
  for (unsigned b = 0; b < 256; ++b)
    table[b] = static_cast<char16_t>(b);
  for (unsigned b = 0; b < 32; ++b)
    table[0x80 + b] = kWindows1252High[b];
  return table;
}

constexpr std::array<char16_t, 256> kWindows1252 = MakeWindows1252();

char ToWindows1252(char16_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
  const auto* found = std::find(kWindows1252High.begin(), kWindows1252High.end(), c);
  if (found == kWindows1252High.end()) return '?';
  return static_cast<char>(0x80 + (found - kWindows1252High.begin()));
}

}  // namespace

std::u16string NarrowToText(std::span<const std::uint8_t> bytes) {
  std::u16string text(bytes.size(), u'\0');
  for (std::size_t i = 0; i < bytes.size(); ++i)
    text[i] = kWindows1252[bytes[i]];
  return text;
}

const std::array<char16_t, 256>* NarrowByteTable() {
  return &kWindows1252;
}

void AppendTextAsNarrow(std::string& out, std::u16string_view text) {
  const std::size_t at = out.size();
  out.resize(at + text.size());
  char* p = out.data() + at;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    // A surrogate pair is one character: one '?'.
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      ++i;
    }
    *p++ = ToWindows1252(c);
  }
  out.resize(static_cast<std::size_t>(p - out.data()));
}

std::uint32_t NarrowCodePage() {
  return 1252;
}

}  // namespace kestrelwing::platform
