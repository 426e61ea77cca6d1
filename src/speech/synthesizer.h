// The synthesizer selection: the switch between the synthesizers that say whole texts (the built-in
// engine, the system voice in-process, the speech service), chosen by "SERVFALA"/"TIPOSAPI".
#pragma once

#include <string>

namespace falatro {

/// One synthesizer behind the switch: the five operations every kind offers. Texts are cp1252.
struct SynthesizerBackend {
  virtual ~SynthesizerBackend() = default;
  /// Starts with voice number, speed and pitch as the settings give them. False when it cannot speak
  /// (nothing to release then).
  virtual bool Start(int voice, int speed, int pitch) = 0;
  /// Says a text, returning while it is still being said.
  virtual void Speak(const std::string& text) = 0;
  /// Mode 1: whether text is still waiting to be made into sound; any other mode: also whether sound
  /// is still playing.
  virtual bool Busy(int mode) = 0;
  /// Stops at once and drops every text still waiting.
  virtual void Stop() = 0;
  /// Waits for the end of speech as the kind does, then releases everything Start took.
  virtual void Release() = 0;
};

/// The kinds of synthesizer that live at the platform edge and are installed by the program.
enum class SynthesizerKind {
  kSystemVoice,    ///< type 4 and every type but 3, 5 and 54: the voice synthesized in-process
  kSpeechService,  ///< types 5 and 54: the system's speech service
};

/// Installs the back-end of a kind (nullptr: none; starting that kind then fails). Not owned.
void SetSynthesizerBackend(SynthesizerKind kind, SynthesizerBackend* backend);
/// The kind a "TIPOSAPI" value selects; type 3 is the built-in engine and has no kind.
SynthesizerKind KindOfType(int type);

/// Settings of the built-in engine (section "VELARTTS"), read once.
struct EngineSettings {
  std::string Database;  ///< "MBROLA_DB", default "br4"
  std::string Dir;       ///< "DIR" with a trailing backslash; default from the database's location
  std::string Base;      ///< "BASE", default "portug"
  /// The five data files in the order the engine takes them: rules, exceptions, abbreviations,
  /// prosody, diphone list (Dir + Base + ".nrl", ".exc", ".abr", ".pro", ".dfn").
  std::string File(const char* extension) const { return Dir + Base + extension; }
};

/// The synthesizer state (one instance, Synth).
struct SynthesizerState {
  int CurrentSynthesizerType = 4;  ///< type given to the last SelectSynthesizer; every request goes by it
  bool started = false;            ///< the selected synthesizer started and is not yet released
  bool engine_settings_read = false;
  EngineSettings Engine;           ///< the "VELARTTS" settings, once read
  SynthesizerBackend* backends[2] = {nullptr, nullptr};  ///< by SynthesizerKind
};
extern SynthesizerState Synth;

/// Reads the "VELARTTS" settings into Synth.Engine the first time it is called; later calls keep them.
const EngineSettings& ReadEngineSettings();

/// Sets CurrentSynthesizerType := type (even when the start fails), starts that synthesizer with voice
/// number, speed and pitch, and when it started waits (polling busy in mode 1 every 50 ms) until it is
/// idle. False when it did not start: speech then stays with the recorded voice, and no message is
/// given.
bool SelectSynthesizer(int voice, int speed, int pitch, int type);
/// Says a text (cp1252) with the selected synthesizer; nothing when none is started.
void SynthesizerSpeak(const std::string& text);
/// Whether the synthesizer is still speaking, after dispatching pending messages. Mode 1 asks only
/// whether text is still queued; mode 0 also counts audio still playing. False when none is started.
bool SynthesizerBusy(int mode = 0);
/// Stops speaking at once and drops queued text.
void SynthesizerStop();
/// Waits for the end of speech and releases the synthesizer.
void SynthesizerDone();

/// Forgets the selection and the settings read (for tests); installed back-ends stay.
void ResetSynthesizerSelection();

}  // namespace falatro
