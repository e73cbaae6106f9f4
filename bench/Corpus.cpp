#include "Corpus.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string_view>
#include <tuple>

namespace kestrelwing::bench {
namespace {

// A small deterministic generator, so every run parses the very same bytes.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint32_t Next() {
    state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<std::uint32_t>(state_ >> 33);
  }
  std::uint32_t Below(std::uint32_t bound) { return Next() % bound; }
  template <std::size_t N>
  std::string_view Pick(const std::array<std::string_view, N>& items) {
    return items[Below(static_cast<std::uint32_t>(N))];
  }

 private:
  std::uint64_t state_;
};

constexpr std::array<std::string_view, 8> kWords = {"registry", "component", "interface", "library",
                                                    "version",  "threading", "apartment", "proxy"};
constexpr std::array<std::string_view, 5> kKinds = {"dll", "ocx", "tlb", "exe", "manifest"};
constexpr std::array<std::string_view, 4> kModels = {"Apartment", "Free", "Both", "Neutral"};

void AppendNumber(std::string& out, std::uint32_t value) {
  out += std::to_string(value);
}

void AppendHex(std::string& out, std::uint32_t value, int digits) {
  constexpr std::string_view kDigits = "0123456789ABCDEF";
  for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4)
    out += kDigits[(value >> shift) & 0xF];
}

void AppendGuid(std::string& out, Random& random) {
  out += '{';
  AppendHex(out, random.Next(), 8);
  out += '-';
  AppendHex(out, random.Next(), 4);
  out += '-';
  AppendHex(out, random.Next(), 4);
  out += '-';
  AppendHex(out, random.Next(), 4);
  out += '-';
  AppendHex(out, random.Next(), 6);
  AppendHex(out, random.Next(), 6);
  out += '}';
}

void AppendSentence(std::string& out, Random& random, int words) {
  for (int i = 0; i < words; ++i) {
    if (i > 0) out += ' ';
    out += random.Pick(kWords);
  }
}

constexpr std::string_view kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n";

// One small element with 3 to 5 attributes; about a third carry leaf text.
void AppendAttributeElement(std::string& out, Random& random, std::uint32_t index) {
  out += "  <comClass clsid=\"";
  AppendGuid(out, random);
  out += "\" name=\"";
  out += random.Pick(kWords);
  out += '.';
  AppendNumber(out, index);
  out += "\" threadingModel=\"";
  out += random.Pick(kModels);
  out += '"';
  const std::uint32_t extra = random.Below(3);
  if (extra >= 1) {
    out += " file=\"";
    out += random.Pick(kWords);
    out += '.';
    out += random.Pick(kKinds);
    out += '"';
  }
  if (extra >= 2) {
    out += " description=\"";
    AppendSentence(out, random, 2);
    out += " &amp; ";
    out += random.Pick(kWords);
    out += '"';
  }
  if (random.Below(3) == 0) {
    out += '>';
    AppendSentence(out, random, 3);
    out += "</comClass>\r\n";
  } else {
    out += "/>\r\n";
  }
}

}  // namespace

std::string AttributeHeavyDocument(std::size_t approximateBytes) {
  Random random(1);
  std::string out;
  out.reserve(approximateBytes + 256);
  out += kDeclaration;
  out += "<assembly manifestVersion=\"1.0\">\r\n";
  for (std::uint32_t index = 0; out.size() < approximateBytes; ++index) {
    AppendAttributeElement(out, random, index);
  }
  out += "</assembly>\r\n";
  return out;
}

std::string TextLeavesDocument(std::size_t approximateBytes) {
  Random random(2);
  std::string out;
  out.reserve(approximateBytes + 256);
  out += kDeclaration;
  out += "<log>\r\n";
  while (out.size() < approximateBytes) {
    out += "  <line>";
    AppendSentence(out, random, 4 + static_cast<int>(random.Below(8)));
    out += "</line>\r\n";
  }
  out += "</log>\r\n";
  return out;
}

std::string NestedDocument(std::size_t approximateBytes) {
  Random random(3);
  std::string out;
  out.reserve(approximateBytes + 256);
  out += kDeclaration;
  out += "<assembly manifestVersion=\"1.0\">\r\n";
  for (std::uint32_t group = 0; out.size() < approximateBytes; ++group) {
    out += "  <file name=\"";
    out += random.Pick(kWords);
    out += '.';
    out += random.Pick(kKinds);
    out += "\">\r\n";
    const std::uint32_t libraries = 1 + random.Below(3);
    for (std::uint32_t i = 0; i < libraries; ++i) {
      out += "    <typelib tlbid=\"";
      AppendGuid(out, random);
      out += "\" version=\"1.";
      AppendNumber(out, random.Below(10));
      out += "\">\r\n      <interface iid=\"";
      AppendGuid(out, random);
      out += "\">\r\n        <proxy>";
      AppendSentence(out, random, 2);
      out += "</proxy>\r\n        <notes><![CDATA[";
      AppendSentence(out, random, 5);
      out += " <raw> & text]]></notes>\r\n      </interface>\r\n    </typelib>\r\n";
    }
    out += "  </file>\r\n";
  }
  out += "</assembly>\r\n";
  return out;
}

namespace {

std::string WideAttributesDocument(std::size_t attributes) {
  std::string out = "<wide";
  for (std::size_t i = 0; i < attributes; ++i) {
    out += " a";
    out += std::to_string(i);
    out += "=\"v";
    out += std::to_string(i);
    out += '"';
  }
  out += "/>";
  return out;
}

std::string SiblingsDocument(std::size_t siblings) {
  std::string out = "<list>";
  for (std::size_t i = 0; i < siblings; ++i)
    out += "<item/>";
  out += "</list>";
  return out;
}

std::string DeepDocument(std::size_t depth) {
  std::string out;
  out.reserve(depth * 7);
  for (std::size_t i = 0; i < depth; ++i)
    out += "<d>";
  for (std::size_t i = 0; i < depth; ++i)
    out += "</d>";
  return out;
}

}  // namespace

std::string GrowthDocument(Shape shape, std::size_t count) {
  switch (shape) {
    case Shape::WideAttributes:
      return WideAttributesDocument(count);
    case Shape::Siblings:
      return SiblingsDocument(count);
    case Shape::Depth:
      return DeepDocument(count);
  }
  return {};
}

std::vector<std::string> ManifestFiles() {
  namespace fs = std::filesystem;
  const fs::path folder =
      fs::path(__FILE__).parent_path().parent_path() / "tests" / "data" / "manifests";
  std::vector<fs::path> paths;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder, error)) {
    if (entry.is_regular_file(error)) paths.push_back(entry.path());
  }
  std::sort(paths.begin(), paths.end());
  std::vector<std::string> files;
  for (const auto& path : paths) {
    std::ifstream in(path, std::ios::binary);
    files.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  return files;
}

const std::vector<std::string>& Documents(Input input, InputOptions options) {
  constexpr std::size_t kNestedBytes = std::size_t{5} << 20;
  static std::map<std::tuple<Input, std::size_t, bool>, std::vector<std::string>> cache;
  std::vector<std::string>& documents = cache[{input, options.largeBytes, options.utf16Manifests}];
  if (!documents.empty()) return documents;
  switch (input) {
    case Input::AttributeHeavy:
      documents.push_back(AttributeHeavyDocument(options.largeBytes));
      break;
    case Input::TextLeaves:
      documents.push_back(TextLeavesDocument(options.largeBytes));
      break;
    case Input::Nested:
      documents.push_back(NestedDocument(kNestedBytes));
      break;
    case Input::Manifests:
      for (std::string& manifest : ManifestFiles()) {
        const bool utf16 = manifest.starts_with("\xFF\xFE") || manifest.starts_with("\xFE\xFF");
        if (options.utf16Manifests || !utf16) documents.push_back(std::move(manifest));
      }
      break;
  }
  return documents;
}

}  // namespace kestrelwing::bench
