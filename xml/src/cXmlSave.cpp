// cXml::Save and SaveToBytes: settle the output encoding and write the document, to a file that
// replaces the old one only once it is complete, or into memory.
#include <exception>
#include <optional>
#include <string>

#include <kestrelwing/cXml.h>

#include "Edge.h"
#include "Encodings.h"
#include "ParseErrors.h"
#include "Writer.h"

namespace kestrelwing {
namespace {

class FileSink final : public detail::ByteSink {
 public:
  explicit FileSink(platform::SafeFileWriter& file) : file_(file) {}
  bool Write(std::string_view bytes) override { return file_.Write(bytes); }

 private:
  platform::SafeFileWriter& file_;
};

class BytesSink final : public detail::ByteSink {
 public:
  explicit BytesSink(std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}
  bool Write(std::string_view bytes) override {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return true;
  }

 private:
  std::vector<std::uint8_t>& bytes_;
};

std::u16string UnsupportedEncoding(std::int32_t encoding) {
  return u"Unsupported encoding " + FromUtf8(std::to_string(encoding)) +
         u": use -1 (keep), 0 (narrow), 1 (UTF-8) or 2 (UTF-16)";
}

// Writes the document into sink in the encoding that encodingId settles to (and that encodingId
// then holds); none when all was written, else the one-line reason: sinkFailure, read once the
// sink has refused a block, when that was it.
std::optional<std::u16string> WriteInto(detail::ByteSink& sink, const cXml& document,
                                        bool prettyPrint, std::int32_t identType, bool bom,
                                        std::int32_t& encodingId,
                                        const std::u16string& sinkFailure) {
  encodingId = detail::SettleEncoding(document.XMLNode().get(), encodingId);
  // XML requires a document in UTF-16 to begin with its byte-order mark.
  const bool xml10Utf16 =
      document.Syntax() == XmlSyntax::Xml10 && encodingId == detail::kEncodingUtf16;
  const detail::WriteOptions options{.prettyPrint = prettyPrint,
                                     .identType = identType,
                                     .bom = bom || xml10Utf16,
                                     .encodingId = encodingId,
                                     .syntax = document.Syntax()};
  const NodeRef declaration = document.XMLNode();
  const NodeRef root = document.Root();
  const detail::DocumentParts parts{.declaration = declaration.get(),
                                    .prolog = document.Prolog(),
                                    .root = root.get(),
                                    .epilog = document.Epilog()};
  switch (detail::WriteDocument(parts, options, sink)) {
    case detail::WriteOutcome::Written:
      return std::nullopt;
    case detail::WriteOutcome::SinkFailed:
      return sinkFailure;
    case detail::WriteOutcome::Cycle:
      break;
  }
  return u"Cannot save: an element lies below itself (a node was added to its own subtree)";
}

}  // namespace

// EncodingId() changes only when the document was written whole.
template <typename Write>
bool cXml::SaveWith(Write&& write, std::int32_t encoding) noexcept {
  try {
    if (encoding < -1 || encoding > detail::kEncodingUtf16) {
      resultText_ = UnsupportedEncoding(encoding);
      return false;
    }
    std::int32_t encodingId = encoding == -1 ? encodingId_ : encoding;
    if (auto failure = write(encodingId)) {
      resultText_ = std::move(*failure);
      return false;
    }
    encodingId_ = encodingId;
    return true;
  } catch (...) {
    // Out of memory for a huge document, most likely; the old file is still there.
    try {
      resultText_ = u"Cannot save: " + detail::DescribeFailure(std::current_exception());
    } catch (...) {
      resultText_.clear();  // not even the description fits
    }
    return false;
  }
}

bool cXml::Save(std::u16string_view fileName, bool prettyPrint, std::int32_t identType, bool bom,
                std::int32_t encoding) {
  return SaveWith(
      [&](std::int32_t& encodingId) -> std::optional<std::u16string> {
        platform::SafeFileWriter file;
        if (!file.Open(fileName)) return file.Error();
        FileSink sink(file);
        auto failure =
            WriteInto(sink, *this, prettyPrint, identType, bom, encodingId, file.Error());
        if (!failure && !file.Commit()) failure = file.Error();
        return failure;
      },
      encoding);
}

bool cXml::SaveToBytes(std::vector<std::uint8_t>& bytes, bool prettyPrint, std::int32_t identType,
                       bool bom, std::int32_t encoding) {
  bytes.clear();
  const bool saved = SaveWith(
      [&](std::int32_t& encodingId) {
        BytesSink sink(bytes);
        return WriteInto(sink, *this, prettyPrint, identType, bom, encodingId, {});
      },
      encoding);
  if (!saved) bytes.clear();  // no part of a document
  return saved;
}

}  // namespace kestrelwing
