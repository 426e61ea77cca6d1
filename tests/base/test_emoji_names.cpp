// The network edge's conversion with emoji names, and the compiled table against the CLDR annotations.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "base/emoji_names.h"
#include "base/text_encoding.h"

namespace falatro {
namespace {

TEST(EmojiNames, ServerTextIsShownAndSaidByName) {
  struct Case { const char* what; std::string utf8; std::string cp; } cases[] = {
      {"two emoji after words", "bom dia \xF0\x9F\x98\x80\xF0\x9F\x91\x8D",
       "bom dia (rosto risonho)(polegar para cima)"},
      {"an emoji with its variation selector", "\xE2\x9D\xA4\xEF\xB8\x8F", "(cora\xE7\xE3o vermelho)"},
      {"a joined sequence, selector inside, is one name",
       "\xE2\x9D\xA4\xEF\xB8\x8F\xE2\x80\x8D\xF0\x9F\x94\xA5", "(cora\xE7\xE3o em chamas)"},
      {"a skin tone is named after the emoji", "\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD",
       "(polegar para cima)(pele morena)"},
      {"joined people without a name of their own are named one by one",
       "\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9", "(homem)(mulher)"},
      {"a joiner before a letter vanishes", "\xF0\x9F\x98\x80\xE2\x80\x8Dx", "(rosto risonho)x"},
      {"a joiner at the end vanishes", "\xF0\x9F\x98\x80\xE2\x80\x8D", "(rosto risonho)"},
      {"the keycap mark and lone selectors vanish", "1\xEF\xB8\x8F\xE2\x83\xA3 a\xEF\xB8\x8E", "1 a"},
      {"typographic marks keep their cp1252 bytes",
       "\xE2\x80\x9Coi\xE2\x80\x9D \xE2\x80\x94 \xC3\xA9\xE2\x80\xA6 \xE2\x82\xAC",
       "\x93oi\x94 \x97 \xE9\x85 \x80"},
      {"a symbol cp1252 lacks that CLDR names", "\xE2\x86\x92", "(seta apontando para a direita)"},
      {"an unnamed character becomes the unnamed mark", "a\xE4\xB8\xAD" "b", "a\x81" "b"},
      {"invalid bytes each become the mark", "\xC0\xAF", "\x81\x81"},
  };
  for (const Case& c : cases) EXPECT_EQ(Utf8ToCp1252Named(c.utf8), c.cp) << c.what;
  EXPECT_EQ(Cp1252ToUtf8("\x81"), "?") << "the unnamed mark is shown as a question mark";
}

// The name as the table holds it: cp1252, typographic quotes and dashes plain, no brackets.
std::string ExpectedName(const std::string& utf8) {
  std::string out;
  for (char c : Utf8ToCp1252(utf8)) {
    switch (static_cast<unsigned char>(c)) {
      case 0x93: case 0x94: out += '"'; break;
      case 0x91: case 0x92: out += '\''; break;
      case 0x96: case 0x97: out += '-'; break;
      case '(': case ')': break;
      default: out += c;
    }
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

std::string Unescape(std::string s) {
  const std::pair<const char*, const char*> entities[] = {
      {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&apos;", "'"}, {"&amp;", "&"}};
  for (const auto& [from, to] : entities)
    for (size_t p = s.find(from); p != std::string::npos; p = s.find(from, p + 1)) s.replace(p, std::string(from).size(), to);
  return s;
}

TEST(EmojiNames, EveryEmojiOfTheCldrPortugueseAnnotationsHasItsName) {
  std::ifstream in("/usr/share/unicode/cldr/common/annotations/pt.xml", std::ios::binary);
  ASSERT_TRUE(in) << "unicode-cldr-core is not installed";
  std::stringstream all;
  all << in.rdbuf();
  const std::string xml = all.str();
  int named = 0, own_bytes = 0;
  const std::string open = "<annotation cp=\"";
  for (size_t p = xml.find(open); p != std::string::npos; p = xml.find(open, p + 1)) {
    const size_t cp_end = xml.find('"', p + open.size());
    const size_t tag_end = xml.find('>', cp_end);
    if (xml.substr(cp_end, tag_end - cp_end).find(" type=\"tts\"") == std::string::npos) continue;
    const std::string seq = Unescape(xml.substr(p + open.size(), cp_end - p - open.size()));
    const std::string name = Unescape(xml.substr(tag_end + 1, xml.find('<', tag_end) - tag_end - 1));
    const std::string cp = Utf8ToCp1252(seq, '\x01');
    if (cp.find('\x01') == std::string::npos) {
      // Characters cp1252 has are shown and said as themselves.
      EXPECT_EQ(Utf8ToCp1252Named(seq), cp) << seq;
      ++own_bytes;
      continue;
    }
    EXPECT_EQ(Utf8ToCp1252Named(seq), "(" + ExpectedName(name) + ")") << seq << " " << name;
    EXPECT_TRUE(IsEmojiName(ExpectedName(name))) << name;
    ++named;
  }
  EXPECT_GT(named, 1500);
  EXPECT_EQ(static_cast<size_t>(named), EmojiNameCount()) << "every entry of the table comes from the file";
  EXPECT_GT(own_bytes, 0);
  EXPECT_FALSE(IsEmojiName("rosto")) << "only whole names";
}

}  // namespace
}  // namespace falatro
