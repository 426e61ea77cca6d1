// Fuzz target: an exceptions file of any content, then look-ups in it.
#include <algorithm>
#include <cstdint>
#include <string>

#include "tts/letter_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace falatro;
  const std::string text(reinterpret_cast<const char*>(data), size);
  ParseExceptions(text);
  const auto& table = LetterRules.exceptions;
  if (table.size() > kMaxExceptions) __builtin_trap();
  if (!std::is_sorted(table.begin(), table.end(),
                      [](const palavra_alias& a, const palavra_alias& b) { return a.word < b.word; }))
    __builtin_trap();
  for (const char* w : {"CASAS", "SMS", "M", "", "MESMOS"}) {
    std::string word = w;
    LookUpException(word);
  }
  if (!table.empty()) {
    std::string word = table.front().word + "SM";
    LookUpException(word);
  }
  return 0;
}
