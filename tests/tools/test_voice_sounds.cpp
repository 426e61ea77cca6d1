// The voice's sounds as the program will read them: dial tones on the right frequencies, the database
// index sorted and bounded, every list entry well formed.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <set>

#include "base/paths.h"
#include "dial_tones.h"
#include "diphone_database.h"
#include "recording_list.h"
#include "sound_shaping.h"
#include "speech/diphone_synth.h"
#include "speech/number_words.h"
#include "install_tree.h"

namespace falatro {
namespace {

// Power of one frequency in 8-bit samples (Goertzel).
double Goertzel(const std::vector<uint8_t>& s, double freq) {
  double k = 2 * std::cos(2 * M_PI * freq / kSuiteRate), s1 = 0, s2 = 0;
  for (uint8_t v : s) {
    double s0 = (double(v) - 128) + k * s1 - s2;
    s2 = s1;
    s1 = s0;
  }
  return s1 * s1 + s2 * s2 - k * s1 * s2;
}

TEST(DialTones, EachKeyHoldsExactlyItsTwoFrequencies) {
  const int kAll[] = {697, 770, 852, 941, 1209, 1336, 1477, 1633};
  struct Case { char key; int low, high; };
  const Case cases[] = {{'1', 697, 1209}, {'2', 697, 1336}, {'3', 697, 1477}, {'4', 770, 1209},
                        {'5', 770, 1336}, {'6', 770, 1477}, {'7', 852, 1209}, {'8', 852, 1336},
                        {'9', 852, 1477}, {'*', 941, 1209}, {'0', 941, 1336}, {'#', 941, 1477}};
  for (const Case& c : cases) {
    std::vector<uint8_t> tone = MakeDialTone(c.key);
    ASSERT_EQ(tone.size(), kDialToneSamples) << c.key;
    double low = Goertzel(tone, c.low), high = Goertzel(tone, c.high);
    EXPECT_NEAR(low / high, 1.0, 0.15) << c.key << ": both tones at the same level";
    for (int f : kAll) {
      if (f == c.low || f == c.high) continue;
      EXPECT_LT(Goertzel(tone, f), low / 100) << c.key << " leaks into " << f << " Hz";
    }
    EXPECT_EQ(tone.front(), 128) << c.key;
    EXPECT_EQ(tone.back(), 128) << c.key;
  }
  int low = 0, high = 0;
  EXPECT_FALSE(DialToneFrequencies('x', &low, &high));
  EXPECT_TRUE(MakeDialTone('x').empty());
}

TEST(SoundShaping, LoudnessReachesTheTargetWithoutPassingTheLimit) {
  auto sine = [](double amplitude, size_t n, double spike) {
    std::vector<float> s(n);
    for (size_t i = 0; i < n; ++i) s[i] = float(amplitude * std::sin(2 * M_PI * 200 * double(i) / kSuiteRate));
    if (spike > 0) s[n / 2] = float(spike);
    return s;
  };
  struct Case { const char* what; std::vector<float> in; double least_rms; };
  const Case cases[] = {
      {"quiet tone is raised", sine(300, 5000, 0), 0.97 * kTargetRms},
      {"loud tone is lowered", sine(30000, 5000, 0), 0.97 * kTargetRms},
      {"a lone spike does not hold the rest down", sine(1000, 5000, 30000), 0.85 * kTargetRms},
      {"crest factor of speech", sine(2000, 5000, 0), 0.97 * kTargetRms},
  };
  for (const Case& c : cases) {
    std::vector<float> s = c.in;
    MatchLoudness(s, kSuiteRate);
    float peak = 0;
    for (float v : s) peak = std::max(peak, std::fabs(v));
    EXPECT_LE(peak, kPeakLimit) << c.what;
    EXPECT_GE(SpeechRms(s, kSuiteRate), c.least_rms) << c.what;
    EXPECT_LE(SpeechRms(s, kSuiteRate), 1.03 * kTargetRms) << c.what;
  }
  std::vector<float> silence(1000, 0.0f);
  MatchLoudness(silence, kSuiteRate);
  EXPECT_EQ(*std::max_element(silence.begin(), silence.end()), 0.0f) << "silence stays silent";
  std::vector<uint8_t> bytes = ToUnsigned8({0.0f, 32767.0f, -32768.0f, 40000.0f, -40000.0f, 128.0f});
  EXPECT_EQ(bytes, (std::vector<uint8_t>{128, 255, 0, 255, 0, 129})) << "8-bit conversion rounds and clips";
}

TEST(DiphoneDatabase, IndexIsSortedForBisectionAndEveryUnitIsFound) {
  std::map<std::string, std::vector<uint8_t>> units;
  const char* names[] = {"$A", "$KA", "$KAZA", "$B", "$Z", "$AWTIL", "$KOCIRC", "$\xC7", "$NN", "$ZZZZZZZ"};
  uint8_t v = 1;
  for (const char* n : names) units[n] = std::vector<uint8_t>(size_t(v) * 3, v), ++v;
  DiphoneDatabaseFiles db;
  std::string error;
  ASSERT_TRUE(BuildDiphoneDatabase(units, &db, &error)) << error;
  ASSERT_TRUE(CheckDiphoneDatabase(db.Index, db.Data.size(), &error)) << error;

  // Read back with the synthesizer's own loader and bisection.
  std::string dir = testing::TempDir() + "voice-install-" + std::to_string(getpid()) + "/db";
  MakeDirectories(dir);
  ASSERT_TRUE(WriteFileAtomically(dir + "/T.IND", db.Index, &error));
  ASSERT_TRUE(LoadDiphoneIndex(dir + "/T.IND", &Diphone.Index, &error)) << error;
  ASSERT_EQ(Diphone.Index.size(), units.size());
  for (const auto& [name, sound] : units) {
    const DiphoneRecord* rec = FindDiphoneUnit(name);
    ASSERT_NE(rec, nullptr) << name;
    EXPECT_EQ(rec->Length, sound.size()) << name;
    EXPECT_EQ(db.Data[size_t(rec->Offset)], sound[0]) << name;
  }
  EXPECT_EQ(FindDiphoneUnit("$KAZ"), nullptr);
  Diphone.Index.clear();
}

TEST(DiphoneDatabase, BuilderRefusesWhatTheIndexCannotHold) {
  struct Case { const char* what; std::string name; size_t bytes; };
  const Case cases[] = {
      {"empty name", "", 1},
      {"name of nine bytes", "$ABCDEFGH", 1},
      {"lower case", "$ka", 1},
      {"longer than a 16-bit length", "$A", 65536},
  };
  for (const Case& c : cases) {
    std::map<std::string, std::vector<uint8_t>> units{{c.name, std::vector<uint8_t>(c.bytes, 128)}};
    DiphoneDatabaseFiles db;
    std::string error;
    EXPECT_FALSE(BuildDiphoneDatabase(units, &db, &error)) << c.what;
    EXPECT_FALSE(error.empty()) << c.what;
  }
}

TEST(DiphoneDatabase, CheckerFindsEachFault) {
  auto record = [](const std::string& name, uint16_t len, int32_t off) {
    std::vector<uint8_t> r(15, 0);
    r[0] = uint8_t(name.size());
    for (size_t i = 0; i < name.size() && i < 8; ++i) r[1 + i] = uint8_t(name[i]);
    r[9] = uint8_t(len), r[10] = uint8_t(len >> 8);
    for (int i = 0; i < 4; ++i) r[11 + i] = uint8_t(uint32_t(off) >> (8 * i));
    return r;
  };
  auto join = [](std::vector<std::vector<uint8_t>> rs) {
    std::vector<uint8_t> out;
    for (auto& r : rs) out.insert(out.end(), r.begin(), r.end());
    return out;
  };
  struct Case { const char* what; std::vector<uint8_t> index; uint64_t data; bool ok; };
  const Case cases[] = {
      {"well formed", join({record("$A", 10, 0), record("$B", 10, 10)}), 20, true},
      {"out of order", join({record("$B", 10, 0), record("$A", 10, 10)}), 20, false},
      {"duplicate", join({record("$A", 10, 0), record("$A", 10, 10)}), 20, false},
      {"prefix after longer name", join({record("$AB", 1, 0), record("$A", 1, 1)}), 2, false},
      {"past the data", join({record("$A", 10, 0), record("$B", 10, 11)}), 20, false},
      {"negative offset", join({record("$A", 1, -1)}), 20, false},
      {"name length 9", join({record("$ABCDEFGH", 1, 0)}), 20, false},
      {"partial record", std::vector<uint8_t>(16, 0), 20, false},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_EQ(CheckDiphoneDatabase(c.index, c.data, &error), c.ok) << c.what << ": " << error;
  }
}

TEST(RecordingLists, MalformedLinesAreRefusedWithTheirPlace) {
  struct Case { const char* what; const char* text; bool ok; };
  const Case cases[] = {
      {"good lines, comments and blanks", "# c\n\n_65 = a\nFTX=texto  \n", true},
      {"no equals sign", "_65 a\n", false},
      {"empty name", "=a\n", false},
      {"name over 8 characters", "_123456789=a\n", false},
      {"name with a directory", "../x=a\n", false},
      {"empty text", "_65=\n", false},
      {"listed twice", "_65=a\n_65=b\n", false},
  };
  for (const Case& c : cases) {
    std::string path = testing::TempDir() + "voice-install-" + std::to_string(getpid()) + "/voice-list.txt";
    MakeDirectories(testing::TempDir() + "voice-install-" + std::to_string(getpid()));
    std::ofstream(path, std::ios::trunc) << c.text;
    std::vector<RecordingEntry> out;
    std::string error;
    EXPECT_EQ(ReadRecordingList(path, RecordingPlace::kLetters, &out, &error), c.ok) << c.what << ": " << error;
    if (!c.ok) {
      EXPECT_NE(error.find("voice-list.txt:"), std::string::npos) << c.what;
    }
  }
}

TEST(RecordingLists, TheVoiceDataIsComplete) {
  std::vector<RecordingEntry> all;
  std::string error;
  ASSERT_TRUE(ReadAllRecordings(FALATRO_SOURCE_DIR "/data/voice", &all, &error)) << error;
  std::map<std::string, RecordingPlace> names;
  for (const auto& e : all) names[e.Name] = e.Place;
  int prompts = 0;
  for (const auto& [n, place] : names) prompts += place == RecordingPlace::kProgram;
  EXPECT_EQ(prompts, 49);
  // Every printable cp1252 character has its sound.
  for (int c = 32; c <= 255; ++c) {
    if (c == 129 || c == 141 || c == 143 || c == 144 || c == 157) continue;
    EXPECT_TRUE(names.count("_" + std::to_string(c))) << "no sound for character " << c;
  }
  for (const char* n : {"_del", "_CPOAPA", "_APFCPO", "_APICPO", "_FALACI", "_FALDLG", "_VELOC", "_MENOS",
                        "_primeir", "_de", "_e", "_hora", "_horas", "_minuto", "_minutos", "_uma", "_duas"})
    EXPECT_TRUE(names.count(n)) << n;
  for (int c = 'A'; c <= 'Z'; ++c) {
    EXPECT_TRUE(names.count("_FON" + std::to_string(c))) << char(c);
    EXPECT_TRUE(names.count("_FON" + std::to_string(c + 32))) << char(c + 32);
  }
}

TEST(RecordingLists, EveryNumberWordTheProgramPlaysHasItsRecording) {
  std::vector<RecordingEntry> all;
  std::string error;
  ASSERT_TRUE(ReadAllRecordings(FALATRO_SOURCE_DIR "/data/voice", &all, &error)) << error;
  std::set<std::string> names;
  for (const auto& e : all) names.insert(e.Name);
  std::vector<uint64_t> numbers;
  for (uint64_t n = 0; n < 1000; ++n) numbers.push_back(n);
  for (uint64_t scale : {1000ull, 1000000ull, 1000000000ull, 1000000000000ull}) {
    numbers.push_back(scale);
    numbers.push_back(2 * scale);
  }
  for (uint64_t n : numbers) {
    std::string words = NumberToWords(n);
    size_t p = 0;
    while (p < words.size()) {
      size_t q = words.find(' ', p);
      if (q == std::string::npos) q = words.size();
      if (q > p) {
        std::string file = NumberWordFileName(words.substr(p, q - p));
        EXPECT_TRUE(names.count(file)) << n << ": no recording " << file;
      }
      p = q + 1;
    }
  }
  for (const char* word : {"uma", "duas"}) EXPECT_TRUE(names.count(NumberWordFileName(word))) << word;
  // Money: the currency and cents words, singular and plural, and "de" after a round million.
  for (Currency currency : {Currency::kReal, Currency::kEuro})
    for (uint64_t whole : {0ull, 1ull, 2ull, 1000000ull})
      for (unsigned cents : {0u, 1u, 2u}) {
        const std::string words = MoneyToWords(whole, cents, currency);
        for (size_t p = 0; p < words.size();) {
          size_t q = words.find(' ', p);
          if (q == std::string::npos) q = words.size();
          if (q > p) {
            EXPECT_TRUE(names.count(NumberWordFileName(words.substr(p, q - p)))) << words;
          }
          p = q + 1;
        }
      }
}

}  // namespace
}  // namespace falatro
