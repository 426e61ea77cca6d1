// Suite settings and the sound primitives every sound producer shares: the settings file, sound
// images in memory, and the one rule for waiting on sound that a key press cuts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace falatro {

/// What the sound producers share (one instance, Sound).
struct SoundSharedState {
  std::string StartDir;            ///< current directory at program start, no trailing "/"
  bool SynthesizerActive = false;  ///< a synthesizer is running and says all text
  int SynthesizerType = 4;         ///< "TIPOSAPI" of the running synthesizer
  bool SynthSpeechPending = true;  ///< the last text went to the synthesizer: wait before a recording
  bool SpeechCut = false;          ///< set by CutSpeech; ends the text loop of the speech front end
  int PausePeriod = 250;           ///< ms of pause after ". " in recorded speech
  int PauseComma = 150;            ///< ms after ", " or "- "
  int PauseColon = 200;            ///< ms after "(", ")", ":", ";"
};
extern SoundSharedState Sound;

constexpr size_t kWaveHeaderSize = 44;   ///< the canonical RIFF/WAVE PCM header of a sound image

/// Records the start directory (the current directory) and puts the shared state to its initial values.
void InitSuiteSettings();
/// The start directory (recorded on first use when InitSuiteSettings has not run).
const std::string& StartDir();

/// The settings file ReadSuiteSetting reads: NARRIX.INI in WindowsDir() when it exists there (found
/// without letter case), else NARRIX.INI beside the start directory.
std::string SuiteSettingsPath();
/// One value of the suite settings file (at most 255 characters, empty when missing) with "@"
/// expansion: a leading "@" becomes the suite's program directory ("PGMNARRIX" of "NARRIX", or the start
/// directory when that is empty or begins with "@"); otherwise the "@" of a first "@\" does; repeated
/// until nothing is left to expand, and stopped once the value passes 4096 characters (a program
/// directory that itself holds "@\" would otherwise grow it forever). An empty section means "NARRIX".
std::string ReadSuiteSetting(const std::string& section, const std::string& key);

/// Whether recorded sound or synthesized speech is still going on. A key waiting in the key queue cuts
/// all sound (CutSpeech) and gives false; the key stays queued.
bool IsSoundPlaying();
/// Stops all sound at once: the wave player, and an active synthesizer that is busy (or of type 3);
/// sets SpeechCut; posts kMsgWake so any wait for messages returns.
void CutSpeech();
/// When SynthSpeechPending: waits while IsSoundPlaying, then clears it.
void WaitSynthesizerIdle();
/// Waits in the event loop while IsSoundPlaying (a key cuts the wait at once).
void WaitWhileSoundPlaying();

/// Fills the 44-byte header at image for data_bytes of sample data: "RIFF", data + 36, "WAVE", "fmt ",
/// 16, PCM, channels, rate, rate x channels x (bits div 8) bytes per second, block align channels x
/// (bits div 8) (at least 1), bits, "data", data_bytes.
void BuildWaveHeader(uint8_t* image, uint32_t data_bytes, uint32_t rate, uint16_t channels,
                     uint16_t bits);
/// Plays a RIFF/WAVE image held in memory and waits for its end: WaitSynthesizerIdle, PlayWaveImage,
/// then WaitWhileSoundPlaying. Returns PlayWaveImage's result.
int PlayWaveBuffer(uint8_t* image, size_t length);
/// A pause of ms div 50 steps of 50 ms (Delay); a key waiting makes the remaining steps return at once.
void PauseInterruptible(int ms);

}  // namespace falatro
