#include "ParseErrors.h"

#include <new>
#include <stdexcept>

#include <kestrelwing/cXmlNode.h>

namespace kestrelwing::detail {
namespace {

void AppendDecimal(std::u16string& out, std::int64_t value) {
  if (value < 0) out += u'-';
  // Digits of the magnitude, built from the right; unsigned so the smallest value has one too.
  std::uint64_t magnitude = static_cast<std::uint64_t>(value);
  if (value < 0) magnitude = 0 - magnitude;
  char16_t digits[20];
  int count = 0;
  do {
    digits[count++] = static_cast<char16_t>(u'0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  while (count > 0)
    out += digits[--count];
}

}  // namespace

std::u16string FormatParseError(std::int32_t code, std::u16string_view text, std::int64_t line,
                                std::int64_t column) {
  std::u16string message;
  if (code == ParseErrorMismatch) {
    message = u"Mismatched tag: '";
    message += text;
    message += u"' at line ";
    column -= 2;
  } else {
    message = u"Expected: ";
    message += text;
    message += u" at line ";
  }
  AppendDecimal(message, line);
  message += u" [";
  AppendDecimal(message, column);
  message += u']';
  return message;
}

void RaiseParseError(std::int32_t code, std::u16string_view text, std::int64_t line,
                     std::int64_t column) {
  throw ParseError{code, u"XMLParser", FormatParseError(code, text, line, column)};
}

std::u16string DescribeFailure(std::exception_ptr failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const ParseError& error) {
    return error.description;
  } catch (const std::bad_alloc&) {
    return u"Out of memory";
  } catch (const std::exception& error) {
    return FromUtf8(error.what());
  } catch (...) {
    return u"Unknown failure";
  }
}

}  // namespace kestrelwing::detail
