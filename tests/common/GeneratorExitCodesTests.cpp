// The manuals state the generator's exit codes with the meanings the generator and the program use.
#include <gtest/gtest.h>

#include <kestrelwing/cXmlNode.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "GeneratorExitCodes.h"

namespace kestrelwing {
namespace {

using Table = std::map<int, std::u16string>;

std::string ReadText(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

std::string Trimmed(const std::string& text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// The rows of the Markdown table under "| Code | Meaning |", code formatting removed.
Table MarkdownTable(const std::string& text) {
  Table table;
  std::istringstream lines(text.substr(text.find("| Code | Meaning |")));
  std::string line;
  std::getline(lines, line);
  std::getline(lines, line);  // the separator row
  while (std::getline(lines, line) && line.starts_with("| ")) {
    const std::size_t bar = line.find(" | ");
    std::string meaning = Trimmed(line.substr(bar + 3, line.rfind('|') - bar - 3));
    std::erase(meaning, '`');
    table[std::stoi(line.substr(2, bar - 2))] = FromUtf8(meaning);
  }
  return table;
}

// The list under "Códigos de salida:": a number and its text, continued on more indented lines,
// up to the first empty line.
Table PlainTextList(const std::string& text) {
  Table table;
  std::istringstream lines(
      text.substr(text.find("C\xC3\xB3"
                            "digos de salida:")));
  std::string line;
  std::getline(lines, line);
  std::getline(lines, line);  // the empty line under the heading
  int code = -1;
  while (std::getline(lines, line) && !Trimmed(line).empty()) {
    const std::string item = Trimmed(line);
    const std::size_t digits = item.find_first_not_of("0123456789");
    if (digits != 0 && item.compare(digits, 2, "  ") == 0) {
      code = std::stoi(item.substr(0, digits));
      table[code] = FromUtf8(Trimmed(item.substr(digits)));
    } else if (code >= 0) {
      table[code] += u' ' + FromUtf8(item);
    }
  }
  return table;
}

TEST(GeneratorExitCodes, ManualsStateEveryCodeWithItsMeaning) {
  struct Manual {
    const char* file;
    Table (*read)(const std::string&);
    std::u16string_view GeneratorExitMeaning::*meaning;
  };
  const Manual manuals[] = {
      {"docs/regsvr42.md", MarkdownTable, &GeneratorExitMeaning::english},
      {"packaging/LEEME.txt", PlainTextList, &GeneratorExitMeaning::spanish},
  };
  for (const Manual& manual : manuals) {
    SCOPED_TRACE(manual.file);
    Table expected;
    for (const GeneratorExitMeaning& meaning : kGeneratorExitMeanings) {
      expected[static_cast<int>(meaning.code)] = std::u16string(meaning.*manual.meaning);
    }
    const std::string text = ReadText(std::string(KESTRELWING_SOURCE_DIR "/") + manual.file);
    ASSERT_FALSE(text.empty());
    const Table stated = manual.read(text);
    for (const auto& [code, meaning] : expected) {
      EXPECT_EQ(ToUtf8(stated.contains(code) ? stated.at(code) : u"(missing)"), ToUtf8(meaning))
          << "exit code " << code;
    }
    EXPECT_EQ(stated.size(), expected.size());
  }
}

TEST(GeneratorExitCodes, MeaningsAreFoundByCodeOnly) {
  EXPECT_EQ(MeaningOfGeneratorExit(15)->code, GeneratorExitCode::TimedOut);
  EXPECT_EQ(MeaningOfGeneratorExit(0)->code, GeneratorExitCode::Ok);
  EXPECT_EQ(MeaningOfGeneratorExit(16)->code, GeneratorExitCode::ReadFailed);
  EXPECT_EQ(MeaningOfGeneratorExit(17)->code, GeneratorExitCode::CheckNotRun);
  EXPECT_FALSE(MeaningOfGeneratorExit(18));
  EXPECT_FALSE(MeaningOfGeneratorExit(0xC0000005u));
}

}  // namespace
}  // namespace kestrelwing
