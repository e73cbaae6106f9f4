#include "TreeDiff.h"

#include <cstdint>
#include <vector>

namespace kestrelwing::testing {
namespace {

std::string Quoted(std::u16string_view text) {
  std::string quoted(1, '"');
  quoted += ToUtf8(text);
  quoted += '"';
  return quoted;
}

// The first difference between the two elements themselves (not their children), or empty.
std::string CompareElement(const cXmlNode& expected, const cXmlNode& actual) {
  if (expected.Kind() != actual.Kind()) {
    return "kind " + std::to_string(actual.Kind()) + ", expected " +
           std::to_string(expected.Kind());
  }
  if (expected.Name() != actual.Name()) {
    return "name " + Quoted(actual.Name()) + ", expected " + Quoted(expected.Name());
  }
  if (expected.PropertyCount() != actual.PropertyCount()) {
    return std::to_string(actual.PropertyCount()) + " properties, expected " +
           std::to_string(expected.PropertyCount());
  }
  const auto expectedProperties = expected.Properties();
  const auto actualProperties = actual.Properties();
  for (std::size_t i = 0; i < expectedProperties.size(); ++i) {
    if (expectedProperties[i] != actualProperties[i]) {
      return "property " + std::to_string(i + 1) + " is " + Quoted(actualProperties[i][0]) + "=" +
             Quoted(actualProperties[i][1]) + ", expected " + Quoted(expectedProperties[i][0]) +
             "=" + Quoted(expectedProperties[i][1]);
    }
  }
  if (expected.NodeCount() != actual.NodeCount()) {
    return std::to_string(actual.NodeCount()) + " children, expected " +
           std::to_string(expected.NodeCount());
  }
  if (expected.Value() != actual.Value()) {
    return "value " + Quoted(actual.Value()) + ", expected " + Quoted(expected.Value());
  }
  return {};
}

}  // namespace

TreeComparison CompareTrees(const cXmlNode& expected, const cXmlNode& actual) {
  // Every element visited, with its parent's entry, so the path to a difference can be told
  // without building a path string for every element.
  struct Visited {
    const cXmlNode* expected;
    const cXmlNode* actual;
    std::size_t parent;
    std::int32_t position;
  };
  constexpr std::size_t kNoParent = static_cast<std::size_t>(-1);
  std::vector<Visited> visited;
  auto pathTo = [&](std::size_t entry) {
    std::string path;
    for (; entry != kNoParent; entry = visited[entry].parent) {
      std::string step(1, '/');
      step += ToUtf8(visited[entry].expected->Name());
      if (visited[entry].parent != kNoParent) {
        step += '[';
        step += std::to_string(visited[entry].position);
        step += ']';
      }
      path.insert(0, step);
    }
    return path;
  };

  TreeComparison result;
  std::vector<Visited> pending{{&expected, &actual, kNoParent, 1}};
  while (!pending.empty()) {
    visited.push_back(pending.back());
    pending.pop_back();
    const std::size_t entry = visited.size() - 1;
    const Visited pair = visited[entry];
    ++result.elements;
    std::string difference = CompareElement(*pair.expected, *pair.actual);
    if (!difference.empty()) {
      result.difference = pathTo(entry) + ": " + difference;
      return result;
    }
    // Pushed last to first, so children are compared in document order.
    for (std::int32_t i = pair.expected->NodeCount(); i >= 1; --i) {
      NodeRef expectedChild = pair.expected->Node(i);
      NodeRef actualChild = pair.actual->Node(i);
      if ((expectedChild == nullptr) != (actualChild == nullptr)) {
        result.difference = pathTo(entry) + ": child " + std::to_string(i) + " missing on one side";
        return result;
      }
      if (expectedChild != nullptr) {
        pending.push_back({expectedChild.get(), actualChild.get(), entry, i});
      }
    }
  }
  return result;
}

}  // namespace kestrelwing::testing
