// Transcriber behaviour on small rule and exception files written for each case.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "tts/transcriber.h"

namespace falatro {
namespace {

struct Case {
  const char* description;
  const char* input;
  const char* expected;
};

std::string TempFile(const std::string& name, const std::string& contents) {
  std::string path = std::string(FALATRO_BINARY_DIR) + "/tts_test_" + name;
  std::ofstream out(path, std::ios::binary);
  out << contents;
  return path;
}

class TranscriberTest : public ::testing::Test {
 protected:
  void SetUp() override { FreeTranscriptionRules(); ParseTranscriptionRules(""); }
  void TearDown() override { FreeTranscriptionRules(); }
};

// ---------------------------------------------------------------- normalisation

TEST_F(TranscriberTest, NormalisationTable) {
  const Case cases[] = {
      {"plain ASCII stays", "abc, XZ 12!", "abc, XZ 12!"},
      {"w and y next to a letter become u and i", "Wagner yes aWy", "uagner ies aui"},
      {"lone w and y stay", "w y W", "w y W"},
      {"apostrophe after d is dropped", "d'agua D'x", "dagua Dx"},
      {"apostrophe elsewhere stays (it is the acute mark)", "l'a", "l'a"},
      {"cp1252 accented letters", "\xE1\xE0\xE2\xE3\xE9\xEA\xED\xF3\xF4\xF5\xFA",
       "a'a`a^a~e'e^i'o'o^o~u'"},
      {"c cedilla is written ss", "ca\xE7" "a \xC7", "cassa ss"},
      {"cp1252 letters among the marks of 128..159", "\x8A\x9A\x8C\x9C\x8E\x9E\x9F\xA4", "chcheejjinh"},
      {"ntilde becomes nh", "espa\xF1" "a", "espanha"},
      {"diaeresis letters", "\xFC\xEB", "ue\""},
      {"symbols with a reading", "\xD7\xD8\xBF\xAD", "x0?!"},
      {"the euro sign is its name, plural after a number other than one", "\x80 1\x80 1,00 \x80 2 \x80",
       " euro  1 euro  1,00  euro  2  euros "},
      {"curly quotes and the no-break space are blanks", "\x93oi\x94\xA0\x84x\x82", " oi   x "},
      {"a curly apostrophe is the plain one inside a word", "it\x92s \x91x\x92", "it's  x "},
      {"and is dropped after d like the plain one", "d\x92\xE1gua", "da'gua"},
      {"ellipsis and dashes", "a\x85 b\x96" "c\x97", "a... b - c - "},
      {"marks said by name stay as tokens", "a\x95\x99", "a \x95  \x99 "},
      {"ordinal and section signs", "\xAB\xBB\xA7", "\xAA\xBA\xA7"},
      {"the feminine ordinal itself has no reading", "\xAA", " \x01 "},
      {"byte without reading becomes the placeholder", "a\x9Dz\x81", "a \x01 z \x01 "},
      {"control characters become the placeholder", "a\tb", "a \x01 b"},
      {"code 127 stays", "\x7F", "\x7F"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(NormalizeForTranscription(c.input), c.expected) << c.description;
}

// ---------------------------------------------------------------- stress scan

TEST_F(TranscriberTest, StressStateMachine) {
  const Case cases[] = {
      {"final u after a consonant (T3)", "tatu", "tatU"},
      {"paroxytone in a (T5)", "casa", "cAsa"},
      {"final i after a vowel (T3 other)", "papai", "papAi"},
      {"final qui: u after q (T3)", "caqui", "caquI"},
      {"final l (T1)", "sol", "sOl"},
      {"final r (T1)", "corredor", "corredOr"},
      {"final z (T1)", "feliz", "felIz"},
      {"final m after a (T2 then T5)", "falam", "fAlam"},
      {"final m after e", "homem", "hOmem"},
      {"final im (T2 then T3)", "jardim", "jardIm"},
      {"final om (T2 o)", "bombom", "bombOm"},
      {"final um", "algum", "algUm"},
      {"final s after i (T4 then T3)", "lapis", "lapIs"},
      {"final s after e (T4 then T5)", "pires", "pIres"},
      {"consonant cluster before s (T4 other)", "biceps", "bIceps"},
      {"other consonant at the end (T0 other)", "robot", "rObot"},
      {"vowel pair before the final vowel (T5 a e o)", "boa", "bOa"},
      {"i between vowels (T8 other)", "saia", "sAia"},
      {"ei before a (T8 other)", "ideia", "idEia"},
      {"i before nh (T8)", "rainha", "raInha"},
      {"i before n and a consonant (T8)", "ainda", "aInda"},
      {"i before rr (T8)", "cairra", "caIrra"},
      {"i before mb (T8)", "coimbra", "coImbra"},
      {"u after g in T8", "aguia", "aguIa"},
      {"consonant before i in T8", "lido", "lIdo"},
      {"i before l and a vowel is not closed (T8 other)", "saila", "sAila"},
      {"diphthong with final s", "quais", "quAis"},
      {"i that starts the word after T5 is marked", "isso", "Isso"},
      {"u that starts the word after T5 is marked", "uva", "Uva"},
      {"one vowel: no mark", "mar", "mar"},
      {"one vowel ending in l: marked", "mal", "mAl"},
      {"no vowel: no mark", "xyz", "xyz"},
  };
  for (const Case& c : cases) {
    std::string w = c.input;
    int vowels = 0;
    for (char ch : w) vowels += std::string("aeiou").find(ch) != std::string::npos;
    MarkTranscriptionStress(w, false, vowels);
    EXPECT_EQ(w, c.expected) << c.description;
  }
  std::string accented = "ca'sa";
  MarkTranscriptionStress(accented, true, 2);
  EXPECT_EQ(accented, "ca'sa") << "a written accent already marks the stress";
}

// ---------------------------------------------------------------- tokens and frame

TEST_F(TranscriberTest, TokensAndFrameWithoutRules) {
  const Case cases[] = {
      {"empty text", "", ""},
      {"only blanks", "   ", ""},
      {"lone comma is spelled", ",", "[ /_,]"},
      {"consonants only are spelled letter by letter", "cd", "[ /_c][ /_d]"},
      {"consonants are lower-cased before spelling", "CD", "[ /_c][ /_d]"},
      {"placeholder mark is spelled", "\x9D", "[ /_\x01]"},
      {"a mark said by name is spelled as itself", "\x95", "[ /_\x95]"},
      {"quotes around a word are blanks, not accent marks", "\x93" "cd\x94", "[ /_c][ /_d]"},
      {"letters without rules fall back to their upper-case sound", "ab", "[ /_A/ /_B]"},
      {"stressed vowel without rule", "tatu", "[ /_T/ /_A/ /_T/ /_U]"},
      {"digit token goes through the rules", "5", "[ /_5]"},
      {"punctuation ends a word", "ab.", "[ /_A/ /_B][ /_.]"},
      {"a non-word character is a token of its own", "ab-cd", "[ /_A/ /_B][ /_-][ /_c][ /_d]"},
      {"accent marks belong to the word", "a'b", "[ /_A/ /_'/ /_B]"},
  };
  for (const Case& c : cases) EXPECT_EQ(TranscribeText(c.input), c.expected) << c.description;
}

TEST_F(TranscriberTest, ApostropheAfterDBeforeTranscription) {
  ParseTranscriptionRules("(D)=d\n(A')=A\n(G)=g\n(U)=u\n(A)=a\n");
  EXPECT_EQ(TranscribeText("d'\xE1gua"), "[d/A/g/u/a]");
}

// ---------------------------------------------------------------- rules and contexts

struct RuleCase {
  const char* description;
  const char* rules;
  const char* input;
  const char* expected;
};

TEST_F(TranscriberTest, RuleContexts) {
  const RuleCase cases[] = {
      {"plain centre", "(B)=b", "aba", "[ /_A/b/ /_A]"},
      {"stress carries into the first vowel of the output", "(A)=ka\n(T)=t", "tata", "[t/kA/t/ka]"},
      {"stress with an output that has no vowel", "(A)=x\n(T)=t", "tata", "[t/x/t/x]"},
      {"longer centre consumes several letters", "(AB)=Q\n(C)=c", "abca", "[Q/c/ /_A]"},
      {"first matching rule wins", "(B)=1\n(B)=2", "aba", "[ /_A/1/ /_A]"},
      {"left # over several vowels and accents", "T#(B)=1\n(B)=2\n(T)=t", "ta'ab", "[t/ /_A/ /_'/ /_A/1]"},
      {"left # needs a vowel", "#(B)=1\n(B)=2", "tba", "[ /_T/2/ /_A]"},
      {"right # over several vowels", "(B)#T=1\n(B)=2", "baeit", "[1/ /_A/ /_E/ /_I/ /_T]"},
      {"left % at the start", "%(B)=1\n(B)=2", "bab", "[1/ /_A/2]"},
      {"right % at the end", "(B)%=1\n(B)=2", "bab", "[2/ /_A/1]"},
      {"left ] back vowel", "](B)=1\n(B)=2", "abeb", "[ /_A/1/ /_E/2]"},
      {"left ] accent after a back vowel moves two", "T](B)=1\n(B)=2\n(T)=t", "to'b", "[t/ /_O/ /_'/1]"},
      {"left ] accent after a front vowel fails", "](B)=1\n(B)=2", "e'b", "[ /_E/ /_'/2]"},
      {"left _ at the start matches nothing", "_(B)=1\n(B)=2", "ba", "[1/ /_A]"},
      {"left _ after a vowel", "_(B)=1\n(B)=2", "eb", "[ /_E/1]"},
      {"left _ after an accented vowel", "_(B)=1\n(B)=2", "e^b", "[ /_E/ /_^/1]"},
      {"left _ after a consonant fails", "_(B)=1\n(B)=2", "tba", "[ /_T/2/ /_A]"},
      {"left | after n r s", "|(B)=1\n(B)=2", "anbarbasbatba",
       "[ /_A/ /_N/1/ /_A/ /_R/1/ /_A/ /_S/1/ /_A/ /_T/2/ /_A]"},
      {"right & before l m n r z", "(B)&=1\n(B)=2", "blabta", "[1/ /_L/ /_A/2/ /_T/ /_A]"},
      {"right & moves one", "(B)&A=1\n(B)=2", "bmabme", "[1/ /_M/ /_A/2/ /_M/ /_E]"},
      {"right * does not move", "(B)*T=1\n(B)=2", "btabla", "[1/ /_T/ /_A/2/ /_L/ /_A]"},
      {"right * rejects l and r", "(B)*=1\n(B)=2", "bra", "[2/ /_R/ /_A]"},
      {"right + front vowel", "(B)+=1\n(B)=2", "beba", "[1/ /_E/2/ /_A]"},
      {"right + skips an accent mark", "(B)+T=1\n(B)=2", "be'ta", "[1/ /_E/ /_'/ /_T/ /_A]"},
      {"right [ at the end", "(B)[=1\n(B)=2", "ab", "[ /_A/1]"},
      {"right [ consonant does not move", "(B)[T=1\n(B)=2", "abta", "[ /_A/1/ /_T/ /_A]"},
      {"right [ rejects h and vowels", "(B)[=1\n(B)=2", "abhab", "[ /_A/2/ /_H/ /_A/1]"},
      {"right backslash takes one s", "(B)\\%=1\n(B)=2", "abs", "[ /_A/1/ /_S]"},
      {"right backslash with no s", "(B)\\%=1\n(B)=2", "ab", "[ /_A/1]"},
      {"right backslash takes only one s", "(B)\\%=1\n(B)=2", "abss", "[ /_A/2/ /_S/ /_S]"},
      {"literal right context", "(B)E=1\n(B)=2", "beba", "[1/ /_E/2/ /_A]"},
      {"literal matches a stressed (upper-case) vowel", "T(A)=1\n(A)=2\n(T)=t", "tata", "[t/1/t/1]"},
      {"a right-only symbol on the left is literal", "[(B)=1\n(B)=2", "ab", "[ /_A/2]"},
      {"a left-only symbol on the right is literal", "(B)]=1\n(B)=2", "ba", "[2/ /_A]"},
      {"blank in the output is kept", "(B)= b\n(A)=a", "aba", "[A/ b/a]"},
  };
  for (const RuleCase& c : cases) {
    ParseTranscriptionRules(c.rules);
    EXPECT_EQ(TranscribeText(c.input), c.expected) << c.description;
  }
}

// ---------------------------------------------------------------- rules file loading

TEST_F(TranscriberTest, RuleLinesLoadedCutOrSkipped) {
  const RuleCase cases[] = {
      {"output cut to 11 characters", "(B)=abcdefghijklmno", "ab", "[ /_A/abcdefghijk]"},
      {"text after | is a comment", "(B)=x|comment (A)=y", "ab", "[ /_A/x]"},
      {"centre cut to 5 characters", "(BBBBBBB)=x", "bbbbbbba", "[x/ /_B/ /_B/ /_A]"},
      {"left context cut to its first 5 symbols", "TTTTTT(B)=1\n(B)=2\n(T)=t", "tttttba",
       "[t/t/t/t/t/1/ /_A]"},
      {"missing ) : centre runs to the end, output empty", "(BA\n(B)=2", "aba", "[ /_A/]"},
      {"missing = : right context runs to the end, output empty", "(B)A\n(B)=2", "aba", "[ /_A// /_A]"},
      {"missing ( : no rule", "B)=1", "ab", "[ /_A/ /_B]"},
      {"empty centre: no rule", "()=1", "ab", "[ /_A/ /_B]"},
      {"lower-case centre (outside codes 32..95): ignored", "(b)=1", "ab", "[ /_A/ /_B]"},
      {"CR LF line ends", "(B)=1\r\n(A)=2\r\n", "ab", "[2/1]"},
      {"blank lines and comment-like lines", "\n; a comment line\n\n(B)=1\n", "ab", "[ /_A/1]"},
      {"binary junk around a rule", "\xFF\x01(\n(B)=1\n\x80\x90(\xFF)=z", "ab", "[ /_A/1]"},
  };
  for (const RuleCase& c : cases) {
    ParseTranscriptionRules(std::string_view(c.rules, std::char_traits<char>::length(c.rules)));
    EXPECT_EQ(TranscribeText(c.input), c.expected) << c.description;
  }
  // NUL bytes inside lines are data, not ends of lines.
  ParseTranscriptionRules(std::string_view("(B)=1\0\n(A)=2", 12));
  EXPECT_EQ(TranscribeText("ab"), std::string("[2/1\0]", 6));
}

TEST_F(TranscriberTest, RuleFileLoading) {
  std::string error;
  EXPECT_FALSE(LoadTranscriptionRules("/nonexistent/regras.rgr", &error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(LoadTranscriptionRules(FALATRO_BINARY_DIR, &error)) << "a directory is no rules file";
  std::string path = TempFile("rules.rgr", "(B)=1\n(A)=2\n");
  ASSERT_TRUE(LoadTranscriptionRules(path, &error));
  EXPECT_EQ(Transcriber.rules['B' - kFirstRuleChar].size(), 1u);
  EXPECT_EQ(TranscribeText("ab"), "[2/1]");
  ParseTranscriptionExceptions("ab=ba\n");
  ASSERT_TRUE(LoadTranscriptionRules(path, &error));
  EXPECT_TRUE(Transcriber.exceptions.empty()) << "loading rules resets the exceptions";
  FreeTranscriptionRules();
  for (const auto& list : Transcriber.rules) EXPECT_TRUE(list.empty());
  EXPECT_EQ(TranscribeText("ab"), "[ /_A/ /_B]");
}

// ---------------------------------------------------------------- exceptions

TEST_F(TranscriberTest, ExceptionLookUpWithSuffixes) {
  ParseTranscriptionRules("");
  ParseTranscriptionExceptions("zeta=Z\ncasa=kaza|comment\nab=xy\n");
  const Case cases[] = {
      {"exact word", "casa", "kaza"},
      {"final s kept after the alias", "casas", "kazas"},
      {"final m kept after the alias", "casam", "kazam"},
      {"several removed letters keep their order", "casams", "kazams"},
      {"unknown word unchanged", "caso", "caso"},
      {"word that loses every letter is unchanged", "ssss", "ssss"},
      {"an s inside the word is not removed", "cassa", "cassa"},
      {"first entry of the sorted table", "ab", "xy"},
      {"last entry of the sorted table", "zetas", "Zs"},
  };
  for (const Case& c : cases) {
    std::string w = c.input;
    LookUpTranscriptionException(w);
    EXPECT_EQ(w, c.expected) << c.description;
  }
}

TEST_F(TranscriberTest, ExceptionFileLines) {
  std::string long_alias(300, 'q');
  std::string text = "noequals\n\n=orphan\nbe=ok=more|x\nlong=" + long_alias + "\n";
  ParseTranscriptionExceptions(text);
  ASSERT_EQ(Transcriber.exceptions.size(), 2u) << "lines without = or without a word are no entry";
  EXPECT_EQ(Transcriber.exceptions[0].word, "be");
  EXPECT_EQ(Transcriber.exceptions[0].alias, "ok=more");
  EXPECT_EQ(Transcriber.exceptions[1].word, "long");
  EXPECT_EQ(Transcriber.exceptions[1].alias.size(), 255u - 5u) << "line read as 255 characters";

  std::string many;
  for (int i = 0; i < 15010; ++i) many += "w" + std::to_string(100000 + i) + "=a\n";
  ParseTranscriptionExceptions(many);
  EXPECT_EQ(Transcriber.exceptions.size(), kMaxTranscriptionExceptions);
  std::string kept = "w" + std::to_string(100000 + 14999);
  std::string dropped = "w" + std::to_string(100000 + 15000);
  EXPECT_TRUE(LookUpTranscriptionException(kept));
  EXPECT_FALSE(LookUpTranscriptionException(dropped));

  std::string error;
  EXPECT_FALSE(LoadTranscriptionExceptions("/nonexistent/portug.exc", &error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(LoadTranscriptionExceptions(FALATRO_BINARY_DIR, &error));
  std::string path = TempFile("exc.exc", "zz=a\r\naa=b\r\n");
  ASSERT_TRUE(LoadTranscriptionExceptions(path, &error));
  ASSERT_EQ(Transcriber.exceptions.size(), 2u);
  EXPECT_EQ(Transcriber.exceptions[0].word, "aa") << "the table is sorted";
  EXPECT_EQ(Transcriber.exceptions[1].alias, "a") << "CR is not part of the alias";
}

TEST_F(TranscriberTest, ExceptionsInTheWholeTranscription) {
  ParseTranscriptionRules("(A)=a\n(E)=e\n(T)=t\n(L)=l\n(Z)=z\n(P)=p\n");
  ParseTranscriptionExceptions("teta=te'ta\nzz=zaza\nlalala=LAlala\n");
  // The alias is marked with the original word's flags: here the stress scan lands on the accent.
  EXPECT_EQ(TranscribeText("teta"), "[t/E/ /_'/t/a]");
  // A consonant-only word replaced by an alias with vowels goes through the rules.
  EXPECT_EQ(TranscribeText("zz"), "[z/a/z/a]");
  // An alias may carry its own upper-case stress; the scan may mark one more vowel.
  EXPECT_EQ(TranscribeText("lalala"), "[l/A/l/A/l/a]");
  EXPECT_EQ(TranscribeText("papa"), "[p/A/p/a]");
}

}  // namespace
}  // namespace falatro
