// How the reader fails: the first problem ends the parse with one error record whose description
// becomes the document's Result().
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

namespace kestrelwing::detail {

enum : std::int32_t {
  ParseErrorExpected = 42,  // "Expected: <text> at line L [C]"
  ParseErrorMismatch = 43,  // "Mismatched tag: '<text>' at line L [C - 2]"
};

inline constexpr std::u16string_view kEmptyDataMessage = u"Unable to Parse Empty Data";

// The error record of a syntax error, thrown from the point of failure to Parse.
struct ParseError {
  std::int32_t number;
  std::u16string source;  // "XMLParser"
  std::u16string description;
};

// The message of a syntax error at the cursor's line and column.
std::u16string FormatParseError(std::int32_t code, std::u16string_view text, std::int64_t line,
                                std::int64_t column);
[[noreturn]] void RaiseParseError(std::int32_t code, std::u16string_view text, std::int64_t line,
                                  std::int64_t column);

// The one line that Parse and Save leave in Result() for whatever failure they caught.
std::u16string DescribeFailure(std::exception_ptr failure);

}  // namespace kestrelwing::detail
