// The whole voice: every recording, the dial tones, the diphone database, the transcriber's files and
// the suite settings, made reproducibly from data/ and the generating voice.
#include "voice_builder.h"

#include <chrono>
#include <map>

#include "base/paths.h"
#include "base/text_encoding.h"
#include "dial_tones.h"
#include "diphone_database.h"
#include "espeak_voice.h"
#include "recording_list.h"
#include "unit_census.h"
#include "unit_maker.h"
#include "wave_file.h"

namespace falatro {

namespace {

// Changes whenever the way sounds are made changes, so cached sounds of an older recipe are not reused.
constexpr const char* kRecipe = "voz-1";
// Speaking rate and pitch of the recordings.
constexpr int kRecordingRate = 165;
constexpr int kRecordingPitch = 45;

double Since(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

std::string Signature() { return std::string(kRecipe) + "|" + GeneratorVersion(); }

bool StartWorkerVoice(std::string* error) { return StartGenerator(kRecordingRate, kRecordingPitch, error); }

bool MakeRecording(const SoundJob& job, std::vector<uint8_t>* bytes, std::string* error) {
  VoiceSound sound;
  if (!Synthesize(job.Text, false, &sound, error)) return false;
  std::vector<uint8_t> samples = RenderRecording(sound.Samples);
  if (samples.empty()) {
    if (error) *error = "the generating voice said nothing";
    return false;
  }
  *bytes = MakeWave8(samples);
  return true;
}

}  // namespace

bool MakeSuiteIni(const std::string& data_dir, std::string* text, std::string* error) {
  std::vector<uint8_t> raw;
  std::string path = data_dir + "/voice/narrix.ini";
  if (!ReadWholeFile(path, &raw)) {
    if (error) *error = "cannot read " + path;
    return false;
  }
  std::string cp = Utf8ToCp1252(std::string(raw.begin(), raw.end()));
  text->clear();
  for (char c : cp) {
    if (c == '\r') continue;
    if (c == '\n') text->push_back('\r');
    text->push_back(c);
  }
  return true;
}

bool BuildRecordings(const VoiceOptions& options, VoiceBuild* build, std::string* error) {
  std::vector<RecordingEntry> list;
  if (!ReadAllRecordings(options.DataDir + "/voice", &list, error)) return false;
  std::vector<SoundJob> jobs;
  for (const auto& e : list) {
    SoundJob job;
    job.Text = e.Text;
    job.Key = "recording|" + Signature() + "|" + std::to_string(kRecordingRate) + "|" +
              std::to_string(kRecordingPitch) + "|" + e.Text;
    jobs.push_back(job);
  }
  std::vector<std::vector<uint8_t>> made;
  if (!RunSoundJobs(jobs, options.CacheDir, options.Workers, StartWorkerVoice, MakeRecording, &made,
                    &build->Recordings, error))
    return false;
  for (size_t i = 0; i < list.size(); ++i) {
    const char* dir = list[i].Place == RecordingPlace::kProgram ? kProgramSoundDir : kLettersDir;
    build->Files.push_back({std::string(dir) + "/" + list[i].Name + ".wav", made[i]});
  }
  // Dial tones are exact sines: "*" is kept as "X" (no star in a file name).
  for (const char* key = "0123456789#*"; *key; ++key) {
    std::string name = std::string("dtmf_") + (*key == '*' ? 'X' : *key);
    build->Files.push_back({std::string(kLettersDir) + "/" + name + ".wav", MakeWave8(MakeDialTone(*key))});
  }
  build->RecordingCount = list.size() + 12;
  return true;
}

bool BuildVoice(const VoiceOptions& options, VoiceBuild* build, std::string* error) {
  auto start = std::chrono::steady_clock::now();
  *build = VoiceBuild{};
  if (!MakeSuiteIni(options.DataDir, &build->IniText, error)) return false;
  if (!BuildRecordings(options, build, error)) return false;

  // The transcriber's files travel with the database.
  for (const char* name : {"regras.rgr", "portug.exc"}) {
    std::vector<uint8_t> bytes;
    std::string path = options.DataDir + "/" + name;
    if (!ReadWholeFile(path, &bytes)) {
      if (error) *error = "cannot read " + path;
      return false;
    }
    build->Files.push_back({std::string(kDiphoneDir) + "/" + name, bytes});
  }

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
    job.Key = "unit|" + Signature() + "|" + UnitRecipeKey(recipe);
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
