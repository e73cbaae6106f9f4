// This library's parse and save speed on the generated corpora, timed by the program itself, for
// builds without Google Benchmark (the Windows build, run under Wine). Each figure is the fastest
// of the rounds in MB/s of source document, the round least disturbed by other load (as in the
// table that ends bench_parse and bench_save); run it beside the native build to compare the two
// systems on the same bytes.
//
// With pugixml and tinyxml2 built in (bench/CMakeLists.txt), each input's line is followed by one
// line a peer: its parse and save to memory on the same bytes, and this library's speed as a
// multiple of the peer's. The rounds are interleaved, one of each library in turn, so that a spell
// of other load slows all of them alike.
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

template <typename Library>
typename Library::Document Parsed(const std::string& bytes) {
  typename Library::Document document = Library::Parse(bytes);
  if (!document) {
    std::fprintf(stderr, "%s: the document did not parse\n", Library::kName);
    std::abort();
  }
  return document;
}

template <typename Library>
void TimeParse(const std::string& bytes, Speeds& best) {
  best.parse = std::max(best.parse, Speed(bytes.size(), [&] { return Parsed<Library>(bytes); }));
}

template <typename Library>
void TimeSaveToMemory(const typename Library::Document& document, std::size_t bytes, Speeds& best) {
  best.memory = std::max(best.memory, Speed(bytes, [&] {
                           typename Library::Memory memory;
                           return Library::SaveToMemory(*document, memory);
                         }));
}

// The libraries' fastest parse and save to memory on bytes, in interleaved rounds.
template <typename... Libraries>
std::array<Speeds, sizeof...(Libraries)> Compare(const std::string& bytes, int rounds) {
  std::array<Speeds, sizeof...(Libraries)> best{};
  for (int round = 0; round < rounds; ++round) {
    std::size_t index = 0;
    (TimeParse<Libraries>(bytes, best[index++]), ...);
  }
  const std::tuple<typename Libraries::Document...> documents{Parsed<Libraries>(bytes)...};
  for (int round = 0; round < rounds; ++round) {
    std::size_t index = 0;
    (TimeSaveToMemory<Libraries>(std::get<typename Libraries::Document>(documents), bytes.size(),
                                 best[index++]),
     ...);
  }
  return best;
}

template <typename... Libraries>
void Measure(const char* name, Input input, int rounds, const std::filesystem::path& file) {
  const std::string& bytes = Documents(input, {50 << 20, true}).front();
  const std::array<Speeds, sizeof...(Libraries)> speeds = Compare<Libraries...>(bytes, rounds);
  Kestrelwing::Document document = Parsed<Kestrelwing>(bytes);
  const Kestrelwing::Path path = file.u16string();
  double toFile = 0;
  for (int round = 0; round < rounds; ++round) {
    toFile = std::max(toFile, Speed(bytes.size(), [&] {
                        if (!Kestrelwing::SaveFile(*document, path)) std::abort();
                        return 0;
                      }));
  }
  const Speeds& ours = speeds.front();
  std::printf("%-16s parse %7.0f MB/s   save to memory %7.0f MB/s   save to a file %7.0f MB/s\n",
              name, ours.parse, ours.memory, toFile);
  const char* const names[] = {Libraries::kName...};
  for (std::size_t i = 1; i < speeds.size(); ++i) {
    std::printf(
        "  %-14s parse %7.0f MB/s   save to memory %7.0f MB/s   %s: parse %.2fx, "
        "save to memory %.2fx\n",
        names[i], speeds[i].parse, speeds[i].memory, Kestrelwing::kName,
        ours.parse / speeds[i].parse, ours.memory / speeds[i].memory);
  }
}

void MeasureAll(Input input, const char* name, int rounds, const std::filesystem::path& file) {
  Measure<Kestrelwing
#ifdef KESTRELWING_HAVE_PUGIXML
          ,
          Pugixml
#endif
#ifdef KESTRELWING_HAVE_TINYXML2
          ,
          Tinyxml2
#endif
          >(name, input, rounds, file);
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
  std::error_code error;
  std::filesystem::remove(file, error);
  return 0;
}
