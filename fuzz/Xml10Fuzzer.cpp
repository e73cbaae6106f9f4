// Reading XML 1.0 beside libxml2 on the same bytes: both must agree on whether the document is
// well-formed, unless this library's refusal is one that xml10-disagreements.md explains. libxml2
// substitutes entities and applies attribute defaults, and loads nothing (no external entity or
// DTD), as this library. An
// accepted document must also survive a save without pretty printing: what is saved reads back
// and saves to the same bytes. Read and saved on the SSE2 paths and on the portable code beside
// them, any document must give the same acceptance, message, tree and bytes.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string_view>
#include <vector>

#include <libxml/parser.h>
#include <libxml/parserInternals.h>

#include <kestrelwing/cXml.h>

#include "ScanningPaths.h"

namespace {

void Quiet(void*, const char*, ...) {}

// Whether libxml2, while reading the current input, met a system identifier that it cannot take
// as a URI (a fragment, a space): it then stops, or drops the declaration, and later reports
// whatever that leads to.
bool sawUnusableSystemId = false;
void NoteError(void*, const xmlError* error) {
  if (error->code == XML_ERR_URI_FRAGMENT || error->code == XML_ERR_INVALID_URI) {
    sawUnusableSystemId = true;
  }
}

// libxml2 reads no file either: not an external entity, not an external DTD.
xmlParserInputPtr RefuseExternalEntity(const char*, const char*, xmlParserCtxtPtr) {
  return nullptr;
}

[[maybe_unused]] const bool libxml2Quiet = [] {
  xmlInitParser();
  xmlSetExternalEntityLoader(RefuseExternalEntity);
  xmlSetGenericErrorFunc(nullptr, Quiet);
  xmlSetStructuredErrorFunc(nullptr, reinterpret_cast<xmlStructuredErrorFunc>(NoteError));
  return true;
}();

bool Libxml2Accepts(std::span<const std::uint8_t> bytes) {
  xmlResetLastError();
  sawUnusableSystemId = false;
  xmlDocPtr document =
      xmlReadMemory(reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()),
                    nullptr, nullptr, XML_PARSE_NOENT | XML_PARSE_DTDATTR | XML_PARSE_NONET);
  if (document == nullptr) return false;
  xmlResetLastError();
  xmlFreeDoc(document);
  return true;
}

// The disagreements that xml10-disagreements.md explains, each recognised by the rule that this
// library's refusal names: libxml2 accepts these documents although they are not well-formed, or
// (the first) the library's model cannot hold them.
constexpr std::u16string_view kExplainedRefusals[] = {
    u"differ only in letter case",                // 1. property names unique ignoring case
    u"White space is required here at line",      // 2. libxml2 reads "<!DOCTYPEname"
    u"The character U+0000",                      // 3. libxml2 stops at a NUL byte
    u"Bytes that are not valid in the document",  // 4. libxml2 reads bad UTF-8 as Latin-1
    u"cannot be read at line 1 [1] (",            // 5. encodings only iconv decodes
    u"contradicts the declared encoding",         // 12. libxml2 lets the mark win
    u"(XML 1.0 [26] VersionNum)",                 // 13. libxml2 reads any "1.x" or "1."
};

// 6. libxml2 refuses a reference to an external parsed entity that it could not load (here: loads
// none), which a non-validating processor may leave unread, as this library does. 7. libxml2
// reads namespaces and refuses what breaks their rules; XML 1.0 alone has none. 9 below.
bool Libxml2ExplainedRefusal() {
  const xmlError* error = xmlGetLastError();
  if (error == nullptr) return false;
  // 9. A system identifier with a fragment or another character a URI does not hold: an error,
  // not a fatal one, in XML (and not even that for a space).
  if (sawUnusableSystemId) return true;
  // 11. An undeclared entity where the internal subset refers to a parameter entity or there is
  // an external subset: a validity error there, not a well-formedness one.
  if (error->code == XML_WAR_UNDECLARED_ENTITY) return true;
  // 14. A parameter entity whose attribute-list declaration is read a second time: XML binds the
  // first declaration of an attribute and ignores the others; libxml2 stops.
  const std::string_view what = error->message != nullptr ? error->message : "";
  if (error->code == XML_ERR_INTERNAL_ERROR &&
      what.find("error detected in Markup declaration") != std::string_view::npos) {
    return true;
  }
  if (error->domain == XML_FROM_NAMESPACE ||
      (error->code >= XML_NS_ERR_XML_NAMESPACE && error->code <= XML_NS_ERR_COLON)) {
    return true;
  }
  // 6: "failed to parse" for a general entity, "not found" for a parameter entity.
  const std::string_view message = error->message != nullptr ? error->message : "";
  return error->code == XML_ERR_UNDECLARED_ENTITY &&
         (message.find("failed to parse") != std::string_view::npos ||
          message.starts_with("PEReference:"));
}

// 10. The production a refusal names, when it is one of the markup declarations' (element type,
// attribute list, entity and notation declarations: [45] to [60], [70] to [76], [82], [83]).
bool BreaksADeclaration(std::u16string_view result) {
  const std::size_t at = result.rfind(u"(XML 1.0 [");
  if (at == std::u16string_view::npos) return false;
  int production = 0;
  for (std::size_t i = at + 10; i < result.size() && result[i] >= u'0' && result[i] <= u'9'; ++i)
    production = production * 10 + (result[i] - u'0');
  return (production >= 45 && production <= 60) || (production >= 70 && production <= 76) ||
         production == 82 || production == 83;
}

bool Explained(const kestrelwing::cXml& refused, std::span<const std::uint8_t> bytes) {
  const std::u16string& result = refused.Result();
  if (BreaksADeclaration(result)) return true;
  // 8. libxml2 reads "<!DOCTYPE root>[ ... ]>": a subset after the document type's end.
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (result.starts_with(u"The root element was expected") &&
      (text.find(">[") != std::string_view::npos ||
       text.find(std::string_view(">\0[\0", 4)) != std::string_view::npos)) {  // UTF-16
    return true;
  }
  for (std::u16string_view explained : kExplainedRefusals) {
    if (result.find(explained) != std::u16string::npos) {
      // 2 is explained for the document type only.
      return explained != kExplainedRefusals[1] || result.ends_with(u"[28] doctypedecl)");
    }
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  kestrelwing::cXml document;
  document.SetSyntax(kestrelwing::XmlSyntax::Xml10);
  const bool accepted = document.Parse(bytes);
  const std::string difference =
      kestrelwing::testing::CompareScanningPaths(bytes, kestrelwing::XmlSyntax::Xml10);
  if (!difference.empty()) {
    std::fprintf(stderr, "the scanning paths differ: %s\n", difference.c_str());
    std::abort();
  }
  if (size < (1u << 20) && accepted != Libxml2Accepts(bytes) &&
      !(accepted ? Libxml2ExplainedRefusal() : Explained(document, bytes))) {
    std::fprintf(stderr, "kestrelwing %s, libxml2 %s: %s\n", accepted ? "accepts" : "refuses",
                 accepted ? "refuses" : "accepts", kestrelwing::ToUtf8(document.Result()).c_str());
    if (const xmlError* error = xmlGetLastError()) {
      std::fprintf(stderr, "libxml2: %d/%d %s", error->domain, error->code, error->message);
    }
    std::abort();
  }
  if (!accepted) return 0;
  std::vector<std::uint8_t> saved;
  if (!document.SaveToBytes(saved, /*prettyPrint=*/false)) std::abort();
  kestrelwing::cXml again;
  again.SetSyntax(kestrelwing::XmlSyntax::Xml10);
  if (!again.Parse(std::span<const std::uint8_t>(saved))) {
    std::fprintf(stderr, "the saved document does not read: %s\n",
                 kestrelwing::ToUtf8(again.Result()).c_str());
    std::abort();
  }
  std::vector<std::uint8_t> savedAgain;
  if (!again.SaveToBytes(savedAgain, /*prettyPrint=*/false) || savedAgain != saved) std::abort();
  return 0;
}
