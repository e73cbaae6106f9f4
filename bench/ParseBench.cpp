// Parsing speed and memory: this library beside pugixml, tinyxml2 and libxml2 (each when it was
// found at configure time), on the same bytes in the same run.
//
// Counters: bytes_per_second is the parse speed (the document's release is not timed);
// heap/byte is the heap the parsed document holds per input byte; peak/byte is the most heap
// in use at any moment of the parse, per input byte. Heap is counted through a replaced global
// operator new/delete and, for the C libraries, through their allocator hooks.
#include <benchmark/benchmark.h>

#include <malloc.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include <kestrelwing/cXml.h>

#include "Compiler.h"
#include "Corpus.h"
#include "Peers.h"

#ifdef KESTRELWING_HAVE_PUGIXML
#include <pugixml.hpp>
#endif
#ifdef KESTRELWING_HAVE_LIBXML2
#include <libxml/parser.h>
#include <libxml/xmlmemory.h>
#endif

// Heap accounting -------------------------------------------------------------------------------

namespace {

// The benchmarks run on one thread; plain counters are enough. Counting is on only for the
// untimed parse that measures the heap, so the timed parses pay nothing for it.
bool countingHeap = false;
std::size_t liveBytes = 0;
std::size_t peakBytes = 0;

void* CountedMalloc(std::size_t size) {
  void* block = std::malloc(size);
  if (countingHeap && block != nullptr) {
    liveBytes += malloc_usable_size(block);
    if (liveBytes > peakBytes) peakBytes = liveBytes;
  }
  return block;
}

void CountedFree(void* block) {
  if (block == nullptr) return;
  if (countingHeap) liveBytes -= malloc_usable_size(block);
  std::free(block);
}

void* CountedAlignedAlloc(std::size_t size, std::size_t alignment) {
  // aligned_alloc wants a size that is a multiple of the alignment.
  void* block = std::aligned_alloc(alignment, (size + alignment - 1) / alignment * alignment);
  if (countingHeap && block != nullptr) {
    liveBytes += malloc_usable_size(block);
    if (liveBytes > peakBytes) peakBytes = liveBytes;
  }
  return block;
}

[[maybe_unused]] void* CountedRealloc(void* block, std::size_t size) {
  const std::size_t before = countingHeap && block != nullptr ? malloc_usable_size(block) : 0;
  void* moved = std::realloc(block, size);
  if (moved == nullptr || !countingHeap) return moved;
  liveBytes = liveBytes - before + malloc_usable_size(moved);
  if (liveBytes > peakBytes) peakBytes = liveBytes;
  return moved;
}

[[maybe_unused]] char* CountedStrdup(const char* text) {
  const std::size_t size = std::strlen(text) + 1;
  auto* copy = static_cast<char*>(CountedMalloc(size));
  if (copy != nullptr) std::memcpy(copy, text, size);
  return copy;
}

}  // namespace

// Out of line, so that the compiler does not pair an inlined malloc with a delete expression.
KESTRELWING_NOINLINE void* operator new(std::size_t size) {
  if (void* block = CountedMalloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}
KESTRELWING_NOINLINE void* operator new[](std::size_t size) {
  return ::operator new(size);
}
KESTRELWING_NOINLINE void operator delete(void* block) noexcept {
  CountedFree(block);
}
KESTRELWING_NOINLINE void operator delete[](void* block) noexcept {
  CountedFree(block);
}
KESTRELWING_NOINLINE void operator delete(void* block, std::size_t) noexcept {
  CountedFree(block);
}
KESTRELWING_NOINLINE void operator delete[](void* block, std::size_t) noexcept {
  CountedFree(block);
}
// Over-aligned blocks (the library's node pools) are counted as well.
KESTRELWING_NOINLINE void* operator new(std::size_t size, std::align_val_t alignment) {
  if (void* block =
          CountedAlignedAlloc(size == 0 ? 1 : size, static_cast<std::size_t>(alignment))) {
    return block;
  }
  throw std::bad_alloc();
}
KESTRELWING_NOINLINE void operator delete(void* block, std::align_val_t) noexcept {
  CountedFree(block);
}
KESTRELWING_NOINLINE void operator delete(void* block, std::size_t, std::align_val_t) noexcept {
  CountedFree(block);
}

namespace kestrelwing::bench {
namespace {

// Peers: each parses bytes into a document it holds until it is released ----------------------
// (this library, pugixml and tinyxml2 in Peers.h)

#ifdef KESTRELWING_HAVE_LIBXML2
struct Libxml2 {
  struct Release {
    void operator()(xmlDoc* document) const { xmlFreeDoc(document); }
  };
  using Document = std::unique_ptr<xmlDoc, Release>;
  static Document Parse(const std::string& bytes) {
    return Document(xmlReadMemory(bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr,
                                  XML_PARSE_NONET | XML_PARSE_HUGE));
  }
};
#endif

// The C libraries allocate through hooks; set them before anything else runs.
[[maybe_unused]] const bool allocatorsHooked = [] {
#ifdef KESTRELWING_HAVE_PUGIXML
  pugi::set_memory_management_functions(CountedMalloc, CountedFree);
#endif
#ifdef KESTRELWING_HAVE_LIBXML2
  xmlMemSetup(CountedFree, CountedMalloc, CountedRealloc, CountedStrdup);
  xmlInitParser();
#endif
  return true;
}();

// Measuring ------------------------------------------------------------------------------------

template <typename Peer>
void ParseDocuments(benchmark::State& state, const std::vector<std::string>& documents) {
  std::size_t totalBytes = 0;
  for (const std::string& bytes : documents)
    totalBytes += bytes.size();
  if (totalBytes == 0) {
    state.SkipWithError("no input");
    return;
  }
  // One untimed parse measures the heap.
  {
    countingHeap = true;
    const std::size_t before = liveBytes;
    peakBytes = liveBytes;
    std::vector<typename Peer::Document> parsed;
    parsed.reserve(documents.size());
    const std::size_t held = liveBytes;
    for (const std::string& bytes : documents) {
      parsed.push_back(Peer::Parse(bytes));
      if (!parsed.back()) {
        state.SkipWithError("the document did not parse");
        countingHeap = false;
        return;
      }
    }
    state.counters["heap/byte"] = static_cast<double>(liveBytes - held) / totalBytes;
    state.counters["peak/byte"] = static_cast<double>(peakBytes - before) / totalBytes;
    parsed.clear();
    countingHeap = false;
  }
  std::vector<typename Peer::Document> parsed(documents.size());
  for (auto _ : state) {
    for (std::size_t i = 0; i < documents.size(); ++i)
      parsed[i] = Peer::Parse(documents[i]);
    benchmark::DoNotOptimize(parsed.data());
    state.PauseTiming();
    for (auto& document : parsed)
      document.reset();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * totalBytes));
}

struct NamedInput {
  Input input;
  const char* name;
  benchmark::TimeUnit unit;
};

template <typename Peer>
void RegisterParse(const NamedInput& input, const char* peer) {
  const std::string name = std::string("BM_Parse/") + input.name + "/" + peer;
  benchmark::RegisterBenchmark(name.c_str(), [which = input.input](benchmark::State& state) {
    ParseDocuments<Peer>(state, Documents(which, {50 << 20, true}));
  })->Unit(input.unit);
}

// Each input with every peer in turn, so the console shows them side by side.
[[maybe_unused]] const bool parseBenchmarksRegistered = [] {
  const NamedInput inputs[] = {
      {Input::AttributeHeavy, "attribute_heavy", benchmark::kMillisecond},
      {Input::TextLeaves, "text_leaves", benchmark::kMillisecond},
      {Input::Nested, "nested", benchmark::kMillisecond},
      {Input::Manifests, "manifests", benchmark::kMicrosecond},
  };
  for (const NamedInput& input : inputs) {
    RegisterParse<Kestrelwing>(input, "kestrelwing");
    RegisterParse<KestrelwingXml10>(input, "kestrelwing_xml10");
#ifdef KESTRELWING_HAVE_PUGIXML
    RegisterParse<Pugixml>(input, "pugixml");
#endif
#ifdef KESTRELWING_HAVE_TINYXML2
    RegisterParse<Tinyxml2>(input, "tinyxml2");
#endif
#ifdef KESTRELWING_HAVE_LIBXML2
    RegisterParse<Libxml2>(input, "libxml2");
#endif
  }
  return true;
}();

// Growth shapes: the same speed at both sizes means time grows linearly with the input. Beside
// this library, pugixml on the same documents shows what the machine itself adds at the larger
// size (caches, fresh pages from the kernel).
template <typename Peer>
void RegisterGrowth(const char* peer) {
  struct Growth {
    Shape shape;
    const char* name;
    std::vector<std::int64_t> counts;
  };
  const Growth shapes[] = {
      {Shape::WideAttributes, "wide_attributes", {10'000, 100'000, 1'000'000}},
      {Shape::Siblings, "siblings", {100'000, 1'000'000}},
      {Shape::Depth, "depth", {100'000, 1'000'000}},
  };
  for (const Growth& growth : shapes) {
    const std::string name = std::string("BM_Growth/") + growth.name + "/" + peer;
    auto* benchmark =
        benchmark::RegisterBenchmark(name.c_str(), [shape = growth.shape](benchmark::State& state) {
          const std::vector<std::string> document{
              GrowthDocument(shape, static_cast<std::size_t>(state.range(0)))};
          ParseDocuments<Peer>(state, document);
        });
    for (const std::int64_t count : growth.counts)
      benchmark->Arg(count);
    benchmark->Unit(benchmark::kMillisecond);
  }
}

[[maybe_unused]] const bool growthBenchmarksRegistered = [] {
  RegisterGrowth<Kestrelwing>("kestrelwing");
#ifdef KESTRELWING_HAVE_PUGIXML
  RegisterGrowth<Pugixml>("pugixml");
#endif
  return true;
}();

}  // namespace
}  // namespace kestrelwing::bench
