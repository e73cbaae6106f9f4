// Parse(bytes) on any input: it must never crash, leak or hang, it must leave the document in
// one of its two defined states, and it must give the tree or the message that reading the
// decoded text gives (bytes are read without decoding the whole document first). Read and saved
// on the SSE2 paths and on the portable code beside them, it must give the same everywhere.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include <kestrelwing/cXml.h>

#include "Encodings.h"
#include "MarkupReader.h"
#include "ParseErrors.h"
#include "ScanningPaths.h"

namespace {

// Visits every node without recursion; each property, looked up by its name, must give its
// own value (any text may be a value, so no default can stand for "not found").
std::size_t CountNodes(const kestrelwing::NodeRef& root) {
  std::size_t count = 0;
  std::vector<kestrelwing::NodeRef> pending{root};
  while (!pending.empty()) {
    const kestrelwing::NodeRef node = std::move(pending.back());
    pending.pop_back();
    ++count;
    for (const kestrelwing::PropertyPair& property : node->Properties()) {
      if (node->PropertyValue(property[0], u"x") != property[1] ||
          node->PropertyValue(property[0], u"y") != property[1]) {
        std::abort();
      }
    }
    for (std::int32_t i = 1; i <= node->NodeCount(); ++i)
      pending.push_back(node->Node(i));
  }
  return count;
}

bool SameProperties(const kestrelwing::cXmlNode& a, const kestrelwing::cXmlNode& b) {
  if (a.PropertyCount() != b.PropertyCount()) return false;
  for (std::int32_t i = 1; i <= a.PropertyCount(); ++i) {
    const std::u16string name = a.PropertyName(i);
    if (name != b.PropertyName(i) || a.PropertyValue(name) != b.PropertyValue(name)) return false;
  }
  return true;
}

// Names, values, properties and children of both trees, without recursion.
bool SameTrees(const kestrelwing::NodeRef& a, const kestrelwing::NodeRef& b) {
  std::vector<std::pair<kestrelwing::NodeRef, kestrelwing::NodeRef>> pending{{a, b}};
  while (!pending.empty()) {
    const auto [x, y] = std::move(pending.back());
    pending.pop_back();
    if (!x || !y) {
      if (x != y) return false;
      continue;
    }
    if (x->Name() != y->Name() || x->Value() != y->Value() || !SameProperties(*x, *y) ||
        x->NodeCount() != y->NodeCount()) {
      return false;
    }
    for (std::int32_t i = 1; i <= x->NodeCount(); ++i)
      pending.emplace_back(x->Node(i), y->Node(i));
  }
  return true;
}

// What reading the decoded text gives must be what Parse gave.
void CompareWithText(std::span<const std::uint8_t> bytes, const kestrelwing::cXml& document,
                     bool parsed) {
  if (bytes.empty()) return;
  const std::u16string text = kestrelwing::detail::DecodeBytes(bytes).text;
  if (text.empty()) {
    if (parsed) std::abort();
    return;
  }
  try {
    const kestrelwing::detail::ParsedDocument tree = kestrelwing::detail::ParseMarkup(text);
    if (!parsed || !SameTrees(tree.root, document.Root()) ||
        !SameTrees(tree.declaration, document.XMLNode())) {
      std::abort();
    }
  } catch (const kestrelwing::detail::ParseError& error) {
    if (parsed || error.description != document.Result()) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kestrelwing::cXml document;
  const bool parsed = document.Parse(std::span<const std::uint8_t>(data, size));
  const kestrelwing::NodeRef root = document.Root();
  if (!root || parsed != document.Result().empty()) std::abort();
  if (parsed) {
    CountNodes(root);
    if (document.XMLNode()) CountNodes(document.XMLNode());
  } else if (document.XMLNode() || root->NodeCount() != 0 || root->Name() != u"cXmlNode") {
    std::abort();
  }
  CompareWithText(std::span<const std::uint8_t>(data, size), document, parsed);
  const std::string difference = kestrelwing::testing::CompareScanningPaths(
      std::span<const std::uint8_t>(data, size), kestrelwing::XmlSyntax::Dialect);
  if (!difference.empty()) {
    std::fprintf(stderr, "the scanning paths differ: %s\n", difference.c_str());
    std::abort();
  }
  return 0;
}
