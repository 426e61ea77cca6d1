// Fuzz target: any text through the engine's whole text pipeline with the shipped data.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tts/letter_rules.h"
#include "tts/prosody.h"
#include "tts/text_pipeline.h"
#include "tts/text_preprocessor.h"

namespace {

bool LoadData() {
  using namespace falatro;
  const std::string dir = FALATRO_SOURCE_DIR "/data/engine/";
  return LoadLetterRules(dir + "portug.nrl") && LoadExceptions(dir + "portug.exc") &&
         LoadAbbreviations(dir + "portug.abr") && LoadProsody(dir + "portug.pro") &&
         LoadDiphoneList(dir + "portug.dfn");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace falatro;
  static const bool loaded = LoadData();
  if (!loaded) std::abort();
  const std::string text(reinterpret_cast<const char*>(data), size);
  for (const std::string& line : TextToMbrolaLines(text, 1.0, 1.0)) {
    if (line.empty() || line[0] == ';') continue;
    // Every phoneme line is a name, a blank and a duration.
    const size_t blank = line.find(' ');
    if (blank == 0 || blank == std::string::npos || blank + 1 >= line.size()) __builtin_trap();
    if (line[blank + 1] < '0' || line[blank + 1] > '9') __builtin_trap();
  }
  return 0;
}
