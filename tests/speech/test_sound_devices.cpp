// Choosing the sound device, and the sdl device on SDL's dummy output (real clock, no sound card).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

#include "console/console_sound.h"
#include "console/keyboard.h"
#include "console/nxcrt.h"
#include "platform/console/headless/headless_frontend.h"
#include "quiet_console.h"
#include "sound_fixture.h"
#include "speech/sound_device.h"
#include "speech/suite_settings.h"
#include "speech/wave_player.h"

namespace falatro::soundtest {
namespace {

using Choice = SoundFixture;

TEST_F(Choice, NamesAndFallbacks) {
  struct Case {
    const char* what;
    std::string name;
    const char* env;
    bool ok;
    const char* device;
  } cases[] = {
      {"null by name", "null", nullptr, true, "null"},
      {"file by name", "file:" + dir_ + "/rec.wav", nullptr, true, "file"},
      {"from FALATRO_AUDIO", "", "null", true, "null"},
      {"file from FALATRO_AUDIO", "", "file:/tmp/falatro-sound-choice.wav", true, "file"},
      {"a file that cannot be written falls back", "file:" + dir_ + "/no/such/dir/x.wav", nullptr, false, "null"},
      {"file without a path falls back", "file:", nullptr, false, "null"},
      {"an unknown name falls back", "speakers", nullptr, false, "null"},
  };
  for (const Case& c : cases) {
    if (c.env) setenv("FALATRO_AUDIO", c.env, 1); else unsetenv("FALATRO_AUDIO");
    std::string error;
    testing::internal::CaptureStderr();
    EXPECT_EQ(OpenSoundDevice(c.name, &error), c.ok) << c.what;
    std::string said = testing::internal::GetCapturedStderr();
    EXPECT_STREQ(CurrentSoundBackend()->Name(), c.device) << c.what;
    EXPECT_EQ(GetConsoleSoundSink(), LayerConsoleSoundSink()) << c.what;
    EXPECT_EQ(said.empty(), c.ok) << c.what << ": the fallback is said on standard error";
    EXPECT_EQ(error.empty(), c.ok) << c.what;
    CloseSoundDevice();
  }
  unsetenv("FALATRO_AUDIO");
  std::remove("/tmp/falatro-sound-choice.wav");
  EXPECT_EQ(CurrentSoundBackend(), nullptr);
}

TEST(SdlBuffer, AtMostSixMilliseconds) {
  struct Case { uint32_t rate; uint16_t frames; } cases[] = {
      {11025, 64}, {16000, 64}, {22050, 128}, {44100, 256}, {48000, 256}, {8000, 32}, {1000, 32},
  };
  for (const Case& c : cases) EXPECT_EQ(SdlBufferFrames(c.rate), c.frames) << c.rate;
}

// The sdl device on SDL's dummy output, which consumes sound in real time without hardware.
class SdlDummy : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    char tmpl[] = "/tmp/falatro-sdl-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    setenv("NARRIX_WINDIR", dir_.c_str(), 1);
    testsupport::StartQuietConsole(nullptr, /*key_up_events=*/true);
    ResetWavePlayer();
    InitConsole();
    std::string error;
    testing::internal::CaptureStderr();
    sdl_ok_ = OpenSoundDevice("sdl", &error);
    testing::internal::GetCapturedStderr();
    if (!sdl_ok_) GTEST_SKIP() << "SDL has no dummy audio driver here: " << error;
  }
  void TearDown() override {
    StopWave();
    CloseSoundDevice();
    ResetKeyboardState();
    unsetenv("SDL_AUDIODRIVER");
    std::string cmd = "rm -rf " + dir_;
    (void)std::system(cmd.c_str());
  }
  std::string dir_;
  bool sdl_ok_ = false;
};

TEST_F(SdlDummy, PlaysBlocksToTheEndFromItsOwnThread) {
  std::vector<uint8_t> image = MakeWave(Pattern(11025 * 3 / 10), 11025, 1, 8);  // 300 ms
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(PlayWaveBuffer(image.data(), image.size()), 0);
  double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GE(ms, 250.0) << "the dummy output plays in real time";
  EXPECT_LT(ms, 2000.0);
  EXPECT_EQ(SoundDev.blocks_written, SoundDev.blocks_returned);
  EXPECT_FALSE(SoundDev.open);
}

TEST_F(SdlDummy, KeyCutsALongSound) {
  std::vector<uint8_t> image = MakeWave(Pattern(11025 * 20), 11025, 1, 8);  // 20 s
  Message key;
  key.kind = kMsgChar;
  key.key.ch = 'k';
  ASSERT_EQ(PlayWaveImage(image.data(), image.size()), 0);
  AddTimer(200, [key] { PostMessage(key); });
  auto start = std::chrono::steady_clock::now();
  while (IsSoundPlaying()) WaitMessage();
  double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(ms, 1000.0);
  EXPECT_EQ(Kbd.KeyCount, 1);
  EXPECT_FALSE(SoundDev.open);
}

TEST_F(SdlDummy, TonesAndBeepSoundWithoutAWaveOpen) {
  PlayTone(800);
  EXPECT_TRUE(SoundDev.loop_active);
  Delay(50);
  StopTone();
  WriteConsoleText("\a", 1);
  EXPECT_EQ(Headless.beeps, 0);
  Delay(200);
}

}  // namespace
}  // namespace falatro::soundtest
