// Fuzz target: a diphone list of any content, then phoneme lines that look it up.
#include <cstdint>
#include <string>
#include <vector>

#include "tts/prosody.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace falatro;
  const std::string text(reinterpret_cast<const char*>(data), size);
  ParseDiphoneList(text);
  for (const std::string& key : Prosody.diphones)
    if (key.find('-') == std::string::npos) __builtin_trap();
  const std::vector<std::string> phonemes = {";555|mar", "m", ">a", "r2", "", ";555|,", "_,", ";555|azul",
                                             "a", "z", ">u", "w", "", "__"};
  ComputeProsody(phonemes, 1.0, 1.0);
  FreeDiphoneList();
  return 0;
}
