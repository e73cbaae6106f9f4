// Saving speed: this library beside pugixml, tinyxml2 and libxml2 (each when it was found at
// configure time), each saving the same document, read from the same bytes, pretty-printed with
// four spaces per level in UTF-8: BM_Save to a file with the library's own file-saving call,
// BM_SaveToMemory into memory, which shows the writer alone, without the file system.
//
// bytes_per_second counts the bytes of the source document per save, the same for every peer.
// The files go to /dev/shm when it exists: this library flushes its file to the disk before it
// replaces the old one (the peers do not), and on a memory file system the flush costs nothing,
// so the figures compare the writers and their use of the file system. On a busy machine,
// --benchmark_enable_random_interleaving=true with a few repetitions gives steadier ratios.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "Corpus.h"
#include "Peers.h"

#ifdef KESTRELWING_HAVE_LIBXML2
#include <libxml/globals.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#endif

namespace kestrelwing::bench {
namespace {

namespace fs = std::filesystem;

// Where the saved files go: one folder per run, removed at exit.
class OutputFolder {
 public:
  OutputFolder() {
    std::error_code error;
    const fs::path base =
        fs::is_directory("/dev/shm", error) ? fs::path("/dev/shm") : fs::temp_directory_path();
    path_ = base / ("kestrelwing-save-bench-" + std::to_string(::getpid()));
    fs::create_directories(path_, error);
  }
  ~OutputFolder() {
    std::error_code error;
    fs::remove_all(path_, error);
  }
  std::string File(const char* peer) const {
    return (path_ / (std::string(peer) + ".xml")).string();
  }

 private:
  fs::path path_;
};

const OutputFolder& Output() {
  static const OutputFolder folder;
  return folder;
}

// Peers: each reads the bytes once (not timed) and then saves the document it holds ----------

// The libraries of Peers.h, holding the document they read.
template <typename Library>
struct Saving {
  static constexpr const char* kName = Library::kName;
  typename Library::Document document;
  typename Library::Path path = Library::FilePath(Output().File(kName));
  typename Library::Memory memory;

  bool Load(const std::string& bytes) {
    document = Library::Parse(bytes);
    return document != nullptr;
  }
  bool Save() { return Library::SaveFile(*document, path); }
  std::size_t SaveToMemory() { return Library::SaveToMemory(*document, memory); }
};

#ifdef KESTRELWING_HAVE_LIBXML2
struct Libxml2 {
  static constexpr const char* kName = "libxml2";
  xmlDoc* document = nullptr;
  std::string path = Output().File(kName);

  Libxml2() { xmlTreeIndentString = "    "; }
  ~Libxml2() { xmlFreeDoc(document); }
  bool Load(const std::string& bytes) {
    document = xmlReadMemory(bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr,
                             XML_PARSE_NONET | XML_PARSE_HUGE | XML_PARSE_NOBLANKS);
    return document != nullptr;
  }
  bool Save() { return xmlSaveFormatFileEnc(path.c_str(), document, "UTF-8", 1) >= 0; }
  std::size_t SaveToMemory() {
    xmlChar* text = nullptr;
    int size = 0;
    xmlDocDumpFormatMemoryEnc(document, &text, &size, "UTF-8", 1);
    xmlFree(text);
    return static_cast<std::size_t>(size);
  }
};
#endif

// Measuring ------------------------------------------------------------------------------------

enum class Target { File, Memory };

template <typename Peer>
void SaveDocuments(benchmark::State& state, const std::vector<std::string>& documents,
                   Target target = Target::File) {
  std::vector<std::unique_ptr<Peer>> loaded;
  std::size_t totalBytes = 0;
  for (const std::string& bytes : documents) {
    loaded.push_back(std::make_unique<Peer>());
    if (!loaded.back()->Load(bytes)) {
      state.SkipWithError("the document did not parse");
      return;
    }
    totalBytes += bytes.size();
  }
  if (totalBytes == 0) {
    state.SkipWithError("no input");
    return;
  }
  for (auto _ : state) {
    for (const auto& peer : loaded) {
      if (target == Target::Memory) {
        benchmark::DoNotOptimize(peer->SaveToMemory());
      } else if (!peer->Save()) {
        state.SkipWithError("the save failed");
        return;
      }
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * totalBytes));
}

template <typename Peer>
void BM_Save(benchmark::State& state, Input input, Target target) {
  // tinyxml2 reads no UTF-16, so the UTF-16 manifest is left out for every peer alike.
  SaveDocuments<Peer>(state, Documents(input, {10 << 20, false}), target);
}

// Growth shapes: the same speed at both sizes means time grows linearly with the tree.
void BM_SaveGrowth(benchmark::State& state, Shape shape) {
  const auto count = static_cast<std::size_t>(state.range(0));
  const std::vector<std::string> document{GrowthDocument(shape, count)};
  SaveDocuments<Saving<Kestrelwing>>(state, document);
}

template <typename Peer>
void RegisterPeer() {
  const auto add = [](const char* corpus, Input input, benchmark::TimeUnit unit) {
    for (Target target : {Target::File, Target::Memory}) {
      const std::string name =
          std::string(target == Target::File ? "BM_Save/" : "BM_SaveToMemory/") + corpus + "/" +
          Peer::kName;
      benchmark::RegisterBenchmark(name.c_str(), BM_Save<Peer>, input, target)->Unit(unit);
    }
  };
  add("attribute_heavy", Input::AttributeHeavy, benchmark::kMillisecond);
  add("text_leaves", Input::TextLeaves, benchmark::kMillisecond);
  add("nested", Input::Nested, benchmark::kMillisecond);
  add("manifests", Input::Manifests, benchmark::kMicrosecond);
}

[[maybe_unused]] const bool peersRegistered = [] {
  RegisterPeer<Saving<Kestrelwing>>();
#ifdef KESTRELWING_HAVE_PUGIXML
  RegisterPeer<Saving<Pugixml>>();
#endif
#ifdef KESTRELWING_HAVE_TINYXML2
  RegisterPeer<Saving<Tinyxml2>>();
#endif
#ifdef KESTRELWING_HAVE_LIBXML2
  RegisterPeer<Libxml2>();
#endif
  return true;
}();

BENCHMARK_CAPTURE(BM_SaveGrowth, wide_attributes, Shape::WideAttributes)
    ->Arg(10'000)
    ->Arg(100'000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SaveGrowth, siblings, Shape::Siblings)
    ->Arg(100'000)
    ->Arg(1'000'000)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace kestrelwing::bench
