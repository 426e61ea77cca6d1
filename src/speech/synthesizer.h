// The door to the synthesizers that say whole texts (the synthesizer selection); sound producers ask
// it whether speech is still going on and stop it.
#pragma once

#include <string>

namespace falatro {

/// The synthesizer state (one instance, Synth).
struct SynthesizerState {
  int CurrentSynthesizerType = 4;  ///< type given to the last StartSynthesizer
  bool started = false;            ///< a synthesizer is running
};
extern SynthesizerState Synth;

/// Starts the synthesizer of type (3 built-in engine, 5 and 54 speech services, others eSpeak) with
/// voice number, speed and pitch, and waits until it is idle. False when it did not start (speech then
/// stays with the recorded voice). Sets CurrentSynthesizerType even on failure.
bool StartSynthesizer(int voice, int speed, int pitch, int type);
/// Says a text (cp1252) with the running synthesizer; nothing when none runs.
void SynthesizerSpeak(const std::string& text);
/// Whether the synthesizer is still speaking, after dispatching pending messages. Mode 1 asks only
/// whether text is still queued; mode 0 also counts audio still playing. False when none runs.
bool SynthesizerBusy(int mode = 0);
/// Stops speaking at once and drops queued text.
void SynthesizerStop();
/// Waits for the end of speech and releases the synthesizer.
void StopSynthesizer();

}  // namespace falatro
