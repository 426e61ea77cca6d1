// Suite settings and the shared sound primitives: the settings file, sound images, waiting on sound.
#include "speech/suite_settings.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "base/event_loop.h"
#include "base/ini_file.h"
#include "base/paths.h"
#include "console/keyboard.h"
#include "speech/synthesizer.h"
#include "speech/wave_format.h"
#include "speech/wave_player.h"

namespace falatro {

SoundSharedState Sound;

namespace {

constexpr size_t kSettingCapacity = 256;   // values are cut to 255 characters
constexpr size_t kExpansionLimit = 4096;   // an expansion that grows past this stops

std::string CurrentDirectory() {
  std::vector<char> buf(4096);
  while (getcwd(buf.data(), buf.size()) == nullptr) {
    if (buf.size() > (1u << 20)) return ".";
    buf.resize(buf.size() * 2);
  }
  std::string dir(buf.data());
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir;
}

std::string ProgramDirectory(const std::string& file) {
  std::string dir = GetProfileString(file, "NARRIX", "PGMNARRIX", "", kSettingCapacity);
  if (dir.empty() || dir[0] == '@') return StartDir();
  return dir;
}

}  // namespace

void InitSuiteSettings() {
  Sound = SoundSharedState{};
  Sound.StartDir = CurrentDirectory();
}

const std::string& StartDir() {
  if (Sound.StartDir.empty()) Sound.StartDir = CurrentDirectory();
  return Sound.StartDir;
}

std::string SuiteSettingsPath() {
  std::string in_windows = FindFileNoCase(JoinPath(WindowsDir(), "NARRIX.INI"));
  if (FileExists(in_windows)) return in_windows;
  return FindFileNoCase(JoinPath(StartDir(), "NARRIX.INI"));
}

std::string ReadSuiteSetting(const std::string& section, const std::string& key) {
  std::string file = SuiteSettingsPath();
  std::string value =
      GetProfileString(file, section.empty() ? "NARRIX" : section, key, "", kSettingCapacity);
  while (value.size() <= kExpansionLimit) {
    if (!value.empty() && value[0] == '@') {
      value = ProgramDirectory(file) + value.substr(1);
      continue;
    }
    size_t at = value.find("@\\");
    if (at == std::string::npos) break;
    value = value.substr(0, at) + ProgramDirectory(file) + value.substr(at + 1);
  }
  return value;
}

void CutSpeech() {
  StopWave();
  Sound.SpeechCut = true;
  if (Sound.SynthesizerActive && (SynthesizerBusy(0) || Sound.SynthesizerType == 3)) SynthesizerStop();
  Message wake;
  wake.kind = kMsgWake;
  PostMessage(wake);
}

bool IsSoundPlaying() {
  if (KeyPressed()) {
    CutSpeech();
    return false;
  }
  if (IsWavePlaying()) return true;
  return Sound.SynthesizerActive && SynthesizerBusy(0);
}

void WaitWhileSoundPlaying() {
  while (IsSoundPlaying()) {
    // The wave player's blocks always end with a notice or a timer; a synthesizer may not post one,
    // so its busy state is polled at least every 50 ms.
    WaitMessage(Sound.SynthesizerActive ? 50 : -1);
  }
}

void WaitSynthesizerIdle() {
  if (!Sound.SynthSpeechPending) return;
  WaitWhileSoundPlaying();
  Sound.SynthSpeechPending = false;
}

void BuildWaveHeader(uint8_t* image, uint32_t data_bytes, uint32_t rate, uint16_t channels,
                     uint16_t bits) {
  std::memcpy(image, "RIFF", 4);
  WriteLe32(image + 4, data_bytes + 36);
  std::memcpy(image + 8, "WAVEfmt ", 8);
  WriteLe32(image + 16, 16);
  WriteLe16(image + 20, 1);
  WriteLe16(image + 22, channels);
  WriteLe32(image + 24, rate);
  WriteLe32(image + 28, rate * channels * (bits / 8u));
  // Block align is the bytes of one frame; for the usual 8-bit mono image that is 1.
  WriteLe16(image + 32, uint16_t(std::max(1u, channels * (bits / 8u))));
  WriteLe16(image + 34, bits);
  std::memcpy(image + 36, "data", 4);
  WriteLe32(image + 40, data_bytes);
}

int PlayWaveBuffer(uint8_t* image, size_t length) {
  WaitSynthesizerIdle();
  int result = PlayWaveImage(image, length);
  WaitWhileSoundPlaying();
  return result;
}

void PauseInterruptible(int ms) {
  for (int step = 0; step < ms / 50; ++step) {
    if (KeyPressed()) return;
    Delay(50);
  }
}

}  // namespace falatro
