// The built-in engine's text pipeline, stage after stage.
#include "tts/text_pipeline.h"

#include "tts/letter_rules.h"
#include "tts/prosody.h"
#include "tts/text_preprocessor.h"

namespace falatro {

TextPipelineResult RunTextPipeline(std::string_view text, double duration_factor, double pitch_factor) {
  TextPipelineResult r;
  r.preprocessed = PreprocessText(text);
  r.tokens = TokenizeText(r.preprocessed);
  r.contours = ChooseContours(r.tokens);
  r.phonemes = TranscribeSentence(r.contours);
  r.mbrola_lines = ComputeProsody(r.phonemes, duration_factor, pitch_factor);
  return r;
}

std::vector<std::string> TextToMbrolaLines(std::string_view text, double duration_factor, double pitch_factor) {
  std::vector<std::string> phonemes = TranscribeSentence(ChooseContours(TokenizeText(PreprocessText(text))));
  return ComputeProsody(phonemes, duration_factor, pitch_factor);
}

}  // namespace falatro
