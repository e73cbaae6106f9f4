// Small helpers that build and describe node trees for the document model's tests.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <kestrelwing/cXmlNode.h>

namespace kestrelwing::testing {

inline NodeRef NamedNode(std::u16string name) {
  NodeRef node = MakeNode();
  node->SetName(std::move(name));
  return node;
}

// Adds a new child of that name to parent and returns it.
inline NodeRef AddChild(cXmlNode& parent, std::u16string name) {
  NodeRef child = NamedNode(std::move(name));
  parent.Add(child);
  return child;
}

// The names of node's children, in order.
inline std::vector<std::u16string> ChildNames(const cXmlNode& node) {
  std::vector<std::u16string> names;
  for (std::int32_t i = 1; i <= node.NodeCount(); ++i)
    names.push_back(node.Node(i)->Name());
  return names;
}

}  // namespace kestrelwing::testing
