// cXml::Parse: where the text comes from (a URL, a file, the text itself, or bytes), and how
// every failure becomes Parse's false answer.
#include <array>
#include <exception>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <kestrelwing/cXml.h>

#include "Edge.h"
#include "Encodings.h"
#include "MarkupReader.h"
#include "ParseErrors.h"
#include "Xml10Reader.h"

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

}  // namespace

bool cXml::Parse(std::u16string_view source) {
  resultText_.clear();
  try {
    return ParseSource(source);
  } catch (...) {
    return FailParse(detail::DescribeFailure(std::current_exception()));
  }
}

bool cXml::Parse(std::span<const std::uint8_t> bytes) {
  resultText_.clear();
  try {
    return ParseBytes(bytes);
  } catch (...) {
    return FailParse(detail::DescribeFailure(std::current_exception()));
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

// UTF-8 and single-byte documents are read as bytes, decoding only the names and values that
// the tree keeps. Their syntax errors are found at the same place as in the text, but reading
// bytes keeps no line or column, so one that fails is read again as text for the message.
// UTF-16 and multi-byte code pages are decoded whole first.
bool cXml::ParseBytes(std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return FailParse(detail::kEmptyDataMessage);
  if (syntax_ == XmlSyntax::Xml10) {
    std::int32_t encodingId = detail::kEncodingUtf8;
    detail::ParsedDocument document = detail::ParseXml10(bytes, encodingId);
    encodingId_ = encodingId;
    Adopt(std::move(document));
    return true;
  }
  const detail::ClassifiedBytes classified = detail::ClassifyBytes(bytes);
  encodingId_ = classified.encodingId;
  const std::array<char16_t, 256>* narrowTable = nullptr;
  if (classified.form == detail::ByteForm::Narrow) {
    narrowTable = platform::NarrowByteTable();
    if (narrowTable == nullptr) return ParseText(detail::DecodeBytes(bytes).text);
  } else if (classified.form != detail::ByteForm::Utf8) {
    return ParseText(detail::DecodeBytes(bytes).text);
  }
  const std::string_view source(reinterpret_cast<const char*>(classified.payload.data()),
                                classified.payload.size());
  try {
    Adopt(detail::ParseMarkup(source, narrowTable));
  } catch (const detail::ParseError&) {
    return ParseText(detail::DecodeBytes(bytes).text);
  }
  return true;
}

bool cXml::ParseText(std::u16string_view text) {
  if (text.empty()) return FailParse(detail::kEmptyDataMessage);
  Adopt(syntax_ == XmlSyntax::Xml10 ? detail::ParseXml10(text) : detail::ParseMarkup(text));
  return true;
}

void cXml::Adopt(detail::ParsedDocument&& document) {
  if (document.declaration) xmlNode_ = std::move(document.declaration);
  root_ = std::move(document.root);
  prolog_ = std::move(document.prolog);
  epilog_ = std::move(document.epilog);
}

// Leaves the description of the first failure, no declaration, no prolog or epilog and a new
// empty root.
bool cXml::FailParse(std::u16string_view description) noexcept {
  prolog_.clear();
  epilog_.clear();
  try {
    if (resultText_.empty()) resultText_ = description;
    xmlNode_.reset();
    prolog_.clear();
    epilog_.clear();
    root_ = MakeNode();
  } catch (...) {
    root_.reset();  // not even an empty node could be made
  }
  return false;
}

}  // namespace kestrelwing
