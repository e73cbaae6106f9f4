// Facts about the component file itself: its bytes, its digest, its version resource.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "ManifestModel.h"
#include "Options.h"

namespace kestrelwing::regsvr42 {

// platform::ReadWholeFile; throws Failure(ReadFailed) when the file cannot be read.
std::vector<std::uint8_t> ReadFileOrFail(const std::wstring& path);

// SHA-1 of the bytes, as the file element's hashalg and hash (the one algorithm Windows documents
// for a manifest).
FileHash HashBytes(std::span<const std::uint8_t> bytes);

// The file or product version of the version resource as a.b.c.d; throws Failure without one.
std::u16string VersionFromResource(const std::wstring& path, VersionSource source);

}  // namespace kestrelwing::regsvr42
