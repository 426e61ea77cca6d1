// Suite settings: where the settings file is, "@" expansion; and the shared waits that a key cuts.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "base/paths.h"
#include "console/keyboard.h"
#include "sound_fixture.h"
#include "speech/sound_device.h"
#include "speech/suite_settings.h"
#include "speech/wave_player.h"

namespace falatro::soundtest {
namespace {

namespace fs = std::filesystem;

class Settings : public SoundFixture {
 protected:
  void WriteIni(const std::string& dir, const std::string& name, const std::string& text) {
    fs::create_directories(dir);
    std::ofstream(dir + "/" + name, std::ios::binary) << text;
  }
  std::string win() const { return dir_ + "/win"; }
};

TEST_F(Settings, AtExpandsToTheProgramDirectory) {
  struct Case {
    const char* what;
    std::string pgm;    // the PGMNARRIX line ("" for none)
    std::string value;  // the value of [X] K
    std::string want;
  } cases[] = {
      {"leading @", "PGMNARRIX=c:\\zanvel", "@\\som\\falatro", "c:\\zanvel\\som\\falatro"},
      {"@\\ in the middle", "PGMNARRIX=c:\\zanvel", "x;@\\som", "x;c:\\zanvel\\som"},
      {"@ not followed by \\ stays", "PGMNARRIX=c:\\zanvel", "a@b", "a@b"},
      {"plain value", "PGMNARRIX=c:\\zanvel", "plain", "plain"},
      {"no program directory: the start directory", "", "@\\som", "START\\som"},
      {"program directory beginning with @: the start directory", "PGMNARRIX=@x", "@\\som", "START\\som"},
      {"repeated leading @", "PGMNARRIX=c:\\z", "@@\\a", "c:\\zc:\\z\\a"},
      {"missing key", "PGMNARRIX=c:\\z", "", ""},
  };
  for (const Case& c : cases) {
    std::string ini = "[NARRIX]\r\n" + c.pgm + "\r\n[X]\r\n";
    if (!c.value.empty()) ini += "K=" + c.value + "\r\n";
    WriteIni(win(), "NARRIX.INI", ini);
    std::string want = c.want;
    if (want.rfind("START", 0) == 0) want = StartDir() + want.substr(5);
    EXPECT_EQ(ReadSuiteSetting("X", "K"), want) << c.what;
  }
}

TEST_F(Settings, SelfReferringProgramDirectoryStops) {
  WriteIni(win(), "NARRIX.INI", "[NARRIX]\nPGMNARRIX=a@\\b\n[X]\nK=@\\c\n");
  std::string v = ReadSuiteSetting("X", "K");
  EXPECT_GT(v.size(), 4096u);
  EXPECT_LT(v.size(), 4096u + 300);
}

TEST_F(Settings, EmptySectionMeansNarrixAndValuesAreCut) {
  WriteIni(win(), "NARRIX.INI", "[NARRIX]\nLONG=" + std::string(300, 'v') + "\nK=1\n");
  EXPECT_EQ(ReadSuiteSetting("", "K"), "1");
  EXPECT_EQ(ReadSuiteSetting("", "LONG"), std::string(255, 'v'));
}

TEST_F(Settings, FileInTheWindowsDirectoryElseBesideTheStartDirectory) {
  WriteIni(Sound.StartDir, "NARRIX.INI", "[X]\nK=start\n");
  EXPECT_EQ(ReadSuiteSetting("X", "K"), "start") << "no file in the Windows directory";
  WriteIni(win(), "narrix.ini", "[X]\nK=windows\n");
  EXPECT_EQ(ReadSuiteSetting("X", "K"), "windows") << "found there without letter case";
  fs::remove(win() + "/narrix.ini");
  fs::remove(Sound.StartDir + "/NARRIX.INI");
  EXPECT_EQ(ReadSuiteSetting("X", "K"), "") << "no file anywhere";
}

TEST_F(Settings, PauseSleepsWholeStepsAndAKeyShortensIt) {
  struct Case {
    const char* what;
    int ms;
    int64_t key_at;  // -1: no key
    uint64_t slept;
  } cases[] = {
      {"120 ms is two steps", 120, -1, 100},
      {"49 ms is no step", 49, -1, 0},
      {"a key during the first step ends it after that step", 500, 30, 50},
      {"a key already waiting", 500, 0, 0},
  };
  for (const Case& c : cases) {
    ResetKeyboardState();
    uint64_t start = sim_.now;
    if (c.key_at == 0) InjectKeys("k");
    if (c.key_at > 0) KeyAt(start + uint64_t(c.key_at));
    PauseInterruptible(c.ms);
    EXPECT_EQ(sim_.now - start, c.slept) << c.what;
  }
}

TEST_F(Settings, KeyEndsPlayWaveBufferAndStaysQueued) {
  std::vector<uint8_t> image = MakeWave(Pattern(11025 * 5), 11025, 1, 8);
  KeyAt(700, 'z');
  EXPECT_EQ(PlayWaveBuffer(image.data(), image.size()), 0);
  EXPECT_EQ(sim_.now, 700u);
  EXPECT_EQ(Kbd.KeyCount, 1);
  EXPECT_TRUE(Sound.SpeechCut);
  EXPECT_FALSE(SoundDev.open);
  EXPECT_FALSE(Sound.SynthSpeechPending) << "it waited for the synthesizer first";
}

TEST_F(Settings, PlayWaveBufferWaitsForTheEnd) {
  std::vector<uint8_t> image = MakeWave(Pattern(2205), 11025, 1, 8);
  EXPECT_EQ(PlayWaveBuffer(image.data(), image.size()), 0);
  EXPECT_EQ(sim_.now, 200u);
  EXPECT_EQ(RecordedSamples(file_path()).size(), 4410u);
}

TEST_F(Settings, CutSpeechStopsAndWakes) {
  std::vector<uint8_t> image = MakeWave(Pattern(11025), 11025, 1, 8);
  ASSERT_EQ(PlayWaveImage(image.data(), image.size()), 0);
  {
    std::lock_guard<std::mutex> lock(EventLoop.posted_mutex);
    EventLoop.posted.clear();
  }
  CutSpeech();
  EXPECT_TRUE(Sound.SpeechCut);
  EXPECT_FALSE(SoundDev.open);
  bool woke = false;
  {
    std::lock_guard<std::mutex> lock(EventLoop.posted_mutex);
    for (const Message& m : EventLoop.posted) woke |= m.kind == kMsgWake;
  }
  EXPECT_TRUE(woke);
}

TEST_F(Settings, IsSoundPlayingFollowsTheWavePlayer) {
  std::vector<uint8_t> image = MakeWave(Pattern(1103), 11025, 1, 8);
  EXPECT_FALSE(IsSoundPlaying());
  ASSERT_EQ(PlayWaveImage(image.data(), image.size()), 0);
  EXPECT_TRUE(IsSoundPlaying());
  InjectKeys("a");
  EXPECT_FALSE(IsSoundPlaying()) << "a waiting key cuts the sound";
  EXPECT_EQ(Kbd.KeyCount, 1);
  EXPECT_FALSE(SoundDev.open);
}

}  // namespace
}  // namespace falatro::soundtest
