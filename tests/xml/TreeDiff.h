// Compares two node trees: kinds, names, values, properties (names, values, order) and children.
#pragma once

#include <cstddef>
#include <string>

#include <kestrelwing/cXmlNode.h>

namespace kestrelwing::testing {

struct TreeComparison {
  std::string difference;    // the first difference found, with the path to it; empty when equal
  std::size_t elements = 0;  // elements compared
};

// Walks both trees with an explicit stack, so a tree of any depth can be compared.
TreeComparison CompareTrees(const cXmlNode& expected, const cXmlNode& actual);

}  // namespace kestrelwing::testing
