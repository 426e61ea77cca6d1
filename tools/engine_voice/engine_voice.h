// The built-in engine's voice: every diphone of its phoneme set, cut from the generating voice spoken
// at a flat pitch, with pitch marks, as one database file, and the engine's diphone list written from
// what the database holds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "install_tree.h"
#include "job_runner.h"
#include "platform/mbrola/diphone_store.h"

namespace falatro {

/// Where the engine's voice and data live below the suite root, and the database's name.
constexpr const char* kEngineVoiceDir = "zanvel/velartts";
constexpr const char* kEngineDatabaseName = "br4";
constexpr const char* kEngineDiphoneList = "portug.dfn";
/// Changes whenever the way units are made changes, so cached units of an older recipe are not reused.
constexpr const char* kEngineVoiceRecipe = "motor-3";
/// Speaking rate (words per minute) and pitch (0..100) of the generating voice; its pitch range is 0.
constexpr int kEngineVoiceRate = 110;
constexpr int kEngineVoicePitch = 75;  // about 118 Hz: the middle of the engine's melody

/// One phoneme of the engine's set and how the generating voice says it.
struct EnginePhoneme {
  std::string Name;      ///< the engine's name ("a2")
  std::string Mnemonic;  ///< the generating voice's phoneme input ("&")
  std::string Kind;      ///< pause, vowel, glide, stop, fricative, nasal, liquid
};

/// Reads data/engine_voice/phonemes.txt ("name = mnemonic kind"). False and *error on a bad line, an
/// unknown kind, a name that is not a valid phoneme name or a name given twice.
bool ReadEnginePhonemes(const std::string& path, std::vector<EnginePhoneme>* phonemes, std::string* error);

/// The phoneme input (between "[[" and "]]") that says left then right inside a carrier: a vowel "a"
/// next to a consonant, the stress on the first vowel of the pair; a phoneme twice is said once.
std::string DiphoneCarrier(const EnginePhoneme& left, const EnginePhoneme& right);

/// The engine's diphone list for a database: comment lines, then "first second" for every unit.
std::string DiphoneListText(const DiphoneStore& store);

/// What a build made, and its figures.
struct EngineVoiceBuild {
  std::vector<InstallFile> Files;   ///< database, diphone list, the synthesizer library when built
  size_t PhonemeCount = 0;
  size_t DiphoneCount = 0;
  std::vector<std::string> Missing;  ///< pairs the generating voice could not make
  uint64_t DatabaseBytes = 0;
  int Period = 0;                    ///< the voice's pitch period (samples at 16000 Hz)
  double Seconds = 0;
  JobReport Jobs;
};

/// Makes the engine voice from data_dir/engine_voice/phonemes.txt, each unit kept in cache_dir. The
/// synthesizer library at library_path (when it exists) is installed beside the database. False and
/// *error when the phoneme list is bad, the generating voice cannot start or a result cannot be stored.
bool BuildEngineVoice(const std::string& data_dir, const std::string& cache_dir, int workers,
                      const std::string& library_path, EngineVoiceBuild* build, std::string* error);

}  // namespace falatro
