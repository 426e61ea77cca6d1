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

std::string OptionValue(int argc, char** argv, int* i, void (*usage)()) {
  if (*i + 1 >= argc) {
    usage();
    exit(2);
  }
  return argv[++*i];
}

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
  std::string unit;
  Diphone.OnLookup = [&unit](std::string_view name, int, bool found) {
    if (found) unit = name;
  };
  Diphone.OnJoin = [&](size_t position) {
    reading.Joins.push_back(reading.Sound.size() + position);
    reading.Units.push_back(unit);
    unit.clear();
  };
  SpeakText(text);
  while (IsSoundPlaying()) WaitMessage(50);
  Diphone.OnFlush = nullptr;
  Diphone.OnJoin = nullptr;
  Diphone.OnLookup = nullptr;
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

std::vector<double> LoudnessSteps(const VoiceReading& reading) {
  const size_t span = 110;  // 10 ms
  const auto& s = reading.Sound;
  auto rms = [&](size_t from) {
    double e = 0;
    for (size_t i = from; i < from + span; ++i) e += (double(s[i]) - 128) * (double(s[i]) - 128);
    return std::sqrt(e / double(span)) / 128.0;
  };
  std::vector<double> steps;
  for (size_t j = 1; j < reading.Joins.size() && j < reading.Units.size(); ++j) {
    const std::string &before_unit = reading.Units[j - 1], &unit = reading.Units[j];
    if (before_unit.size() < 2 || before_unit[0] != '$' || unit.size() < 2 || unit[0] != '$' ||
        std::string("AEIOUWY").find(unit[1]) == std::string::npos)
      continue;
    size_t p = reading.Joins[j];
    if (p < span || p + span > s.size()) continue;
    double before = rms(p - span), after = rms(p);
    if (before < 0.05 || after < 0.05) continue;
    steps.push_back(20 * std::log10(after / before));
  }
  return steps;
}

}  // namespace falatro
