// URL download on POSIX systems, through libcurl.
#include <curl/curl.h>

#include <algorithm>
#include <memory>
#include <new>

#include <kestrelwing/cXmlNode.h>

#include "Edge.h"
#include "FileSystemShared.h"

namespace kestrelwing::platform {
namespace {

// Called by libcurl, a C library: nothing may be thrown through it. Answering fewer bytes than
// given ends the transfer with an error.
std::size_t AppendReceived(char* data, std::size_t size, std::size_t count, void* target) noexcept {
  try {
    auto& bytes = *static_cast<std::vector<std::uint8_t>*>(target);
    bytes.insert(bytes.end(), data, data + size * count);
    return size * count;
  } catch (const std::bad_alloc&) {
    return 0;
  }
}

struct CurlEasyDeleter {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};

bool CurlReady() {
  static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  return ready;
}

}  // namespace

Download DownloadUrl(std::u16string_view url, DownloadTimeouts timeouts) {
  // A NUL would cut the address short.
  if (url.empty() || url.find(u'\0') != std::u16string_view::npos)
    return {std::nullopt, u"Empty or invalid URL"};
  const std::string native = ToUtf8(url);
  std::unique_ptr<CURL, CurlEasyDeleter> curl(CurlReady() ? curl_easy_init() : nullptr);
  if (!curl)
    return {std::nullopt, shared::Describe(u"Cannot download", url, u"libcurl did not start")};

  std::vector<std::uint8_t> bytes;
  char reason[CURL_ERROR_SIZE] = {};
  CURL* handle = curl.get();
  curl_easy_setopt(handle, CURLOPT_URL, native.c_str());
  curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https,ftp,file");
  // A server may send the client elsewhere, but never to a local file.
  curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "http,https,ftp");
  curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(handle, CURLOPT_MAXREDIRS, 10L);
  curl_easy_setopt(handle, CURLOPT_FAILONERROR, 1L);
  curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeouts.connect.count()));
  // Stalled: less than one byte a second for that many seconds.
  const auto stallSeconds = std::chrono::ceil<std::chrono::seconds>(timeouts.stall).count();
  curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME,
                   static_cast<long>(std::max<long long>(stallSeconds, 1)));
  curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, AppendReceived);
  curl_easy_setopt(handle, CURLOPT_WRITEDATA, &bytes);
  curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, reason);

  const CURLcode result = curl_easy_perform(handle);
  if (result != CURLE_OK) {
    std::u16string error = FromUtf8(reason[0] != '\0' ? reason : curl_easy_strerror(result));
    std::replace(error.begin(), error.end(), u'\n', u' ');
    return {std::nullopt, shared::Describe(u"Cannot download", url, error)};
  }
  return {std::move(bytes), {}};
}

}  // namespace kestrelwing::platform
