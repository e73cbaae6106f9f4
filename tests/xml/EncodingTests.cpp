#include <gtest/gtest.h>

#include <kestrelwing/cXmlNode.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "Edge.h"
#include "Encodings.h"

namespace kestrelwing::detail {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes AsBytes(std::string_view text) {
  return Bytes(text.begin(), text.end());
}

std::string Hex(std::span<const std::uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  for (const std::uint8_t b : bytes) {
    if (!hex.empty()) hex += ' ';
    hex += kDigits[b >> 4];
    hex += kDigits[b & 15];
  }
  return hex;
}

std::string Hex(std::string_view bytes) {
  return Hex(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

std::string Utf8Of(std::u16string_view text) {
  return ToUtf8(text);
}

// Decoding ------------------------------------------------------------------------------------

struct DecodeCase {
  Bytes bytes;
  std::u16string text;
  std::int32_t encodingId;
};

TEST(DecodeBytes, RecognisesMarksThenUtf8ThenFallsBackToNarrow) {
  const DecodeCase cases[] = {
      {{0xFF, 0xFE, 0x3C, 0x00, 0x61, 0x00}, u"<a", kEncodingUtf16},
      {{0xFE, 0xFF, 0x00, 0x3C, 0x00, 0x61}, u"<a", kEncodingUtf16},
      {{0xFF, 0xFE, 0x3C, 0x00, 0x61}, u"<", kEncodingUtf16},  // the odd last byte is dropped
      {{0xEF, 0xBB, 0xBF, 0x3C, 0x61}, u"<a", kEncodingUtf8},
      {{0x3C, 0x61, 0x3E}, u"<a>", kEncodingNarrow},
      {{0x3C, 0x61, 0x3E, 0xC3, 0xA9}, u"<a>é", kEncodingUtf8},
      // The lead byte E9 has no room for its continuation inside the sample: the scan stops
      // there, the good sequence before it decides, and the whole buffer decodes as UTF-8.
      {{0x3C, 0xC3, 0xA9, 0xE9}, u"<é\uFFFD", kEncodingUtf8},
      {{0xC3, 0xA9, 0x41, 0x80}, u"Ã©A€", kEncodingNarrow},
      // A mark whose decoding comes out empty falls through to the sniffing.
      {{0xFF, 0xFE}, u"ÿþ", kEncodingNarrow},
      {{0xFE, 0xFF, 0x41}, u"þÿA", kEncodingNarrow},
      {{0xEF, 0xBB, 0xBF}, u"\uFEFF", kEncodingUtf8},
      // A UTF-8 mark is binding even when what follows is not UTF-8.
      {{0xEF, 0xBB, 0xBF, 0xE9, 0x41}, u"\uFFFDA", kEncodingUtf8},
      // FE and FF are skipped by the sniffing, neither counted nor rejected.
      {{0x41, 0xFF, 0xC3, 0xA9}, u"A\uFFFDé", kEncodingUtf8},
      {{0x41, 0xFE}, u"Aþ", kEncodingNarrow},
      // Lead bytes of the old five- and six-byte forms count as sequences for the verdict.
      {{0xFC, 0x80, 0x80, 0x80, 0x80, 0x80}, std::u16string(6, u'\uFFFD'), kEncodingUtf8},
  };
  for (const auto& [bytes, text, encodingId] : cases) {
    const DecodedText decoded = DecodeBytes(bytes);
    // The narrow texts above are Windows-1252; another code page gives its own characters.
    const bool windows1252 = platform::NarrowCodePage() == 1252;
    EXPECT_EQ(decoded.text,
              encodingId == kEncodingNarrow && !windows1252 ? platform::NarrowToText(bytes) : text)
        << Hex(bytes);
    EXPECT_EQ(decoded.encodingId, encodingId) << Hex(bytes);
  }
}

TEST(DecodeBytes, EmptyInputLeavesTheEncodingToTheCaller) {
  const DecodedText decoded = DecodeBytes({});
  EXPECT_TRUE(decoded.text.empty());
  EXPECT_EQ(decoded.encodingId, -1);
}

TEST(DecodeBytes, LateUtf8AfterLongAsciiIsStillUtf8) {
  for (const std::size_t asciiLength :
       {std::size_t{2048}, std::size_t{4096}, std::size_t{1} << 20}) {
    Bytes bytes(asciiLength, 'a');
    bytes.push_back(0xC3);
    bytes.push_back(0xA9);
    const DecodedText utf8 = DecodeBytes(bytes);
    EXPECT_EQ(utf8.encodingId, kEncodingUtf8) << asciiLength;
    EXPECT_EQ(utf8.text, std::u16string(asciiLength, u'a') + u"é") << asciiLength;

    bytes.pop_back();
    bytes.back() = 0xE9;  // a lone narrow é
    const DecodedText narrow = DecodeBytes(bytes);
    EXPECT_EQ(narrow.encodingId, kEncodingNarrow) << asciiLength;
    EXPECT_EQ(narrow.text, std::u16string(asciiLength, u'a') + u"é") << asciiLength;

    bytes.push_back('z');  // E9 followed by ASCII: a contradiction, still narrow
    EXPECT_EQ(DecodeBytes(bytes).encodingId, kEncodingNarrow) << asciiLength;
  }
}

TEST(DecodeBytes, DecodesTheWholeBufferNotJustTheSample) {
  // é, then ASCII far beyond the sample, then a stray continuation byte and a euro sign.
  const std::string utf8 = "\xC3\xA9" + std::string(9998, 'x') + "\x80\xE2\x82\xAC";
  const DecodedText decoded = DecodeBytes(AsBytes(utf8));
  EXPECT_EQ(decoded.encodingId, kEncodingUtf8);
  EXPECT_EQ(decoded.text,
            FromUtf8("\xC3\xA9" + std::string(9998, 'x') + "\xEF\xBF\xBD\xE2\x82\xAC"));
}

// The sample is kUtf8SampleLimit bytes counted from the first byte that is not ASCII.
TEST(LooksLikeUtf8, OnlyTheSampleDecides) {
  constexpr std::size_t kAsciiPrefix = 100;
  const auto sampleWith = [](std::size_t offset, Bytes tail) {
    Bytes bytes(kAsciiPrefix, 'a');
    bytes.push_back(0xC3);
    bytes.push_back(0xA9);
    bytes.resize(kAsciiPrefix + offset, 'b');
    bytes.insert(bytes.end(), tail.begin(), tail.end());
    return bytes;
  };
  // A stray continuation byte at the sample's last index contradicts; one index later it is
  // outside the sample.
  EXPECT_FALSE(LooksLikeUtf8(sampleWith(kUtf8SampleLimit - 1, {0x80})));
  EXPECT_TRUE(LooksLikeUtf8(sampleWith(kUtf8SampleLimit, {0x80})));
  // A sequence that would end at the sample's end or beyond stops the scan: what follows its
  // lead byte does not matter.
  EXPECT_TRUE(LooksLikeUtf8(sampleWith(kUtf8SampleLimit - 2, {0xE2, 0x41, 0x41})));
  EXPECT_FALSE(LooksLikeUtf8(sampleWith(kUtf8SampleLimit - 3, {0xE2, 0x41, 0x41})));
  // A smaller limit shrinks the sample the same way.
  EXPECT_TRUE(LooksLikeUtf8(sampleWith(10, {0x80}), 10));
  EXPECT_FALSE(LooksLikeUtf8(sampleWith(10, {0x80}), 11));
}

TEST(LooksLikeUtf8, NeedsAtLeastOneSequenceAndNoContradiction) {
  const Bytes good = AsBytes("ab\xC3\xA9");
  EXPECT_TRUE(LooksLikeUtf8(good));
  EXPECT_FALSE(LooksLikeUtf8(good, -1));
  EXPECT_FALSE(LooksLikeUtf8(good, 0));
  EXPECT_FALSE(LooksLikeUtf8(AsBytes("plain ascii")));
  EXPECT_FALSE(LooksLikeUtf8({}));
  EXPECT_FALSE(LooksLikeUtf8(AsBytes("\xFF\xFE\xFF")));
  EXPECT_FALSE(LooksLikeUtf8(AsBytes("\xC3\x41")));          // lead without continuation
  EXPECT_FALSE(LooksLikeUtf8(AsBytes("\xE2\x82\x41\x41")));  // second continuation missing
  EXPECT_TRUE(LooksLikeUtf8(AsBytes("\xF0\x9F\x98\x80")));
  EXPECT_TRUE(LooksLikeUtf8(AsBytes("\xC0\x80")));  // overlong, but shaped like a sequence
}

// UTF-8 and UTF-16 conversions ------------------------------------------------------------------

TEST(Utf8ToText, ReplacesEachIllFormedPieceWithOneReplacementCharacter) {
  const std::pair<std::string_view, std::u16string_view> cases[] = {
      {"", u""},
      {"\xF0\x9F\x98\x80", u"\U0001F600"},
      {"\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
      {"\xEF\xBF\xBD", u"\uFFFD"},
      {"\xC0\x80", u"\uFFFD\uFFFD"},                      // overlong NUL
      {"\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},            // overlong '/'
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},            // an encoded surrogate
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // beyond U+10FFFF
      {"\xE2\x82", u"\uFFFD"},                            // truncated at the end
      {"\xE2\x82z", u"\uFFFDz"},
      {"\xE2(\xA1", u"\uFFFD(\uFFFD"},
      {"\xF0\x9F\x98", u"\uFFFD"},
      {"\xF8\x88\x80\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"\x80\xBF", u"\uFFFD\uFFFD"},
      {"a\0b", u"a\0b"},
  };
  for (const auto& [utf8, text] : cases) {
    EXPECT_EQ(Utf8ToText(AsBytes(utf8)), text) << Hex(utf8);
    EXPECT_EQ(FromUtf8(utf8), text) << Hex(utf8);
  }
}

TEST(Utf8ToText, MultiByteCharactersAtEveryOffsetOfTheAsciiFastPath) {
  for (std::size_t offset = 0; offset < 20; ++offset) {
    std::string utf8(offset, 'x');
    utf8 +=
        "\xE2\x82\xAC"
        "0123456789abcdefghij"
        "\xC3\xA9";
    const std::u16string expected = std::u16string(offset, u'x') + u"€0123456789abcdefghijé";
    EXPECT_EQ(Utf8ToText(AsBytes(utf8)), expected) << offset;
  }
}

// Runs of every length up to a few blocks, with the first byte above ASCII at every place.
TEST(WidenAscii, StopsAtTheFirstByteAboveAscii) {
  for (std::size_t length = 0; length <= 40; ++length) {
    for (std::size_t stop = 0; stop <= length; ++stop) {
      Bytes bytes(length);
      for (std::size_t i = 0; i < length; ++i)
        bytes[i] = static_cast<std::uint8_t>(i == stop ? 0x80 + i : 0x21 + i);
      std::u16string out(length, u'\0');
      ASSERT_EQ(WidenAscii(bytes, out.data()), stop) << length;
      for (std::size_t i = 0; i < stop; ++i)
        ASSERT_EQ(out[i], bytes[i]) << length << ' ' << i;
    }
  }
}

TEST(Utf16ToText, ReadsLittleEndianOrSwappedPairsAndIgnoresAnOddLastByte) {
  EXPECT_EQ(Utf16ToText(Bytes{0x3C, 0x00, 0xAC, 0x20, 0x3D, 0xD8, 0x00, 0xDE}, false),
            u"<€\U0001F600");
  EXPECT_EQ(Utf16ToText(Bytes{0x00, 0x3C, 0x20, 0xAC, 0x7F}, true), u"<€");
  EXPECT_EQ(Utf16ToText(Bytes{0x41}, false), u"");
  EXPECT_EQ(Utf16ToText(Bytes{}, true), u"");
}

TEST(Encoders, WriteTheThreeEncodingsAndTheirMarks) {
  const std::u16string_view text = u"é€";
  const std::pair<std::int32_t, std::string_view> cases[] = {
      {kEncodingNarrow, "\xE9\x80"},
      {kEncodingUtf8, "\xC3\xA9\xE2\x82\xAC"},
      {kEncodingUtf16, std::string_view("\xE9\x00\xAC\x20", 4)},
      {-1, "\xE9\x80"},  // every other value writes narrow
      {7, "\xE9\x80"},
  };
  for (const auto& [encodingId, bytes] : cases) {
    const bool narrow = encodingId != kEncodingUtf8 && encodingId != kEncodingUtf16;
    if (narrow && platform::NarrowCodePage() != 1252) continue;  // E9 80 is Windows-1252
    std::string out = "<";
    AppendEncoded(out, text, encodingId);
    EXPECT_EQ(Hex(out.substr(0, 1)), "3C") << encodingId;
    EXPECT_EQ(Hex(out.substr(1)), Hex(bytes)) << encodingId;
  }
  EXPECT_EQ(ByteOrderMark(kEncodingUtf8), "\xEF\xBB\xBF");
  EXPECT_EQ(ByteOrderMark(kEncodingUtf16), "\xFF\xFE");
  for (const std::int32_t none : {std::int32_t{kEncodingNarrow}, -1, 3, 65001}) {
    EXPECT_TRUE(ByteOrderMark(none).empty()) << none;
  }
}

TEST(AppendUtf8, UnpairedSurrogatesBecomeReplacementCharacters) {
  const std::pair<std::u16string, std::string_view> cases[] = {
      {std::u16string{0xD800}, "\xEF\xBF\xBD"},
      {std::u16string{0xDC00, u'a'},
       "\xEF\xBF\xBD"
       "a"},
      {std::u16string{u'a', 0xD83D}, "a\xEF\xBF\xBD"},
      {std::u16string{0xD83D, 0xD83D, 0xDE00}, "\xEF\xBF\xBD\xF0\x9F\x98\x80"},
      {std::u16string{0xDE00, 0xD83D}, "\xEF\xBF\xBD\xEF\xBF\xBD"},
      {u"\u007F\u0080\u07FF\u0800\uFFFF", "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF"},
  };
  for (const auto& [text, utf8] : cases) {
    EXPECT_EQ(Hex(Utf8Of(text)), Hex(utf8));
  }
}

TEST(Utf8AndUtf16, RandomTextRoundTripsThroughBothEncodings) {
  std::mt19937 random(42);
  std::uniform_int_distribution<std::uint32_t> anyCode(0, 0x10FFFF);
  std::uniform_int_distribution<int> kind(0, 3);
  for (int round = 0; round < 200; ++round) {
    std::u16string text;
    for (int i = 0; i < 300; ++i) {
      std::uint32_t code = kind(random) == 0 ? anyCode(random) : random() % 0x80;
      if (code >= 0xD800 && code <= 0xDFFF) code = 0xE000;
      if (code >= 0x10000) {
        code -= 0x10000;
        text += static_cast<char16_t>(0xD800 + (code >> 10));
        text += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
      } else {
        text += static_cast<char16_t>(code);
      }
    }
    ASSERT_EQ(FromUtf8(ToUtf8(text)), text);
    std::string utf16;
    AppendUtf16(utf16, text);
    ASSERT_EQ(utf16.size(), 2 * text.size());
    ASSERT_EQ(Utf16ToText(AsBytes(utf16), false), text);
  }
}

// The narrow code page ----------------------------------------------------------------------------

Bytes AllBytes() {
  Bytes bytes(256);
  for (int b = 0; b < 256; ++b)
    bytes[b] = static_cast<std::uint8_t>(b);
  return bytes;
}

// Double-byte code pages (Japanese, Chinese, Korean) pair some bytes into one character, so
// there not every byte sequence survives; every single-byte ANSI code page keeps them all.
bool IsDoubleByte(std::uint32_t codePage) {
  return codePage == 932 || codePage == 936 || codePage == 949 || codePage == 950 ||
         codePage == 1361;
}

TEST(Narrow, EveryByteSurvivesANarrowReadAndWrite) {
  if (IsDoubleByte(platform::NarrowCodePage())) {
    GTEST_SKIP() << "double-byte code page " << platform::NarrowCodePage();
  }
  const Bytes bytes = AllBytes();
  const DecodedText decoded = DecodeBytes(bytes);
  ASSERT_EQ(decoded.encodingId, kEncodingNarrow);
  ASSERT_EQ(decoded.text, platform::NarrowToText(bytes));
  ASSERT_EQ(decoded.text.size(), 256u) << "code page " << platform::NarrowCodePage();
  std::string written;
  AppendEncoded(written, decoded.text, kEncodingNarrow);
  EXPECT_EQ(Hex(written), Hex(bytes)) << "code page " << platform::NarrowCodePage();
}

TEST(Narrow, CharactersOutsideTheCodePageBecomeQuestionMarks) {
  // Ethiopic, an emoji (one character in two code units) and Glagolitic: in no ANSI code page.
  std::string out = "keep:";
  AppendNarrow(out, u"a\u1200\U0001F600b\u2C00");
  EXPECT_EQ(out, "keep:a??b?");
  std::string lone;
  AppendNarrow(lone, std::u16string{u'x', 0xD800, u'y', 0xDC00});
  EXPECT_EQ(lone, "x?y?");
  if (platform::NarrowCodePage() == 1252) {
    std::string bestFit;
    AppendNarrow(bestFit, u"\u0100\u2113\u0107");  // best fit would give "Alc"
    EXPECT_EQ(bestFit, "???");
  }
}

TEST(Narrow, Windows1252KeepsItsFiveUnassignedBytes) {
  if (platform::NarrowCodePage() != 1252) {
    GTEST_SKIP() << "narrow code page is " << platform::NarrowCodePage();
  }
  EXPECT_EQ(
      platform::NarrowToText(Bytes{0x80, 0x81, 0x8D, 0x8F, 0x90, 0x9D, 0x9E, 0x9F, 0xA0, 0xFF}),
      u"€\u0081\u008D\u008F\u0090\u009DžŸ\u00A0ÿ");
  std::string out;
  AppendNarrow(out, u"€ŠœŸ\u0081\u009D\u0080\u009F");
  EXPECT_EQ(Hex(out), "80 8A 9C 9F 81 9D 3F 3F");
}

}  // namespace
}  // namespace kestrelwing::detail
