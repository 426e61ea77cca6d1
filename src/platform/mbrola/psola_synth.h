// Diphone synthesis by pitch-synchronous overlap-add: phoneme lines ("name duration [position pitch]...")
// in, 16-bit samples out. The state behind the project's own MBROLA-compatible library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "platform/mbrola/diphone_store.h"

namespace falatro {

/// Error codes lastError reports (0: none).
enum PsolaError : int {
  kPsolaNoError = 0,
  kPsolaNotReady = 1,        ///< no database loaded
  kPsolaUnknownPhoneme = 2,  ///< a line names a phoneme the database does not hold
  kPsolaBadLine = 3,         ///< a duration or pitch target is not a number, or targets come unpaired
  kPsolaMissingDiphone = 4,  ///< two phonemes the database cannot join (only when errors are not muted)
  kPsolaBadDatabase = 5,     ///< init could not read the database
};

/// Longest phoneme a line may ask for; longer durations are cut to it.
constexpr double kPsolaLongestPhonemeMs = 30000.0;

/// One phoneme of the utterance being made, in output samples from the utterance's start.
struct PsolaPhone {
  int Phoneme = -1;    ///< database index; -1 for silence the database cannot make
  double Start = 0;
  double Length = 0;
};

/// The synthesizer (the exported library keeps one; tests make their own).
struct PsolaSynth {
  DiphoneStore Store;
  bool Loaded = false;
  std::string DatabasePath;
  int Silence = -1;            ///< index of "_"
  int OutputRate = 0;          ///< samples per second of the output (the database's unless changed)
  float Volume = 1.0f;
  bool NoError = false;        ///< when set, a missing diphone is bridged without an error
  int LastError = kPsolaNoError;
  std::string LastErrorText;

  // The utterance in progress: phones[0] is the silent start; targets are (time, Hz), ascending.
  std::vector<PsolaPhone> Phones;
  std::vector<std::pair<double, double>> Targets;
  double TimelineEnd = 0;      ///< end of the last phone written
  size_t NextSegment = 0;      ///< segment k joins phones k and k+1
  double NextMark = 0;         ///< time of the next synthesis grain
  double HeldPitch = 0;        ///< pitch when no target is known (the last one heard, else the voice's)
  std::vector<float> Accumulator;  ///< overlap-add sum from AccumulatorStart on
  int64_t AccumulatorStart = 0;
  std::deque<int16_t> Output;  ///< finished samples waiting to be read
  uint64_t SamplesMade = 0;    ///< finished samples of this utterance (for the flush's cut)
  int LastUnit = -1, LastMark = -1;  ///< the grain laid last (unit, mark index in it)
  uint32_t Noise = 1;          ///< picks neighbouring marks in stretched unvoiced stretches
};

/// Loads the database at path (replacing any). 0 on success, -1 (and LastError) when it cannot be read.
int PsolaInit(PsolaSynth& s, const std::string& path);
/// Releases the database and everything pending.
void PsolaClose(PsolaSynth& s);
/// Discards pending phonemes, targets and unread samples; clears the error.
void PsolaReset(PsolaSynth& s);
/// Takes one or more phoneme lines (split at LF; CR, blanks and tabs separate fields; ";" lines are
/// comments; "#" flushes). Synthesizes what the lines make certain. Returns 0, or -1 when a line had
/// an error (LastError set; the rest of the text is still taken).
int PsolaWrite(PsolaSynth& s, std::string_view text);
/// Ends the utterance: everything written becomes readable, and the next line starts a new utterance.
void PsolaFlush(PsolaSynth& s);
/// Moves up to capacity finished samples into buffer; returns how many (0 when none are ready).
int PsolaRead(PsolaSynth& s, int16_t* buffer, int capacity);
/// Changes the output rate (the voice is played faster or slower, as a tape would be).
void PsolaSetOutputRate(PsolaSynth& s, int rate);

}  // namespace falatro
