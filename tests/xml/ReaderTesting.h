// Small helpers shared by the reader's tests.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include <kestrelwing/cXml.h>

namespace kestrelwing::testing {

// Result() of a new document after Parse(text) failed, as UTF-8 ("parsed" when it did not fail).
inline std::string FailureOf(std::u16string_view text) {
  cXml document;
  if (document.Parse(text)) return "parsed";
  return ToUtf8(document.Result());
}

// Parses text into document, failing the test with the parser's message when it does not parse.
inline ::testing::AssertionResult Parses(cXml& document, std::u16string_view text) {
  if (document.Parse(text)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << ToUtf8(document.Result());
}

}  // namespace kestrelwing::testing
