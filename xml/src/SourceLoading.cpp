// cXml::Parse: where the text comes from (a URL, a file, the text itself, or bytes), and how
// every failure becomes Parse's false answer.
#include <exception>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include <kestrelwing/cXml.h>

#include "Encodings.h"
#include "Markup.h"
#include "ParseErrors.h"
#include "Platform.h"

namespace kestrelwing {
namespace {

bool IsSchemeChar(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
         c == u'+' || c == u'-' || c == u'.';
}

// A scheme of two or more letters, digits, '+', '-' or '.' followed by ':'; a single letter
// before the colon is a drive.
bool IsUrl(std::u16string_view source) {
  std::size_t i = 0;
  while (i < source.size() && IsSchemeChar(source[i]))
    ++i;
  return i >= 2 && i < source.size() && source[i] == u':';
}

// A letter, ':' and '\': a Windows path, never taken as XML text.
bool IsDrivePath(std::u16string_view source) {
  return source.size() >= 3 && ((source[0] | 0x20) >= u'a' && (source[0] | 0x20) <= u'z') &&
         source[1] == u':' && source[2] == u'\\';
}

std::u16string DescribeFailure(std::exception_ptr failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const detail::ParseError& error) {
    return error.description;
  } catch (const std::bad_alloc&) {
    return u"Out of memory";
  } catch (const std::exception& error) {
    return FromUtf8(error.what());
  } catch (...) {
    return u"Unknown failure";
  }
}

}  // namespace

bool cXml::Parse(std::u16string_view source) {
  resultText_.clear();
  try {
    return ParseSource(source);
  } catch (...) {
    return FailParse(DescribeFailure(std::current_exception()));
  }
}

bool cXml::Parse(std::span<const std::uint8_t> bytes) {
  resultText_.clear();
  try {
    return ParseBytes(bytes);
  } catch (...) {
    return FailParse(DescribeFailure(std::current_exception()));
  }
}

bool cXml::ParseSource(std::u16string_view source) {
  if (IsUrl(source)) {
    const platform::Download download = platform::DownloadUrl(source);
    if (!download.bytes) {
      platform::ReportError(u"URL ERROR");
      return FailParse(detail::kEmptyDataMessage);
    }
    return ParseBytes(*download.bytes);
  }
  if (platform::FileExists(source)) {
    const std::optional<std::vector<std::uint8_t>> bytes = platform::ReadWholeFile(source);
    return bytes ? ParseBytes(*bytes) : FailParse(detail::kEmptyDataMessage);
  }
  if (IsDrivePath(source) || source.empty()) return FailParse(detail::kEmptyDataMessage);
  // The text is the document itself: parsed as it stands, without a trip through bytes.
  encodingId_ = detail::kEncodingNarrow;
  if (source.front() == u'\uFEFF') source.remove_prefix(1);
  return ParseText(source);
}

bool cXml::ParseBytes(std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return FailParse(detail::kEmptyDataMessage);
  const detail::DecodedText decoded = detail::DecodeBytes(bytes);
  if (decoded.encodingId >= 0) encodingId_ = decoded.encodingId;
  return ParseText(decoded.text);
}

bool cXml::ParseText(std::u16string_view text) {
  if (text.empty()) return FailParse(detail::kEmptyDataMessage);
  detail::ParsedDocument document = detail::ParseMarkup(text);
  if (document.declaration) xmlNode_ = std::move(document.declaration);
  root_ = std::move(document.root);
  return true;
}

// Leaves the description of the first failure, no declaration and a new empty root.
bool cXml::FailParse(std::u16string_view description) noexcept {
  try {
    if (resultText_.empty()) resultText_ = description;
    xmlNode_.reset();
    root_ = std::make_shared<cXmlNode>();
  } catch (...) {
    root_.reset();  // not even an empty node could be made
  }
  return false;
}

}  // namespace kestrelwing
