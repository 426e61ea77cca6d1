// The system voice synthesized in-process: eSpeak NG in its synchronous mode, its sound handed block by
// block to the wave player, so a key cuts it like any other sound and every sound device plays it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "speech/synthesizer.h"

namespace falatro {

/// The back-end of type 4 (and of every type but 3, 5 and 54). One instance; not owned by the caller.
SynthesizerBackend* EspeakSynthesizer();

/// eSpeak NG's speaking rate, in words per minute, for a "SERVFALA"/"VELOCIDADE" value. Values -10..10
/// are the suite's relative scale: 0 is the normal 175, 1..10 step evenly up to the fastest 450,
/// -1..-10 down to the slowest 80. Larger values are words per minute (the engine's own unit), held
/// within 80..450.
int EspeakRateOf(int speed);
/// eSpeak NG's base pitch (0..100) for a "SERVFALA"/"TOM" value. Values -10..10 move it from the
/// normal 50 by 5 a step (-10 gives 0, 10 gives 100); values beyond are the engine's own 0..100
/// scale, held within it.
int EspeakPitchOf(int pitch);

/// The text the voice is given for a cp1252 text: blanks trimmed at both ends, a lone digit followed
/// by "." (so it is read as a number), cut to 63,999 characters, converted to UTF-8. Empty: nothing.
std::string EspeakTextOf(const std::string& text);
/// Splits a long UTF-8 text into pieces said one after another, each of at most about limit bytes,
/// ending where a sentence ends when one does within the limit, else at a blank, never inside a
/// character. Texts up to the limit are one piece.
std::vector<std::string> SplitForSpeech(const std::string& utf8, size_t limit);

/// Figures of the running voice, for tests and benchmarks.
struct EspeakFigures {
  int voice_number = 0;           ///< 1-based number of the voice in use, in the library's list order
  std::string voice_name;         ///< its name
  int voice_count = 0;            ///< voices the library lists
  int words_per_minute = 0;       ///< rate set
  int pitch = 0;                  ///< base pitch set
  uint32_t sample_rate = 0;
  uint64_t texts_said = 0;        ///< texts handed to the library
  std::string last_text;          ///< the last text given to the library (UTF-8), for tests
  uint64_t samples_made = 0;      ///< samples the library produced
  uint64_t samples_queued = 0;    ///< samples handed to the wave player
  uint64_t blocks_queued = 0;
  uint64_t speak_started_us = 0;  ///< steady-clock microseconds at the last Speak
  uint64_t first_block_us = 0;    ///< ... when that text's first block reached the device
  uint64_t cuts_by_key = 0;       ///< speech stopped because a key reached the key queue
};
/// The figures of the current (or last) start.
const EspeakFigures& EspeakVoiceFigures();

}  // namespace falatro
