// The whole voice: every recording, the dial tones, the diphone database, the transcriber's files and
// the suite settings, made reproducibly from data/ and the generating voice.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "install_tree.h"
#include "job_runner.h"
#include "unit_census.h"

namespace falatro {

/// Where the builder reads and keeps things.
struct VoiceOptions {
  std::string DataDir;    ///< the project's data/ (voice/ lists, regras.rgr, portug.exc)
  std::string CacheDir;   ///< made sounds, reused by later runs
  int Workers = 2;        ///< processes that make sounds
  std::vector<std::string> WordLists;  ///< census lists (UTF-8 words, one a line)
};

/// One database the voice provides: its name and the speaking rate its units are made at.
struct DatabaseRate {
  std::string Name;
  int Rate = 175;
};

/// Reads "NAME=words per minute" lines of data/voice/databases.txt. False and *error on a bad line, a
/// name that is not 1..8 characters or a rate outside 80..450.
bool ReadDatabaseRates(const std::string& path, std::vector<DatabaseRate>* rates, std::string* error);

/// What a build made, and its figures.
struct VoiceBuild {
  std::vector<InstallFile> Files;  ///< paths below the suite root
  std::string IniText;             ///< NARRIX.INI for a suite without one (cp1252, CR LF)
  size_t RecordingCount = 0;
  size_t UnitCount = 0;             ///< units in each database
  size_t DatabaseCount = 0;
  size_t CensusWords = 0;
  uint64_t DatabaseBytes = 0;      ///< ".IND" + ".DIF" of every database
  double RecordingSeconds = 0;
  double CensusSeconds = 0;
  double UnitSeconds = 0;
  std::vector<std::string> UnitsLeftOut;  ///< census names not in the database (too long, no sound)
  double Seconds = 0;              ///< the whole build
  JobReport Recordings, Units;
};

/// Paths below the suite root.
constexpr const char* kProgramSoundDir = "zanvel/som/falatro";
constexpr const char* kLettersDir = "zanvel/som/letras";
constexpr const char* kDiphoneDir = "zanvel/som/difones";
/// The built-in engine's data directory (rules, exceptions, abbreviations, prosody, diphone list).
constexpr const char* kEngineDataDir = "zanvel/velartts";
/// Changes whenever the way sounds are made changes, so cached sounds of an older recipe are not reused.
constexpr const char* kVoiceRecipe = "voz-15";
/// The recipe and the generating voice's version: part of every cached sound's key.
std::string VoiceSignature();

/// Name of the database of the default speed (3), the one measured for coverage.
constexpr const char* kDatabaseName = "DIFONES3";

/// Makes every file of the voice. Returns false and sets *error when data/ is incomplete or malformed,
/// the generating voice cannot start, or a sound cannot be made.
bool BuildVoice(const VoiceOptions& options, VoiceBuild* build, std::string* error);

/// Keeps a census's figures and unit names in a file, and reads them back (false when the file is
/// missing or malformed).
bool WriteCensus(const std::string& path, const UnitCensus& census, std::string* error);
bool ReadCensus(const std::string& path, UnitCensus* census);

/// The recordings part alone (prompt, letter, word and editor recordings and the dial tones), appended
/// to build->Files.
bool BuildRecordings(const VoiceOptions& options, VoiceBuild* build, std::string* error);

/// NARRIX.INI from data/voice/narrix.ini: UTF-8 to cp1252, line ends CR LF. False when unreadable.
bool MakeSuiteIni(const std::string& data_dir, std::string* text, std::string* error);

}  // namespace falatro
