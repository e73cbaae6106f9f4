// The writer's tests: the files and folders every test has (TempFolder.h), and the reference
// example in its layouts.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "TempFolder.h"

namespace kestrelwing::testing {

namespace fs = std::filesystem;

// The names in a folder, sorted: shows that a failed save left no temporary file behind.
inline std::vector<std::u16string> FolderEntries(const fs::path& folder) {
  return TempFolder::EntriesOf(folder);
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
