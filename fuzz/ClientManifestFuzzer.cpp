// Merging the generator's dependency into any client-manifest bytes: no crash; either a refusal
// that leaves the document exactly as read, or a merged manifest that passes the client rules and
// still holds every element and attribute it had (only an earlier dependency on the same
// assembly is replaced). The client's bytes read and save alike on the SSE2 paths and on the
// portable code beside them.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include <kestrelwing/cXml.h>

#include "AsciiCase.h"
#include "ManifestBuilder.h"
#include "ManifestRules.h"
#include "ScanningPaths.h"
#include "XmlNames.h"

namespace {

using kestrelwing::cXml;
using kestrelwing::NodeRef;

// The subtree as text, without recursion: names, attributes, values, nesting.
std::u16string Listing(const NodeRef& root) {
  std::u16string text;
  std::vector<std::pair<NodeRef, int>> pending{{root, 0}};
  while (!pending.empty()) {
    const auto [node, depth] = std::move(pending.back());
    pending.pop_back();
    text += std::u16string(static_cast<std::size_t>(depth), u' ') + node->Name();
    for (const kestrelwing::PropertyPair& property : node->Properties())
      text += u' ' + property[0] + u"=\"" + property[1] + u'"';
    text += u'|';
    text += node->Value();
    text += u'\n';
    for (std::int32_t i = node->NodeCount(); i >= 1; --i)
      pending.emplace_back(node->Node(i), depth + 1);
  }
  return text;
}

// True for a dependency element that names the assembly, letter case ignored.
bool DependsOn(const NodeRef& element, std::u16string_view name) {
  if (kestrelwing::regsvr42::LocalNameOf(element->Name()) != u"dependency") return false;
  for (const NodeRef& dependent : element->Nodes()) {
    for (const NodeRef& identity : dependent->Nodes()) {
      if (kestrelwing::SameIgnoringCase(identity->PropertyValue(u"name"), name)) {
        return true;
      }
    }
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kestrelwing::regsvr42;
  const std::string difference = kestrelwing::testing::CompareScanningPaths(
      std::span<const std::uint8_t>(data, size), kestrelwing::XmlSyntax::Dialect);
  if (!difference.empty()) {
    std::fprintf(stderr, "the scanning paths differ: %s\n", difference.c_str());
    std::abort();
  }
  cXml document;
  if (!document.Parse(std::span<const std::uint8_t>(data, size))) return 0;
  const NodeRef root = document.Root();
  const std::u16string before = Listing(root);
  const std::vector<kestrelwing::PropertyPair> properties = root->Properties();
  std::vector<std::pair<NodeRef, std::u16string>> children;
  for (const NodeRef& child : root->Nodes())
    children.emplace_back(child, Listing(child));

  const AssemblyIdentity dependency{u"grid.sxs", u"1.2.3.4", Architecture::Amd64};
  const auto refused =
      AddClientDependency(document, {u"app", u"1.0.0.0", Architecture::Amd64}, dependency);
  if (document.Root() != root) std::abort();  // the client's root is never replaced
  if (refused) {
    if (Listing(root) != before) std::abort();
    return 0;
  }
  for (const kestrelwing::PropertyPair& property : properties) {
    if (root->PropertyValue(property[0], u"\x1") != property[1]) std::abort();
  }
  // The original children, in their order and unchanged, but for the replaced dependencies.
  std::int32_t next = 1;
  for (const auto& [child, listing] : children) {
    std::int32_t found = next;
    while (found <= root->NodeCount() && root->Node(found) != child)
      ++found;
    if (found > root->NodeCount()) {
      if (!DependsOn(child, dependency.name)) std::abort();
      continue;
    }
    next = found + 1;
    if (Listing(child) != listing) std::abort();
  }
  if (CheckClientManifest(document, dependency)) std::abort();
  const std::string bytes = ManifestBytes(document);
  (void)CheckManifestBytes(
      std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
  return 0;
}
