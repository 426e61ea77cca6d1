// Fuzz target: an abbreviations file of any content, then texts that use abbreviations.
#include <cstdint>
#include <string>

#include "tts/text_preprocessor.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace falatro;
  const std::string text(reinterpret_cast<const char*>(data), size);
  ParseAbbreviations(text);
  if (Preprocessor.abbreviations.size() > kMaxAbbreviations) __builtin_trap();
  for (const auto& e : Preprocessor.abbreviations)
    if (e.second.size() > kMaxAbbreviationExpansion) __builtin_trap();
  PreprocessText("Sr. Silva, Av. Paulista n\xBA 5, tel. 3333-4444 etc.");
  if (!Preprocessor.abbreviations.empty()) PreprocessText(Preprocessor.abbreviations.front().first + ". x");
  return 0;
}
