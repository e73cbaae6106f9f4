// The platform layer on Windows: wide (W) functions for every path, WinHTTP for URLs, and the
// system's ANSI code page for narrow text.
#include <windows.h>
// The headers below need windows.h first.
#include <shlwapi.h>
#include <winhttp.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <string>

#include "Platform.h"
#include "PlatformShared.h"
#include "SystemInfo.h"
#include "Win32Handles.h"

namespace kestrelwing::platform {
namespace {

// A NUL-terminated wide string for the system; none when text cannot name a file (empty, or
// holding a NUL that would cut it short).
std::optional<std::wstring> Wide(std::u16string_view text) {
  if (text.empty() || text.find(u'\0') != std::u16string_view::npos) return std::nullopt;
  return std::wstring(text.begin(), text.end());
}

// The system's one-line text for an error code (module: where WinHTTP keeps its own texts).
std::u16string ErrorText(DWORD error, HMODULE module = nullptr) {
  std::u16string text = SystemErrorText(error, module);
  return text.empty() ? u"error " + Decimal(error) : text;
}

std::u16string Describe(std::u16string_view what, std::u16string_view path, DWORD error) {
  return shared::Describe(what, path, ErrorText(error));
}

struct WinHttpCloser {
  void operator()(HINTERNET handle) const { WinHttpCloseHandle(handle); }
};
using UniqueWinHttp = std::unique_ptr<void, WinHttpCloser>;

// The code page for narrow text. A system whose ANSI code page is UTF-8 gets Windows-1252:
// narrow text is what the UTF-8 detection already turned down.
UINT CodePage() {
  static const UINT codePage = GetACP() == CP_UTF8 ? 1252 : GetACP();
  return codePage;
}

// The conversion functions count in int: longer runs go in pieces of at most this size, cut
// where no character can straddle the cut.
constexpr std::size_t kPiece = std::size_t{1} << 28;

// The TLS slot of CurrentNodePool, taken once for the life of the process.
DWORD CurrentNodePoolSlot() {
  static const DWORD slot = [] {
    const DWORD taken = TlsAlloc();
    if (taken == TLS_OUT_OF_INDEXES) std::abort();  // the process has used up every slot
    return taken;
  }();
  return slot;
}

}  // namespace

// TlsGetValue also clears the thread's last error, as any allocation may.

void* CurrentNodePool() {
  return TlsGetValue(CurrentNodePoolSlot());
}

void SetCurrentNodePool(void* pool) {
  TlsSetValue(CurrentNodePoolSlot(), pool);
}

bool FileExists(std::u16string_view path) {
  const auto wide = Wide(path);
  return wide && GetFileAttributesW(wide->c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::optional<std::vector<std::uint8_t>> ReadWholeFile(std::u16string_view path) {
  const auto wide = Wide(path);
  if (!wide) return std::nullopt;
  // Without FILE_FLAG_BACKUP_SEMANTICS a folder does not open.
  const UniqueHandle file = OwnFileHandle(CreateFileW(
      wide->c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) return std::nullopt;
  LARGE_INTEGER size;
  if (GetFileType(file.get()) != FILE_TYPE_DISK || !GetFileSizeEx(file.get(), &size) ||
      static_cast<unsigned long long>(size.QuadPart) > std::vector<std::uint8_t>().max_size()) {
    return std::nullopt;
  }
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size.QuadPart));
  std::size_t filled = 0;
  for (;;) {
    if (filled == bytes.size()) bytes.resize(filled + std::max<std::size_t>(filled / 2, 4096));
    const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - filled, 1u << 30));
    DWORD got = 0;
    if (!ReadFile(file.get(), bytes.data() + filled, wanted, &got, nullptr)) return std::nullopt;
    if (got == 0) break;  // the file may have grown or shrunk since its size was taken
    filled += got;
  }
  bytes.resize(filled);
  return bytes;
}

std::u16string NarrowToText(std::span<const std::uint8_t> bytes) {
  std::u16string text;
  text.reserve(bytes.size());
  while (!bytes.empty()) {
    std::size_t piece = std::min(bytes.size(), kPiece);
    // In every double-byte code page a byte below 40 is a character of its own.
    if (piece < bytes.size()) {
      std::size_t cut = piece;
      while (cut > 0 && bytes[cut - 1] >= 0x40)
        --cut;
      if (cut > 0) piece = cut;
    }
    const auto* in = reinterpret_cast<const char*>(bytes.data());
    const int length = static_cast<int>(piece);
    const int units = MultiByteToWideChar(CodePage(), 0, in, length, nullptr, 0);
    const std::size_t at = text.size();
    text.resize(at + static_cast<std::size_t>(units));
    MultiByteToWideChar(CodePage(), 0, in, length, reinterpret_cast<wchar_t*>(text.data() + at),
                        units);
    bytes = bytes.subspan(piece);
  }
  return text;
}

const std::array<char16_t, 256>* NarrowByteTable() {
  static const std::optional<std::array<char16_t, 256>> table =
      []() -> std::optional<std::array<char16_t, 256>> {
    CPINFO info{};
    if (!GetCPInfo(CodePage(), &info) || info.MaxCharSize != 1) return std::nullopt;
    std::array<char16_t, 256> bytes{};
    for (unsigned b = 0; b < bytes.size(); ++b) {
      const char in = static_cast<char>(b);
      wchar_t out = L'?';
      if (MultiByteToWideChar(CodePage(), 0, &in, 1, &out, 1) != 1) out = L'?';
      bytes[b] = static_cast<char16_t>(out);
    }
    return bytes;
  }();
  return table ? &*table : nullptr;
}

namespace {

// Converts a run without surrogate pairs, in pieces the conversion's int counts can hold.
void AppendRunAsNarrow(std::string& out, std::u16string_view run) {
  while (!run.empty()) {
    const std::size_t piece = std::min(run.size(), kPiece);
    const auto* in = reinterpret_cast<const wchar_t*>(run.data());
    const int length = static_cast<int>(piece);
    // No best fit: a character the code page lacks becomes '?', never a look-alike.
    const int size =
        WideCharToMultiByte(CodePage(), WC_NO_BEST_FIT_CHARS, in, length, nullptr, 0, "?", nullptr);
    const std::size_t at = out.size();
    out.resize(at + static_cast<std::size_t>(size));
    WideCharToMultiByte(CodePage(), WC_NO_BEST_FIT_CHARS, in, length, out.data() + at, size, "?",
                        nullptr);
    run.remove_prefix(piece);
  }
}

bool IsSurrogatePairAt(std::u16string_view text, std::size_t i) {
  return text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
         text[i + 1] <= 0xDFFF;
}

}  // namespace

void AppendTextAsNarrow(std::string& out, std::u16string_view text) {
  // The system converts unit by unit and would give a surrogate pair two '?': it is one
  // character, outside every ANSI code page, so it gets one '?' here.
  std::size_t run = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (!IsSurrogatePairAt(text, i)) continue;
    AppendRunAsNarrow(out, text.substr(run, i - run));
    out += '?';
    run = ++i + 1;
  }
  AppendRunAsNarrow(out, text.substr(run));
}

std::uint32_t NarrowCodePage() {
  return CodePage();
}

namespace {

Download Failed(std::u16string_view url, std::u16string_view reason) {
  return {std::nullopt, shared::Describe(u"Cannot download", url, reason)};
}

Download ReadFileUrl(std::u16string_view url, const std::wstring& wide) {
  wchar_t path[MAX_PATH * 4];
  DWORD length = static_cast<DWORD>(std::size(path));
  if (PathCreateFromUrlW(wide.c_str(), path, &length, 0) != S_OK) {
    return Failed(url, u"not a file address");
  }
  auto bytes = ReadWholeFile(FromWide({path, length}));
  if (!bytes) return Failed(url, u"cannot read it");
  return {std::move(bytes), {}};
}

int Milliseconds(std::chrono::milliseconds timeout) {
  return static_cast<int>(std::clamp<std::chrono::milliseconds::rep>(timeout.count(), 1, INT_MAX));
}

}  // namespace

// http and https through WinHTTP, whose timeouts bound every wait (WinINet's receive timeout
// does not bound a read that waits for the rest of a body, at least under Wine).
Download DownloadUrl(std::u16string_view url, DownloadTimeouts timeouts) {
  const auto wide = Wide(url);
  if (!wide) return {std::nullopt, u"Empty or invalid URL"};
  if (url.size() >= 5 && CompareStringOrdinal(wide->c_str(), 5, L"file:", 5, TRUE) == CSTR_EQUAL) {
    return ReadFileUrl(url, *wide);
  }
  const auto failure = [&url](DWORD error) {
    return Failed(url, ErrorText(error, GetModuleHandleW(L"winhttp.dll")));
  };
  // Lengths of -1: the parts are pointed to inside the URL itself.
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof parts;
  parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (!WinHttpCrackUrl(wide->c_str(), 0, 0, &parts) ||
      (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS)) {
    return Failed(url, u"only http, https and file addresses can be downloaded");
  }
  const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
  const std::wstring pathAndQuery(parts.lpszUrlPath,
                                  parts.dwUrlPathLength + parts.dwExtraInfoLength);

  UniqueWinHttp session(WinHttpOpen(L"Kestrelwing", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                                    WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session) return failure(GetLastError());
  const int connect = Milliseconds(timeouts.connect);
  WinHttpSetTimeouts(session.get(), connect, connect, connect, Milliseconds(timeouts.stall));
  UniqueWinHttp connection(WinHttpConnect(session.get(), host.c_str(), parts.nPort, 0));
  if (!connection) return failure(GetLastError());
  UniqueWinHttp request(
      WinHttpOpenRequest(connection.get(), L"GET", pathAndQuery.c_str(), nullptr,
                         WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                         parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0));
  if (!request ||
      !WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA,
                          0, 0, 0) ||
      !WinHttpReceiveResponse(request.get(), nullptr)) {
    return failure(GetLastError());
  }
  DWORD status = 0;
  DWORD size = sizeof status;
  if (WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                          WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX) &&
      status >= 400) {
    return Failed(url, u"HTTP status " + Decimal(status));
  }
  std::vector<std::uint8_t> bytes;
  for (;;) {
    const std::size_t at = bytes.size();
    bytes.resize(at + 65536);
    DWORD got = 0;
    if (!WinHttpReadData(request.get(), bytes.data() + at, 65536, &got)) {
      return failure(GetLastError());
    }
    bytes.resize(at + got);
    if (got == 0) break;
  }
  return {std::move(bytes), {}};
}

ErrorReporter SetErrorReporter(ErrorReporter reporter) {
  return shared::customReporter.exchange(reporter);
}

void ReportError(std::u16string_view message) {
  if (shared::SentToCustomReporter(message)) return;
  // The title is the program's own name, as Windows programs title their message boxes.
  std::wstring title = PathFindFileNameW(ProgramPath().c_str());
  title.erase(std::min(title.rfind(L'.'), title.size()));
  const std::wstring text(message.begin(), message.end());
  MessageBoxW(nullptr, text.c_str(), title.c_str(), MB_OK | MB_ICONERROR);
}

// SafeFileWriter ---------------------------------------------------------------------------------

namespace {

HANDLE AsHandle(std::intptr_t handle) {
  return reinterpret_cast<HANDLE>(handle);
}

}  // namespace

bool SafeFileWriter::Open(std::u16string_view path) {
  Abandon();
  error_.clear();
  path_ = path;
  const auto wide = Wide(path);
  if (!wide || shared::NameStart(path) == path.size()) {
    error_ = u"Invalid file name \"" + path_ + u"\"";
    return false;
  }
  const DWORD attributes = GetFileAttributesW(wide->c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    error_ = u"\"" + path_ + u"\" is a folder";
    return false;
  }
  // Windows refuses to replace a read-only file; say so before anything is written.
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
    error_ = Describe(u"Cannot write", path_, ERROR_ACCESS_DENIED);
    return false;
  }
  DWORD error = ERROR_FILE_EXISTS;
  for (int attempt = 0; attempt < 16 && error == ERROR_FILE_EXISTS; ++attempt) {
    tempPath_ = shared::TemporaryNameBeside(path_);
    const std::wstring temp(tempPath_.begin(), tempPath_.end());
    const HANDLE file = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      handle_ = reinterpret_cast<std::intptr_t>(file);
      return true;
    }
    error = GetLastError();
  }
  tempPath_.clear();
  error_ = Describe(u"Cannot create", path_, error);
  return false;
}

bool SafeFileWriter::Write(std::string_view bytes) {
  if (handle_ == -1) return OutOfTurn(u"No file is open for writing");
  while (!bytes.empty()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
    DWORD written = 0;
    const BOOL ok = WriteFile(AsHandle(handle_), bytes.data(), chunk, &written, nullptr);
    if (!ok || written == 0) {
      // A write that stores nothing without an error means the disk is full.
      return Fail(Describe(u"Cannot write", path_, ok ? ERROR_DISK_FULL : GetLastError()));
    }
    bytes.remove_prefix(written);
  }
  return true;
}

bool SafeFileWriter::Finish() {
  if (handle_ == -1) return OutOfTurn(u"No file is open for writing");
  const HANDLE file = AsHandle(handle_);
  if (!FlushFileBuffers(file)) return Fail(Describe(u"Cannot write", path_, GetLastError()));
  handle_ = -1;
  if (!CloseHandle(file)) return Fail(Describe(u"Cannot write", path_, GetLastError()));
  return true;
}

bool SafeFileWriter::Replace() {
  if (handle_ != -1 || tempPath_.empty()) return OutOfTurn(u"No finished file to put in place");
  const std::wstring temp(tempPath_.begin(), tempPath_.end());
  const std::wstring target(path_.begin(), path_.end());
  if (!MoveFileExW(temp.c_str(), target.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return Fail(Describe(u"Cannot replace", path_, GetLastError()));
  }
  tempPath_.clear();
  return true;
}

void SafeFileWriter::Abandon() {
  if (handle_ != -1) {
    CloseHandle(AsHandle(handle_));
    handle_ = -1;
  }
  if (!tempPath_.empty()) {
    const std::wstring temp(tempPath_.begin(), tempPath_.end());
    DeleteFileW(temp.c_str());
    tempPath_.clear();
  }
}

}  // namespace kestrelwing::platform
