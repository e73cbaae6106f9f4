#include <gtest/gtest.h>

#include "OleMisc.h"

namespace kestrelwing::regsvr42 {
namespace {

TEST(OleMisc, NamesBitsLowestFirst) {
  // The status a typical ActiveX control registers for its content aspect.
  const OleMiscNames control = NameOleMisc(131473);
  EXPECT_EQ(control.names,
            u"recomposeonresize,cantlinkinside,insideout,activatewhenvisible,setclientsitefirst");
  EXPECT_EQ(control.unknownBits, 0u);
  EXPECT_EQ(NameOleMisc(0x400).names, u"invisibleatruntime");
  EXPECT_EQ(NameOleMisc(0x200000).names, u"supportsmultilevelundo");
  EXPECT_EQ(NameOleMisc(0).names, u"");
}

TEST(OleMisc, KeepsBitsWithoutANameApart) {
  const OleMiscNames named = NameOleMisc(0x80400001u);
  EXPECT_EQ(named.names, u"recomposeonresize");
  EXPECT_EQ(named.unknownBits, 0x80400000u);
}

TEST(OleMisc, ParsesDecimalAndHexadecimalRegistryValues) {
  EXPECT_EQ(ParseOleMisc(u"131473"), 131473u);
  EXPECT_EQ(ParseOleMisc(u" 0x20191 "), 0x20191u);
  EXPECT_EQ(ParseOleMisc(u"0"), 0u);
  EXPECT_EQ(ParseOleMisc(u"4294967295"), 0xFFFFFFFFu);
  EXPECT_FALSE(ParseOleMisc(u"4294967296"));
  EXPECT_FALSE(ParseOleMisc(u""));
  EXPECT_FALSE(ParseOleMisc(u"0x"));
  EXPECT_FALSE(ParseOleMisc(u"12a"));
  EXPECT_FALSE(ParseOleMisc(u"-1"));
}

}  // namespace
}  // namespace kestrelwing::regsvr42
