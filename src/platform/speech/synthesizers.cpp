// The synthesizers of the platform edge, installed behind the synthesizer selection.
#include "platform/speech/synthesizers.h"

#include "platform/speech/espeak/espeak_synthesizer.h"
#include "platform/speech/speechd/speechd_synthesizer.h"
#include "speech/synthesizer.h"

namespace falatro {

void InstallSynthesizers() {
  SetSynthesizerBackend(SynthesizerKind::kSystemVoice, EspeakSynthesizer());
  SetSynthesizerBackend(SynthesizerKind::kSpeechService, SpeechDispatcherSynthesizer());
}

}  // namespace falatro
