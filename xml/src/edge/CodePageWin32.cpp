// The narrow code page on Windows: the system's ANSI code page.
#include <windows.h>

#include <algorithm>
#include <array>
#include <optional>
#include <string>

#include "Edge.h"

namespace kestrelwing::platform {
namespace {

// The code page for narrow text. A system whose ANSI code page is UTF-8 gets Windows-1252:
// narrow text is what the UTF-8 detection already turned down.
UINT CodePage() {
  static const UINT codePage = GetACP() == CP_UTF8 ? 1252 : GetACP();
  return codePage;
}

// The conversion functions count in int: longer runs go in pieces of at most this size, cut
// where no character can straddle the cut.
constexpr std::size_t kPiece = std::size_t{1} << 28;

}  // namespace

std::u16string NarrowToText(std::span<const std::uint8_t> bytes) {
  std::u16string text;
  text.reserve(bytes.size());
  while (!bytes.empty()) {
    std::size_t piece = std::min(bytes.size(), kPiece);
    // In every double-byte code page a byte below 40 is a character of its own.
    if (piece < bytes.size()) {
      std::size_t cut = piece;
      while (cut > 0 && bytes[cut - 1] >= 0x40)
        --cut;
      if (cut > 0) piece = cut;
    }
    const auto* in = reinterpret_cast<const char*>(bytes.data());
    const int length = static_cast<int>(piece);
    const int units = MultiByteToWideChar(CodePage(), 0, in, length, nullptr, 0);
    const std::size_t at = text.size();
    text.resize(at + static_cast<std::size_t>(units));
    MultiByteToWideChar(CodePage(), 0, in, length, reinterpret_cast<wchar_t*>(text.data() + at),
                        units);
    bytes = bytes.subspan(piece);
  }
  return text;
}

const std::array<char16_t, 256>* NarrowByteTable() {
  static const std::optional<std::array<char16_t, 256>> table =
      []() -> std::optional<std::array<char16_t, 256>> {
    CPINFO info{};
    if (!GetCPInfo(CodePage(), &info) || info.MaxCharSize != 1) return std::nullopt;
    std::array<char16_t, 256> bytes{};
    for (unsigned b = 0; b < bytes.size(); ++b) {
      const char in = static_cast<char>(b);
      wchar_t out = L'?';
      if (MultiByteToWideChar(CodePage(), 0, &in, 1, &out, 1) != 1) out = L'?';
      bytes[b] = static_cast<char16_t>(out);
    }
    return bytes;
  }();
  return table ? &*table : nullptr;
}

namespace {

// Converts a run without surrogate pairs, in pieces the conversion's int counts can hold.
void AppendRunAsNarrow(std::string& out, std::u16string_view run) {
  while (!run.empty()) {
    const std::size_t piece = std::min(run.size(), kPiece);
    const auto* in = reinterpret_cast<const wchar_t*>(run.data());
    const int length = static_cast<int>(piece);
    // No best fit: a character the code page lacks becomes '?', never a look-alike.
    const int size =
        WideCharToMultiByte(CodePage(), WC_NO_BEST_FIT_CHARS, in, length, nullptr, 0, "?", nullptr);
    const std::size_t at = out.size();
    out.resize(at + static_cast<std::size_t>(size));
    WideCharToMultiByte(CodePage(), WC_NO_BEST_FIT_CHARS, in, length, out.data() + at, size, "?",
                        nullptr);
    run.remove_prefix(piece);
  }
}

bool IsSurrogatePairAt(std::u16string_view text, std::size_t i) {
  return text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
         text[i + 1] <= 0xDFFF;
}

}  // namespace

void AppendTextAsNarrow(std::string& out, std::u16string_view text) {
  // The system converts unit by unit and would give a surrogate pair two '?': it is one
  // character, outside every ANSI code page, so it gets one '?' here.
  std::size_t run = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (!IsSurrogatePairAt(text, i)) continue;
    AppendRunAsNarrow(out, text.substr(run, i - run));
    out += '?';
    run = ++i + 1;
  }
  AppendRunAsNarrow(out, text.substr(run));
}

std::uint32_t NarrowCodePage() {
  return CodePage();
}

}  // namespace kestrelwing::platform
