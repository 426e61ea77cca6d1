// The speech suite of a synthesizer test: its sound written to a file (heard.wav in the suite root),
// a one-unit recorded voice to fall back on, and the synthesizer selection fresh for each test.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/sound/sound_backends.h"
#include "speech/speech.h"
#include "speech/synthesizer.h"
#include "test_speech_support.h"

namespace falatro::testing {

class HeardSynthesizerFixture : public SpeechFixture {
 protected:
  void SetUp() override {
    SpeechFixture::SetUp();
    std::string error;
    ASSERT_TRUE(file_.Create(root_ + "/heard.wav", &error)) << error;
    SetSoundBackend(&file_);
    ResetSynthesizerSelection();
    WriteRules("(A)=a|\n", "");
    WriteDatabase("VOZ", {{"$A", 400}});
  }
  void TearDown() override {
    EndSpeech();
    SpeechFixture::TearDown();
  }
  // Ends the speech and takes away the synthesizers the test installed.
  void EndSpeech() {
    if (Speech.Initialised) DoneSpeech();
    ResetSynthesizerSelection();
    SetSynthesizerBackend(SynthesizerKind::kSystemVoice, nullptr);
    SetSynthesizerBackend(SynthesizerKind::kSpeechService, nullptr);
  }

  FileSoundBackend file_;
};

}  // namespace falatro::testing
