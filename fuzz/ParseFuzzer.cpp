// Parse(bytes) on any input: it must never crash, leak or hang, and it must leave the document
// in one of its two defined states.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include <kestrelwing/cXml.h>

namespace {

// Visits every node without recursion; each property must be found again by its name.
std::size_t CountNodes(const kestrelwing::NodeRef& root) {
  std::size_t count = 0;
  std::vector<kestrelwing::NodeRef> pending{root};
  while (!pending.empty()) {
    const kestrelwing::NodeRef node = std::move(pending.back());
    pending.pop_back();
    ++count;
    for (std::int32_t i = 1; i <= node->PropertyCount(); ++i) {
      if (node->PropertyValue(node->PropertyName(i), u"\uFFFF") == u"\uFFFF") std::abort();
    }
    for (std::int32_t i = 1; i <= node->NodeCount(); ++i)
      pending.push_back(node->Node(i));
  }
  return count;
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
  return 0;
}
