// The engine's prosody: configuration loader and its messages, diphone list, tokens, contours, and the
// durations, pitch targets and transitions of the phoneme lines.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tts/prosody.h"

namespace falatro {
namespace {

const char kConfig[] =
    "[DURA\xC7\xC3O]\n"
    "; a comment\n"
    "a = 80\n"
    "b=60\n"
    "r2=70\n"
    "_,=200\n"
    "\n"
    "[CHAVES]\n"
    "* another comment\n"
    "o=ar\n"
    "de = pre\n"
    "\n"
    "[PROS\xD3" "DIA]\n"
    "HERTZ=230\n"
    "TABHERTZ=0,50,60,70,80,100,120,130,140,150\n"
    "--|XX|=576\n"
    "|xx|..=?21\n"
    "|AR|=?33\n"
    "|XX|=524\n";

const char kDiphones[] =
    "; pairs\n"
    "! more comment\n"
    "_ _\n_ a\n_ B\n_ q\n_ r2\na _\na b\nb a\nb _\nq _\ny b\n"
    "  a\t a   trailing text\n";

std::string Join(const std::vector<std::string>& lines) {
  std::string s;
  for (const std::string& l : lines) s += l + "/";
  return s;
}

class EngineProsodyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ParseProsody(kConfig)) << Prosody.error;
    ParseDiphoneList(kDiphones);
    Prosody.current_phoneme.clear();
  }
  void TearDown() override { FreeDiphoneList(); }
};

TEST_F(EngineProsodyTest, LoaderMessages) {
  const std::string d = "[DURA\xC7\xC3O]\na=1\n", k = "[CHAVES]\no=ar\n", p = "[PROS\xD3" "DIA]\n|XX|=555\n";
  const struct {
    const char* description;
    std::string text;
    const char* error;
  } cases[] = {
      {"no durations", k + p, "Dura\xE7\xE3o dos difones errada ou ausente"},
      {"no keywords", d + p, "Pros\xF3" "dia: palavras chaves ausentes"},
      {"no contours", d + k, "Pros\xF3" "dia: especifica\xE7\xF5" "es ausentes"},
      {"duration without =", "[DURA\xC7\xC3O]\na 80\n" + k + p, "Configura\xE7\xE3o da pros\xF3" "dia: fonema errado: a 80"},
      {"keyword without =", d + "[CHAVES]\nquem\n" + p, "Configura\xE7\xE3o da pros\xF3" "dia: chave errada: quem"},
      {"pattern without =", d + k + "[PROS\xD3" "DIA]\n|xx|555\n",
       "Configura\xE7\xE3o da pros\xF3" "dia: chave errada: |xx|555"},
      {"malformed HERTZ", d + k + p + "HERTZ=12a\n", "Configura\xE7\xE3o da pros\xF3" "dia: chave errada: HERTZ=12a"},
      {"nine TABHERTZ values", d + k + p + "TABHERTZ=1,2,3,4,5,6,7,8,9\n",
       "Configura\xE7\xE3o da pros\xF3" "dia: chave errada: TABHERTZ=1,2,3,4,5,6,7,8,9"},
      {"eleven TABHERTZ values", d + k + p + "TABHERTZ=1,2,3,4,5,6,7,8,9,10,11\n",
       "Configura\xE7\xE3o da pros\xF3" "dia: chave errada: TABHERTZ=1,2,3,4,5,6,7,8,9,10,11"},
      {"a heading is not a line of the section before", "[DURA\xC7\xC3O]\n[CHAVES]\nx\n" + p,
       "Configura\xE7\xE3o da pros\xF3" "dia: chave errada: x"},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(ParseProsody(c.text)) << c.description;
    EXPECT_EQ(Prosody.error, c.error) << c.description;
  }
  EXPECT_FALSE(LoadProsody(std::string(FALATRO_BINARY_DIR) + "/no/such.pro"));
  EXPECT_EQ(Prosody.error, "Configura\xE7\xE3o da pros\xF3" "dia n\xE3o foi achada");
  EXPECT_FALSE(LoadDiphoneList(std::string(FALATRO_BINARY_DIR) + "/no/such.dfn"));

  // A duration that is not a number gets 100 and the load goes on; sections come in any order; HERTZ
  // starts again at 230 with every load.
  ASSERT_TRUE(ParseProsody(p + "[CHAVES]\nzeta=abc\nalfa=x\n" + "[DURA\xC7\xC3O]\nabc=xyz\nb=7\n"));
  ASSERT_EQ(Prosody.durations.size(), 2u);
  EXPECT_EQ(Prosody.durations[0], (std::pair<std::string, int>("ab", 100)));
  EXPECT_EQ(Prosody.keywords[0].word, "ALFA");
  EXPECT_EQ(Prosody.keywords[1].klass, "AB");
  EXPECT_EQ(Prosody.hertz, 230);
}

TEST_F(EngineProsodyTest, DiphoneList) {
  const struct {
    const char* first;
    const char* second;
    bool expected;
  } cases[] = {{"_", "a", true}, {"_", "b", true}, {"A", "B", true}, {"a", "a", true}, {"b", "b", false},
               {"pairs", "", false}, {"more", "comment", false}, {"a", "trailing", false}};
  for (const auto& c : cases) EXPECT_EQ(HasDiphone(c.first, c.second), c.expected) << c.first << c.second;
}

TEST_F(EngineProsodyTest, TokensAndContours) {
  const std::vector<std::string> tokens = TokenizeText("  O gato, de novo. Sim? fim... x");
  EXPECT_EQ(Join(tokens),
            "[--]/[AR]O/[XX]gato/[,,],/[PR]de/[XX]novo/[..]./[--]/[XX]Sim/[?\?]?/[--]/[XX]fim/[.-]./[--]/"
            "[XX]x/");
  // "?" takes the last level of the contour before (the sentence start gives 5).
  EXPECT_EQ(Join(ChooseContours(tokens)),
            "555|/533|O/524|gato/555|,/555|de/521|novo/555|./555|/576|Sim/555|?/555|/576|fim/555|./555|/"
            "576|x/");
  EXPECT_EQ(Join(ChooseContours({"[XX]a", "[AR]o", "[AR]o"})), "524|a/433|o/333|o/");
  EXPECT_EQ(Join(ChooseContours({})), "");
  EXPECT_EQ(Join(TokenizeText("")), "[--]/");
}

TEST_F(EngineProsodyTest, DurationsPitchAndTransitions) {
  const struct {
    const char* description;
    std::vector<std::string> phonemes;
    double duration_factor, pitch_factor;
    const char* expected;
  } cases[] = {
      {"no duration entry: 100 ms", {";555|zz", "q", ""}, 1.0, 1.0, ";zz/q 100 50 230//"},
      {"stressed 145 % of 100 ms at factor 0.8", {";555|zz", ">q", ""}, 0.8, 1.0, ";zz/q 116 80 230//"},
      {"TABHERTZ 120 % of 230 Hz", {";655|zz", "q", ""}, 1.0, 1.0, ";zz/q 100 50 276//"},
      {"a word without stress has only its first target", {";555|ab", "a", "b", ""}, 1.0, 1.0,
       ";ab/a 80 50 230/b 60//"},
      {"14 letters: 80 % before the stress, then 145 % with the final target",
       {";555|abcdefghijklmn", "a", "b", ">a", "b", ""}, 1.0, 1.0,
       ";abcdefghijklmn/a 64 50 230/b 48/a 116 80 230/b 87 50 230//"},
      {"9 letters: 90 %", {";555|abcdefghi", "a", "b", ""}, 1.0, 1.0, ";abcdefghi/a 72 50 230/b 54//"},
      {"8 letters: 100 %", {";555|abcdefgh", "a", "b", ""}, 1.0, 1.0, ";abcdefgh/a 80 50 230/b 60//"},
      {"a leading \xA8 ends the lengthening", {";555|ab", ">a", "\xA8" "b", "a", ""}, 1.0, 1.0,
       ";ab/a 116 80 230/b 60/a 80 50 230//"},
      {"pause with its own duration", {";555|,", "_ 250"}, 0.8, 1.0, ";,/_ 200 50 230/"},
      {"pause from the table; a lone _ is 100 ms", {";555|,", "_,", "_"}, 1.0, 1.0, ";,/_ 200 50 230/_ 100/"},
      {"missing diphone after r2 bridged by a pause", {";555|ra", "r2", "b", ""}, 1.0, 1.0,
       ";ra/r2 70 50 230/_ 50/b 60//"},
      {"missing diphone bridged by y when the voice has y-b", {";555|ab", "q", "b", ""}, 1.0, 1.0,
       ";ab/q 100 50 230/y 50/b 60//"},
      {"otherwise by a pause", {";555|ab", "a", "q", ""}, 1.0, 1.0, ";ab/a 80 50 230/_ 50/q 100//"},
      {"no digit in the contour: no target; pitch factor", {";5-9|ab", ">a", "b", ""}, 1.0, 2.0,
       ";ab/a 116/b 87 50 690//"},
      {"level 0 sets no target", {";0  |ab", "a", ""}, 1.0, 1.0, ";ab/a 80//"},
      {"no negative duration or pitch", {";555|,", "_ -20", "a"}, -1.0, -1.0, ";,/_ 0/a 0/"},
  };
  for (const auto& c : cases) {
    Prosody.current_phoneme.clear();
    EXPECT_EQ(Join(ComputeProsody(c.phonemes, c.duration_factor, c.pitch_factor)), c.expected) << c.description;
  }
}

}  // namespace
}  // namespace falatro
