// The synthesizer selection: routes start, speak, busy, stop and release to the synthesizer of the
// current type.
#include "speech/synthesizer.h"

#include "base/event_loop.h"
#include "base/paths.h"
#include "console/keyboard.h"
#include "speech/suite_settings.h"
#include "speech/velar_output.h"
#include "tts/registry_string.h"
#include "tts/velar.h"

namespace falatro {

SynthesizerState Synth;

namespace {

constexpr const char* kEngineDirDefault = "\\zanvel\\velartts\\";
constexpr int kEngineReleasePollMs = 500;
constexpr int kEngineReleaseLimitMs = 60000;  // an engine that never falls silent is stopped after this

// Makes a wait for messages return (the engine's speaking and stopping do not post one themselves).
void WakeConsole() {
  Message wake;
  wake.kind = kMsgWake;
  PostMessage(wake);
}

// A data file named in the settings, as this system finds it.
std::string EngineFile(const EngineSettings& e, const char* extension) {
  return FindFileNoCase(MapPath(e.File(extension)));
}

// The built-in engine (type 3): it speaks through the wave player as its text is turned into sound.
class EngineAdapter final : public SynthesizerBackend {
 public:
  bool Start(int /*voice*/, int speed, int pitch) override {
    VelarSetOutputFile("");
    ConnectVelarToWavePlayer();
    const EngineSettings& e = ReadEngineSettings();
    bool ok = VelarInit(e.Database, EngineFile(e, ".nrl"), EngineFile(e, ".exc"), EngineFile(e, ".abr"),
                        EngineFile(e, ".pro"), EngineFile(e, ".dfn"));
    // A higher speed gives shorter sounds, a higher pitch higher targets (0 and 0: 0.8 and 1.0).
    VelarSetSpeedAndPitch(0.8 - speed / 15.0, (pitch + 11) / 11.0);
    return ok;
  }
  void Speak(const std::string& text) override {
    VelarSpeak(text);
    WakeConsole();
  }
  bool Busy(int /*mode*/) override {
    bool speaking = VelarIsSpeaking();
    if (KeyPressed()) {
      Stop();
      speaking = false;
    }
    WakeConsole();
    return speaking;
  }
  void Stop() override {
    VelarStop();
    WakeConsole();
  }
  void Release() override {
    for (int waited = 0; waited < kEngineReleaseLimitMs && Busy(0); waited += kEngineReleasePollMs)
      Delay(kEngineReleasePollMs);
    Stop();
    VelarDone();
  }
};

EngineAdapter Engine;

SynthesizerBackend* BackendOfType(int type) {
  if (type == 3) return &Engine;
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
  e.Base = ReadSuiteSetting("VELARTTS", "BASE");
  if (e.Base.empty()) e.Base = "portug";
  e.Dir = ReadSuiteSetting("VELARTTS", "DIR");
  if (e.Dir.empty()) {
    // The directory of the installed Brazilian database, where the suite keeps the engine's files
    // beside it; a database found elsewhere (a system voice) holds no engine files, so the suite's
    // own directory stands then.
    std::string database;
    if (ReadRegistryString(kLocalMachine, std::string(kMbrolaDatabasesKey) + "BR4\\", &database) &&
        database.size() > 3) {
      e.Dir = database.substr(0, database.size() - 3);
      if (!FileExists(EngineFile(e, ".nrl"))) e.Dir.clear();
    }
    if (e.Dir.empty()) e.Dir = kEngineDirDefault;
  }
  if (e.Dir.back() != '\\' && e.Dir.back() != '/') e.Dir += '\\';
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
