// cXml::Save: settles the output encoding and writes the document through a file that replaces
// the old one only once it is complete.
#include <exception>
#include <string>

#include <kestrelwing/cXml.h>

#include "Encodings.h"
#include "Platform.h"
#include "Writer.h"

namespace kestrelwing {
namespace detail {
namespace {

class FileSink final : public ByteSink {
 public:
  explicit FileSink(platform::SafeFileWriter& file) : file_(file) {}
  bool Write(std::string_view bytes) override { return file_.Write(bytes); }

 private:
  platform::SafeFileWriter& file_;
};

}  // namespace

std::optional<std::u16string> WriteDocumentInto(platform::SafeFileWriter& file,
                                                const cXmlNode* declaration, const cXmlNode* root,
                                                const WriteOptions& options) {
  FileSink sink(file);
  switch (WriteDocument(declaration, root, options, sink)) {
    case WriteOutcome::Written:
      return std::nullopt;
    case WriteOutcome::SinkFailed:
      return file.Error();
    case WriteOutcome::Cycle:
      break;
  }
  return u"Cannot save: an element lies below itself (a node was added to its own subtree)";
}

}  // namespace detail

namespace {

std::u16string UnsupportedEncoding(std::int32_t encoding) {
  return u"Unsupported encoding " + FromUtf8(std::to_string(encoding)) +
         u": use -1 (keep), 0 (narrow), 1 (UTF-8) or 2 (UTF-16)";
}

}  // namespace

bool cXml::Save(std::u16string_view fileName, bool prettyPrint, std::int32_t identType, bool bom,
                std::int32_t encoding) {
  if (encoding < -1 || encoding > detail::kEncodingUtf16) {
    resultText_ = UnsupportedEncoding(encoding);
    return false;
  }
  try {
    if (encoding != -1) encodingId_ = encoding;

    platform::SafeFileWriter file;
    if (!file.Open(fileName)) {
      resultText_ = file.Error();
      return false;
    }
    encodingId_ = detail::SettleEncoding(xmlNode_.get(), encodingId_);

    const detail::WriteOptions options{
        .prettyPrint = prettyPrint, .identType = identType, .bom = bom, .encodingId = encodingId_};
    if (auto failure = detail::WriteDocumentInto(file, xmlNode_.get(), root_.get(), options)) {
      resultText_ = std::move(*failure);
      return false;
    }
    if (!file.Commit()) {
      resultText_ = file.Error();
      return false;
    }
    return true;
  } catch (const std::exception& failure) {
    // Out of memory for a huge document, most likely; the old file is still there.
    resultText_ = u"Cannot save: " + FromUtf8(failure.what());
    return false;
  }
}

}  // namespace kestrelwing
