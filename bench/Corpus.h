// Documents for the benchmarks, generated deterministically within the library's XML dialect
// (double-quoted attributes, no mixed content, no processing instructions but the declaration).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace kestrelwing::bench {

// Many small elements with 3 to 5 attributes and some leaf text.
std::string AttributeHeavyDocument(std::size_t approximateBytes);
// Text-only leaf elements below one root.
std::string TextLeavesDocument(std::size_t approximateBytes);
// A tree a few levels deep with a mix of attributes, text and CDATA.
std::string NestedDocument(std::size_t approximateBytes);
// Growth shapes: one element with that many attributes, that many siblings, that much depth.
enum class Shape { WideAttributes, Siblings, Depth };
std::string GrowthDocument(Shape shape, std::size_t count);
// The contents of the project's test manifests (real-world shape, small files).
std::vector<std::string> ManifestFiles();

// The corpora the parse and save benchmarks compare the libraries on.
enum class Input { AttributeHeavy, TextLeaves, Nested, Manifests };
struct InputOptions {
  std::size_t largeBytes;  // size of the attribute-heavy and text-leaves documents
  bool utf16Manifests;     // false for peers that read no UTF-16
};
// The documents of a corpus, generated once and kept for the rest of the run.
const std::vector<std::string>& Documents(Input input, InputOptions options);

}  // namespace kestrelwing::bench
