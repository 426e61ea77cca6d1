// Saying texts through the program's own speech front end on a simulated clock, for the voice's tools:
// into a sound device, or with the diphone voice's sound and unit joins collected for measuring.
#include "front_end_reading.h"

#include <cstdio>
#include <cstdlib>
#include <cmath>

#include "base/event_loop.h"
#include "base/ini_file.h"
#include "console/keyboard.h"
#include "console/nxcrt.h"
#include "platform/console/headless/headless_frontend.h"
#include "speech/diphone_synth.h"
#include "speech/sound_device.h"
#include "speech/speech.h"
#include "speech/suite_settings.h"
#include "speech/wave_player.h"

namespace falatro {

namespace {
SimulatedBackend Clock;
}  // namespace

void PrepareFrontEnd(const std::string& root, const std::string& windir) {
  setenv("NARRIX_ROOT", root.c_str(), 1);
  setenv("NARRIX_WINDIR", windir.c_str(), 1);
  SetLoopBackend(&Clock);
  ResetConsoleState();
  SetConsoleFrontend(HeadlessFrontend(&Clock));
  ResetKeyboardState();
  ResetWavePlayer();
  InitSuiteSettings();
  InitConsole();
}

bool StartFrontEnd(int speed, bool marks, const std::string& device, std::string* error) {
  if (speed <= 0) speed = ProfileInt(ReadSuiteSetting("TRADUTOR", "VELOCIDADE"), 3);
  if (speed < 1 || speed > 5) speed = 3;
  // Try the voice first: InitSpeech would wait for Enter on a failure, which a tool cannot give.
  LoadSynthesizerParameters(speed);
  int code = StartDiphoneSynthesizer();
  std::string name = Diphone.DatabaseName;
  StopDiphoneSynthesizer();
  if (code != kDiphoneOk) {
    if (error)
      *error = "the voice does not start (code " + std::to_string(code) + ", database \"" + name +
               "\"): is it installed? (falatro-voice install)";
    return false;
  }
  if (!OpenSoundDevice(device, error)) return false;
  InitSpeech(speed, "");
  Speech.SpeakPunctuationMarks = marks;
  return true;
}

void StopFrontEnd() {
  DoneSpeech();
  CloseSoundDevice();
}

double SayThroughFrontEnd(const std::string& text) {
  uint64_t start = NowMs();
  SpeakText(text);
  while (IsSoundPlaying()) WaitMessage(50);
  return double(NowMs() - start) / 1000.0;
}

VoiceReading ReadThroughVoice(const std::string& text) {
  VoiceReading reading;
  Diphone.OnFlush = [&reading](const uint8_t* sound, size_t length) {
    reading.Sound.insert(reading.Sound.end(), sound, sound + length);
  };
  // Positions are in the buffer being filled; what earlier flushes handed over comes before them.
  Diphone.OnJoin = [&reading](size_t position) { reading.Joins.push_back(reading.Sound.size() + position); };
  SpeakText(text);
  while (IsSoundPlaying()) WaitMessage(50);
  Diphone.OnFlush = nullptr;
  Diphone.OnJoin = nullptr;
  return reading;
}

std::vector<double> JoinJumps(const VoiceReading& reading) {
  const auto& s = reading.Sound;
  auto at = [&](long i) { return i < 0 || i >= long(s.size()) ? 128 : int(s[size_t(i)]); };
  std::vector<double> jumps;
  for (size_t p : reading.Joins) jumps.push_back(std::abs(at(long(p)) - at(long(p) - 1)) / 128.0);
  jumps.push_back(std::abs(at(long(s.size()) - 1) - 128) / 128.0);
  return jumps;
}

}  // namespace falatro
