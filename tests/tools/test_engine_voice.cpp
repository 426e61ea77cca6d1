// The engine voice's generator: pitch marks on sounds with a known period, the carriers, and a small
// voice made from the generating voice end to end.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "engine_voice.h"
#include "pitch_marks.h"
#include "platform/mbrola/diphone_store.h"
#include "platform/mbrola/psola_synth.h"

namespace falatro {
namespace {

TEST(EngineVoicePitchMarks, FollowThePeriodWhereVoicedAndStepElsewhere) {
  // 0.3 s of a 125 Hz buzz, 0.2 s of hiss, 0.3 s of buzz again, at 16000 Hz.
  const int period = 128;
  std::vector<float> x;
  uint32_t noise = 1;
  for (int n = 0; n < 12800; ++n) {
    bool voiced = n < 4800 || n >= 8000;
    if (voiced) {
      double t = double(n % period) / 16000.0;
      x.push_back(float(8000.0 * std::exp(-t * 300.0) * std::sin(2 * M_PI * 600.0 * t)));
    } else {
      noise = noise * 1103515245u + 12345u;
      x.push_back(float(int((noise >> 16) & 0x7FFF) - 16384) / 4.0f);
    }
  }
  int found = 0;
  std::vector<bool> voiced = VoicedFrames(x, 16000, &found);
  EXPECT_NEAR(found, period, 1);
  std::vector<uint32_t> marks = FindPitchMarks(x, voiced, found);
  size_t voiced_marks = 0;
  for (size_t i = 1; i < marks.size(); ++i) {
    uint32_t a = marks[i - 1] & ~kMarkVoiced, b = marks[i] & ~kMarkVoiced;
    ASSERT_LT(a, b);
    bool v = (marks[i] & kMarkVoiced) && (marks[i - 1] & kMarkVoiced);
    if (v && b < 4600) {
      EXPECT_EQ(b - a, uint32_t(period)) << "at " << b;
      ++voiced_marks;
    }
    if (a > 5200 && b < 7600) {
      EXPECT_FALSE(marks[i] & kMarkVoiced) << "hiss at " << b;
    }
  }
  EXPECT_GT(voiced_marks, 25u);
}

TEST(EngineVoiceCarriers, PutTheStressOnThePairAndKeepPhonemesApart) {
  EnginePhoneme pause{"_", "_", "pause"}, a{"a", "a", "vowel"}, i{"i", "i", "vowel"}, t{"t", "t", "stop"},
      s{"s", "s", "fricative"}, y{"y", "j", "glide"};
  struct Case {
    EnginePhoneme left, right;
    const char* carrier;
  } cases[] = {
      {pause, a, "'a"},  {a, pause, "'a"},          {pause, t, "t|'a"},     {t, pause, "'a|t"},
      {a, i, "'a|i"},    {t, s, "a|t|s|'a"},        {t, a, "a|t|'a"},       {a, t, "'a|t|a"},
      {y, a, "a|j|'a"},  {a, a, "'a"},              {s, s, "a|s|'a"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DiphoneCarrier(c.left, c.right), c.carrier) << c.left.Name << "-" << c.right.Name;
  }
}

TEST(EngineVoiceBuild, MakesEveryPairAndAListOfExactlyThose) {
  namespace fs = std::filesystem;
  fs::path dir = fs::temp_directory_path() / ("engine-voice-" + std::to_string(getpid()));
  fs::create_directories(dir / "data/engine_voice");
  {
    FILE* f = fopen((dir / "data/engine_voice/phonemes.txt").c_str(), "w");
    fputs("# test set\n_ = _ pause\na = a vowel\ns = s fricative\nnh = n^ nasal\n", f);
    fclose(f);
  }
  EngineVoiceBuild build;
  std::string error;
  ASSERT_TRUE(BuildEngineVoice((dir / "data").string(), (dir / "cache").string(), 1, "", &build, &error)) << error;
  EXPECT_EQ(build.DiphoneCount, 16u);
  EXPECT_TRUE(build.Missing.empty());
  EXPECT_NEAR(16000.0 / build.Period, 118.0, 6.0) << "the flat pitch the voice is made at";
  ASSERT_EQ(build.Files.size(), 2u);
  DiphoneStore store;
  ASSERT_TRUE(ParseDiphoneStore(build.Files[0].Bytes.data(), build.Files[0].Bytes.size(), &store, &error)) << error;
  std::string list(build.Files[1].Bytes.begin(), build.Files[1].Bytes.end());
  for (const auto& u : store.Units) {
    std::string pair = store.Phonemes[u.Left] + " " + store.Phonemes[u.Right] + "\r\n";
    EXPECT_NE(list.find("\n" + pair), std::string::npos) << pair;
    // Vowel middles are voiced, the hiss's are not.
    const uint32_t* m = store.Marks.data() + u.FirstMark;
    auto voiced_near = [&](uint32_t pos) {
      uint32_t best = m[0];
      for (uint32_t k = 0; k < u.MarkCount; ++k) {
        if (std::abs(int((m[k] & ~kMarkVoiced)) - int(pos)) < std::abs(int(best & ~kMarkVoiced) - int(pos))) best = m[k];
      }
      return (best & kMarkVoiced) != 0;
    };
    if (store.Phonemes[u.Left] == "a") {
      EXPECT_TRUE(voiced_near(u.Begin)) << pair;
    }
    if (store.Phonemes[u.Right] == "s") {
      EXPECT_FALSE(voiced_near(u.End)) << pair;
    }
  }
  // A second build takes every unit from the cache and makes the same bytes.
  EngineVoiceBuild again;
  ASSERT_TRUE(BuildEngineVoice((dir / "data").string(), (dir / "cache").string(), 1, "", &again, &error));
  EXPECT_EQ(again.Jobs.Cached, 16u);
  EXPECT_EQ(again.Files[0].Bytes, build.Files[0].Bytes);
  // The synthesizer speaks it at the pitch asked for.
  std::string path = (dir / "br4").string();
  FILE* f = fopen(path.c_str(), "wb");
  fwrite(build.Files[0].Bytes.data(), 1, build.Files[0].Bytes.size(), f);
  fclose(f);
  PsolaSynth synth;
  ASSERT_EQ(PsolaInit(synth, path), 0);
  PsolaWrite(synth, "_ 50\na 300 50 100\nnh 80\na 200 50 100\n_ 50\n");
  PsolaFlush(synth);
  std::vector<int16_t> out(20000);
  out.resize(size_t(PsolaRead(synth, out.data(), 20000)));
  EXPECT_NEAR(double(out.size()), 680 * 16.0, 200.0);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace falatro
