// The engine's letter-to-sound rules and exceptions: file formats, context symbols, stress marks and
// word junctions, on small rule sets written for each case.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tts/letter_rules.h"

namespace falatro {
namespace {

std::string Join(const std::vector<std::string>& lines) {
  std::string s;
  for (const std::string& l : lines) s += l + "/";
  return s;
}

std::string Transcribe(const std::string& word, int stress = 0) {
  std::vector<std::string> out;
  TranscribeWord(word, stress, out);
  return Join(out);
}

class EngineRulesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FreeLetterRules();
    ParseExceptions("");
  }
  void TearDown() override {
    FreeLetterRules();
    ParseExceptions("");
  }
};

TEST_F(EngineRulesTest, ContextSymbols) {
  struct Case {
    const char* description;
    const char* rules;
    const char* word;
    const char* expected;
  };
  const Case cases[] = {
      {"first matching rule in file order wins", "(A)=x\n(A)=y\n", "A", "x//"},
      {"longer centre consumes", "(CH)=x\n(C)=k\n(H)=\n", "CHC", "x/k//"},
      {"letter without rule is skipped silently", "(A)=a\n", "A1A", "a/a//"},
      {"output is cut after 11 characters", "(A)=abcdefghijklmn\n", "A", "abcdefghijk//"},
      {"& separates phonemes", "(A)=a&y&s2\n", "A", "a/y/s2//"},
      {"right %: only at the end", "(A)%=end\n(A)=a\n", "AA", "a/end//"},
      {"left %: only at the start", "%(A)=start\n(A)=a\n", "AA", "start/a//"},
      {"right #: a vowel follows", "(S)#=z\n(S)=s\n(A)=a\n(E)=e\n", "SASE", "z/a/z/e//"},
      {"left #: a vowel precedes (accented too)", "#(S)=z\n(S)=s\n(\xC1)=a\n", "\xC1S", "a/z//"},
      {"left ]: a back vowel precedes", "](X)=sh\n(X)=ks\n(O)=o\n(E)=e\n", "OXEX", "o/sh/e/ks//"},
      {"left _: start of word or a vowel", "_(R)=r2\n(R)=r\n(T)=t\n(A)=a\n", "RATR", "r2/a/t/r//"},
      {"left |: N, R or S precedes", "|(R)=r2\n(R)=r\n(N)=n\n(A)=a\n", "NRAR", "n/r2/a/r//"},
      {"right &: a sonorant follows", "(A)&=an\n(A)=a\n(M)=m\n(P)=p\n", "AMAP", "an/m/a/p//"},
      {"right *: consonant not L or R, cursor stays", "(A)*P=ap\n(A)=a\n(L)=l\n(P)=p\n", "APALA",
       "ap/p/a/l/a//"},
      {"right +: a front vowel follows", "(C)+=s\n(C)=k\n(E)=e\n(A)=a\n", "CECA", "s/e/k/a//"},
      {"right [: end or consonant other than H", "(L)[=w\n(L)=l\n(H)=\n(T)=t\n(A)=a\n", "LTLHAL",
       "w/t/l/a/w//"},
      {"right \\: an S is skipped when there is one", "(A)\\%=fin\n(A)=a\n(S)=s\n", "AS", "fin/s//"},
      {"right \\: matches without an S too", "(A)\\%=fin\n(A)=a\n", "A", "fin//"},
      {"symbols of the other side are literal", "(A)]=lit\n(A)=a\n(])=b\n", "A]A", "lit/b/a//"},
      {"empty output consumes silently", "(H)=\n(A)=a\n", "HA", "a//"},
      {"comments, blanks and empty centres are ignored", "; (A)=no\n\n()=x\n(A)=a|comment\n", "A", "a//"},
      {"context cut to five symbols", "(A)BCDEFG=long\n(A)=a\n(B)=b\n", "ABCDEF", "long/b//"},
  };
  for (const Case& c : cases) {
    FreeLetterRules();
    ParseLetterRules(c.rules);
    EXPECT_EQ(Transcribe(c.word), c.expected) << c.description;
  }
}

TEST_F(EngineRulesTest, StressMarkGoesToTheFirstPhonemeFromTheStressedLetter) {
  ParseLetterRules("(QU)=k\n(C)=k\n(A)=a\n(S)=s\n(H)=\n(E)=e\n");
  const struct {
    const char* word;
    int stress;
    const char* expected;
  } cases[] = {
      {"CASA", 2, "k/>a/s/a//"},
      {"CASA", 1, ">k/a/s/a//"},
      {"CASA", 0, "k/a/s/a//"},
      {"HASE", 1, ">a/s/e//"},          // the silent letter passes the mark on
      {"QUASE", 2, "k/>a/s/e//"},       // a centre over the stressed letter marks the next phoneme
      {"CASA", 9, "k/a/s/a//"},
  };
  for (const auto& c : cases) EXPECT_EQ(Transcribe(c.word, c.stress), c.expected) << c.word << c.stress;
}

TEST_F(EngineRulesTest, ExceptionsFormatAndSuffixes) {
  ParseExceptions("casa=kaza|a comment\nquase=kuaze\nsemigual\nCAS=X\n");
  const struct {
    const char* word;
    const char* expected;
  } cases[] = {
      {"CASA", "KAZA"}, {"CASAS", "KAZAS"}, {"CASAM", "KAZAM"}, {"CASASM", "KAZASM"}, {"QUASE", "KUAZE"},
      {"CASO", "CASO"}, {"SSS", "SSS"}, {"SEMIGUAL", "SEMIGUAL"}, {"CASS", "XS"},
  };
  for (const auto& c : cases) {
    std::string w = c.word;
    LookUpException(w);
    EXPECT_EQ(w, c.expected) << c.word;
  }
  std::string many;
  for (int i = 0; i < 15100; ++i) many += "W" + std::to_string(100000 + i) + "=A\n";
  ParseExceptions(many);
  EXPECT_EQ(LetterRules.exceptions.size(), kMaxExceptions);
  EXPECT_TRUE(std::is_sorted(LetterRules.exceptions.begin(), LetterRules.exceptions.end(),
                             [](const palavra_alias& a, const palavra_alias& b) { return a.word < b.word; }));
  std::string w = "W114999";
  LookUpException(w);
  EXPECT_EQ(w, "A");
  w = "W115000";
  LookUpException(w);
  EXPECT_EQ(w, "W115000");
  EXPECT_FALSE(LoadExceptions(std::string(FALATRO_BINARY_DIR) + "/no/such.exc"));
  EXPECT_FALSE(LoadLetterRules(std::string(FALATRO_BINARY_DIR) + "/no/such.nrl"));
}

TEST_F(EngineRulesTest, SentencePausesStressAndJunctions) {
  ParseLetterRules(
      "(M)=m\n(A)=a\n(R)%=r2\n(R)=r\n(Z)=z\n(U)=u\n(L)=l\n(B)=b\n(O)=o\n(S)%=s2\n(S)=s\n(\xC1)=a\n(D)=d\n(E)=e\n"
      "(I)=i\n");
  ParseExceptions("DEUS=DEUZ\n");
  const struct {
    std::vector<std::string> contours;
    const char* expected;
  } cases[] = {
      {{"555|mar", "555|azul"}, ";555|mar/m/>a/r//;555|azul/a/z/>u/l//__/"},
      {{"555|mar", "555|bom"}, ";555|mar/m/>a/r2//;555|bom/b/>o/m//__/"},
      {{"555|mais", "555|\xE1lbum"}, ";555|mais/m/>a/i/z//;555|\xE1lbum/>a/l/b/u/m//__/"},
      {{"555|mar", "555|,", "555|azul"}, ";555|mar/m/>a/r2//;555|,/_,/;555|azul/a/z/>u/l//__/"},
      {{"555|", "555|mar", "555|.", "555|"}, ";555|/__//;555|mar/m/>a/r2//;555|./_./;555|/__//__/"},
      {{"555|de", "555|deus"}, ";555|de/d/e//;555|deus/d/e/>u/z//__/"},
      {{"555| "}, ";555| /__/"},
  };
  for (const auto& c : cases) EXPECT_EQ(Join(TranscribeSentence(c.contours)), c.expected) << c.contours[0];
}

}  // namespace
}  // namespace falatro
