// This library and its peers pugixml and tinyxml2 (each when it is built in), behind the same few
// calls, for bench_parse, bench_save and plain_timings alike. libxml2, found only natively, keeps
// its adapters in the programs that use it.
//
//   kName                               the library's name in the output
//   Document, Parse(bytes)              bytes in memory to a complete tree, held until the
//                                       Document is released; null when the bytes did not parse
//   Memory, SaveToMemory(tree, memory)  the tree pretty-printed with four spaces per level in
//                                       UTF-8, replacing what memory held; answers the size
//   Path, FilePath(utf8), SaveFile(tree, path)   the same into a file; false when it failed
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include <kestrelwing/cXml.h>
#include <kestrelwing/cXmlNode.h>

#include "StringSink.h"
#include "Writer.h"

#ifdef KESTRELWING_HAVE_PUGIXML
#include <pugixml.hpp>
#endif
#ifdef KESTRELWING_HAVE_TINYXML2
#include <tinyxml2.h>
#endif

namespace kestrelwing::bench {

// kSyntax chooses how this library reads: its dialect, or XML 1.0.
template <XmlSyntax kSyntax>
struct KestrelwingReading {
  static constexpr const char* kName =
      kSyntax == XmlSyntax::Dialect ? "kestrelwing" : "kestrelwing_xml10";

  using Document = std::unique_ptr<cXml>;
  static Document Parse(const std::string& bytes) {
    auto document = std::make_unique<cXml>();
    document->SetSyntax(kSyntax);
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    return document->Parse(std::span<const std::uint8_t>(data, bytes.size())) ? std::move(document)
                                                                              : nullptr;
  }

  // The writer alone, as Save runs it, without the file.
  using Memory = StringSink;
  static std::size_t SaveToMemory(const cXml& document, Memory& memory) {
    memory.text.clear();
    const detail::WriteOptions options{.prettyPrint = true, .identType = 0, .encodingId = 1};
    detail::WriteDocument(document.XMLNode().get(), document.Root().get(), options, memory);
    return memory.text.size();
  }

  using Path = std::u16string;
  static Path FilePath(const std::string& utf8) { return FromUtf8(utf8); }
  static bool SaveFile(cXml& document, const Path& path) {
    return document.Save(path, true, 0, false, 1);
  }
};
using Kestrelwing = KestrelwingReading<XmlSyntax::Dialect>;
using KestrelwingXml10 = KestrelwingReading<XmlSyntax::Xml10>;

#ifdef KESTRELWING_HAVE_PUGIXML
struct Pugixml {
  static constexpr const char* kName = "pugixml";

  using Document = std::unique_ptr<pugi::xml_document>;
  static Document Parse(const std::string& bytes) {
    auto document = std::make_unique<pugi::xml_document>();
    return document->load_buffer(bytes.data(), bytes.size()) ? std::move(document) : nullptr;
  }

  struct Memory final : pugi::xml_writer {
    void write(const void* data, std::size_t size) override {
      text.append(static_cast<const char*>(data), size);
    }
    std::string text;
  };
  static std::size_t SaveToMemory(const pugi::xml_document& document, Memory& memory) {
    memory.text.clear();
    document.save(memory, "    ", pugi::format_default, pugi::encoding_utf8);
    return memory.text.size();
  }

  using Path = std::string;
  static Path FilePath(const std::string& utf8) { return utf8; }
  static bool SaveFile(const pugi::xml_document& document, const Path& path) {
    return document.save_file(path.c_str(), "    ", pugi::format_default, pugi::encoding_utf8);
  }
};
#endif

#ifdef KESTRELWING_HAVE_TINYXML2
struct Tinyxml2 {
  static constexpr const char* kName = "tinyxml2";

  using Document = std::unique_ptr<tinyxml2::XMLDocument>;
  static Document Parse(const std::string& bytes) {
    auto document = std::make_unique<tinyxml2::XMLDocument>();
    return document->Parse(bytes.data(), bytes.size()) == tinyxml2::XML_SUCCESS
               ? std::move(document)
               : nullptr;
  }

  // tinyxml2 prints into a printer of its own, made for each save; there is nothing to keep.
  struct Memory {};
  static std::size_t SaveToMemory(const tinyxml2::XMLDocument& document, Memory&) {
    tinyxml2::XMLPrinter printer(nullptr, /*compact=*/false);
    document.Print(&printer);
    return static_cast<std::size_t>(printer.CStrSize());
  }

  using Path = std::string;
  static Path FilePath(const std::string& utf8) { return utf8; }
  static bool SaveFile(tinyxml2::XMLDocument& document, const Path& path) {
    return document.SaveFile(path.c_str(), /*compact=*/false) == tinyxml2::XML_SUCCESS;
  }
};
#endif

}  // namespace kestrelwing::bench
