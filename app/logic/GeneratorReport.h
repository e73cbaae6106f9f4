// The generator's report (-report:<file>): the lines it wrote to its outputs, which an elevated
// generator cannot hand the program any other way, and how "Generar SxS" shows them under its own
// message.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrelwing {

// At most this many lines of a report are shown; a line after them says how many are left out.
inline constexpr std::size_t kMostReportLinesShown = 20;

// The lines of a report's bytes: UTF-8 (ill-formed sequences become U+FFFD, a byte-order mark is
// skipped), lines ending in CR LF or LF; an unfinished last line counts, a final line end adds no
// empty line.
std::vector<std::u16string> ReportLines(std::string_view bytes);

// The class a "left out" line names, "{CLSID} (ProgID)" or "{CLSID}", for a line
//   regsvr42: left out <component>: class {CLSID} (<ProgID>): the component does not serve it
//   (0x80040111)
// with or without the ProgID and with any eight-digit code; none for every other line.
std::optional<std::u16string> LeftOutClass(std::u16string_view line);

// What the message shows below the program's own words: an empty line, then the report's lines
// as they are, except that the left-out classes become one line in the program's words,
// "Clases omitidas (el componente no las sirve): {A} (ProgID), {B}", where the first of them
// stood. Empty for a report without lines.
std::u16string ReportSection(const std::vector<std::u16string>& lines);

// Reads the report at path and removes the file. Its lines; none when it is missing or cannot be
// read, which leaves the message as it would be without a report.
std::vector<std::u16string> TakeReport(std::u16string_view path);

}  // namespace kestrelwing
