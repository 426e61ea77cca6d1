// The suite's diphone voice: phonetic transcriptions said by joining recorded units from the ".IND"/".DIF" database.
#pragma once

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "speech/suite_settings.h"

namespace falatro {

/// Bytes of one index record: name length, 8 name bytes, 16-bit length, 32-bit offset.
constexpr size_t kDiphoneRecordSize = 15;
/// Size of the speech buffer: a 44-byte RIFF/WAVE header followed by sound.
constexpr size_t kSpeechBufferSize = 64000;
/// Sample rate of the voice database and of every recorded unit.
constexpr int kDiphoneRate = 11025;

/// One unit of the index, as read from its 15-byte record.
struct DiphoneRecord {
  uint8_t NameLength = 0;  ///< 0..8 (a larger stored value is taken as 8)
  char Name[8] = {};       ///< upper case, padded
  uint16_t Length = 0;     ///< bytes of sound
  int32_t Offset = 0;      ///< where the sound starts in the data file
};

/// Error codes of StartDiphoneSynthesizer.
enum DiphoneStartError : int {
  kDiphoneOk = 0,
  kDiphoneNoDatabase = 1,  ///< a directory, the index or the data file could not be opened
  kDiphoneNoRules = 2,     ///< the transcription rules or exceptions could not be loaded
};

/// State of the diphone voice (one instance, `Diphone`). Tests set its fields and inspect them.
struct DiphoneSynthState {
  /// Letters directory ("TRADUTOR"/"dirLetras"), ending in "\": "_" units and single characters.
  std::string LettersDir;
  /// Diphone directory ("TRADUTOR"/"DIRDIFONES"), ending in "\": database, rules and exceptions.
  std::string DiphoneDir;

  /// Speed parameters ("SINTETIZADOR" keys + speed digit).
  std::string DatabaseName = "DIFONES2";  ///< "DIFONES"n, at most 8 characters
  int Cut = 400;                          ///< "CORTEFON"n: bytes cut from unstressed units
  int LeastLength = 0;                    ///< "SOBRAFON"n: least length a cut unit keeps
  int WordSilence = 100;                  ///< "INTERPAL"n: bytes of silence after a word

  /// The whole index, sorted by name as stored.
  std::vector<DiphoneRecord> Index;
  /// The data file (open while the voice runs; -1 when closed) and its size in bytes.
  int DataFd = -1;
  uint64_t DataSize = 0;

  /// The speech buffer (kSpeechBufferSize bytes once started) and its fill position (starts at 44).
  std::vector<uint8_t> Buffer;
  size_t Fill = kWaveHeaderSize;
  /// 1 at the start of a word, 2 while a stressed unit is said, 0 after it; units are cut below 2.
  int UnitMode = 1;
  /// Nothing of the phrase has been appended yet: its first unit loses the silence it starts with,
  /// beyond 2 ms, so the phrase sounds at once.
  bool PhraseStart = false;
  /// A key was waiting when a full buffer was handed to the player: the phrase is abandoned.
  bool Interrupted = false;
  /// Buffers handed to the player so far (full ones while a phrase goes on, and each phrase's last).
  uint64_t Chunks = 0;
  /// Units said so far (recordings, database units, noise), for measuring.
  uint64_t UnitsSaid = 0;

  /// Reads "_" recordings (grows to the largest chunk read; never per unit otherwise).
  std::vector<uint8_t> ReadBuffer;
  /// Source of the noise that stands for missing short units.
  std::minstd_rand Noise{12345};
  bool Started = false;

  /// Observer of unit look-ups (used by the voice builder's census and coverage figures): when set,
  /// SayUnit calls it once for every name it resolves, before reading anything: the name as looked up
  /// (upper case for index names, "_..." for recordings), depth 0 for a name asked for directly and 1 or
  /// more for a fallback of a missed name, and whether a stored unit or recording was found.
  std::function<void(std::string_view name, int depth, bool found)> OnLookup;
  /// Sink of finished sound: when set, FlushSpeechBuffer hands it the sound bytes (after the 44-byte
  /// header) instead of playing them, without waiting, and empties the buffer; full buffers met while a
  /// phrase is being made go to it too.
  std::function<void(const uint8_t* sound, size_t length)> OnFlush;
  /// Observer of joins (used by the measuring tools): when set, called as each unit, recording, noise or
  /// silence is about to be appended, with the buffer position (after the header) where it will start,
  /// room having been made for it.
  std::function<void(size_t position)> OnJoin;
  /// Fallback depth of the look-up in progress (for OnLookup).
  int LookupDepth = 0;
};
extern DiphoneSynthState Diphone;

/// Reads the parameters of speed 1..5 (others are taken as 3) from section "SINTETIZADOR": database
/// name, cut, least length and word silence (0 when missing), the wave player's CutPeriods and
/// FastRate switches ("CORTAFALA"n, "RAPIDINHO"n: on unless empty or starting with N/n) and the
/// shared pauses ("PAUSAPONTO"n 250, "PAUSAVIRG"n 150, "PAUSADOISPONTOS"n 200 by default).
void LoadSynthesizerParameters(int speed);

/// Opens the database named by the parameters in the diphone directory (index loaded whole, data
/// file kept open), loads "regras.rgr" and "portug.exc" from the same directory into the
/// transcriber and allocates the speech buffer. Returns a DiphoneStartError; on failure what was
/// opened stays open until StopDiphoneSynthesizer.
int StartDiphoneSynthesizer();

/// Frees the speech buffer and the transcription rules, closes the data file and frees the index.
void StopDiphoneSynthesizer();

/// Loads an index file: size / 15 records (a trailing partial record is ignored). Returns false and
/// sets *error when it cannot be read.
bool LoadDiphoneIndex(const std::string& path, std::vector<DiphoneRecord>* index,
                      std::string* error = nullptr);

/// The record of an upper-case unit name, found by bisection, or nullptr.
const DiphoneRecord* FindDiphoneUnit(std::string_view name);

/// Says one transcribed phrase ("[ka/za] [...]", "_" escaping a character, "|" a dash) and returns
/// when it has been played or a key cut it. With keep_punctuation clear, the tokens "_," "_." "_:"
/// "_;" become fixed silences (4000, 8000, 8000, 6000 bytes) instead of letter sounds.
void SayTranscription(std::string_view transcription, bool keep_punctuation);

/// Splits a phoneme group (at most 40 characters) into unit strings and says them with duration
/// factor factor.
void SayPhonemeGroup(std::string_view group, double factor);

/// Says a unit string (at most 12 characters): "_" + character as that character's recording, else
/// "$"-prefixed units ended at "^" (CIRC) and "~" (TIL).
void SayUnitString(std::string_view units, double factor);

/// Appends one unit (recording, database unit with the cut rule, noise, or its fallbacks) to the
/// speech buffer.
void SayUnit(std::string_view name, int mode, double factor);

/// Where a read of a unit's first want of n bytes ends so that it ends on the zero level (128): after
/// the sample nearest the zero level where the wave crosses it, at most 3 ms from want, else want; when
/// the last sample kept is more than 3 steps from the zero level, the last 2 ms are faded to it in s.
/// want at or past n gives n.
size_t ZeroLevelEnd(uint8_t* s, size_t n, size_t want);

/// Appends n div 100 blocks of 100 bytes of silence (128).
void AppendSilence(int n);

/// Plays what the speech buffer holds (if anything), waits for it to end (a key cuts it) and empties it.
/// Full buffers met while a phrase is being made are instead handed to the player without waiting, so
/// the phrase keeps sounding while the rest is made.
void FlushSpeechBuffer();

}  // namespace falatro
