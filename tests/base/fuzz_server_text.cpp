// Fuzz target: any bytes from a server through the network edge's conversion with emoji names, and the
// longest-match look-up at every position, must never read outside the text or the table.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/emoji_names.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::string out = falatro::Utf8ToCp1252Named(text);
  for (size_t i = 0; i < size; ++i) {
    std::string_view name;
    const size_t used = falatro::MatchEmoji(text, i, &name);
    if (used > size - i || (used > 0 && name.empty())) __builtin_trap();
  }
  if (out.size() > size * 64) __builtin_trap();  // a name is at most 255 bytes for at least 4 in
  return 0;
}
