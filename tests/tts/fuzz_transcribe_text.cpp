// Fuzz target: any text through the real Brazilian Portuguese rules and exceptions.
#include <cstdint>
#include <string>
#include <string_view>

#include "tts/transcriber.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace falatro;
  static const bool loaded = [] {
    const std::string dir = std::string(FALATRO_SOURCE_DIR) + "/data/transcriber/";
    return LoadTranscriptionRules(dir + "regras.rgr") &&
           LoadTranscriptionExceptions(dir + "portug.exc");
  }();
  if (!loaded) __builtin_trap();
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string out = TranscribeText(text);
  if (!out.empty() && (out.front() != '[' || out.back() != ']')) __builtin_trap();
  if (text.find_first_not_of(' ') != std::string_view::npos && out.empty()) __builtin_trap();
  return 0;
}
