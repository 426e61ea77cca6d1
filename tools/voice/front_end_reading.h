// Saying texts through the program's own speech front end on a simulated clock, for the voice's tools:
// into a sound device, or with the diphone voice's sound and unit joins collected for measuring.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace falatro {

/// The value after the command-line option at argv[*i], *i moved onto it; when there is none, usage()
/// is called and the program ends with code 2.
std::string OptionValue(int argc, char** argv, int* i, void (*usage)());

/// Sets up the front end as the client has it, on a simulated clock (so waiting for sound takes no
/// time) and the headless console: NARRIX_ROOT := root, NARRIX_WINDIR := windir. Call once per process.
void PrepareFrontEnd(const std::string& root, const std::string& windir);

/// Starts the voice at speed 1..5 (0: the settings' "TRADUTOR"/"VELOCIDADE") with the sound device named ("null", "file:PATH"), marks said or not
/// (the client starts with them not said). False and *error when the device cannot open or the voice
/// database or the transcriber's files cannot be loaded.
bool StartFrontEnd(int speed, bool marks, const std::string& device, std::string* error);
/// Waits for the sound to end, stops the voice and closes the device.
void StopFrontEnd();

/// Says a cp1252 text with SpeakText and returns the seconds a listener waits for it to end.
double SayThroughFrontEnd(const std::string& text);

/// What the diphone voice made for one text.
struct VoiceReading {
  std::vector<uint8_t> Sound;  ///< 8-bit 11025 Hz, the voice's phrases one after the other
  std::vector<size_t> Joins;   ///< positions in Sound where a unit, recording, noise or silence starts
  std::vector<std::string> Units;  ///< the unit or recording starting at each join ("" for silence, noise)
};
/// Says a cp1252 text with SpeakText, the diphone voice's sound collected instead of played (what the
/// front end plays itself, such as number words, still goes to the device).
VoiceReading ReadThroughVoice(const std::string& text);

/// The largest jump between neighbouring samples at each join, in parts of full scale (a sample's
/// distance from the zero level 128, over 128): the sample before the first one and after the last one
/// are the zero level, so the start and the end of the sound count as joins too.
std::vector<double> JoinJumps(const VoiceReading& reading);

/// Loudness steps inside vowels: at each join where a database unit is followed by one that starts
/// with a vowel or semivowel (after a unit read short, the two meet inside the same vowel), with at
/// least 0.05 of full scale RMS in the 10 ms on both sides, the RMS after over the RMS before, in dB.
std::vector<double> LoudnessSteps(const VoiceReading& reading);

}  // namespace falatro
