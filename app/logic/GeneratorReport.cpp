#include "GeneratorReport.h"

#include <kestrelwing/cXmlNode.h>

#include <filesystem>
#include <system_error>

#include "FileContents.h"
#include "WideText.h"

namespace kestrelwing {
namespace {

constexpr std::u16string_view kLeftOutStart = u"regsvr42: left out ";
constexpr std::u16string_view kClassStart = u": class {";
constexpr std::u16string_view kNotServedStart = u": the component does not serve it (0x";
constexpr std::u16string_view kLeftOutLine = u"Clases omitidas (el componente no las sirve): ";

bool IsHexDigits(std::u16string_view text) {
  for (const char16_t c : text) {
    const bool hex =
        (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f');
    if (!hex) return false;
  }
  return true;
}

}  // namespace

std::vector<std::u16string> ReportLines(std::string_view bytes) {
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
  std::vector<std::u16string> lines;
  while (!bytes.empty()) {
    const std::size_t end = bytes.find('\n');
    std::string_view line = bytes.substr(0, end);
    if (line.ends_with('\r')) line.remove_suffix(1);
    lines.push_back(FromUtf8(line));
    if (end == std::string_view::npos) break;
    bytes.remove_prefix(end + 1);
  }
  return lines;
}

std::optional<std::u16string> LeftOutClass(std::u16string_view line) {
  // ...: the component does not serve it (0x80040111)
  constexpr std::size_t kCodeDigits = 8;
  const std::size_t tail = kNotServedStart.size() + kCodeDigits + 1;
  if (!line.starts_with(kLeftOutStart) || !line.ends_with(u')') || line.size() < tail) {
    return std::nullopt;
  }
  const std::u16string_view ending = line.substr(line.size() - tail);
  if (!ending.starts_with(kNotServedStart) ||
      !IsHexDigits(ending.substr(kNotServedStart.size(), kCodeDigits))) {
    return std::nullopt;
  }
  line.remove_suffix(tail);
  // A file name holds no colon: the first ": class {" ends the component's name.
  const std::size_t classAt = line.find(kClassStart, kLeftOutStart.size());
  if (classAt == std::u16string_view::npos) return std::nullopt;
  const std::u16string_view named = line.substr(classAt + kClassStart.size() - 1);  // "{..."
  const std::size_t close = named.find(u'}');
  if (close == std::u16string_view::npos) return std::nullopt;
  const std::u16string_view after = named.substr(close + 1);
  if (!after.empty() && !(after.starts_with(u" (") && after.ends_with(u')'))) return std::nullopt;
  return std::u16string(named);
}

std::u16string ReportSection(const std::vector<std::u16string>& lines) {
  std::u16string leftOut;
  std::vector<const std::u16string*> others;
  for (const std::u16string& line : lines) {
    if (const auto named = LeftOutClass(line)) {
      leftOut += leftOut.empty() ? kLeftOutLine : u", ";
      leftOut += *named;
    } else {
      others.push_back(&line);
    }
  }
  if (leftOut.empty() && others.empty()) return {};

  std::u16string section = u"\n";
  if (!leftOut.empty()) section += u"\n" + leftOut;
  const std::size_t skipped = others.size() > kReportHeadShown + kReportTailShown + 1
                                  ? others.size() - kReportHeadShown - kReportTailShown
                                  : 0;
  for (std::size_t i = 0; i < others.size(); ++i) {
    if (skipped != 0 && i == kReportHeadShown) {
      section += u"\n… (" + Decimal(skipped) + u" líneas más) …";
      i += skipped - 1;
      continue;
    }
    section += u'\n';
    section += *others[i];
  }
  return section;
}

std::vector<std::u16string> TakeReport(std::u16string_view path) {
  const auto bytes = platform::ReadWholeFile(path);
  std::error_code ignored;
  std::filesystem::remove(std::filesystem::path(std::u16string(path)), ignored);
  if (!bytes) return {};
  return ReportLines(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
}

}  // namespace kestrelwing
