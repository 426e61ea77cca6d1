// The prompt catalogue: every fixed text the client writes and says, named by a key.
#pragma once

#include <string>
#include <string_view>

namespace falatro {

/// One entry of the catalogue.
struct PromptEntry {
  const char* key;   ///< "FT" + letters and digits, compared exactly
  const char* text;  ///< cp1252 text, trailing blanks included
};

/// Number of keys in the catalogue.
constexpr int kPromptCount = 49;
/// The catalogue, in its documented order.
extern const PromptEntry kPrompts[kPromptCount];

/// The catalogue text of key (case-sensitive), or "--> Mensagem inválida: " + key for any other key.
std::string PromptText(std::string_view key);

/// Writes the text of key at the cursor (flushed at once) followed by count line ends, then plays the
/// key's recording when one exists, else says the text with the current voice. A negative count only
/// voices the text. The written text is always the catalogue's.
void SayPrompt(std::string_view key, int count);

}  // namespace falatro
