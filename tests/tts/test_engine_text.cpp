// The engine's text preprocessing and stress: every documented example as a table of exact outputs.
#include <gtest/gtest.h>

#include <string>

#include "tts/stress.h"
#include "tts/text_preprocessor.h"

namespace falatro {
namespace {

struct TextCase {
  const char* description;
  const char* input;
  const char* expected;
};

class EnginePreprocessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ParseAbbreviations(
        "; comment\n"
        "  sr =  senhor \n"
        "Av = avenida\n"
        "N\xBA = n\xFAmero\n"
        "\n");
  }
  void TearDown() override { ParseAbbreviations(""); }
};

TEST_F(EnginePreprocessTest, NumbersSymbolsAndWords) {
  const TextCase cases[] = {
      {"minus before a digit", "-5", "menos cinco "},
      {"a dash between blanks is a comma", "5 - 3", "cinco  , tr\xEAs "},
      {"digits and hyphens are read one by one", "3333-4444",
       " tr\xEAs tr\xEAs tr\xEAs tr\xEAs tra\xE7o quatro quatro quatro quatro "},
      {"leading zeros", "007", "zero zero sete "},
      {"thousands separator before a blank", "1.000 reais", "mil   reais"},
      {"thousands separator at the end", "1.000", "mil  "},
      {"four digits after the full stop are not a group", "1.0001", "um ponto zero zero zero um "},
      {"decimal comma", "3,05", "tr\xEAs v\xEDrgula zero cinco "},
      {"masculine ordinal sign", "1\xBA", "primeiro "},
      {"feminine ordinal sign", "2\xAA", "segunda "},
      {"o. ordinal", "3o.", "terceiro "},
      {"as. plural ordinal", "4as.", "quartas "},
      {"o without a full stop stays a letter", "5o", "cinco o"},
      {"feminine ordinal of two words", "23\xAA", "vig\xE9sima terceira "},
      {"feminine plural ordinal", "2as.", "segundas "},
      {"ordinals drop leading zeros", "01\xBA", "primeiro "},
      {"sixteen digits: fifteen, then one",
       "1234567890123456",
       "cento e vinte e tr\xEAs trilh\xF5" "es quatrocentos e cinq\xFC" "enta e seis bilh\xF5" "es setecentos e "
       "oitenta e nove milh\xF5" "es doze mil e trezentos e quarenta e cinco seis "},
      {"abbreviation before a blank", "Sr. Silva", "senhor Silva"},
      {"abbreviation at the very end stays", "Sr.", "Sr."},
      {"abbreviation with an ordinal sign", "N\xBA 5", "n\xFAmero cinco "},
      {"consonant-only word is spelled", "BH", "b\xEA" "ag\xE1"},
      {"unknown consonant abbreviation is spelled before its full stop", "CPF.", " s\xEAp\xEA\xE9" "fe."},
      {"inner full stop", "arquivo.txt", "arquivo ponto t\xEAxist\xEA"},
      {"a lone letter is its name", "b", "b\xEA"},
      {"a lone mark is its name", "?", "interroga\xE7\xE3o"},
      {"hyphenated word stays whole", "guarda-chuva", "guarda-chuva"},
      {"ellipsis", "ah... bom", "ah...  bom"},
      {"stray characters by name, controls dropped", "a\t#ab\r\n", "a sustenido ab"},
      {"kept marks", "(oi)!", "(oi)!"},
      {"division sign is not multiplication", "6\xF7" "2", "seis  dividido por dois "},
  };
  for (const TextCase& c : cases) EXPECT_EQ(PreprocessText(c.input), c.expected) << c.description;
}

TEST(EngineNumbers, CardinalsAndOrdinals) {
  const struct {
    uint64_t value;
    const char* expected;
  } cardinals[] = {
      {0, "zero"}, {21, "vinte e um"}, {100, "cem"}, {101, "cento e um"}, {1000, "mil "},
      {1100, "mil e cem"}, {2345, "dois mil e trezentos e quarenta e cinco"}, {1000000, "um milh\xE3o "},
      {2000000, "dois milh\xF5" "es "}, {1000001, "um milh\xE3o e um"}, {15, "quinze"},
      {999999999999999ULL, "novecentos e noventa e nove trilh\xF5" "es novecentos e noventa e nove bilh\xF5"
                           "es novecentos e noventa e nove milh\xF5" "es novecentos e noventa e nove mil "
                           "e novecentos e noventa e nove"},
  };
  for (const auto& c : cardinals) EXPECT_EQ(CardinalToWords(c.value), c.expected) << c.value;
  const struct {
    uint64_t value;
    bool feminine;
    const char* expected;
  } ordinals[] = {
      {1, false, "primeiro"}, {23, true, "vig\xE9sima terceira"}, {2, true, "segunda"},
      {0, false, "zero"}, {1999, false, "mil\xE9simo nongent\xE9simo nonag\xE9simo nono"},
      {2000, false, "dois mil "}, {110, true, "cent\xE9sima d\xE9" "cima"},
  };
  for (const auto& c : ordinals) EXPECT_EQ(OrdinalToWords(c.value, c.feminine), c.expected) << c.value;
}

TEST(EngineNumbers, CharacterNames) {
  const struct {
    int code;
    const char* expected;
  } cases[] = {
      {32, "espa\xE7o"}, {48, "z\xE9ro"}, {64, "arr\xF4" "ba"}, {67, " s\xEA"}, {68, " d\xEA"}, {74, "j\xF3ta"},
      {106, "jota"}, {110, "ene"}, {126, "til"}, {161, "exclama\xE7\xE3o reversa"},
      {191, "interroga\xE7\xE3o reversa"}, {192, "A grave"}, {215, "vezes"}, {220, "U com trema"},
      {225, "A agudo"}, {231, "C\xEA cedilha"}, {9, ""}, {127, ""}, {160, ""}, {221, ""}, {224, ""}, {255, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(CharacterName(static_cast<uint8_t>(c.code)), c.expected) << c.code;
}

TEST(EngineAbbreviations, FileLimits) {
  std::string text;
  for (int i = 0; i < 2100; ++i) text += "k" + std::to_string(i) + "=x" + std::to_string(i) + "\n";
  text += "long=" + std::string(1500, 'a') + "\n";
  ParseAbbreviations(text);
  EXPECT_EQ(Preprocessor.abbreviations.size(), kMaxAbbreviations);
  ASSERT_NE(FindAbbreviation("K1999"), nullptr);
  EXPECT_EQ(*FindAbbreviation("k1999"), "x1999");
  EXPECT_EQ(FindAbbreviation("k2000"), nullptr);
  ParseAbbreviations("long=" + std::string(1500, 'a') + "\nSR=senhor\nsr=outro\n");
  EXPECT_EQ(FindAbbreviation("LONG")->size(), kMaxAbbreviationExpansion);
  EXPECT_EQ(*FindAbbreviation("Sr"), "senhor");  // the first entry wins
  EXPECT_FALSE(LoadAbbreviations(std::string(FALATRO_BINARY_DIR) + "/no/such/portug.abr"));
  ParseAbbreviations("");
}

TEST(EngineStress, PositionsAndFunctionWords) {
  const struct {
    const char* word;
    int expected;
  } cases[] = {
      {"caf\xE9", 4}, {"casas", 2}, {"que", 3}, {"rua", 2}, {"aqui", 4}, {"falam", 2}, {"jardim", 5},
      {"psst", 0}, {"homem", 2}, {"animal", 5}, {"CASA", 2}, {"pegue", 2}, {"tatu", 4}, {"papai", 4},
      {"meu", 2}, {"\xF3rf\xE3o", 4}, {"quase", 3}, {"Maria", 4}, {"l\xE1pis", 2}, {"ARMAZ\xC9M", 6},
      {"xy", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(FindStressPosition(c.word), c.expected) << c.word;
  const struct {
    const char* word;
    bool expected;
  } words[] = {{"SIM", true}, {"COM", true}, {"DE", true}, {"N\xC3O", true}, {"A", true}, {"CASA", false},
               {"SOL", false}, {"POR", true}, {"PARA", false}};
  for (const auto& w : words) EXPECT_EQ(IsFunctionWord(w.word), w.expected) << w.word;
}

}  // namespace
}  // namespace falatro
