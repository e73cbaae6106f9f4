// URL download on Windows: WinHTTP for http and https, the file system for file addresses.
#include <windows.h>
// The headers below need windows.h first.
#include <shlwapi.h>
#include <winhttp.h>

#include <algorithm>
#include <climits>
#include <iterator>
#include <memory>
#include <string>

#include "Edge.h"
#include "FileSystemShared.h"
#include "SystemInfo.h"

namespace kestrelwing::platform {
namespace {

struct WinHttpCloser {
  void operator()(HINTERNET handle) const { WinHttpCloseHandle(handle); }
};
using UniqueWinHttp = std::unique_ptr<void, WinHttpCloser>;

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
  // A NUL would cut the address short.
  if (url.empty() || url.find(u'\0') != std::u16string_view::npos)
    return {std::nullopt, u"Empty or invalid URL"};
  const std::wstring wide = ToWide(url);
  if (url.size() >= 5 && CompareStringOrdinal(wide.c_str(), 5, L"file:", 5, TRUE) == CSTR_EQUAL) {
    return ReadFileUrl(url, wide);
  }
  const auto failure = [&url](DWORD error) {
    return Failed(url, ErrorText(error, GetModuleHandleW(L"winhttp.dll")));
  };
  // Lengths of -1: the parts are pointed to inside the URL itself.
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof parts;
  parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (!WinHttpCrackUrl(wide.c_str(), 0, 0, &parts) ||
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

}  // namespace kestrelwing::platform
