// Every recording the voice makes, read as the program reads it: RIFF/WAVE, 8-bit mono 11025 Hz, sound
// that starts and ends at the zero level, within the sizes the players take.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <filesystem>

#include "speech/wave_format.h"
#include "voice_builder.h"

namespace falatro {
namespace {

class VoiceRecordings : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    options_ = new VoiceOptions;
    options_->DataDir = FALATRO_SOURCE_DIR "/data";
    options_->CacheDir = testing::TempDir() + "voice-cache-" + std::to_string(getpid());
    options_->Workers = 2;
    build_ = new VoiceBuild;
    std::string error;
    ok_ = BuildRecordings(*options_, build_, &error);
    error_ = new std::string(error);
  }
  static void TearDownTestSuite() {
    std::error_code ec;
    std::filesystem::remove_all(options_->CacheDir, ec);
    std::filesystem::remove_all(options_->CacheDir + "-fresh", ec);
    delete options_;
    delete build_;
    delete error_;
  }
  static VoiceOptions* options_;
  static VoiceBuild* build_;
  static bool ok_;
  static std::string* error_;
};
VoiceOptions* VoiceRecordings::options_ = nullptr;
VoiceBuild* VoiceRecordings::build_ = nullptr;
bool VoiceRecordings::ok_ = false;
std::string* VoiceRecordings::error_ = nullptr;

TEST_F(VoiceRecordings, EveryFileIsEightBitMonoAt11025WithEdgesAtZero) {
  ASSERT_TRUE(ok_) << *error_;
  ASSERT_GT(build_->Files.size(), 300u);
  for (const auto& f : build_->Files) {
    WaveImageInfo info;
    ASSERT_EQ(ParseWaveImage(f.Bytes.data(), f.Bytes.size(), &info), WaveParse::kOk) << f.Path;
    EXPECT_EQ(info.format, (WaveFormat{11025, 1, 8})) << f.Path;
    EXPECT_FALSE(info.truncated) << f.Path;
    EXPECT_EQ(info.data_offset, 44u) << f.Path << ": the number sayer takes the sound from byte 44";
    ASSERT_GT(info.data_length, 200u) << f.Path << ": has sound";
    const uint8_t* s = f.Bytes.data() + info.data_offset;
    EXPECT_EQ(s[0], 128) << f.Path;
    EXPECT_EQ(s[info.data_length - 1], 128) << f.Path;
    // The first and last 2 ms rise from and fall to the zero level.
    for (size_t i = 0; i < 5; ++i) {
      int allowed = 2 + 2 * int(i);
      EXPECT_LE(std::abs(int(s[i]) - 128), allowed) << f.Path << " starts with a click";
      EXPECT_LE(std::abs(int(s[info.data_length - 1 - i]) - 128), allowed) << f.Path << " ends with a click";
    }
    // It sounds at once: no more than 2 ms (its fade-in) before the first audible sample.
    size_t audible = 0;
    while (audible < info.data_length && std::abs(int(s[audible]) - 128) <= 1) ++audible;
    EXPECT_LE(audible, 24u) << f.Path << " starts with silence";
    // Letters-directory sounds are read through a 16-bit chunk length by the diphone voice; number
    // words are joined in a 30000-byte buffer.
    if (f.Path.find("/letras/") != std::string::npos) {
      EXPECT_LE(info.data_length, 30000u) << f.Path;
    }
  }
}

TEST_F(VoiceRecordings, LoudnessIsMatchedAcrossRecordings) {
  ASSERT_TRUE(ok_) << *error_;
  double lowest = 1e9, highest = 0;
  std::string quietest, loudest;
  for (const auto& f : build_->Files) {
    if (f.Path.find("dtmf_") != std::string::npos) continue;
    // RMS of the louder half of 10 ms frames: the speech, not its pauses.
    std::vector<double> frames;
    for (size_t i = 44; i + 110 <= f.Bytes.size(); i += 110) {
      double e = 0;
      for (size_t j = i; j < i + 110; ++j) e += (double(f.Bytes[j]) - 128) * (double(f.Bytes[j]) - 128);
      frames.push_back(e / 110);
    }
    std::sort(frames.begin(), frames.end());
    double sum = 0;
    for (size_t i = frames.size() / 2; i < frames.size(); ++i) sum += frames[i];
    double rms = std::sqrt(sum / double(frames.size() - frames.size() / 2));
    if (rms < lowest) lowest = rms, quietest = f.Path;
    if (rms > highest) highest = rms, loudest = f.Path;
  }
  EXPECT_LT(highest / lowest, 2.0) << "quietest " << quietest << ", loudest " << loudest;
}

TEST_F(VoiceRecordings, ASecondBuildIsIdenticalAndComesFromTheCache) {
  ASSERT_TRUE(ok_) << *error_;
  VoiceBuild again;
  std::string error;
  ASSERT_TRUE(BuildRecordings(*options_, &again, &error)) << error;
  EXPECT_EQ(again.Recordings.Made, 0u);
  ASSERT_EQ(again.Files.size(), build_->Files.size());
  for (size_t i = 0; i < again.Files.size(); ++i) EXPECT_EQ(again.Files[i].Bytes, build_->Files[i].Bytes);
  // Made anew without the cache, the sounds are the same bytes: the voice is reproducible.
  VoiceOptions fresh = *options_;
  fresh.CacheDir += "-fresh";
  VoiceBuild remade;
  ASSERT_TRUE(BuildRecordings(fresh, &remade, &error)) << error;
  ASSERT_EQ(remade.Files.size(), build_->Files.size());
  for (size_t i = 0; i < remade.Files.size(); ++i)
    EXPECT_EQ(remade.Files[i].Bytes, build_->Files[i].Bytes) << remade.Files[i].Path;
}

}  // namespace
}  // namespace falatro
