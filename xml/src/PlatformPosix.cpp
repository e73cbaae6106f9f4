// The platform layer on POSIX systems: paths go to the system as UTF-8, URLs through libcurl, and
// the narrow code page is Windows-1252.
#include <curl/curl.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <system_error>

#include <kestrelwing/cXmlNode.h>

#include "Platform.h"
#include "PlatformShared.h"

namespace kestrelwing::platform {
namespace {

// A path as the system takes it; none when it cannot name a file (empty, or holding a NUL
// that would cut it short).
std::optional<std::string> NativePath(std::u16string_view path) {
  if (path.empty() || path.find(u'\0') != std::u16string_view::npos) return std::nullopt;
  return ToUtf8(path);
}

// <what> "<path>": <the system's text for error>.
std::u16string Describe(std::u16string_view what, std::u16string_view path, int error) {
  return shared::Describe(what, path, FromUtf8(std::generic_category().message(error)));
}

// A descriptor that closes itself.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// Windows-1252 bytes 80-9F. The five bytes the code page leaves unassigned keep the C1 control
// of the same number, so that every byte survives a narrow read followed by a narrow write.
constexpr std::array<char16_t, 32> kWindows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

constexpr std::array<char16_t, 256> MakeWindows1252() {
  std::array<char16_t, 256> table{};
  for (unsigned b = 0; b < 256; ++b)
    table[b] = static_cast<char16_t>(b);
  for (unsigned b = 0; b < 32; ++b)
    table[0x80 + b] = kWindows1252High[b];
  return table;
}

constexpr std::array<char16_t, 256> kWindows1252 = MakeWindows1252();

char ToWindows1252(char16_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
  const auto* found = std::find(kWindows1252High.begin(), kWindows1252High.end(), c);
  if (found == kWindows1252High.end()) return '?';
  return static_cast<char>(0x80 + (found - kWindows1252High.begin()));
}

}  // namespace

bool FileExists(std::u16string_view path) {
  const auto native = NativePath(path);
  struct stat status;
  return native && ::stat(native->c_str(), &status) == 0;
}

std::optional<std::vector<std::uint8_t>> ReadWholeFile(std::u16string_view path) {
  const auto native = NativePath(path);
  if (!native) return std::nullopt;
  // O_NONBLOCK: opening a FIFO must not wait for a writer; it is refused below anyway.
  FileDescriptor file(::open(native->c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  struct stat status;
  if (file.get() < 0 || ::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode)) {
    return std::nullopt;
  }
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(status.st_size));
  std::size_t filled = 0;
  for (;;) {
    if (filled == bytes.size()) bytes.resize(filled + std::max<std::size_t>(filled / 2, 4096));
    const ssize_t got = ::read(file.get(), bytes.data() + filled, bytes.size() - filled);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return std::nullopt;
    if (got == 0) break;  // the file may have grown or shrunk since fstat: read to its end
    filled += static_cast<std::size_t>(got);
  }
  bytes.resize(filled);
  return bytes;
}

std::u16string NarrowToText(std::span<const std::uint8_t> bytes) {
  std::u16string text(bytes.size(), u'\0');
  for (std::size_t i = 0; i < bytes.size(); ++i)
    text[i] = kWindows1252[bytes[i]];
  return text;
}

const std::array<char16_t, 256>* NarrowByteTable() {
  return &kWindows1252;
}

void AppendTextAsNarrow(std::string& out, std::u16string_view text) {
  const std::size_t at = out.size();
  out.resize(at + text.size());
  char* p = out.data() + at;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    // A surrogate pair is one character: one '?'.
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      ++i;
    }
    *p++ = ToWindows1252(c);
  }
  out.resize(static_cast<std::size_t>(p - out.data()));
}

std::uint32_t NarrowCodePage() {
  return 1252;
}

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
  const auto native = NativePath(url);
  if (!native) return {std::nullopt, u"Empty or invalid URL"};
  std::unique_ptr<CURL, CurlEasyDeleter> curl(CurlReady() ? curl_easy_init() : nullptr);
  if (!curl)
    return {std::nullopt, shared::Describe(u"Cannot download", url, u"libcurl did not start")};

  std::vector<std::uint8_t> bytes;
  char reason[CURL_ERROR_SIZE] = {};
  CURL* handle = curl.get();
  curl_easy_setopt(handle, CURLOPT_URL, native->c_str());
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

ErrorReporter SetErrorReporter(ErrorReporter reporter) {
  return shared::customReporter.exchange(reporter);
}

void ReportError(std::u16string_view message) {
  if (shared::SentToCustomReporter(message)) return;
  std::string line = ToUtf8(message);
  std::replace(line.begin(), line.end(), '\n', ' ');
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

// SafeFileWriter ---------------------------------------------------------------------------------

namespace {

std::u16string FolderOf(std::u16string_view path) {
  const std::size_t slash = path.rfind(u'/');
  if (slash == std::u16string_view::npos) return u".";
  if (slash == 0) return u"/";
  return std::u16string(path.substr(0, slash));
}

}  // namespace

bool SafeFileWriter::Open(std::u16string_view path) {
  Abandon();
  error_.clear();
  path_ = path;
  const auto native = NativePath(path);
  if (!native || path.back() == u'/') {
    error_ = u"Invalid file name \"" + path_ + u"\"";
    return false;
  }
  // A symbolic link stays: the file it points to is the one replaced.
  if (char* resolved = ::realpath(native->c_str(), nullptr)) {
    path_ = FromUtf8(resolved);
    std::free(resolved);
  }
  const std::string target = ToUtf8(path_);

  struct stat old;
  const bool replacing = ::stat(target.c_str(), &old) == 0;
  if (replacing && S_ISDIR(old.st_mode)) {
    error_ = u"\"" + std::u16string(path) + u"\" is a folder";
    return false;
  }
  // Renaming over a file needs no right to write it; a file its owner made read-only stays.
  if (replacing && ::access(target.c_str(), W_OK) != 0) {
    error_ = Describe(u"Cannot write", path, errno);
    return false;
  }
  // A new file gets the usual mode (0666 less the umask); a replaced one keeps its own, which
  // may be tighter than that, so the temporary file starts private and is opened up to it.
  const mode_t createMode = replacing ? S_IRUSR | S_IWUSR : 0666;
  for (int attempt = 0; attempt < 16; ++attempt) {
    tempPath_ = shared::TemporaryNameBeside(path_);
    const int fd = ::open(ToUtf8(tempPath_).c_str(),
                          O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, createMode);
    if (fd >= 0) {
      handle_ = fd;
      break;
    }
    if (errno != EEXIST) break;
  }
  if (handle_ < 0) {
    error_ = Describe(u"Cannot create", path, errno);
    tempPath_.clear();
    return false;
  }
  if (replacing) {
    // Owner and group first (only possible where permitted), then the mode bits.
    if (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) {
      [[maybe_unused]] const int ignored =
          ::fchown(static_cast<int>(handle_), old.st_uid, old.st_gid);
    }
    if (::fchmod(static_cast<int>(handle_), old.st_mode & 07777) != 0)
      return Fail(Describe(u"Cannot set the permissions of", path, errno));
  }
  return true;
}

bool SafeFileWriter::Write(std::string_view bytes) {
  if (handle_ < 0) return OutOfTurn(u"No file is open for writing");
  while (!bytes.empty()) {
    const std::size_t chunk = std::min<std::size_t>(bytes.size(), SSIZE_MAX);
    const ssize_t written = ::write(static_cast<int>(handle_), bytes.data(), chunk);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      // A write that stores nothing without an error means the device is full.
      return Fail(Describe(u"Cannot write", path_, written < 0 ? errno : ENOSPC));
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

bool SafeFileWriter::Finish() {
  if (handle_ < 0) return OutOfTurn(u"No file is open for writing");
  const int fd = static_cast<int>(handle_);
  if (::fsync(fd) != 0) return Fail(Describe(u"Cannot write", path_, errno));
  handle_ = -1;
  if (::close(fd) != 0) return Fail(Describe(u"Cannot write", path_, errno));
  return true;
}

bool SafeFileWriter::Replace() {
  if (handle_ >= 0 || tempPath_.empty()) return OutOfTurn(u"No finished file to put in place");
  if (::rename(ToUtf8(tempPath_).c_str(), ToUtf8(path_).c_str()) != 0)
    return Fail(Describe(u"Cannot replace", path_, errno));
  tempPath_.clear();
  // Make the new name itself durable; a failure here cannot be undone and loses nothing.
  FileDescriptor folder(
      ::open(ToUtf8(FolderOf(path_)).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.get() >= 0) ::fsync(folder.get());
  return true;
}

void SafeFileWriter::Abandon() {
  if (handle_ >= 0) {
    ::close(static_cast<int>(handle_));
    handle_ = -1;
  }
  if (!tempPath_.empty()) {
    ::unlink(ToUtf8(tempPath_).c_str());
    tempPath_.clear();
  }
}

}  // namespace kestrelwing::platform
