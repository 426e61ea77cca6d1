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
  // Quotation marks and the no-break space read as blanks, so a text of nothing else says nothing.
  static constexpr std::string_view kBlanks(" \x82\x84\x91\x92\x93\x94\xA0");
  if (text.find_first_not_of(kBlanks) != std::string_view::npos && out.empty()) __builtin_trap();
  return 0;
}
