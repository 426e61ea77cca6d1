// The whole voice: every recording, the dial tones, the diphone database, the transcriber's files and
// the suite settings, made reproducibly from data/ and the generating voice.
#include "voice_builder.h"

#include <chrono>
#include <cstdlib>
#include <map>
#include <sstream>
#include <sys/stat.h>

#include "base/paths.h"
#include "diphone_database.h"
#include "recording_list.h"
#include "unit_census.h"
#include "unit_maker.h"

namespace falatro {

namespace {

double Since(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

}  // namespace

bool WriteCensus(const std::string& path, const UnitCensus& census, std::string* error) {
  std::string text = std::to_string(census.Words) + " " + std::to_string(census.Lookups) + "\n";
  for (const auto& [name, count] : census.Units) {
    auto stressed = census.Stressed.find(name);
    text += name + " " + std::to_string(count) + " " +
            std::to_string(stressed == census.Stressed.end() ? 0 : stressed->second) + "\n";
  }
  return WriteFileAtomically(path, std::vector<uint8_t>(text.begin(), text.end()), error);
}

bool ReadCensus(const std::string& path, UnitCensus* census) {
  std::vector<uint8_t> bytes;
  if (!ReadWholeFile(path, &bytes)) return false;
  std::istringstream in(std::string(bytes.begin(), bytes.end()));
  *census = UnitCensus{};
  if (!(in >> census->Words >> census->Lookups)) return false;
  std::string name;
  size_t count = 0, stressed = 0;
  while (in >> name >> count >> stressed) {
    census->Units[name] = count;
    if (stressed) census->Stressed[name] = stressed;
  }
  return !census->Units.empty();
}

bool ReadDatabaseRates(const std::string& path, std::vector<DatabaseRate>* rates, std::string* error) {
  std::vector<RecordingEntry> lines;
  if (!ReadRecordingList(path, RecordingPlace::kLetters, &lines, error)) return false;
  for (const auto& l : lines) {
    DatabaseRate rate{l.Name, std::atoi(l.Text.c_str())};
    if (rate.Rate < 80 || rate.Rate > 450) {
      if (error) *error = path + ": the rate of " + l.Name + " is not 80..450 words per minute";
      return false;
    }
    rates->push_back(rate);
  }
  if (rates->empty()) {
    if (error) *error = path + " names no database";
    return false;
  }
  return true;
}

bool BuildVoice(const VoiceOptions& options, VoiceBuild* build, std::string* error) {
  auto start = std::chrono::steady_clock::now();
  *build = VoiceBuild{};
  if (!MakeSuiteIni(options.DataDir, &build->IniText, error)) return false;
  if (!BuildRecordings(options, build, error)) return false;
  build->RecordingSeconds = Since(start);

  // The transcriber's files travel with the database.
  std::string rules, exceptions;
  if (!FindTranscriberFiles(options.DataDir, &rules, &exceptions)) {
    if (error) *error = "the transcriber's regras.rgr and portug.exc are not in " + options.DataDir;
    return false;
  }
  for (const std::string& path : {rules, exceptions}) {
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(path, &bytes)) {
      if (error) *error = "cannot read " + path;
      return false;
    }
    build->Files.push_back({std::string(kDiphoneDir) + "/" + path.substr(path.rfind('/') + 1), bytes});
  }
  // The built-in engine's data files, in its own folder (the same rules keep a file the user changed).
  // A data folder without an engine folder (a voice built alone) installs no engine data.
  struct stat engine_dir {};
  const bool with_engine = stat((options.DataDir + "/engine").c_str(), &engine_dir) == 0;
  for (const char* name : {"portug.nrl", "portug.exc", "portug.abr", "portug.pro", "portug.dfn"}) {
    if (!with_engine) break;
    const std::string path = options.DataDir + "/engine/" + name;
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(path, &bytes)) {
      if (error) *error = "cannot read " + path;
      return false;
    }
    build->Files.push_back({std::string(kEngineDataDir) + "/" + name, bytes});
  }
  if (!LoadUnitSymbols(options.DataDir + "/voice/phonemes.txt", error)) return false;

  auto census_start = std::chrono::steady_clock::now();
  UnitCensus census;
  auto storable = [](const std::string& name) {
    UnitRecipe recipe;
    return PlanUnit(name, &recipe);
  };
  // The census depends on the word lists, the transcriber's files, the voice's lists and symbols and
  // the program's own splitting code (this executable): with none of them changed, its last result
  // is reused.
  std::string census_key = VoiceSignature();
  std::vector<std::string> inputs = options.WordLists;
  for (const char* f : {"/voice/phonemes.txt", "/voice/prompts.txt", "/voice/letters.txt", "/voice/words.txt",
                        "/voice/editor.txt"})
    inputs.push_back(options.DataDir + f);
  inputs.push_back(rules);
  inputs.push_back(exceptions);
  inputs.push_back("/proc/self/exe");
  for (const auto& path : inputs) {
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(path, &bytes)) {
      if (error) *error = "cannot read " + path;
      return false;
    }
    census_key += "|" + ContentHash(bytes);
  }
  std::string census_path = CachePath(options.CacheDir, "census|" + census_key);
  if (!ReadCensus(census_path, &census)) {
    if (!RunUnitCensus(options.DataDir, options.WordLists, &census, error, storable)) return false;
    if (!MakeDirectories(options.CacheDir, error) || !WriteCensus(census_path, census, error)) return false;
  }
  build->CensusSeconds = Since(census_start);
  build->CensusWords = census.Words;

  auto units_start = std::chrono::steady_clock::now();
  std::vector<DatabaseRate> databases;
  if (!ReadDatabaseRates(options.DataDir + "/voice/databases.txt", &databases, error)) return false;
  std::vector<std::string> names;
  for (const auto& [name, count] : census.Units) {
    UnitRecipe recipe;
    // Names longer than an index record holds can never be found; names of symbols without a sound
    // cannot be made. Both stay out of the database and count as misses in the coverage figures.
    if (name.size() > 8 || !PlanUnit(name, &recipe)) {
      build->UnitsLeftOut.push_back(name);
      continue;
    }
    names.push_back(name);
  }
  std::vector<SoundJob> jobs;
  for (const auto& db : databases) {
    UnitMaking.Rate = db.Rate;
    for (const auto& name : names) {
      UnitRecipe recipe;
      PlanUnit(name, &recipe);
      // A unit asked for mostly in unstressed syllables ends in the generating voice's unstressed vowel.
      auto asked = census.Units.find(name);
      auto stressed = census.Stressed.find(name);
      size_t all = asked == census.Units.end() ? 0 : asked->second;
      size_t in_stress = stressed == census.Stressed.end() ? 0 : stressed->second;
      bool unstressed = all > 0 && 2 * in_stress < all && ReduceFinalVowel(&recipe);
      SoundJob job;
      job.Text = std::to_string(db.Rate) + " " + name + (unstressed ? " unstressed" : "");
      job.Key = "unit|" + VoiceSignature() + "|" + UnitRecipeKey(recipe);
      jobs.push_back(job);
    }
  }
  std::vector<std::vector<uint8_t>> made;
  if (!RunSoundJobs(jobs, options.CacheDir, options.Workers, StartUnitVoice, MakeUnitSound, &made,
                    &build->Units, error))
    return false;
  for (size_t d = 0; d < databases.size(); ++d) {
    std::map<std::string, std::vector<uint8_t>> units;
    for (size_t i = 0; i < names.size(); ++i) {
      const auto& sound = made[d * names.size() + i];
      if (!sound.empty()) units[names[i]] = sound;
      else if (d == 0) build->UnitsLeftOut.push_back(names[i]);
    }
    DiphoneDatabaseFiles db;
    if (!BuildDiphoneDatabase(units, &db, error)) return false;
    build->UnitCount = units.size();
    build->DatabaseBytes += db.Index.size() + db.Data.size();
    build->Files.push_back({std::string(kDiphoneDir) + "/" + databases[d].Name + ".IND", db.Index});
    build->Files.push_back({std::string(kDiphoneDir) + "/" + databases[d].Name + ".DIF", db.Data});
  }
  build->DatabaseCount = databases.size();
  build->UnitSeconds = Since(units_start);
  build->Seconds = Since(start);
  return true;
}

}  // namespace falatro
