// Scaffolding for the sound tests.
#include "sound_fixture.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "console/console_sound.h"
#include "console/keyboard.h"
#include "console/nxcrt.h"
#include "quiet_console.h"
#include "speech/sound_device.h"
#include "speech/suite_settings.h"
#include "speech/wave_player.h"

namespace falatro::soundtest {

namespace fs = std::filesystem;

std::vector<uint8_t> MakeWave(const std::vector<uint8_t>& data, uint32_t rate, uint16_t channels,
                              uint16_t bits) {
  std::vector<uint8_t> image(kWaveHeaderSize + data.size());
  BuildWaveHeader(image.data(), uint32_t(data.size()), rate, channels, bits);
  std::copy(data.begin(), data.end(), image.begin() + kWaveHeaderSize);
  return image;
}

std::vector<uint8_t> Pattern(size_t n, uint32_t seed) {
  std::vector<uint8_t> out(n);
  uint32_t x = seed * 2654435761u + 1;
  for (size_t i = 0; i < n; ++i) {
    x = x * 1103515245u + 12345u;
    out[i] = uint8_t(x >> 16);
  }
  return out;
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::vector<int16_t> RecordedSamples(const std::string& path) {
  std::vector<uint8_t> bytes = ReadBytes(path);
  WaveImageInfo info;
  EXPECT_EQ(ParseWaveImage(bytes.data(), bytes.size(), &info), WaveParse::kOk);
  EXPECT_FALSE(info.truncated);
  EXPECT_EQ(info.format, (WaveFormat{22050, 1, 16}));
  EXPECT_EQ(ReadLe32(bytes.data() + 4), bytes.size() - 8) << "RIFF size";
  EXPECT_EQ(ReadLe16(bytes.data() + 32), 2) << "block align";
  std::vector<int16_t> samples(info.data_length / 2);
  for (size_t i = 0; i < samples.size(); ++i) {
    samples[i] = int16_t(ReadLe16(bytes.data() + info.data_offset + 2 * i));
  }
  return samples;
}

void SoundFixture::SetUp() {
  char tmpl[] = "/tmp/falatro-sound-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  dir_ = tmpl;
  setenv("NARRIX_WINDIR", (dir_ + "/win").c_str(), 1);
  setenv("NARRIX_ROOT", (dir_ + "/root").c_str(), 1);
  testsupport::StartQuietConsole(&sim_, /*key_up_events=*/true);
  InitSuiteSettings();
  Sound.StartDir = dir_;
  std::string error;
  ASSERT_TRUE(file_.Create(file_path(), &error)) << error;
  SetSoundBackend(&file_);
  ResetWavePlayer();
  SetConsoleSoundSink(LayerConsoleSoundSink());
  InitConsole();
  SoundDev.opens = SoundDev.closes = SoundDev.resets = 0;
  SoundDev.blocks_written = SoundDev.blocks_returned = SoundDev.effects_started = 0;
}

void SoundFixture::TearDown() {
  StopWave();
  ResetKeyboardState();
  SetConsoleSoundSink(nullptr);
  SetSoundBackend(nullptr);
  EventLoop.timers.clear();
  SetLoopBackend(nullptr);
  std::error_code ec;
  fs::remove_all(dir_, ec);
}

void SoundFixture::UseNull() { SetSoundBackend(&null_); }

void SoundFixture::KeyAt(uint64_t at_ms, char ch) {
  Message m;
  m.kind = kMsgChar;
  m.key.ch = uint8_t(ch);
  sim_.Schedule(at_ms, m);
}

}  // namespace falatro::soundtest
