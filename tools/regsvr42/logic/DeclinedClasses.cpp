#include "DeclinedClasses.h"

#include <algorithm>

#include <kestrelwing/cXmlNode.h>

#include "AsciiCase.h"
#include "WideText.h"

namespace kestrelwing::regsvr42 {
namespace {

std::optional<std::uint32_t> ReadHexCode(std::u16string_view text) {
  if (text.size() != 10 || !text.starts_with(u"0x")) return std::nullopt;
  std::uint32_t code = 0;
  for (const char16_t c : text.substr(2)) {
    const int digit = c >= u'0' && c <= u'9'   ? c - u'0'
                      : c >= u'A' && c <= u'F' ? c - u'A' + 10
                                               : -1;
    if (digit < 0) return std::nullopt;
    code = code << 4 | static_cast<std::uint32_t>(digit);
  }
  return code;
}

}  // namespace

std::string DeclinedText(const std::vector<DeclinedClass>& declined) {
  std::u16string text;
  for (const DeclinedClass& entry : declined)
    text += entry.clsid + u' ' + HexCode(entry.code) + u'\n';
  return ToUtf8(text);
}

std::optional<std::vector<DeclinedClass>> ReadDeclinedText(std::string_view bytes) {
  std::vector<DeclinedClass> declined;
  const std::u16string decoded = FromUtf8(bytes);
  std::u16string_view text = decoded;
  while (!text.empty()) {
    const std::size_t end = text.find(u'\n');
    if (end == std::u16string_view::npos) return std::nullopt;  // a line cut short
    const std::u16string_view line = text.substr(0, end);
    text.remove_prefix(end + 1);
    const std::size_t blank = line.find(u' ');
    if (blank == std::u16string_view::npos || blank == 0 || line.front() != u'{') {
      return std::nullopt;
    }
    const std::optional<std::uint32_t> code = ReadHexCode(line.substr(blank + 1));
    if (!code || !DeclinesClass(*code)) return std::nullopt;
    declined.push_back({std::u16string(line.substr(0, blank)), *code});
  }
  return declined;
}

std::vector<std::u16string> LeaveOutDeclined(ComponentManifest& manifest,
                                             const std::vector<DeclinedClass>& declined) {
  std::vector<std::u16string> lines;
  std::erase_if(manifest.classes, [&](const ComClass& comClass) {
    const auto found = std::find_if(declined.begin(), declined.end(), [&](const DeclinedClass& d) {
      return SameIgnoringCase(d.clsid, comClass.clsid);
    });
    if (found == declined.end()) return false;
    const std::u16string progId = !comClass.progId.empty()         ? comClass.progId
                                  : !comClass.otherProgIds.empty() ? comClass.otherProgIds.front()
                                                                   : u"";
    lines.push_back(u"left out " + manifest.fileName + u": class " + comClass.clsid +
                    (progId.empty() ? u"" : u" (" + progId + u")") +
                    u": the component does not serve it (" + HexCode(found->code) + u")");
    return true;
  });
  return lines;
}

}  // namespace kestrelwing::regsvr42
