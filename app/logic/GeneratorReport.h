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

// A long report shows its first and its last lines (where a failure and the files written are
// named), and one line between them saying how many it skips.
inline constexpr std::size_t kReportHeadShown = 4;
inline constexpr std::size_t kReportTailShown = 12;

// The lines of a report's bytes: UTF-8 (ill-formed sequences become U+FFFD, a byte-order mark is
// skipped), lines ending in CR LF or LF; an unfinished last line counts, a final line end adds no
// empty line.
std::vector<std::u16string> ReportLines(std::string_view bytes);

// The class a "left out" line names, "{CLSID} (ProgID)" or "{CLSID}", for a line
//   regsvr42: left out <component>: class {CLSID} (<ProgID>): the component does not serve it
//   (0x80040111)
// with or without the ProgID and with any eight-digit code; none for every other line.
std::optional<std::u16string> LeftOutClass(std::u16string_view line);

// What the message shows below the program's own words: an empty line; the left-out classes in
// one line in the program's words, "Clases omitidas (el componente no las sirve): {A} (ProgID),
// {B}"; then every other line as it is (of a long report its head and tail). Empty for a report
// without lines.
std::u16string ReportSection(const std::vector<std::u16string>& lines);

// Reads the report at path and removes the file. Its lines; none when it is missing or cannot be
// read, which leaves the message as it would be without a report.
std::vector<std::u16string> TakeReport(std::u16string_view path);

}  // namespace kestrelwing
