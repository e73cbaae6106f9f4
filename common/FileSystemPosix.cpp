// Files on POSIX systems: paths go to the system as UTF-8.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <system_error>

#include <kestrelwing/cXmlNode.h>

#include "FileContents.h"
#include "FileSystemShared.h"
#include "SafeFile.h"

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
