// The speech front end heard through the `file` sound device: what ends up in the recording, in order.
#include <gtest/gtest.h>

#include <fstream>

#include "platform/sound/sound_backends.h"
#include "speech/diphone_synth.h"
#include "speech/speech.h"
#include "test_speech_support.h"

namespace falatro {
namespace {

class SpeechToFile : public testing::SpeechFixture {
 protected:
  void SetUp() override {
    SpeechFixture::SetUp();
    WriteIni();
    WriteRules("(A)=a|\n(K)=k|\n", "");
    WriteDatabase("VOZ", {{"$A", 400}, {"$KA", 600}});
    for (const char* w : {"_zero", "_sete", "_vinte", "_e", "_um", "_46", "_120"}) Letter(w, 300);
    std::string error;
    ASSERT_TRUE(file_.Create(root_ + "/heard.wav", &error)) << error;
    SetSoundBackend(&file_);
    InitSpeech(0, prog_);
  }
  void TearDown() override {
    DoneSpeech();
    SetSoundBackend(nullptr);
    SpeechFixture::TearDown();
  }
  // The recording's samples back as the 8-bit sound that was played (every second 22050 Hz sample).
  std::vector<uint8_t> Heard() {
    std::ifstream in(root_ + "/heard.wav", std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<uint8_t> out;
    for (size_t i = 44; i + 1 < bytes.size(); i += 4) {
      int16_t s = static_cast<int16_t>(uint8_t(bytes[i]) | (uint8_t(bytes[i + 1]) << 8));
      out.push_back(static_cast<uint8_t>((s >> 8) + 128));
    }
    return out;
  }
  FileSoundBackend file_;
};

TEST_F(SpeechToFile, TheRecordingHoldsEveryPromptUnitAndWordInOrder) {
  Speech.SpeakPunctuationMarks = true;
  SpeakText("007 ka. 21 x");
  EXPECT_EQ(Describe(Heard(), false), "_zero _zero _sete $KA _46 _vinte _e _um _120");
}

TEST_F(SpeechToFile, UnitLengthsSurviveTheWholePath) {
  SpeakText("ka");
  // 600 samples of the unit; the player ends the block at the zero level, so one fewer remains.
  EXPECT_EQ(Describe(Heard(), true), "$KA*599");
}

}  // namespace
}  // namespace falatro
