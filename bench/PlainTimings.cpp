// This library's parse and save speed on the generated corpora, timed by the program itself, for
// builds without Google Benchmark (the Windows build, run under Wine). Each figure is the fastest
// of the rounds in MB/s of source document, the round least disturbed by other load (as in the
// table that ends bench_parse and bench_save); run it beside the native build to compare the two
// systems on the same bytes.
//
//   plain_timings [rounds]     (default 9)
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <span>
#include <string>

#include <kestrelwing/cXml.h>

#include "Corpus.h"
#include "StringSink.h"
#include "Writer.h"

namespace kestrelwing::bench {
namespace {

using Clock = std::chrono::steady_clock;

std::unique_ptr<cXml> Parsed(const std::string& bytes) {
  auto document = std::make_unique<cXml>();
  const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
  if (!document->Parse(std::span<const std::uint8_t>(data, bytes.size()))) std::abort();
  return document;
}

// The fastest of the rounds of step, in MB/s of bytes; step's own result is released untimed.
template <typename Step>
double BestSpeed(int rounds, std::size_t bytes, Step step) {
  double best = 0;
  for (int round = 0; round < rounds; ++round) {
    const Clock::time_point start = Clock::now();
    [[maybe_unused]] const auto result = step();  // released after the clock stopped
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    best = std::max(best, static_cast<double>(bytes) / seconds / 1e6);
  }
  return best;
}

void Measure(const char* name, Input input, int rounds, const std::filesystem::path& file) {
  const std::string& bytes = Documents(input, {50 << 20, true}).front();
  const double parse = BestSpeed(rounds, bytes.size(), [&] { return Parsed(bytes); });
  const std::unique_ptr<cXml> document = Parsed(bytes);
  const detail::WriteOptions options{.prettyPrint = true, .identType = 0, .encodingId = 1};
  const double memory = BestSpeed(rounds, bytes.size(), [&] {
    StringSink sink;
    detail::WriteDocument(document->XMLNode().get(), document->Root().get(), options, sink);
    return sink.text.size();
  });
  const std::u16string path = file.u16string();
  const double toFile = BestSpeed(rounds, bytes.size(), [&] {
    if (!document->Save(path, true, 0, false, 1)) std::abort();
    return 0;
  });
  std::printf("%-16s parse %7.0f MB/s   save to memory %7.0f MB/s   save to a file %7.0f MB/s\n",
              name, parse, memory, toFile);
}

}  // namespace
}  // namespace kestrelwing::bench

int main(int argc, char** argv) {
  using kestrelwing::bench::Input;
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
  const std::filesystem::path file =
      std::filesystem::temp_directory_path() / "kestrelwing-plain-timings.xml";
  kestrelwing::bench::Measure("attribute_heavy", Input::AttributeHeavy, rounds, file);
  kestrelwing::bench::Measure("text_leaves", Input::TextLeaves, rounds, file);
  kestrelwing::bench::Measure("nested", Input::Nested, rounds, file);
  std::error_code error;
  std::filesystem::remove(file, error);
  return 0;
}
