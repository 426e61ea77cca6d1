// cp1252 and UTF-8 meet at the program's edges; nothing invalid may pass through unchanged or crash.
#include <gtest/gtest.h>

#include "base/text_encoding.h"

namespace falatro {
namespace {

TEST(TextEncoding, RoundTripsEveryAssignedByte) {
  for (int b = 1; b < 256; ++b) {
    std::string one(1, static_cast<char>(b));
    // 0x81, the mark of a character cp1252 lacks, is shown as "?".
    EXPECT_EQ(Utf8ToCp1252(Cp1252ToUtf8(one)), b == 0x81 ? "?" : one) << b;
  }
}

TEST(TextEncoding, Conversions) {
  struct Case { const char* what; std::string utf8; std::string cp; bool valid; };
  const Case cases[] = {
      {"accented letters", "Conex\xC3\xA3o", "Conex\xE3o", true},
      {"euro sign and quotes", "\xE2\x82\xAC \xE2\x80\x9Cx\xE2\x80\x9D", "\x80 \x93x\x94", true},
      {"a character cp1252 lacks", "\xE2\x98\x83", "?", true},
      {"an emoji (4 bytes)", "a\xF0\x9F\x98\x80z", "a?z", true},
      {"a stray continuation byte", "a\x80z", "a?z", false},
      {"an overlong slash", "\xC0\xAF", "??", false},
      {"a surrogate", "\xED\xA0\x80", "???", false},
      {"a truncated sequence at the end", "ab\xE2\x82", "ab??", false},
      {"past U+10FFFF", "\xF4\x90\x80\x80", "????", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Utf8ToCp1252(c.utf8), c.cp) << c.what;
    EXPECT_EQ(IsValidUtf8(c.utf8), c.valid) << c.what;
  }
}

TEST(TextEncoding, IncompletePrefixIsToldApart) {
  uint32_t cp = 0;
  EXPECT_EQ(DecodeUtf8("\xC3", 0, &cp), -1);
  EXPECT_EQ(DecodeUtf8("\xC3\xA3", 0, &cp), 2);
  EXPECT_EQ(cp, 0xE3u);
  EXPECT_EQ(DecodeUtf8("\xFF", 0, &cp), 0);
}

}  // namespace
}  // namespace falatro
