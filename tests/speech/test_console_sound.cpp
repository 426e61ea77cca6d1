// The console's tones and beep played through the sound layer.
#include <gtest/gtest.h>

#include "console/keyboard.h"
#include "console/nxcrt.h"
#include "platform/console/headless/headless_frontend.h"
#include "sound_fixture.h"
#include "speech/sound_device.h"
#include "speech/wave_player.h"

namespace falatro::soundtest {
namespace {

using ConsoleSound = SoundFixture;

// Lengths of the runs of equal samples.
std::vector<std::pair<int16_t, size_t>> Runs(const std::vector<int16_t>& s, size_t from, size_t to) {
  std::vector<std::pair<int16_t, size_t>> runs;
  for (size_t i = from; i < to; ++i) {
    if (runs.empty() || runs.back().first != s[i]) runs.push_back({s[i], 0});
    ++runs.back().second;
  }
  return runs;
}

TEST_F(ConsoleSound, BrailleModeTonesAreRecorded) {
  ResetKeyboardState();
  uint64_t recorded_before = RecordedSamples(file_path()).size();
  SetBrailleMode(1);
  ASSERT_EQ(Kbd.BrailleMode, 1);
  std::vector<int16_t> s = RecordedSamples(file_path());
  // 800 Hz for 200 ms, then 1600 Hz for 200 ms: 4410 samples each at 22050 Hz.
  ASSERT_EQ(s.size() - recorded_before, 2u * 4410);
  // 800 Hz: periods of 13 or 14 source samples (11025 / 800), 6 low at 96 then high at 160, doubled.
  auto first = Runs(s, recorded_before, recorded_before + 4410);
  ASSERT_GT(first.size(), 100u);
  EXPECT_EQ(first[0], (std::pair<int16_t, size_t>{int16_t((96 - 128) * 256), 12}));
  EXPECT_EQ(first[1].first, int16_t((160 - 128) * 256));
  auto second = Runs(s, recorded_before + 4410, s.size());
  EXPECT_EQ(second[0], (std::pair<int16_t, size_t>{int16_t((96 - 128) * 256), 6}));
  EXPECT_FALSE(SoundDev.loop_active) << "the tone stopped";
  EXPECT_EQ(SoundDev.effects_started, 2u);
}

TEST_F(ConsoleSound, ToneMixesWithoutDisturbingTheWavePlayer) {
  std::vector<uint8_t> image = MakeWave(Pattern(11025), 11025, 1, 8);
  ASSERT_EQ(PlayWaveImage(image.data(), image.size()), 0);
  PlayTone(400);
  EXPECT_TRUE(SoundDev.loop_active);
  Delay(200);
  StopTone();
  EXPECT_FALSE(SoundDev.loop_active);
  EXPECT_TRUE(Kbd.ToneBuffer.empty());
  EXPECT_TRUE(IsWavePlaying()) << "the sound goes on";
  while (IsWavePlaying()) WaitMessage();
  EXPECT_EQ(sim_.now, 1000u);
  // The recording holds the tone's 200 ms and the whole sound.
  EXPECT_EQ(RecordedSamples(file_path()).size(), 4410u + 22050u);
}

TEST_F(ConsoleSound, BelBeepsThroughTheLayer) {
  WriteConsoleText("a\ab", 3);
  EXPECT_EQ(SoundDev.effects_started, 1u);
  EXPECT_EQ(Headless.beeps, 0) << "not the front-end's beep";
  EXPECT_EQ(RecordedSamples(file_path()).size(), 22050u * 120 / 1000);
}

}  // namespace
}  // namespace falatro::soundtest
