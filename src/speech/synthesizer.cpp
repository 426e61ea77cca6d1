// The synthesizer door before any synthesizer is selectable: starting one fails, so every text is
// said by the recorded voice; the other requests have nothing to act on.
#include "speech/synthesizer.h"

#include "console/keyboard.h"

namespace falatro {

SynthesizerState Synth;

bool StartSynthesizer(int /*voice*/, int /*speed*/, int /*pitch*/, int type) {
  Synth.CurrentSynthesizerType = type;
  // No synthesizer can be started yet: the caller keeps the recorded voice.
  Synth.started = false;
  return false;
}

void SynthesizerSpeak(const std::string& /*text*/) {}

bool SynthesizerBusy(int /*mode*/) {
  ProcessMessages();
  return false;
}

void SynthesizerStop() {}

void StopSynthesizer() { Synth.started = false; }

}  // namespace falatro
