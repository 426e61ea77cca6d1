// The census of diphone units: every unit name the transcriber and the synthesizer's own splitting ask
// for while saying a word list, the prompt texts and the number words.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace falatro {

/// What a census found.
struct UnitCensus {
  std::map<std::string, size_t> Units;  ///< unit names asked for -> times asked directly (0: only as a
                                        ///< fallback of a name that cannot be stored)
  std::map<std::string, size_t> Stressed;  ///< unit names -> times asked directly for a stressed syllable
  std::map<std::string, size_t> Recordings;  ///< "_" recordings asked for -> times asked
  size_t Words = 0;    ///< words and texts said
  size_t Lookups = 0;  ///< first look-ups of units (fallbacks not counted)
};

/// Coverage of a database over texts: every look-up the synthesizer makes, and how many hit.
struct UnitCoverage {
  size_t Words = 0;
  size_t Lookups = 0;        ///< names asked for by the splitting (first look-ups)
  size_t Hits = 0;           ///< of those, found in the index or as a recording
  size_t FallbackLookups = 0;  ///< look-ups made by fallbacks of missed names
  size_t FallbackMisses = 0;   ///< of those, names not found either
  std::map<std::string, size_t> Missed;  ///< first look-ups that missed -> times
};

/// Reads a UTF-8 word list (one word or text a line; blank lines skipped) as cp1252 texts. False and
/// *error when it cannot be read.
bool ReadWordList(const std::string& path, std::vector<std::string>* words, std::string* error);

/// Texts the voice's own recordings stand for (prompt, word and editor texts), as cp1252: the census
/// includes them so that what a user may hear synthesized is covered too.
bool ReadVoiceTexts(const std::string& data_dir, std::vector<std::string>* texts, std::string* error);

/// The transcriber's two files in data_dir (data/regras.rgr or data/transcriber/regras.rgr, the same
/// for portug.exc). False when missing.
bool FindTranscriberFiles(const std::string& data_dir, std::string* rules, std::string* exceptions);

/// Loads the transcriber's rules and exceptions from data_dir. False and *error when they cannot be read.
bool LoadTranscriberData(const std::string& data_dir, std::string* error);

/// Runs the census over the word lists, the voice's texts and the words of every number from 0 to
/// 999999 and of the larger scales: each is transcribed and said by the synthesizer with an empty index
/// and its sound discarded, and every name of the first look-ups is collected.
/// Units that cannot be stored (longer than a record's 8 bytes, or refused by storable) are asked for
/// again with the stored ones present, so that the names their fallbacks ask for join the inventory.
bool RunUnitCensus(const std::string& data_dir, const std::vector<std::string>& word_lists, UnitCensus* census,
                   std::string* error, const std::function<bool(const std::string&)>& storable = {});

/// Says texts with the database at index_path (its data file beside it) loaded into the synthesizer,
/// sound discarded, and counts the look-ups that hit. The transcriber must be loaded.
bool MeasureCoverage(const std::string& index_path, const std::string& letters_dir,
                     const std::vector<std::string>& texts, UnitCoverage* coverage, std::string* error);

/// Loads the database at index_path (data file beside it) into a silent synthesizer (see
/// PrepareSilentSynthesizer). False and *error when either file cannot be opened.
bool OpenDatabaseSilently(const std::string& index_path, const std::string& letters_dir, std::string* error);
/// Transcribes a cp1252 text and says it with the loaded database, returning the 8-bit 11025 Hz sound.
std::vector<uint8_t> SayToMemory(const std::string& text);

/// Sets up the synthesizer's state for saying texts without a sound device (buffer allocated, sound
/// handed to on_sound instead of played) and releases it.
void PrepareSilentSynthesizer();
void ReleaseSilentSynthesizer();

}  // namespace falatro
