// The Brazilian Portuguese rules and exceptions of data/transcriber on a table of words and phrases.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <string>

#include "tts/transcriber.h"

namespace falatro {
namespace {

const std::string kDataDir = std::string(FALATRO_SOURCE_DIR) + "/data/transcriber/";

class TranscriberDataTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(LoadTranscriptionRules(kDataDir + "regras.rgr", &error)) << error;
    ASSERT_TRUE(LoadTranscriptionExceptions(kDataDir + "portug.exc", &error)) << error;
  }
  void TearDown() override { FreeTranscriptionRules(); }
};

struct Case {
  const char* description;
  const char* text;  // cp1252
  const char* expected;
};

TEST_F(TranscriberDataTest, SpellingTable) {
  const Case cases[] = {
      {"c before a, s between vowels", "casa", "[ k/A/ z/a]"},
      {"c before e", "cedo", "[ s/E^/ d/u]"},
      {"c cedilla", "ca\xE7" "a", "[ k/A/ s/a]"},
      {"ch", "chave", "[ x/A/ v/i]"},
      {"g before e, final te", "gente", "[ j/E~/ tch/i]"},
      {"gu before e", "guerra", "[ g/E/ rr/a]"},
      {"gu before a", "d'\xE1gua", "[ d/A/ gw/a]"},
      {"qu before e and -que stress", "parque", "[ p/Arr/ k/i]"},
      {"qu before a", "quando", "[ kw/A~/ d/u]"},
      {"ss", "passo", "[ p/A/ s/u]"},
      {"initial s", "sapo", "[ s/A/ p/u]"},
      {"s before a voiced consonant", "mesmo", "[ m/E^/z/ m/u]"},
      {"z between vowels, final z", "feliz", "[ f/e^/ l/I/s]"},
      {"x initial", "xadrez", "[ x/a/ d/r/E^/s]"},
      {"x in ex- before a vowel", "exame", "[e^/ z/A~/ m/i]"},
      {"x after ai", "caixa", "[ k/Ay/ x/a]"},
      {"x before a consonant", "texto", "[ t/E^/s/ t/u]"},
      {"x as ks after e", "sexo", "[ s/E^/ ks/u]"},
      {"x final", "t\xF3rax", "[ t/O/ r/a/ks]"},
      {"x as ks by exception", "t\xE1xi", "[ t/A/k/ s/i]"},
      {"x as s by exception", "m\xE1ximo", "[ m/A/ s/i~/ m/u]"},
      {"initial r", "rato", "[ rr/A/ t/u]"},
      {"rr", "carro", "[ k/A/ rr/u]"},
      {"r between vowels", "caro", "[ k/A/ r/u]"},
      {"r after n, silent h", "honra", "[/O~/ rr/a]"},
      {"r closing a syllable", "verde", "[ v/E^/rr/ dj/i]"},
      {"r cluster", "prato", "[ p/r/A/ t/u]"},
      {"l before a consonant and final l", "Brasil", "[ b/r/a/ z/I/w]"},
      {"l before a consonant", "alto", "[A/w/ t/u]"},
      {"lh", "filho", "[ f/I/ lh/u]"},
      {"nh", "ninho", "[ n/I~/ nh/u]"},
      {"m before a consonant", "campo", "[ k/A~/ p/u]"},
      {"n before a consonant", "canto", "[ k/A~/ t/u]"},
      {"final m", "homem", "[/O~/ m/e~y]"},
      {"final am", "falam", "[ f/A/ l/a~w]"},
      {"accented final em", "tamb\xE9m", "[ t/a~/ b/E~y]"},
      {"open e written", "p\xE9", "[ p/E]"},
      {"closed e written", "voc\xEA", "[ v/o^/ s/E^]"},
      {"open o written", "av\xF3", "[a/ v/O]"},
      {"closed o written", "av\xF4", "[a/ v/O^]"},
      {"open e by rule", "janela", "[ j/a/ n/E/ l/a]"},
      {"open o final l", "sol", "[ s/O/w]"},
      {"open e by exception", "terra", "[ t/E/ rr/a]"},
      {"open o by exception, plural kept", "portas", "[ p/O/rr/ t/a/s]"},
      {"ao", "n\xE3o", "[ n/A~w]"},
      {"ae", "m\xE3" "e", "[ m/A~y]"},
      {"oes", "a\xE7\xF5" "es", "[a/ s/O~y/s]"},
      {"unstressed ao by exception", "\xF3rg\xE3o", "[O/rr/ g/a~w]"},
      {"nasal diphthong by exception", "muito", "[ m/U~y/ t/u]"},
      {"final e reduced after t", "leite", "[ l/E^y/ tch/i]"},
      {"d before i", "dia", "[ dj/I/a]"},
      {"final de", "cidade", "[ s/i/ d/A/ dj/i]"},
      {"final o reduced", "livro", "[ l/I/ v/r/u]"},
      {"oxytone in u", "tatu", "[ t/a/ t/U]"},
      {"diphthong ai", "papai", "[ p/a/ p/Ay]"},
      {"diphthong ou", "pouco", "[ p/O^w/ k/u]"},
      {"hiatus before nh", "rainha", "[ rr/a/I~/ nh/a]"},
      {"u pronounced by exception", "cinquenta", "[ s/i~/ kw/E~/ t/a]"},
      {"-quem stress", "fiquem", "[ f/I/ k/e~y]"},
      {"-gue stress", "sangue", "[ s/A~/ g/i]"},
      {"upper case text", "CASA", "[ k/A/ z/a]"},
      {"stress on a word-initial i", "isso", "[I/ s/u]"},
      {"diminutive after a written nasal vowel", "m\xE3" "ezinha", "[ m/a~y/ z/I~/ nh/a]"},
  };
  for (const Case& c : cases) EXPECT_EQ(TranscribeText(c.text), c.expected) << c.description;
}

TEST_F(TranscriberDataTest, Phrases) {
  EXPECT_EQ(TranscribeText("O menino viu a casa."),
            "[u][ m/e^/ n/I~/ n/u][ v/Iw][a][ k/A/ z/a][ /_.]");
  EXPECT_EQ(TranscribeText("Voc\xEA est\xE1 bem?"), "[ v/o^/ s/E^][e^/s/ t/A][ b/e~y][ /_?]");
  EXPECT_EQ(TranscribeText("bate-papo"), "[ b/A/ tch/i][ /_-][ p/A/ p/u]");
  EXPECT_EQ(TranscribeText("cd 2"), "[ /_c][ /_d][ /_2]");
}

// Every letter of the alphabet and every accented letter has a reading in some word: no word of this
// list falls back to spelling a letter.
TEST_F(TranscriberDataTest, NoLetterFallsBackToItsName) {
  const char* words[] = {
      "abacaxi", "bebedouro", "cachorro", "dedo", "elefante", "faca", "gato", "hotel", "igreja",
      "janela", "kiwi", "lula", "macaco", "navio", "ovo", "pato", "queijo", "rato", "sapo", "tatu",
      "uva", "vaca", "xale", "yoga", "zebra", "\xE1gua", "\xE0s", "l\xE2mpada", "irm\xE3", "caf\xE9",
      "m\xEAs", "a\xED", "av\xF3", "av\xF4", "p\xF5" "e", "ba\xFA", "ag\xFC" "entar", "ma\xE7\xE3",
      "ping\xFCim", "tchau", "advogado", "pneu", "psicologia", "ritmo", "afta", "digno", "obter",
      "\xEAxito", "excelente", "nascer", "show", "Phelipe", "frequ\xEAncia"};
  for (const char* w : words) {
    std::string t = TranscribeText(w);
    EXPECT_EQ(t.find('_'), std::string::npos) << w << " -> " << t;
  }
}

// The exceptions file: sorted-free but unique words in normalised lower case, and aliases that the
// rules transcribe without falling back to letter names.
TEST_F(TranscriberDataTest, ExceptionsFileIsClean) {
  std::ifstream in(kDataDir + "portug.exc", std::ios::binary);
  ASSERT_TRUE(in);
  std::string line;
  std::set<std::string> words;
  int n = 0;
  while (std::getline(in, line)) {
    ++n;
    ASSERT_FALSE(line.empty()) << "line " << n;
    size_t eq = line.find('=');
    ASSERT_NE(eq, std::string::npos) << line;
    std::string word = line.substr(0, eq);
    EXPECT_TRUE(words.insert(word).second) << "duplicate " << word;
    for (unsigned char c : word)
      EXPECT_TRUE((c >= 'a' && c <= 'z') || std::string("'`^~\"").find(c) != std::string::npos)
          << "not normalised: " << word;
    std::string alias = line.substr(eq + 1);
    alias = alias.substr(0, alias.find('|'));
    std::string t = TranscribeText(alias);
    EXPECT_EQ(t.find('_'), std::string::npos) << word << " -> " << t;
    EXPECT_EQ(t.find("]["), std::string::npos) << "alias is one word: " << word << " -> " << t;
    // Through the word itself (found by look-up, marked with the word's own flags): one stress.
    std::string said = TranscribeText(word);
    int stressed = 0;
    for (char c : said) stressed += std::string("AEIOU").find(c) != std::string::npos;
    EXPECT_EQ(stressed, 1) << word << " -> " << said;
  }
  EXPECT_EQ(static_cast<size_t>(n), Transcriber.exceptions.size());
}

}  // namespace
}  // namespace falatro
