// Fuzz target: rule and exception files of any content, then transcription of fixed and fuzzed text.
#include <cstdint>
#include <string>
#include <string_view>

#include "tts/transcriber.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace falatro;
  std::string_view input(reinterpret_cast<const char*>(data), size);
  // Input: rules, then after a 0xFE byte the exceptions, then after another 0xFE the text to say.
  size_t a = input.find('\xFE');
  std::string_view rules = input.substr(0, a);
  std::string_view exceptions, text = "casa, tatu e papai d'\xE1gua cd \x9B";
  if (a != std::string_view::npos) {
    std::string_view rest = input.substr(a + 1);
    size_t b = rest.find('\xFE');
    exceptions = rest.substr(0, b);
    if (b != std::string_view::npos) text = rest.substr(b + 1);
  }
  ParseTranscriptionRules(rules);
  ParseTranscriptionExceptions(exceptions);
  for (const auto& list : Transcriber.rules) {
    for (const auto& r : list) {
      if (r.left.size() > kRuleContextWidth || r.right.size() > kRuleContextWidth ||
          r.centre.empty() || r.centre.size() > kRuleCentreWidth || r.output.size() > kRuleOutputWidth)
        __builtin_trap();
    }
  }
  if (Transcriber.exceptions.size() > kMaxTranscriptionExceptions) __builtin_trap();
  std::string out = TranscribeText(text);
  // Every token gives at least one bracketed group, so a text with a non-blank gives output.
  if (text.find_first_not_of(' ') != std::string_view::npos && out.empty()) __builtin_trap();
  FreeTranscriptionRules();
  return 0;
}
