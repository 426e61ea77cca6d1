// The whole voice: every recording, the dial tones, the diphone database, the transcriber's files and
// the suite settings, made reproducibly from data/ and the generating voice.
#include "voice_builder.h"

#include <chrono>
#include <map>

#include "base/paths.h"
#include "diphone_database.h"
#include "unit_census.h"
#include "unit_maker.h"

namespace falatro {

namespace {

double Since(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

}  // namespace

bool BuildVoice(const VoiceOptions& options, VoiceBuild* build, std::string* error) {
  auto start = std::chrono::steady_clock::now();
  *build = VoiceBuild{};
  if (!MakeSuiteIni(options.DataDir, &build->IniText, error)) return false;
  if (!BuildRecordings(options, build, error)) return false;

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
  if (!LoadUnitSymbols(options.DataDir + "/voice/phonemes.txt", error)) return false;

  auto census_start = std::chrono::steady_clock::now();
  UnitCensus census;
  if (!RunUnitCensus(options.DataDir, options.WordLists, &census, error)) return false;
  build->CensusSeconds = Since(census_start);
  build->CensusWords = census.Words;

  std::vector<SoundJob> jobs;
  std::vector<std::string> names;
  for (const auto& [name, count] : census.Units) {
    UnitRecipe recipe;
    if (!PlanUnit(name, &recipe)) continue;  // names no sound can stand for (reported by the census)
    SoundJob job;
    job.Text = name;
    job.Key = "unit|" + VoiceSignature() + "|" + UnitRecipeKey(recipe);
    jobs.push_back(job);
    names.push_back(name);
  }
  std::vector<std::vector<uint8_t>> made;
  if (!RunSoundJobs(jobs, options.CacheDir, options.Workers, StartUnitVoice, MakeUnitSound, &made,
                    &build->Units, error))
    return false;
  std::map<std::string, std::vector<uint8_t>> units;
  for (size_t i = 0; i < names.size(); ++i)
    if (!made[i].empty()) units[names[i]] = made[i];
  DiphoneDatabaseFiles db;
  if (!BuildDiphoneDatabase(units, &db, error)) return false;
  build->UnitCount = units.size();
  build->DatabaseBytes = db.Index.size() + db.Data.size();
  build->Files.push_back({std::string(kDiphoneDir) + "/" + kDatabaseName + ".IND", db.Index});
  build->Files.push_back({std::string(kDiphoneDir) + "/" + kDatabaseName + ".DIF", db.Data});
  build->Seconds = Since(start);
  return true;
}

}  // namespace falatro
