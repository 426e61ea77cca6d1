// How close the joined diphone units come to the generating voice's own reading of the same words, for
// each way of making units: cut from carrier words (unstressed or stressed) or said alone. Prints the
// mean spectral distance after time alignment (lower is closer) and the length ratio per method.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "base/paths.h"
#include "base/text_encoding.h"
#include "diphone_database.h"
#include "espeak_voice.h"
#include "install_tree.h"
#include "job_runner.h"
#include "sound_shaping.h"
#include "speech/diphone_synth.h"
#include "tts/transcriber.h"
#include "unit_census.h"
#include "unit_maker.h"
#include "voice_builder.h"

using namespace falatro;

namespace {

constexpr int kRate = 180;
constexpr size_t kFrame = 256, kHop = 110, kBands = 20;

// Log energies of 20 bands from 100 to 5000 Hz per 10 ms frame, each band's mean over the word removed
// (so a difference of overall level does not count).
std::vector<std::vector<double>> Features(const std::vector<float>& s) {
  std::vector<std::vector<double>> out;
  static std::vector<double> window(kFrame);
  for (size_t i = 0; i < kFrame; ++i) window[i] = 0.5 - 0.5 * std::cos(2 * M_PI * double(i) / double(kFrame));
  for (size_t start = 0; start + kFrame <= s.size(); start += kHop) {
    std::vector<double> bands(kBands, 1e-3);
    for (size_t k = 3; k < kFrame / 2; ++k) {
      double hz = double(k) * kSuiteRate / double(kFrame);
      if (hz < 100 || hz >= 5000) continue;
      double re = 0, im = 0;
      for (size_t n = 0; n < kFrame; ++n) {
        double v = s[start + n] * window[n], a = 2 * M_PI * double(k * n) / double(kFrame);
        re += v * std::cos(a);
        im -= v * std::sin(a);
      }
      bands[size_t((hz - 100) / (4900.0 / kBands))] += re * re + im * im;
    }
    for (auto& b : bands) b = 10 * std::log10(b);
    out.push_back(bands);
  }
  for (size_t b = 0; b < kBands && !out.empty(); ++b) {
    double mean = 0;
    for (auto& f : out) mean += f[b];
    mean /= double(out.size());
    for (auto& f : out) f[b] -= mean;
  }
  return out;
}

// Dynamic time warping with Euclidean frame distance, divided by the path length.
double AlignedDistance(const std::vector<std::vector<double>>& a, const std::vector<std::vector<double>>& b) {
  if (a.empty() || b.empty()) return 1e9;
  size_t n = a.size(), m = b.size();
  std::vector<double> cost((n + 1) * (m + 1), 1e18);
  std::vector<int> steps((n + 1) * (m + 1), 0);
  cost[0] = 0;
  for (size_t i = 1; i <= n; ++i)
    for (size_t j = 1; j <= m; ++j) {
      double d = 0;
      for (size_t k = 0; k < kBands; ++k) d += (a[i - 1][k] - b[j - 1][k]) * (a[i - 1][k] - b[j - 1][k]);
      d = std::sqrt(d);
      size_t best = (i - 1) * (m + 1) + (j - 1);
      for (size_t c : {(i - 1) * (m + 1) + j, i * (m + 1) + (j - 1)})
        if (cost[c] < cost[best]) best = c;
      cost[i * (m + 1) + j] = cost[best] + d;
      steps[i * (m + 1) + j] = steps[best] + 1;
    }
  return cost[n * (m + 1) + m] / steps[n * (m + 1) + m];
}

bool SayNatural(const SoundJob& job, std::vector<uint8_t>* bytes, std::string* error) {
  SetGeneratorProsody(kRate, kUnitPitch);
  VoiceSound sound;
  if (!Synthesize(job.Text, false, &sound, error)) return false;
  std::vector<float> s = HalveRate(sound.Samples);
  size_t first = 0, last = 0;
  SoundExtent(s, 300.0f, 0, &first, &last);
  *bytes = ToUnsigned8(std::vector<float>(s.begin() + long(first), s.begin() + long(last)));
  return true;
}

std::vector<float> FromBytes(const std::vector<uint8_t>& b) {
  std::vector<float> s(b.size());
  for (size_t i = 0; i < b.size(); ++i) s[i] = (float(b[i]) - 128) * 256;
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  std::string list = argc > 1 ? argv[1] : "/usr/share/dict/brazilian";
  size_t step = argc > 2 ? size_t(std::atoi(argv[2])) : 1500;
  std::string data = FALATRO_SOURCE_DIR "/data";
  std::string tmp = std::filesystem::temp_directory_path().string() + "/bench-voice-units-" + std::to_string(getpid());
  std::string error;
  std::vector<std::string> all, sample;
  if (!ReadWordList(list, &all, &error)) return fprintf(stderr, "%s\n", error.c_str()), 1;
  for (size_t i = 0; i < all.size(); i += step)
    if (all[i].find_first_of(" -'") == std::string::npos && all[i].size() > 2 && !(all[i][0] >= 'A' && all[i][0] <= 'Z'))
      sample.push_back(all[i]);
  MakeDirectories(tmp);
  std::string sample_list = tmp + "/words.txt";
  {
    std::ofstream out(sample_list);
    for (const auto& w : sample) out << Cp1252ToUtf8(w) << "\n";
  }
  if (!LoadUnitSymbols(data + "/voice/phonemes.txt", &error)) return fprintf(stderr, "%s\n", error.c_str()), 1;
  UnitCensus census;
  if (!RunUnitCensus(data, {sample_list}, &census, &error)) return fprintf(stderr, "%s\n", error.c_str()), 1;

  std::vector<SoundJob> natural_jobs;
  for (const auto& w : sample) natural_jobs.push_back({"natural|" + VoiceSignature() + "|" + w, Cp1252ToUtf8(w), 0});
  std::vector<std::vector<uint8_t>> natural;
  JobReport report;
  if (!RunSoundJobs(natural_jobs, tmp + "/cache", 2, StartUnitVoice, SayNatural, &natural, &report, &error))
    return fprintf(stderr, "%s\n", error.c_str()), 1;
  std::vector<std::vector<std::vector<double>>> natural_features;
  for (const auto& n : natural) natural_features.push_back(Features(FromBytes(n)));

  printf("bench_voice_units: %zu words (every %zu-th of %s), units made at %d words per minute\n", sample.size(),
         step, list.c_str(), kRate);
  for (UnitMethod method : {UnitMethod::kCarrier, UnitMethod::kCarrierStressed, UnitMethod::kAlone}) {
    UnitMaking.Method = method;
    UnitMaking.Rate = kRate;
    std::vector<SoundJob> jobs;
    std::vector<std::string> names;
    for (const auto& [name, count] : census.Units) {
      UnitRecipe recipe;
      if (name.size() > 8 || !PlanUnit(name, &recipe)) continue;
      jobs.push_back({"unit|" + VoiceSignature() + "|" + UnitRecipeKey(recipe), std::to_string(kRate) + " " + name, 0});
      names.push_back(name);
    }
    std::vector<std::vector<uint8_t>> made;
    if (!RunSoundJobs(jobs, tmp + "/cache", 2, StartUnitVoice, MakeUnitSound, &made, &report, &error))
      return fprintf(stderr, "%s\n", error.c_str()), 1;
    std::map<std::string, std::vector<uint8_t>> units;
    for (size_t i = 0; i < names.size(); ++i)
      if (!made[i].empty()) units[names[i]] = made[i];
    DiphoneDatabaseFiles db;
    if (!BuildDiphoneDatabase(units, &db, &error)) return fprintf(stderr, "%s\n", error.c_str()), 1;
    std::string ind = tmp + "/" + UnitMethodName(method) + ".IND";
    WriteFileAtomically(ind, db.Index, &error);
    WriteFileAtomically(tmp + "/" + UnitMethodName(method) + ".DIF", db.Data, &error);
    if (!LoadTranscriberData(data, &error) || !OpenDatabaseSilently(ind, tmp, &error))
      return fprintf(stderr, "%s\n", error.c_str()), 1;
    double distance = 0, joined_length = 0, natural_length = 0;
    for (size_t i = 0; i < sample.size(); ++i) {
      std::vector<uint8_t> said = SayToMemory(sample[i]);
      distance += AlignedDistance(Features(FromBytes(said)), natural_features[i]);
      joined_length += double(said.size());
      natural_length += double(natural[i].size());
    }
    ReleaseSilentSynthesizer();
    FreeTranscriptionRules();
    printf("  %-17s mean aligned spectral distance %.2f (dB over 20 bands), length of joined words / voice's own %.2f, "
           "%zu units\n",
           UnitMethodName(method), distance / double(sample.size()), joined_length / natural_length, units.size());
  }
  std::filesystem::remove_all(tmp);
  return 0;
}
