// The voice's recordings: prompts, letters, number, date and time words, editor prompts and dial tones.
#include <chrono>

#include "base/paths.h"
#include "base/text_encoding.h"
#include "dial_tones.h"
#include "espeak_voice.h"
#include "recording_list.h"
#include "voice_builder.h"
#include "wave_file.h"

namespace falatro {

namespace {

// Speaking rate and pitch of the recordings.
constexpr int kRecordingRate = 165;
constexpr int kRecordingPitch = 45;

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

std::string VoiceSignature() { return std::string(kVoiceRecipe) + "|" + GeneratorVersion(); }

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
    job.Key = "recording|" + VoiceSignature() + "|" + std::to_string(kRecordingRate) + "|" +
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

}  // namespace falatro
