// Files and folders for the writer's tests: a scratch folder of its own per test, whole-file
// reads and writes, and the list of what a folder holds.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace kestrelwing::testing {

namespace fs = std::filesystem;

class TempFolder {
 public:
  TempFolder() {
    static std::atomic<int> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    path_ = fs::temp_directory_path() /
            ("kestrelwing-writer-" + std::to_string(stamp) + "-" + std::to_string(counter++));
    fs::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code error;
    // A test may have taken the write permission away.
    for (const auto& entry : fs::recursive_directory_iterator(path_, error)) {
      if (entry.is_directory(error)) fs::permissions(entry.path(), fs::perms::owner_all, error);
    }
    fs::permissions(path_, fs::perms::owner_all, error);
    fs::remove_all(path_, error);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const fs::path& path() const { return path_; }
  fs::path operator/(const fs::path& name) const { return path_ / name; }

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

// The names in a folder, sorted: shows that a failed save left no temporary file behind.
inline std::vector<std::u16string> FolderEntries(const fs::path& folder) {
  std::vector<std::u16string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().u16string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// The writer's reference example, pretty with tabs: a declaration, a root with a property, an
// empty element, escaped text, a CDATA section and a nested group.
inline constexpr std::string_view kReferenceExample =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
    "<config version=\"2\">\r\n"
    "\t<item name=\"a\"/>\r\n"
    "\t<note>x &lt; y</note>\r\n"
    "\t<data><![CDATA[1<2]]></data>\r\n"
    "\t<group>\r\n"
    "\t\t<item name=\"b\"/>\r\n"
    "\t</group>\r\n"
    "</config>\r\n";

// The same text indented with four spaces per tab.
inline std::string WithSpaces(std::string_view tabbed) {
  std::string text;
  for (char c : tabbed)
    text += c == '\t' ? std::string_view("    ") : std::string_view(&c, 1);
  return text;
}

// The same text without line ends and indentation.
inline std::string OnOneLine(std::string_view tabbed) {
  std::string text;
  for (char c : tabbed) {
    if (c != '\t' && c != '\r' && c != '\n') text += c;
  }
  return text;
}

}  // namespace kestrelwing::testing
