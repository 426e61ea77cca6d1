// The synthesizer selection: routes start, speak, busy, stop and release to the synthesizer of the
// current type.
#include "speech/synthesizer.h"

#include "console/keyboard.h"
#include "speech/suite_settings.h"

namespace falatro {

SynthesizerState Synth;

namespace {

constexpr const char* kEngineDirDefault = "\\zanvel\\velartts\\";

SynthesizerBackend* BackendOfType(int type) {
  if (type == 3) return nullptr;
  return Synth.backends[static_cast<int>(KindOfType(type))];
}

}  // namespace

void SetSynthesizerBackend(SynthesizerKind kind, SynthesizerBackend* backend) {
  Synth.backends[static_cast<int>(kind)] = backend;
}

SynthesizerKind KindOfType(int type) {
  return (type == 5 || type == 54) ? SynthesizerKind::kSpeechService : SynthesizerKind::kSystemVoice;
}

const EngineSettings& ReadEngineSettings() {
  if (Synth.engine_settings_read) return Synth.Engine;
  EngineSettings& e = Synth.Engine;
  e.Database = ReadSuiteSetting("VELARTTS", "MBROLA_DB");
  if (e.Database.empty()) e.Database = "br4";
  e.Dir = ReadSuiteSetting("VELARTTS", "DIR");
  if (e.Dir.empty()) e.Dir = kEngineDirDefault;
  if (e.Dir.back() != '\\') e.Dir += '\\';
  e.Base = ReadSuiteSetting("VELARTTS", "BASE");
  if (e.Base.empty()) e.Base = "portug";
  Synth.engine_settings_read = true;
  return e;
}

bool SelectSynthesizer(int voice, int speed, int pitch, int type) {
  ReadEngineSettings();
  Synth.CurrentSynthesizerType = type;
  Synth.started = false;
  SynthesizerBackend* backend = BackendOfType(type);
  if (backend == nullptr || !backend->Start(voice, speed, pitch)) return false;
  Synth.started = true;
  while (SynthesizerBusy(1)) Delay(50);
  return true;
}

void SynthesizerSpeak(const std::string& text) {
  if (!Synth.started) return;
  if (SynthesizerBackend* b = BackendOfType(Synth.CurrentSynthesizerType)) b->Speak(text);
}

bool SynthesizerBusy(int mode) {
  ProcessMessages();
  if (!Synth.started) return false;
  SynthesizerBackend* b = BackendOfType(Synth.CurrentSynthesizerType);
  return b != nullptr && b->Busy(mode);
}

void SynthesizerStop() {
  if (!Synth.started) return;
  if (SynthesizerBackend* b = BackendOfType(Synth.CurrentSynthesizerType)) b->Stop();
}

void SynthesizerDone() {
  if (!Synth.started) return;
  if (SynthesizerBackend* b = BackendOfType(Synth.CurrentSynthesizerType)) b->Release();
  Synth.started = false;
}

void ResetSynthesizerSelection() {
  SynthesizerDone();
  Synth.CurrentSynthesizerType = 4;
  Synth.engine_settings_read = false;
  Synth.Engine = EngineSettings{};
}

}  // namespace falatro
