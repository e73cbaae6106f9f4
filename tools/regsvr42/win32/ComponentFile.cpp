#include "ComponentFile.h"

#include <windows.h>

#include <bcrypt.h>

#include <algorithm>
#include <limits>
#include <new>
#include <optional>

#include "Failure.h"
#include "FileContents.h"
#include "SystemInfo.h"
#include "WideText.h"

namespace kestrelwing::regsvr42 {

std::vector<std::uint8_t> ReadFileOrFail(const std::wstring& path) {
  std::optional<std::vector<std::uint8_t>> bytes;
  try {
    bytes = platform::ReadWholeFile(FromWide(path));
  } catch (const std::bad_alloc&) {
    throw Failure(ExitCode::ReadFailed, u"cannot read " + FromWide(path) + u" (too large)");
  }
  if (!bytes) {
    throw Failure(ExitCode::ReadFailed,
                  u"cannot read " + FromWide(path) + u" (" + DescribeError(GetLastError()) + u")");
  }
  return std::move(*bytes);
}

FileHash HashBytes(std::span<const std::uint8_t> bytes) {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA1_ALGORITHM, nullptr, 0))) {
    throw Failure(ExitCode::ReadFailed, u"cannot hash the component: the system offers no SHA-1");
  }
  std::vector<UCHAR> digest(20);
  BCRYPT_HASH_HANDLE hash = nullptr;
  bool ok = BCRYPT_SUCCESS(BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0));
  // BCryptHashData counts its input in a ULONG: a file of 4 GiB or more goes in several pieces.
  constexpr std::size_t kMaxPiece = std::numeric_limits<ULONG>::max();
  for (std::span<const std::uint8_t> rest = bytes; ok && !rest.empty();) {
    const std::size_t piece = std::min(rest.size(), kMaxPiece);
    ok = BCRYPT_SUCCESS(
        BCryptHashData(hash, const_cast<PUCHAR>(rest.data()), static_cast<ULONG>(piece), 0));
    rest = rest.subspan(piece);
  }
  ok = ok &&
       BCRYPT_SUCCESS(BCryptFinishHash(hash, digest.data(), static_cast<ULONG>(digest.size()), 0));
  if (hash != nullptr) BCryptDestroyHash(hash);
  BCryptCloseAlgorithmProvider(algorithm, 0);
  if (!ok) throw Failure(ExitCode::ReadFailed, u"hashing the component failed");

  FileHash result{u"SHA1", {}};
  for (UCHAR byte : digest) {
    result.hex += u"0123456789abcdef"[byte >> 4];
    result.hex += u"0123456789abcdef"[byte & 0xF];
  }
  return result;
}

std::u16string VersionFromResource(const std::wstring& path, VersionSource source) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  std::vector<BYTE> block(size);
  VS_FIXEDFILEINFO* info = nullptr;
  UINT infoSize = 0;
  if (size == 0 || !GetFileVersionInfoW(path.c_str(), 0, size, block.data()) ||
      !VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&info), &infoSize) ||
      info == nullptr || infoSize < sizeof(VS_FIXEDFILEINFO)) {
    throw Failure(ExitCode::NotComponent,
                  u"the component has no version resource to take -version: from");
  }
  const bool file = source == VersionSource::FileVersion;
  const DWORD high = file ? info->dwFileVersionMS : info->dwProductVersionMS;
  const DWORD low = file ? info->dwFileVersionLS : info->dwProductVersionLS;
  return Decimal(HIWORD(high)) + u'.' + Decimal(LOWORD(high)) + u'.' + Decimal(HIWORD(low)) + u'.' +
         Decimal(LOWORD(low));
}

}  // namespace kestrelwing::regsvr42
