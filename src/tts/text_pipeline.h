// The built-in engine's text pipeline from raw text to MBROLA phoneme lines, in the order speaking
// runs it: preprocessing, tokens and contours, transcription, durations and pitch.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace falatro {

/// Every stage's output for one text (the tool that prints them and the tests read the middle ones).
struct TextPipelineResult {
  std::string preprocessed;
  std::vector<std::string> tokens;
  std::vector<std::string> contours;
  std::vector<std::string> phonemes;
  std::vector<std::string> mbrola_lines;
};

/// Runs all stages on cp1252 text with the loaded data. The text is used as given (the caller trims).
TextPipelineResult RunTextPipeline(std::string_view text, double duration_factor, double pitch_factor);

/// The same, keeping only the MBROLA lines (what speaking feeds the synthesizer, one line each).
std::vector<std::string> TextToMbrolaLines(std::string_view text, double duration_factor, double pitch_factor);

}  // namespace falatro
