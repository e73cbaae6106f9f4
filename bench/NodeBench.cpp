// The document model: growth of property and child operations with their count, and the heap
// that an attribute-heavy tree takes.
#include <kestrelwing/cXmlNode.h>

#include <benchmark/benchmark.h>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "NodeAccess.h"

namespace kestrelwing {
namespace {

std::u16string Numbered(std::u16string_view prefix, std::int64_t n) {
  std::u16string text(prefix);
  for (const char c : std::to_string(n))
    text.push_back(static_cast<char16_t>(c));
  return text;
}

std::vector<std::u16string> NumberedNames(std::u16string_view prefix, std::int64_t count) {
  std::vector<std::u16string> names;
  names.reserve(static_cast<std::size_t>(count));
  for (std::int64_t i = 0; i < count; ++i)
    names.push_back(Numbered(prefix, i));
  return names;
}

// Sets n distinct properties on one node, then reads each back by a name spelt in other case.
void SetAndReadProperties(benchmark::State& state) {
  const std::int64_t n = state.range(0);
  const std::vector<std::u16string> names = NumberedNames(u"Property", n);
  const std::vector<std::u16string> lookups = NumberedNames(u"PROPERTY", n);
  for (auto _ : state) {
    cXmlNode node;
    for (const std::u16string& name : names)
      node.SetPropertyValue(name, name);
    std::size_t total = 0;
    for (const std::u16string& name : lookups)
      total += node.PropertyValue(name).size();
    benchmark::DoNotOptimize(total);
  }
  state.SetComplexityN(n);
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(SetAndReadProperties)
    ->RangeMultiplier(10)
    ->Range(1'000, 100'000)
    ->Complexity(benchmark::oN);

// Adds n new children at the end, then reads each back by position.
void AddAndReadChildren(benchmark::State& state) {
  const std::int64_t n = state.range(0);
  for (auto _ : state) {
    cXmlNode node;
    for (std::int64_t i = 0; i < n; ++i)
      node.Add(MakeNode());
    std::size_t total = 0;
    for (std::int32_t i = 1; i <= node.NodeCount(); ++i)
      total += node.Node(i)->Name().size();
    benchmark::DoNotOptimize(total);
  }
  state.SetComplexityN(n);
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(AddAndReadChildren)
    ->RangeMultiplier(10)
    ->Range(1'000, 100'000)
    ->Complexity(benchmark::oN);

#if defined(__GLIBC__)
// Bytes in use on the heap, large (mapped) blocks included.
std::size_t HeapInUse() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

// Builds, the way the reader does, n elements shaped like those of a side-by-side manifest:
//   <file name="component42.dll" hashalg="SHA1" hash="(40 hex digits)" size="123456">
//     <comClass clsid="{...}" threadingModel="Apartment" progid="Library.Class42"/>
//     <typelib tlbid="{...}" version="1.0" helpdir="">some text</typelib>
//   </file>
// and reports the heap the tree takes per byte of that XML text.
void AttributeHeavyTreeHeap(benchmark::State& state) {
  using detail::NodeAccess;
  const std::int64_t n = state.range(0);
  const std::u16string guid = u"{01234567-89AB-CDEF-0123-456789ABCDEF}";
  const std::u16string hash(40, u'a');
  std::size_t inputBytes = 0;
  std::size_t heapBytes = 0;
  for (auto _ : state) {
    inputBytes = 0;
    const std::size_t before = HeapInUse();
    NodeRef root = MakeNode();
    NodeAccess::SetName(*root, u"assembly");
    // Counts the bytes one element would take as XML text: markup, names, values, indentation.
    // An element closes with an end tag when it has text or children, else with "/>".
    const auto element =
        [&](std::vector<NodeRef>& siblings, std::u16string_view name,
            std::initializer_list<std::pair<std::u16string_view, std::u16string>> properties,
            std::u16string_view text, bool endTag) {
          NodeRef node = MakeNode();
          NodeAccess::SetName(*node, name);
          inputBytes += 5 + (endTag ? 2 * name.size() + 5 : name.size() + 3);  // line, tags
          for (const auto& [propertyName, value] : properties) {
            NodeAccess::SetProperty(*node, propertyName, value);
            inputBytes += propertyName.size() + value.size() + 4;  // space, =, two quotes
          }
          if (!text.empty()) node->SetValue(std::u16string(text));
          inputBytes += text.size();
          NodeAccess::CompactProperties(*node);
          siblings.push_back(node);
          return node;
        };
    // Each element takes its children in one step, as the reader hands them over.
    std::vector<NodeRef> files;
    for (std::int64_t i = 0; i < n; ++i) {
      NodeRef file = element(files, u"file",
                             {{u"name", Numbered(u"component", i) + u".dll"},
                              {u"hashalg", u"SHA1"},
                              {u"hash", hash},
                              {u"size", Numbered(u"", 100000 + i)}},
                             u"", true);
      std::vector<NodeRef> parts;
      element(parts, u"comClass",
              {{u"clsid", guid},
               {u"threadingModel", u"Apartment"},
               {u"progid", Numbered(u"Library.Class", i)}},
              u"", false);
      element(parts, u"typelib", {{u"tlbid", guid}, {u"version", u"1.0"}, {u"helpdir", u""}},
              u"some text", true);
      NodeAccess::AdoptChildren(*file, parts);
    }
    NodeAccess::AdoptChildren(*root, files);
    files = {};  // the references were moved out; the list's own room is not the tree's
    heapBytes = HeapInUse() - before;
    state.PauseTiming();
    root.reset();
    state.ResumeTiming();
  }
  state.counters["elements"] = static_cast<double>(3 * n);
  state.counters["heap_bytes_per_element"] = static_cast<double>(heapBytes) / (3.0 * n);
  state.counters["input_bytes_per_element"] = static_cast<double>(inputBytes) / (3.0 * n);
  state.counters["heap_per_input_byte"] =
      static_cast<double>(heapBytes) / static_cast<double>(inputBytes);
}
BENCHMARK(AttributeHeavyTreeHeap)->Arg(10'000)->Unit(benchmark::kMillisecond);
#endif

}  // namespace
}  // namespace kestrelwing
