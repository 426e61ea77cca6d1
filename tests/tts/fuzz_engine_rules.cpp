// Fuzz target: a letter-to-sound rules file of any content, then words transcribed with it.
#include <cstdint>
#include <string>
#include <vector>

#include "tts/letter_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace falatro;
  const std::string text(reinterpret_cast<const char*>(data), size);
  FreeLetterRules();
  ParseLetterRules(text);
  for (const auto& list : LetterRules.rules)
    for (const LetterRule& r : list)
      if (r.centre.empty() || r.centre.size() > kLetterRuleCentreWidth || r.left.size() > kLetterRuleContextWidth ||
          r.right.size() > kLetterRuleContextWidth || r.output.size() > kLetterRuleOutputWidth)
        __builtin_trap();
  std::vector<std::string> out;
  for (const char* w : {"CASA", "A", "\xC1GUA", "QUE", "(%#)&*+[\\]_|"}) {
    for (int stress : {0, 1, 3, 255}) {
      out.clear();
      TranscribeWord(w, stress, out);
      if (out.empty() || !out.back().empty()) __builtin_trap();  // every word ends with an empty line
    }
  }
  FreeLetterRules();
  return 0;
}
