// The report (-report:<file>): a copy of every line the generator writes to standard output and
// standard error, for a program that cannot read those (the outputs of an elevated process). UTF-8
// without a byte-order mark, each line ending "\r\n", in the order written; the self-check and
// the generator of the other bitness add their lines to the same file.
#pragma once

#include <string>
#include <string_view>

namespace kestrelwing::regsvr42 {

// Opens the report at `path`: created anew, or added to with `append`. A report that cannot be
// opened or written does not change the run: standard error says so once, and the run goes on.
void OpenReport(const std::wstring& path, bool append);

// Adds UTF-8 text to the open report, each "\n" as "\r\n"; nothing without a report. Allocates no
// memory (a crashed component may have left the heap broken).
void AddToReport(std::string_view text);

// The report's path, for the programs the generator starts; empty without one (or when it
// cannot be written).
const std::wstring& ReportPath();

}  // namespace kestrelwing::regsvr42
