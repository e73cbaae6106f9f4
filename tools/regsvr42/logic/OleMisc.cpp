#include "OleMisc.h"

#include <array>

namespace kestrelwing::regsvr42 {
namespace {

// Index i names bit 1 << i.
constexpr std::array<std::u16string_view, 22> kOleMiscNames = {
    u"recomposeonresize",
    u"onlyiconic",
    u"insertnotreplace",
    u"static",
    u"cantlinkinside",
    u"canlinkbyole1",
    u"islinkobject",
    u"insideout",
    u"activatewhenvisible",
    u"renderingisdeviceindependent",
    u"invisibleatruntime",
    u"alwaysrun",
    u"actslikebutton",
    u"actslikelabel",
    u"nouiactivate",
    u"alignable",
    u"simpleframe",
    u"setclientsitefirst",
    u"imemode",
    u"ignoreactivatewhenvisible",
    u"wantstomenumerge",
    u"supportsmultilevelundo",
};

int DigitValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return 99;
}

}  // namespace

OleMiscNames NameOleMisc(std::uint32_t bits) {
  OleMiscNames result;
  for (std::size_t i = 0; i < 32; ++i) {
    const std::uint32_t bit = std::uint32_t{1} << i;
    if ((bits & bit) == 0) continue;
    if (i >= kOleMiscNames.size()) {
      result.unknownBits |= bit;
      continue;
    }
    if (!result.names.empty()) result.names += u',';
    result.names += kOleMiscNames[i];
  }
  return result;
}

std::optional<std::uint32_t> ParseOleMisc(std::u16string_view text) {
  while (!text.empty() && text.front() == u' ')
    text.remove_prefix(1);
  while (!text.empty() && text.back() == u' ')
    text.remove_suffix(1);
  int base = 10;
  if (text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty()) return std::nullopt;
  std::uint64_t value = 0;
  for (char16_t c : text) {
    const int digit = DigitValue(c);
    if (digit >= base) return std::nullopt;
    value = value * base + digit;
    if (value > 0xFFFFFFFFu) return std::nullopt;
  }
  return static_cast<std::uint32_t>(value);
}

}  // namespace kestrelwing::regsvr42
