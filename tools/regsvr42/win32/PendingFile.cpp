#include "PendingFile.h"

#include "Encodings.h"
#include "Failure.h"
#include "Platform.h"
#include "WideText.h"
#include "Writer.h"

namespace kestrelwing::regsvr42 {
namespace {

constexpr std::int32_t kFourSpaces = 0;

}  // namespace

PendingFiles::PendingFiles() = default;
PendingFiles::~PendingFiles() = default;

void PendingFiles::Add(cXml& document, std::wstring destination) {
  auto file = std::make_unique<platform::SafeFileWriter>();
  const detail::WriteOptions options{
      .prettyPrint = true,
      .identType = kFourSpaces,
      .bom = false,
      .encodingId = detail::SettleEncoding(document.XMLNode().get(), detail::kEncodingUtf8)};
  const std::optional<std::u16string> failure =
      file->Open(FromWide(destination)) ? detail::WriteDocumentInto(*file, document.XMLNode().get(),
                                                                    document.Root().get(), options)
                                        : file->Error();
  if (failure) {
    throw Failure(ExitCode::WriteFailed,
                  u"cannot write " + FromWide(destination) + u": " + *failure);
  }
  files_.push_back(std::move(file));
  destinations_.push_back(std::move(destination));
}

std::vector<std::wstring> PendingFiles::Finish() {
  std::vector<std::wstring> paths;
  for (const auto& file : files_) {
    if (!file->Finished() && !file->Finish()) {
      throw Failure(ExitCode::WriteFailed, u"cannot write the manifests: " + file->Error());
    }
    paths.push_back(ToWide(file->PendingPath()));
  }
  return paths;
}

void PendingFiles::Commit() {
  std::vector<platform::SafeFileWriter*> files;
  for (const auto& file : files_)
    files.push_back(file.get());
  std::u16string error;
  if (!platform::CommitAll(files, error)) {
    throw Failure(ExitCode::WriteFailed, u"cannot write the manifests: " + error);
  }
}

}  // namespace kestrelwing::regsvr42
