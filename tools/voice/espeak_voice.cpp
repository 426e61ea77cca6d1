// The generating voice: Brazilian Portuguese speech and its phoneme timing from libespeak-ng.
#include "espeak_voice.h"

#include <espeak-ng/speak_lib.h>

#include <cstdlib>
#include <cstring>

namespace falatro {

GeneratorState Generator;

namespace {

int CollectSound(short* wav, int count, espeak_EVENT* events) {
  VoiceSound* out = Generator.Target;
  if (!out) return 0;
  for (espeak_EVENT* e = events; e && e->type != espeakEVENT_LIST_TERMINATED; ++e) {
    if (e->type != espeakEVENT_PHONEME) continue;
    // The event's audio position is in milliseconds from the start of the message; the sample
    // field counts samples the same way and is the exact one.
    PhonemeMark mark;
    mark.Name.assign(e->id.string, strnlen(e->id.string, sizeof e->id.string));
    mark.Sample = e->sample > 0 ? size_t(e->sample) : size_t(e->audio_position) * size_t(Generator.Rate) / 1000;
    out->Phonemes.push_back(mark);
  }
  if (wav && count > 0) out->Samples.insert(out->Samples.end(), wav, wav + count);
  return 0;
}

}  // namespace

bool StartGenerator(int words_per_minute, int pitch, std::string* error) {
  if (!Generator.Started) {
    int rate = espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 0, nullptr,
                                 espeakINITIALIZE_PHONEME_EVENTS | espeakINITIALIZE_DONT_EXIT);
    if (rate <= 0) {
      if (error) *error = "eSpeak NG could not start (is espeak-ng-data installed?)";
      return false;
    }
    Generator.Rate = rate;
    espeak_SetSynthCallback(CollectSound);
    // The language's own voice file, never a voice that needs an external diphone library.
    if (espeak_SetVoiceByName("pt-br") != EE_OK) {
      if (error) *error = "eSpeak NG has no Brazilian Portuguese voice (pt-br)";
      return false;
    }
    Generator.Started = true;
  }
  SetGeneratorProsody(words_per_minute, pitch);
  return true;
}

void SetGeneratorProsody(int words_per_minute, int pitch) {
  Generator.WordsPerMinute = words_per_minute;
  Generator.Pitch = pitch;
  espeak_SetParameter(espeakRATE, words_per_minute, 0);
  espeak_SetParameter(espeakPITCH, pitch, 0);
  espeak_SetParameter(espeakRANGE, 50, 0);
  espeak_SetParameter(espeakVOLUME, 100, 0);
  espeak_SetParameter(espeakWORDGAP, 0, 0);
}

bool Synthesize(std::string_view utf8_text, bool phonemes, VoiceSound* out, std::string* error) {
  *out = VoiceSound{};
  out->Rate = Generator.Rate;
  if (!Generator.Started) {
    if (error) *error = "the generating voice is not started";
    return false;
  }
  std::string text(utf8_text);
  // The library draws on the C library's random numbers (noise in its sounds); starting them afresh
  // for every text makes each sound the same whichever process makes it and whatever came before.
  srand(1);
  Generator.Target = out;
  unsigned flags = espeakCHARS_UTF8 | (phonemes ? espeakPHONEMES : 0);
  espeak_ERROR result = espeak_Synth(text.c_str(), text.size() + 1, 0, POS_CHARACTER, 0, flags, nullptr, nullptr);
  if (result == EE_OK) result = espeak_Synchronize();
  Generator.Target = nullptr;
  if (result != EE_OK) {
    if (error) *error = "eSpeak NG failed to say: " + text;
    return false;
  }
  return true;
}

std::string GeneratorVersion() {
  const char* path = nullptr;
  const char* version = espeak_Info(&path);
  return version ? version : "";
}

}  // namespace falatro
