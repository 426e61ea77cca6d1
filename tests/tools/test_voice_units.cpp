// Units and databases as the census and the synthesizer need them: names read back into phonemes, unit
// sounds cut at the right places, and a small voice whose database holds every name its words ask for.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "base/paths.h"
#include "diphone_database.h"
#include "espeak_voice.h"
#include "sound_shaping.h"
#include "unit_census.h"
#include "unit_maker.h"
#include "voice_builder.h"

namespace falatro {
namespace {

namespace fs = std::filesystem;

std::string Joined(const std::vector<std::string>& v) {
  std::string out;
  for (const auto& s : v) out += (out.empty() ? "" : " ") + s;
  return out;
}

TEST(UnitSymbols, ATableWithAHalfLineIsRefusedAtThatLine) {
  const std::string dir = ::testing::TempDir() + "unit-symbols-" + std::to_string(getpid());
  fs::create_directories(dir);
  const std::string path = dir + "/phonemes.txt";
  std::string error;
  std::ofstream(path, std::ios::trunc) << "# symbols\r\n\r\nA = a\r\nTCH=tS\r\n";
  ASSERT_TRUE(LoadUnitSymbols(path, &error)) << error;
  EXPECT_EQ(UnitMaking.Symbols["TCH"], "tS");
  EXPECT_EQ(UnitMaking.LongestSymbol, 3u);
  for (const char* bad : {"A=a\nE\n", "A=a\nE=\n", "A=a\n=e\n"}) {
    std::ofstream(path, std::ios::trunc) << bad;
    error.clear();
    EXPECT_FALSE(LoadUnitSymbols(path, &error)) << bad;
    EXPECT_NE(error.find("phonemes.txt:2: "), std::string::npos) << error;
  }
  EXPECT_FALSE(LoadUnitSymbols(dir + "/missing.txt", &error));
  EXPECT_NE(error.find("cannot read"), std::string::npos) << error;
  fs::remove_all(dir);
}

TEST(UnitNames, AreReadBackIntoTheGeneratingVoicesPhonemes) {
  std::string error;
  ASSERT_TRUE(LoadUnitSymbols(FALATRO_SOURCE_DIR "/data/voice/phonemes.txt", &error)) << error;
  struct Case { const char* name; const char* phonemes; int stress; };
  const Case cases[] = {
      {"$KA", "k a", 1},
      {"$KOCIRC", "k o", 1},           // closed o
      {"$KO", "k O", 1},               // open o
      {"$AWTIL", "&U~", 0},            // nasal diphthong of "não"
      {"$NACIRC", "n &", 1},           // the closed a the splitting asks for before it
      {"$TCHI", "tS i", 1},            // a three-letter pair stays one sound
      {"$NHU", "n^ u", 1},
      {"$LHA", "l^ a", 1},
      {"$RRA", "x a", 1},
      {"$RA", "* a", 1},
      {"$KWATIL", "k w &~", 2},
      {"$EYCIRC", "eI", 0},            // the voice's own diphthong
      {"$OWCIRC", "o w", 0},           // ... which it has not for "ou"
      {"$S", "s", -1},                 // a lone consonant has no vowel to stress
      {"$RR", "r", -1},                // a lone "rr" ends a syllable, said as the voice ends one
      {"$EYTIL", "eI N", 0},           // "em" at a word's end
  };
  for (const Case& c : cases) {
    UnitRecipe r;
    ASSERT_TRUE(PlanUnit(c.name, &r)) << c.name;
    EXPECT_EQ(Joined(r.Phonemes), c.phonemes) << c.name;
    EXPECT_EQ(r.StressAt, c.stress) << c.name;
  }
  // Units mostly unstressed: only a final "u" has a short form.
  for (auto [name, reduced] : {std::pair{"$DU", "d U"}, {"$U", "U"}, {"$DA", ""}, {"$A", ""}, {"$TCHI", ""}}) {
    UnitRecipe r;
    ASSERT_TRUE(PlanUnit(name, &r));
    std::string before = Joined(r.Phonemes);
    EXPECT_EQ(ReduceFinalVowel(&r), *reduced != 0) << name;
    EXPECT_EQ(Joined(r.Phonemes), *reduced ? reduced : before) << name;
  }
  UnitRecipe r;
  EXPECT_FALSE(PlanUnit("$Q", &r)) << "a symbol without a sound cannot be made";
  EXPECT_FALSE(PlanUnit("$", &r)) << "an empty unit cannot be made";
}

TEST(UnitSounds, StartAndEndAtZeroAndStopsKeepTheirClosure) {
  std::string error;
  ASSERT_TRUE(LoadUnitSymbols(FALATRO_SOURCE_DIR "/data/voice/phonemes.txt", &error)) << error;
  ASSERT_TRUE(StartUnitVoice(&error)) << error;
  struct Case { const char* name; double least_ms, most_ms; bool starts_with_closure; };
  const Case cases[] = {
      {"$KA", 120, 400, true},
      {"$PA", 120, 400, true},
      {"$SA", 120, 400, false},
      {"$A", 60, 300, false},
      {"$S", 40, 250, false},
  };
  for (const Case& c : cases) {
    UnitRecipe r;
    ASSERT_TRUE(PlanUnit(c.name, &r));
    r.Rate = 180;
    std::vector<float> s;
    ASSERT_TRUE(RenderUnit(r, &s, &error)) << c.name << ": " << error;
    double ms = 1000.0 * double(s.size()) / kSuiteRate;
    EXPECT_GE(ms, c.least_ms) << c.name;
    EXPECT_LE(ms, c.most_ms) << c.name;
    EXPECT_EQ(s.front(), 0.0f) << c.name;
    EXPECT_EQ(s.back(), 0.0f) << c.name;
    // A voiceless stop's unit opens with its silent closure: the first 15 ms are far quieter than the
    // unit as a whole.
    double head = 0, whole = 0;
    size_t n = kSuiteRate * 15 / 1000;
    for (size_t i = 0; i < n; ++i) head += double(s[i]) * s[i];
    for (float v : s) whole += double(v) * v;
    double ratio = std::sqrt(head / double(n)) / std::sqrt(whole / double(s.size()));
    if (c.starts_with_closure) {
      EXPECT_LT(ratio, 0.1) << c.name;
    } else {
      EXPECT_GT(ratio, 0.1) << c.name;
    }
  }
}

// A unit read at 0.6 of its length ends inside its vowel, and the vowel-semivowel unit that follows it
// (the splitting's rule for diphthongs) starts in the same vowel: both sides of that join are equally loud.
TEST(UnitSounds, AUnitReadShortMeetsTheNextVowelAtItsLevel) {
  std::string error;
  ASSERT_TRUE(LoadUnitSymbols(FALATRO_SOURCE_DIR "/data/voice/phonemes.txt", &error)) << error;
  ASSERT_TRUE(StartUnitVoice(&error)) << error;
  auto render = [&](const char* name) {
    UnitRecipe r;
    EXPECT_TRUE(PlanUnit(name, &r)) << name;
    r.Rate = 210;
    std::vector<float> s;
    EXPECT_TRUE(RenderUnit(r, &s, &error)) << name << ": " << error;
    return s;
  };
  auto rms = [](const std::vector<float>& s, size_t from, size_t to) {
    double e = 0;
    for (size_t i = from; i < to && i < s.size(); ++i) e += double(s[i]) * s[i];
    return std::sqrt(e / double(to - from));
  };
  const size_t span = kSuiteRate / 100;
  struct Case { const char* head; const char* tail; };
  const Case cases[] = {{"$PA", "$AY"}, {"$MA", "$AW"}, {"$DJI", "$IW"}, {"$SECIRC", "$EYCIRC"}, {"$DO", "$OY"},
                        {"$LU", "$UY"}, {"$KECIRC", "$EYTIL"}};
  for (const Case& c : cases) {
    std::vector<float> head = render(c.head), tail = render(c.tail);
    ASSERT_GT(head.size(), 2 * span);
    ASSERT_GT(tail.size(), 2 * span + kEdgeFade);
    size_t cut = size_t(0.6 * double(head.size()));
    double before = rms(head, cut - span, cut), after = rms(tail, kEdgeFade, kEdgeFade + span);
    EXPECT_LT(std::fabs(20 * std::log10(after / before)), 3.0) << c.head << " then " << c.tail;
  }
}

// A whole voice made from a small word list with one database: every name the census finds that a
// record can hold is stored, and saying the same words then hits a stored unit on every look-up.
TEST(SmallVoice, DatabaseHoldsEveryUnitItsWordsAskFor) {
  std::string dir = testing::TempDir() + "voice-small-" + std::to_string(getpid());
  fs::create_directories(dir + "/data");
  fs::copy(FALATRO_SOURCE_DIR "/data/voice", dir + "/data/voice", fs::copy_options::recursive);
  std::string rules, exceptions;
  ASSERT_TRUE(FindTranscriberFiles(FALATRO_SOURCE_DIR "/data", &rules, &exceptions));
  fs::copy_file(rules, dir + "/data/regras.rgr");
  fs::copy_file(exceptions, dir + "/data/portug.exc");
  std::ofstream(dir + "/data/voice/databases.txt", std::ios::trunc) << "DIFONES3=210\n";
  std::ofstream(dir + "/words.txt") << "casa\nprato\nnão\nmãe\ncarro\nfilho\nninho\nchuva\ntia\ndia\nBrasil\n"
                                       "quando\nsexo\nhomem\nmuito\ntrês\nvocê\nporta\n";
  VoiceOptions o;
  o.DataDir = dir + "/data";
  o.CacheDir = dir + "/cache";
  o.WordLists = {dir + "/words.txt"};
  VoiceBuild build;
  std::string error;
  ASSERT_TRUE(BuildVoice(o, &build, &error)) << error;
  EXPECT_EQ(build.DatabaseCount, 1u);
  EXPECT_GT(build.UnitCount, 50u);

  InstallReport report;
  ASSERT_TRUE(InstallFiles(dir + "/root", build.Files, &report, &error)) << error;
  std::string difones = dir + "/root/" + kDiphoneDir;
  std::vector<uint8_t> index;
  ASSERT_TRUE(ReadWholeFile(difones + "/DIFONES3.IND", &index));
  ASSERT_TRUE(CheckDiphoneDatabase(index, fs::file_size(difones + "/DIFONES3.DIF"), &error)) << error;
  EXPECT_TRUE(fs::exists(difones + "/regras.rgr"));
  EXPECT_TRUE(fs::exists(difones + "/portug.exc"));

  ASSERT_TRUE(LoadTranscriberData(dir + "/data", &error)) << error;
  std::vector<std::string> words;
  ASSERT_TRUE(ReadWordList(dir + "/words.txt", &words, &error));
  UnitCoverage c;
  ASSERT_TRUE(MeasureCoverage(difones + "/DIFONES3.IND", dir + "/root/" + kLettersDir, words, &c, &error)) << error;
  EXPECT_EQ(c.Words, words.size());
  EXPECT_GT(c.Lookups, words.size());
  EXPECT_EQ(c.Hits, c.Lookups);
  EXPECT_EQ(c.FallbackLookups, 0u);

  // Made again from nothing (another cache, one worker instead of two), the voice is the same bytes.
  o.CacheDir = dir + "/cache-again";
  o.Workers = 1;
  VoiceBuild again;
  ASSERT_TRUE(BuildVoice(o, &again, &error)) << error;
  ASSERT_EQ(again.Files.size(), build.Files.size());
  for (size_t i = 0; i < build.Files.size(); ++i) {
    EXPECT_EQ(again.Files[i].Path, build.Files[i].Path);
    EXPECT_TRUE(again.Files[i].Bytes == build.Files[i].Bytes) << build.Files[i].Path;
  }
  std::error_code ec;
  fs::remove_all(dir, ec);
}

}  // namespace
}  // namespace falatro
