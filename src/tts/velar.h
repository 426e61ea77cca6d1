// The built-in engine's top level: start-up (library, voice database, data files), speed and pitch,
// speaking a text through the MBROLA-compatible synthesizer into the sound output or a WAV file, stop,
// shut-down.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace falatro {

constexpr size_t kVelarReadSamples = 16000;   ///< samples asked of each read
constexpr size_t kVelarPlayChunk = 16000;     ///< bytes collected before they are handed to the output
constexpr size_t kVelarMinPlayBytes = 256;    ///< a last chunk shorter than this is padded with silence
constexpr uint32_t kVelarRate = 16000;

/// Where the engine's sound goes when it is not writing to a file. The speech layer installs the
/// wave player (ConnectVelarToWavePlayer); tests install recorders. Until one is installed, sound is
/// dropped and the engine never counts as speaking.
struct VelarSoundOutput {
  int (*PlayImage)(uint8_t* image, size_t length) = nullptr;  ///< queue a RIFF/WAVE image, return at once
  bool (*IsPlaying)() = nullptr;
  void (*Stop)() = nullptr;
  bool* FastRate = nullptr;    ///< the output's speed-up switches, off while the engine plays
  bool* CutPeriods = nullptr;
};

/// The engine's state (one instance, Velar).
struct VelarState {
  std::string OutputFileName;     ///< when set at VelarInit, speech goes to this WAV file
  bool WritingToFile = false;
  double DurationFactor = 1.0;
  double PitchFactor = 1.0;
  std::string ErrorText;          ///< the last failed start-up step's message (at most 255 characters)
  FILE* OutputFile = nullptr;
  std::string Library;            ///< synthesizer library to bind; empty: the project's own
  bool Started = false;           ///< between a successful VelarInit and VelarDone
  VelarSoundOutput Output;
  int16_t SampleBuffer[kVelarReadSamples] = {};
  uint8_t PlayBuffer[44 + 2 * kVelarReadSamples] = {};  ///< header + room for one full read
  size_t PlayFill = 0;
};
extern VelarState Velar;

/// Fills the canonical 44-byte RIFF/WAVE PCM header at header (little-endian; RIFF size = data + 36,
/// byte rate = rate x block align, block align = channels x bits / 8).
void MakeWaveHeader(uint8_t* header, uint32_t data_size, uint32_t rate, uint16_t bits, uint16_t channels);

/// Sets or clears the output file name; it takes effect at the next VelarInit.
void VelarSetOutputFile(const std::string& name);
/// Sets the library VelarInit binds (a path from the settings); empty means the project's own.
void VelarSetLibrary(const std::string& path);
/// Installs where played sound goes (see VelarSoundOutput).
void VelarSetSoundOutput(const VelarSoundOutput& output);

/// Starts the engine: binds the library, finds the database (ReadRegistryString, an empty value meaning
/// "c:\zanvel\velartts\br4"), initialises the synthesizer with it, loads the letter-to-sound rules,
/// exceptions, abbreviations, prosody and diphone list, and opens the output file when one is set.
/// Empty arguments take "br4", "portug.nrl", "portug.exc", "portug.abr", "portug.pro", "portug.dfn".
/// False when a step fails; data file failures leave their message in Velar.ErrorText.
bool VelarInit(const std::string& database, const std::string& rules_file, const std::string& exceptions_file,
               const std::string& abbreviations_file, const std::string& prosody_file,
               const std::string& definitions_file);
/// Sets the factors that multiply every duration and every pitch target (read at each VelarSpeak).
void VelarSetSpeedAndPitch(double duration_factor, double pitch_factor);
/// Says a text (cp1252): its phoneme lines go to the synthesizer one by one and the samples are played
/// in chunks as they come (or appended to the output file). False when the synthesizer reported an
/// error or a file write failed (the remaining lines are still sent); true for an empty text.
bool VelarSpeak(const std::string& text);
/// Feeds ready phoneme lines as VelarSpeak does after its text stages (reset, write, drain, flush).
bool VelarSpeakLines(const std::vector<std::string>& lines);
/// False when writing to a file; otherwise whether the sound output is still playing.
bool VelarIsSpeaking();
/// Stops the sound output at once (nothing when writing to a file).
void VelarStop();
/// Shuts down: corrects the output file's header from its size, releases the data, closes the
/// synthesizer and unloads the library.
void VelarDone();

}  // namespace falatro
