// Throughput of the conversions every parse and every save runs over the whole document:
// escaping, unescaping, decoding and encoding, on plain and on mixed text.
#include <benchmark/benchmark.h>

#include <kestrelwing/cXmlNode.h>

#include <cstdint>
#include <string>
#include <vector>

#include "Encodings.h"
#include "Escaping.h"

namespace {

using namespace kestrelwing::detail;

constexpr std::size_t kTextSize = 1 << 20;  // code units per run

// Attribute-like text: mostly ASCII, an entity-worthy character every ~40 units when asked,
// and some Latin-1, Greek and CJK when asked.
std::u16string MakeText(bool markup, bool nonAscii) {
  static const std::u16string_view kPlain = u"ClassId {0000-1111} threadingModel Apartment ";
  static const std::u16string_view kMixed = u"descripción Ελληνικά 日本語 ";
  std::u16string text;
  while (text.size() < kTextSize) {
    text += kPlain;
    if (markup) text += u"a<b & \"c\" ";
    if (nonAscii) text += kMixed;
  }
  text.resize(kTextSize);
  return text;
}

std::vector<std::uint8_t> Bytes(const std::string& text) {
  return std::vector<std::uint8_t>(text.begin(), text.end());
}

void SetBytes(benchmark::State& state, std::size_t perIteration) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * perIteration));
}

void BM_EscapeMarkup(benchmark::State& state) {
  const std::u16string text = MakeText(state.range(0) != 0, false);
  std::u16string out;
  for (auto _ : state) {
    out.clear();
    AppendEscapedMarkup(out, text);
    benchmark::DoNotOptimize(out.data());
  }
  SetBytes(state, text.size() * 2);
}
BENCHMARK(BM_EscapeMarkup)->Arg(0)->Arg(1)->ArgName("markup");

void BM_UnescapeMarkup(benchmark::State& state) {
  const std::u16string text = EscapeMarkup(MakeText(state.range(0) != 0, false));
  for (auto _ : state)
    benchmark::DoNotOptimize(UnescapeMarkup(text));
  SetBytes(state, text.size() * 2);
}
BENCHMARK(BM_UnescapeMarkup)->Arg(0)->Arg(1)->ArgName("markup");

void BM_DecodeUtf8(benchmark::State& state) {
  const auto bytes = Bytes(kestrelwing::ToUtf8(MakeText(false, state.range(0) != 0)));
  for (auto _ : state)
    benchmark::DoNotOptimize(Utf8ToText(bytes));
  SetBytes(state, bytes.size());
}
BENCHMARK(BM_DecodeUtf8)->Arg(0)->Arg(1)->ArgName("nonAscii");

void BM_DecodeNarrow(benchmark::State& state) {
  std::string narrow;
  AppendNarrow(narrow, MakeText(false, false) + u"é");
  const auto bytes = Bytes(narrow);
  for (auto _ : state)
    benchmark::DoNotOptimize(DecodeBytes(bytes));
  SetBytes(state, bytes.size());
}
BENCHMARK(BM_DecodeNarrow);

void BM_Encode(benchmark::State& state) {
  const std::u16string text = MakeText(false, true);
  const auto encodingId = static_cast<std::int32_t>(state.range(0));
  std::string out;
  for (auto _ : state) {
    out.clear();
    AppendEncoded(out, text, encodingId);
    benchmark::DoNotOptimize(out.data());
  }
  SetBytes(state, text.size() * 2);
}
BENCHMARK(BM_Encode)->Arg(kEncodingNarrow)->Arg(kEncodingUtf8)->Arg(kEncodingUtf16)->ArgName("id");

// Sniffing a document whose first non-ASCII byte comes after a megabyte of ASCII.
void BM_SniffLateUtf8(benchmark::State& state) {
  std::string text(kTextSize, 'a');
  text += "\xC3\xA9";
  const auto bytes = Bytes(text);
  for (auto _ : state)
    benchmark::DoNotOptimize(LooksLikeUtf8(bytes));
  SetBytes(state, bytes.size());
}
BENCHMARK(BM_SniffLateUtf8);

}  // namespace
