// This library's parse and save speed on the generated corpora, timed by the program itself, for
// builds without Google Benchmark (the Windows build, run under Wine). Each figure is the fastest
// of the rounds in MB/s of source document, the round least disturbed by other load (as in the
// table that ends bench_parse and bench_save); run it beside the native build to compare the two
// systems on the same bytes.
//
// Each input's line is followed by one line for the XML 1.0 reading and, with pugixml and tinyxml2
// built in (bench/CMakeLists.txt), one for each peer: its parse and save to memory on the same
// bytes, and the dialect's speed as a multiple of its speed; then the XML 1.0 reading's parse as a
// multiple of each peer's. The rounds are interleaved, one of each library in turn, so that a
// spell of other load slows all of them alike. The project's manifests are read as one round, all
// of them; the one in UTF-16 is left out, as the peers read no UTF-16.
//
//   plain_timings [rounds]     (default 9)
#include <algorithm>
#include <array>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "Corpus.h"
#include "Peers.h"

namespace kestrelwing::bench {
namespace {

using Clock = std::chrono::steady_clock;

// The fastest round of each step of one library on one input, in MB/s.
struct Speeds {
  double parse = 0;
  double memory = 0;
};

// One round of step, in MB/s of bytes; step's own result is released after the clock stopped.
template <typename Step>
double Speed(std::size_t bytes, Step step) {
  const Clock::time_point start = Clock::now();
  [[maybe_unused]] const auto result = step();
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return static_cast<double>(bytes) / seconds / 1e6;
}

std::size_t TotalBytes(const std::vector<std::string>& documents) {
  std::size_t bytes = 0;
  for (const std::string& document : documents)
    bytes += document.size();
  return bytes;
}

template <typename Library>
using Trees = std::vector<typename Library::Document>;

// Every document of the corpus, parsed.
template <typename Library>
Trees<Library> Parsed(const std::vector<std::string>& corpus) {
  Trees<Library> documents;
  for (const std::string& bytes : corpus) {
    documents.push_back(Library::Parse(bytes));
    if (!documents.back()) {
      std::fprintf(stderr, "%s: a document did not parse\n", Library::kName);
      std::abort();
    }
  }
  return documents;
}

template <typename Library>
void TimeParse(const std::vector<std::string>& corpus, Speeds& best) {
  best.parse =
      std::max(best.parse, Speed(TotalBytes(corpus), [&] { return Parsed<Library>(corpus); }));
}

template <typename Library>
void TimeSaveToMemory(const Trees<Library>& documents, std::size_t bytes, Speeds& best) {
  best.memory = std::max(best.memory, Speed(bytes, [&] {
                           typename Library::Memory memory;
                           std::size_t written = 0;
                           for (const auto& document : documents)
                             written += Library::SaveToMemory(*document, memory);
                           return written;
                         }));
}

// The libraries' fastest parse and save to memory of the corpus, in interleaved rounds.
template <typename... Libraries>
std::array<Speeds, sizeof...(Libraries)> Compare(const std::vector<std::string>& corpus,
                                                 int rounds) {
  std::array<Speeds, sizeof...(Libraries)> best{};
  for (int round = 0; round < rounds; ++round) {
    std::size_t index = 0;
    (TimeParse<Libraries>(corpus, best[index++]), ...);
  }
  const std::tuple<Trees<Libraries>...> documents{Parsed<Libraries>(corpus)...};
  const auto saveAll = [&]<std::size_t... kIndex>(std::index_sequence<kIndex...>) {
    (TimeSaveToMemory<Libraries>(std::get<kIndex>(documents), TotalBytes(corpus), best[kIndex]),
     ...);
  };
  for (int round = 0; round < rounds; ++round)
    saveAll(std::index_sequence_for<Libraries...>());
  return best;
}

// One line per library: its speeds and, after the first, this library's dialect as a multiple
// of it; the XML 1.0 reading's multiples of the peers follow on a line of their own.
template <typename... Libraries>
void Measure(const char* name, const std::vector<std::string>& corpus, int rounds,
             const std::filesystem::path& file) {
  const std::array<Speeds, sizeof...(Libraries)> speeds = Compare<Libraries...>(corpus, rounds);
  Trees<Kestrelwing> documents = Parsed<Kestrelwing>(corpus);
  const Kestrelwing::Path path = file.u16string();
  double toFile = 0;
  for (int round = 0; round < rounds; ++round) {
    toFile = std::max(toFile, Speed(TotalBytes(corpus), [&] {
                        for (auto& document : documents) {
                          if (!Kestrelwing::SaveFile(*document, path)) std::abort();
                        }
                        return 0;
                      }));
  }
  const Speeds& ours = speeds.front();
  std::printf("%-16s parse %7.0f MB/s   save to memory %7.0f MB/s   save to a file %7.0f MB/s\n",
              name, ours.parse, ours.memory, toFile);
  const char* const names[] = {Libraries::kName...};
  for (std::size_t i = 1; i < speeds.size(); ++i) {
    std::printf(
        "  %-17s parse %7.0f MB/s   save to memory %7.0f MB/s   %s: parse %.2fx, "
        "save to memory %.2fx\n",
        names[i], speeds[i].parse, speeds[i].memory, Kestrelwing::kName,
        ours.parse / speeds[i].parse, ours.memory / speeds[i].memory);
  }
  // The XML 1.0 reading, the second library, against the peers after it.
  for (std::size_t i = 2; i < speeds.size(); ++i) {
    std::printf("  %s against %s: parse %.2fx\n", names[1], names[i],
                speeds[1].parse / speeds[i].parse);
  }
}

void MeasureAll(Input input, const char* name, int rounds, const std::filesystem::path& file) {
  // The peers read no UTF-16: the project's manifests are compared without the one in UTF-16.
  const std::vector<std::string>& corpus = Documents(input, {50 << 20, false});
  Measure<Kestrelwing, KestrelwingXml10
#ifdef KESTRELWING_HAVE_PUGIXML
          ,
          Pugixml
#endif
#ifdef KESTRELWING_HAVE_TINYXML2
          ,
          Tinyxml2
#endif
          >(name, corpus, rounds, file);
}

}  // namespace
}  // namespace kestrelwing::bench

int main(int argc, char** argv) {
  using kestrelwing::bench::Input;
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
  const std::filesystem::path file =
      std::filesystem::temp_directory_path() / "kestrelwing-plain-timings.xml";
  kestrelwing::bench::MeasureAll(Input::AttributeHeavy, "attribute_heavy", rounds, file);
  kestrelwing::bench::MeasureAll(Input::TextLeaves, "text_leaves", rounds, file);
  kestrelwing::bench::MeasureAll(Input::Nested, "nested", rounds, file);
  kestrelwing::bench::MeasureAll(Input::Manifests, "manifests", rounds, file);
  std::error_code error;
  std::filesystem::remove(file, error);
  return 0;
}
