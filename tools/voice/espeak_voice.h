// The generating voice: Brazilian Portuguese speech and its phoneme timing from libespeak-ng.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace falatro {

/// One phoneme as the generating voice placed it: its mnemonic and the first sample it covers.
struct PhonemeMark {
  std::string Name;
  size_t Sample = 0;
};

/// Sound made by the generating voice: 16-bit mono at Rate, with the phonemes it said.
struct VoiceSound {
  std::vector<int16_t> Samples;
  int Rate = 0;
  std::vector<PhonemeMark> Phonemes;
};

/// State of the generating voice (one instance, `Generator`).
struct GeneratorState {
  bool Started = false;
  int Rate = 0;          ///< sample rate the library reported
  int WordsPerMinute = 0;
  int Pitch = 0;
  VoiceSound* Target = nullptr;  ///< where the callback collects the sound being made
};
extern GeneratorState Generator;

/// Starts the library (once per process) with the Brazilian Portuguese voice, at words_per_minute and
/// pitch (0..100). Returns false and sets *error when the library or the voice cannot be loaded.
bool StartGenerator(int words_per_minute, int pitch, std::string* error = nullptr);

/// Changes the speaking rate and pitch of a started generator.
void SetGeneratorProsody(int words_per_minute, int pitch);

/// Says a UTF-8 text (or, with phonemes set, text holding "[[...]]" phoneme mnemonics) and returns its
/// sound with phoneme positions. Returns false and sets *error when synthesis fails.
bool Synthesize(std::string_view utf8_text, bool phonemes, VoiceSound* out, std::string* error = nullptr);

/// Version text of the library, part of what identifies the generated voice.
std::string GeneratorVersion();

}  // namespace falatro
