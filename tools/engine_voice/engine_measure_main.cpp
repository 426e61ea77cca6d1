// falatro-engine-measure: how close the built-in engine with its own voice comes to eSpeak NG reading
// the same sentences: mel-cepstral distortion (after time warping) against eSpeak NG at a matching
// speaking rate, with the different-sentence ceiling; speech length and median pitch of both; and, for
// one sentence, the engine's phoneme durations and pitch targets beside eSpeak NG's phonemes and pitch.
#include <espeak-ng/speak_lib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "base/paths.h"
#include "base/text_encoding.h"
#include "espeak_voice.h"
#include "front_end_reading.h"
#include "mel_cepstrum.h"
#include "pitch_marks.h"
#include "tts/velar.h"
#include "tts/velar_text.h"

using namespace falatro;

namespace {

std::vector<int16_t> Collected;
int Collect(uint8_t* image, size_t length) {
  const int16_t* s = reinterpret_cast<const int16_t*>(image + 44);
  Collected.insert(Collected.end(), s, s + (length - 44) / 2);
  return 0;
}

std::vector<float> ToFloats(const std::vector<int16_t>& s) { return std::vector<float>(s.begin(), s.end()); }

// Seconds of speech: 10 ms frames within 40 dB of the loudest.
double SpeechSeconds(const std::vector<float>& x, int rate) {
  size_t frame = size_t(rate / 100);
  std::vector<double> e;
  for (size_t i = 0; i + frame <= x.size(); i += frame) {
    double sum = 0;
    for (size_t j = i; j < i + frame; ++j) sum += double(x[j]) * x[j];
    e.push_back(sum);
  }
  double top = e.empty() ? 0 : *std::max_element(e.begin(), e.end());
  size_t loud = size_t(std::count_if(e.begin(), e.end(), [&](double v) { return v > top * 1e-4; }));
  return double(loud) / 100.0;
}

// Pitch of 40 ms windows every 100 ms (0 where unvoiced).
std::vector<double> PitchTrack(const std::vector<float>& x, int rate) {
  std::vector<double> out;
  int w = rate / 25, lo = rate / 400, hi = rate / 60;
  for (size_t c = 0; c + size_t(w + hi) < x.size(); c += size_t(rate / 10)) {
    double e0 = 0;
    for (int i = 0; i < w; ++i) e0 += double(x[c + size_t(i)]) * x[c + size_t(i)];
    double best = 0;
    int lag_best = 0;
    for (int lag = lo; lag <= hi; ++lag) {
      double num = 0, e1 = 0;
      for (int i = 0; i < w; ++i) {
        num += double(x[c + size_t(i)]) * x[c + size_t(i + lag)];
        e1 += double(x[c + size_t(i + lag)]) * x[c + size_t(i + lag)];
      }
      double r = e0 > 0 && e1 > 0 ? num / std::sqrt(e0 * e1) : 0;
      if (r > best * 1.05) best = r, lag_best = lag;
    }
    out.push_back(best > 0.6 && std::sqrt(e0 / w) > 300 ? double(rate) / lag_best : 0.0);
  }
  return out;
}

double Median(std::vector<double> v) {
  v.erase(std::remove(v.begin(), v.end(), 0.0), v.end());
  if (v.empty()) return 0;
  std::nth_element(v.begin(), v.begin() + ptrdiff_t(v.size() / 2), v.end());
  return v[v.size() / 2];
}

std::vector<float> Espeak(const std::string& utf8, int words_per_minute, VoiceSound* said, int rate = 16000) {
  SetGeneratorProsody(words_per_minute, 75);
  std::string error;
  if (!Synthesize(utf8, false, said, &error)) return {};
  return Resample(said->Samples, said->Rate, rate);
}

// Distortion of a voice's reading against eSpeak NG reading the same text as long, at rate.
double AgainstEspeak(const std::string& utf8, const std::vector<float>& voice, int rate, std::vector<MelFrame>* voice_frames,
                     std::vector<MelFrame>* ref_frames, int* words_per_minute, VoiceSound* said) {
  *voice_frames = MelCepstra(voice, rate);
  std::vector<float> ref = Espeak(utf8, 175, said, rate);
  *words_per_minute =
      std::clamp(int(175.0 * SpeechSeconds(ref, rate) / std::max(0.1, SpeechSeconds(voice, rate))), 80, 450);
  ref = Espeak(utf8, *words_per_minute, said, rate);
  *ref_frames = MelCepstra(ref, rate);
  return MelCepstralDistortion(*voice_frames, *ref_frames);
}

}  // namespace

int main(int argc, char** argv) {
  int speed = 3, plot = 1;
  std::string sentences = FALATRO_SOURCE_DIR "/data/voice/sentences.txt";
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string a = argv[i];
    if (a == "--speed") speed = std::clamp(atoi(argv[i + 1]), 0, 10);
    else if (a == "--plot") plot = atoi(argv[i + 1]);
    else if (a == "--sentences") sentences = argv[i + 1];
  }
  std::vector<std::string> utf8;
  std::ifstream in(sentences);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line[0] != '#') utf8.push_back(line);
  }
  std::string dir = JoinPath(NarrixRoot(), "zanvel/velartts") + "/portug";
  VelarSoundOutput out;
  out.PlayImage = Collect;
  VelarSetSoundOutput(out);
  if (utf8.empty() || !VelarInit("", dir + ".nrl", dir + ".exc", dir + ".abr", dir + ".pro", dir + ".dfn")) {
    fprintf(stderr, "falatro-engine-measure: no sentences, or the engine did not start under %s (make voice)\n",
            NarrixRoot().c_str());
    return 1;
  }
  double duration_factor = 0.8 - speed / 15.0;
  VelarSetSpeedAndPitch(duration_factor, 1.0);
  std::string error;
  if (!StartGenerator(175, 75, &error)) {
    fprintf(stderr, "falatro-engine-measure: %s\n", error.c_str());
    return 1;
  }
  std::vector<std::vector<MelFrame>> engine(utf8.size()), reference(utf8.size());
  double mcd_sum = 0, mcd_worst = 0, ceiling_sum = 0, length_ratio = 0, engine_hz = 0, espeak_hz = 0;
  size_t worst_at = 0;
  for (size_t i = 0; i < utf8.size(); ++i) {
    Collected.clear();
    VelarSpeak(Utf8ToCp1252(utf8[i]));
    std::vector<float> mine = ToFloats(Collected);
    VoiceSound said;
    int rate = 175;
    double d = AgainstEspeak(utf8[i], mine, 16000, &engine[i], &reference[i], &rate, &said);
    std::vector<float> ref = Espeak(utf8[i], rate, &said);
    mcd_sum += d;
    if (d > mcd_worst) mcd_worst = d, worst_at = i;
    length_ratio += SpeechSeconds(mine, 16000) / std::max(0.1, SpeechSeconds(Espeak(utf8[i], 175, &said), 16000));
    engine_hz += Median(PitchTrack(mine, 16000));
    espeak_hz += Median(PitchTrack(ref, 16000));
    if (int(i + 1) == plot) {
      printf("Sentence %zu: %s\n  engine lines (name ms [pos Hz]):", i + 1, utf8[i].c_str());
      for (const auto& l : VelarTextToLines(Utf8ToCp1252(utf8[i]), duration_factor, 1.0)) {
        if (!l.empty() && l[0] != ';') printf(" | %s", l.c_str());
      }
      printf("\n  eSpeak NG at %d words per minute (phoneme ms):", rate);
      for (size_t p = 0; p < said.Phonemes.size(); ++p) {
        size_t end = p + 1 < said.Phonemes.size() ? said.Phonemes[p + 1].Sample : said.Samples.size();
        printf(" | %s %zu", said.Phonemes[p].Name.c_str(), (end - said.Phonemes[p].Sample) * 1000 / size_t(said.Rate));
      }
      std::vector<double> a = PitchTrack(mine, 16000), b = PitchTrack(Resample(said.Samples, said.Rate, 16000), 16000);
      printf("\n  pitch every 100 ms (Hz, 0 unvoiced)\n    engine: ");
      for (double v : a) printf(" %3.0f", v);
      printf("\n    eSpeak: ");
      for (double v : b) printf(" %3.0f", v);
      printf("\n");
    }
  }
  for (size_t i = 0; i < utf8.size(); ++i) ceiling_sum += MelCepstralDistortion(engine[i], reference[(i + 1) % utf8.size()]);
  double n = double(utf8.size());
  printf("%zu sentences at speed %d (duration factor %.2f), voice and data under %s\n", utf8.size(), speed,
         duration_factor, NarrixRoot().c_str());
  printf("  mel-cepstral distortion against eSpeak NG at a matching rate: mean %.2f dB, worst %.2f dB (sentence %zu)\n",
         mcd_sum / n, mcd_worst, worst_at + 1);
  printf("    ceiling, against eSpeak NG reading the next sentence: mean %.2f dB\n", ceiling_sum / n);
  // The recorded voice of the suite measured the same way, for comparison (8-bit 11025 Hz).
  if (FileExists(JoinPath(WindowsDir(), "NARRIX.INI"))) {
    PrepareFrontEnd(NarrixRoot(), WindowsDir());
    if (StartFrontEnd(speed >= 1 && speed <= 5 ? speed : 3, false, "null", &error)) {
      std::vector<std::vector<MelFrame>> voice(utf8.size()), ref(utf8.size());
      double sum = 0, ceiling = 0;
      for (size_t i = 0; i < utf8.size(); ++i) {
        VoiceReading r = ReadThroughVoice(Utf8ToCp1252(utf8[i]));
        std::vector<float> x(r.Sound.size());
        for (size_t k = 0; k < x.size(); ++k) x[k] = (float(r.Sound[k]) - 128) * 256;
        VoiceSound said;
        int rate = 175;
        sum += AgainstEspeak(utf8[i], x, 11025, &voice[i], &ref[i], &rate, &said);
      }
      for (size_t i = 0; i < utf8.size(); ++i) ceiling += MelCepstralDistortion(voice[i], ref[(i + 1) % utf8.size()]);
      printf("    the recorded voice at speed %d, measured the same way: mean %.2f dB, ceiling %.2f dB\n",
             speed >= 1 && speed <= 5 ? speed : 3, sum / n, ceiling / n);
      StopFrontEnd();
    } else {
      printf("    (the recorded voice did not start: %s)\n", error.c_str());
    }
  }
  printf("  speech length, engine / eSpeak NG at 175 words per minute: %.2f\n", length_ratio / n);
  printf("  median pitch: engine %.0f Hz, eSpeak NG %.0f Hz\n", engine_hz / n, espeak_hz / n);
  VelarDone();
  return 0;
}
