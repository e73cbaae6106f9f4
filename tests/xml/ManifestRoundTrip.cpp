#include "ManifestRoundTrip.h"

#include <cstdint>
#include <fstream>
#include <vector>

#include <kestrelwing/cXml.h>

#include "AsciiCase.h"
#include "TreeDiff.h"

namespace kestrelwing::testing {
namespace {

constexpr std::int32_t kNarrow = 0;
constexpr std::int32_t kUtf8 = 1;
constexpr std::int32_t kUtf16 = 2;

std::u16string EncodingName(std::int32_t encodingId) {
  return encodingId == kUtf8 ? u"UTF-8" : u"UTF-16";
}

bool IsEncodingProperty(const std::u16string& name) {
  return AsciiUpper(name) == u"ENCODING";
}

bool NamesUtf8(const std::u16string& encoding) {
  const std::u16string upper = AsciiUpper(encoding);
  return upper == u"UTF-8" || upper == u"UTF 8" || upper == u"UTF8";
}

// The rewritten declaration may differ only in its "encoding" property, which names the
// encoding the file was written in (appended after the others when it was missing).
std::string CompareDeclarations(const std::vector<PropertyPair>& before,
                                const std::vector<PropertyPair>& written,
                                std::int32_t savedEncoding) {
  bool hadEncoding = false;
  for (std::size_t i = 0; i < before.size(); ++i) {
    if (i >= written.size()) return "declaration lost " + ToUtf8(before[i][0]);
    if (written[i][0] != before[i][0]) {
      return "declaration property " + ToUtf8(before[i][0]) + " became " + ToUtf8(written[i][0]);
    }
    const bool rewritten = IsEncodingProperty(before[i][0]) && savedEncoding != kNarrow;
    hadEncoding = hadEncoding || IsEncodingProperty(before[i][0]);
    const std::u16string& expected = rewritten ? EncodingName(savedEncoding) : before[i][1];
    if (written[i][1] != expected) {
      return "declaration " + ToUtf8(before[i][0]) + "=\"" + ToUtf8(written[i][1]) +
             "\", expected \"" + ToUtf8(expected) + "\"";
    }
  }
  const bool encodingAppended = !hadEncoding && savedEncoding != kNarrow;
  const std::size_t expectedCount = before.size() + (encodingAppended ? 1 : 0);
  if (written.size() != expectedCount) {
    return "declaration has " + std::to_string(written.size()) + " properties, expected " +
           std::to_string(expectedCount);
  }
  if (encodingAppended &&
      (written.back()[0] != u"encoding" || written.back()[1] != EncodingName(savedEncoding))) {
    return "declaration gained " + ToUtf8(written.back()[0]) + "=\"" + ToUtf8(written.back()[1]) +
           "\"";
  }
  return {};
}

bool StartsWithUtf16Mark(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  char mark[2] = {};
  in.read(mark, 2);
  return in.gcount() == 2 && mark[0] == '\xFF' && mark[1] == '\xFE';
}

}  // namespace

ManifestRoundTrip RoundTripManifest(const std::filesystem::path& manifest,
                                    const std::filesystem::path& scratch) {
  ManifestRoundTrip result;
  cXml original;
  if (!original.Parse(manifest.u16string())) {
    result.failure = "not readable: " + ToUtf8(original.Result());
    return result;
  }
  result.readable = true;
  const std::int32_t readEncoding = original.EncodingId();
  result.readEncoding = readEncoding;
  const NodeRef declaration = original.XMLNode();
  const std::vector<PropertyPair> declarationBefore =
      declaration != nullptr ? declaration->Properties() : std::vector<PropertyPair>{};
  const bool declaredUtf8 =
      declaration != nullptr && NamesUtf8(declaration->PropertyValue(u"encoding"));

  if (!original.Save(scratch.u16string(), true, 0, readEncoding == kUtf16, -1)) {
    result.failure = "save failed: " + ToUtf8(original.Result());
    return result;
  }
  const std::int32_t savedEncoding = original.EncodingId();
  const bool encodingKept = savedEncoding == readEncoding ||
                            (readEncoding == kNarrow && savedEncoding == kUtf8 && declaredUtf8);
  if (!encodingKept) {
    result.failure = "read with encoding " + std::to_string(readEncoding) + ", written with " +
                     std::to_string(savedEncoding);
    return result;
  }
  if (savedEncoding == kUtf16 && !StartsWithUtf16Mark(scratch)) {
    result.failure = "UTF-16 written without its byte-order mark";
    return result;
  }

  cXml reread;
  if (!reread.Parse(scratch.u16string())) {
    result.failure = "rewritten file not readable: " + ToUtf8(reread.Result());
    return result;
  }
  if (reread.EncodingId() != savedEncoding &&
      !(savedEncoding == kUtf8 && reread.EncodingId() == kNarrow)) {
    result.failure = "rewritten file reads as encoding " + std::to_string(reread.EncodingId());
    return result;
  }
  const TreeComparison tree = CompareTrees(*original.Root(), *reread.Root());
  result.elements = tree.elements + (declaration != nullptr ? 1 : 0);
  if (!tree.difference.empty()) {
    result.failure = tree.difference;
    return result;
  }
  if ((declaration != nullptr) != (reread.XMLNode() != nullptr)) {
    result.failure = declaration != nullptr ? "declaration lost" : "declaration made up";
    return result;
  }
  if (declaration != nullptr) {
    result.failure =
        CompareDeclarations(declarationBefore, reread.XMLNode()->Properties(), savedEncoding);
  }
  return result;
}

}  // namespace kestrelwing::testing
