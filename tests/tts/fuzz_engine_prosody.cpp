// Fuzz target: a prosody configuration of any content, then contours and phoneme lines computed with it.
#include <cstdint>
#include <string>
#include <vector>

#include "tts/prosody.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace falatro;
  const std::string text(reinterpret_cast<const char*>(data), size);
  if (!ParseProsody(text)) {
    if (Prosody.error.empty()) __builtin_trap();  // a failed load always says why
    return 0;
  }
  if (Prosody.durations.size() > kMaxDurations || Prosody.keywords.size() > kMaxKeywords ||
      Prosody.patterns.size() > kMaxContourPatterns)
    __builtin_trap();
  const std::vector<std::string> contours = ChooseContours(TokenizeText("O que, de novo? Sim... n\xE3o! x."));
  for (const std::string& c : contours)
    if (c.size() < 4 || c[3] != '|') __builtin_trap();
  std::vector<std::string> phonemes;
  for (const std::string& c : contours) {
    phonemes.push_back(";" + c);
    phonemes.push_back(">a");
    phonemes.push_back("\xA8" "b");
    phonemes.push_back("_ 30");
    phonemes.push_back("");
  }
  ComputeProsody(phonemes, 0.8, 1.3);
  return 0;
}
