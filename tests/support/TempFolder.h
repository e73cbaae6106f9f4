// What tests of every product share for files: a scratch folder of its own per test, whole-file
// reads and writes, and the list of what a folder holds.
#pragma once

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace kestrelwing::testing {

namespace fs = std::filesystem;

// A new folder under the system's temporary folder, named prefix + a number no other test uses,
// removed with everything in it (also when a test took permissions away). A prefix with blanks
// and letters outside ASCII shows that paths stay wide throughout.
class TempFolder {
 public:
  explicit TempFolder(std::u16string_view prefix = u"kestrelwing-") {
    static std::atomic<unsigned> counter{0};
    static const unsigned run = std::random_device{}();
    const std::string number = std::to_string(run) + "-" + std::to_string(counter++);
    path_ = fs::temp_directory_path() /
            fs::path(std::u16string(prefix) + std::u16string(number.begin(), number.end()));
    fs::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code error;
    for (const auto& entry : fs::recursive_directory_iterator(path_, error)) {
      if (entry.is_directory(error)) fs::permissions(entry.path(), fs::perms::owner_all, error);
    }
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, error);
    fs::remove_all(path_, error);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const fs::path& path() const { return path_; }
  fs::path operator/(const fs::path& name) const { return path_ / name; }

  // The names of everything in the folder, sorted: shows that no temporary file stayed behind.
  std::vector<std::u16string> Entries() const { return EntriesOf(path_); }
  static std::vector<std::u16string> EntriesOf(const fs::path& folder) {
    std::vector<std::u16string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
      names.push_back(entry.path().filename().u16string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  fs::path path_;
};

inline std::string ReadBytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const fs::path& file, const std::string& bytes) {
  std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
}

}  // namespace kestrelwing::testing
