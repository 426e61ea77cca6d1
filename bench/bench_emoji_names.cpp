// Emoji name table: its size, and the time of a look-up and of converting a chat line from the network.
#include <chrono>
#include <cstdio>
#include <string>

#include "base/emoji_names.h"

using namespace falatro;

int main() {
  const size_t count = EmojiNameCount();
  std::printf("entries: %zu\n", count);
  std::printf("table bytes (rows, keys, names): %zu\n", EmojiTableBytes());

  using Clock = std::chrono::steady_clock;
  size_t found = 0;
  const int rounds = 200;
  auto start = Clock::now();
  for (int r = 0; r < rounds; ++r) {
    for (size_t i = 0; i < count; ++i) {
      std::string_view name;
      found += MatchEmoji(EmojiKeyAt(i), 0, &name) > 0;
    }
  }
  double ns = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
  std::printf("look-up of every entry (longest match at a position): %.0f ns each (%zu found of %zu)\n",
              ns / (rounds * static_cast<double>(count)), found / rounds, count);

  // One joined sequence (with its selector) and a character with no name, the worst cases.
  const std::string heart_fire = "\xE2\x9D\xA4\xEF\xB8\x8F\xE2\x80\x8D\xF0\x9F\x94\xA5";
  start = Clock::now();
  for (int r = 0; r < 100000; ++r) {
    std::string_view name;
    found += MatchEmoji(heart_fire, 0, &name);
    found += MatchEmoji("\xE4\xB8\xAD", 0, &name);
  }
  ns = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
  std::printf("joined sequence + unnamed character: %.0f ns per pair\n", ns / 100000);

  const std::string line = "ele disse \xE2\x80\x9Coi\xE2\x80\x9D e saiu\xE2\x80\xA6 \xE2\x80\x94 at\xC3\xA9 amanh\xC3\xA3 "
                           "\xF0\x9F\x98\x80\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD";
  size_t bytes = 0;
  const int lines = 100000;
  start = Clock::now();
  for (int r = 0; r < lines; ++r) bytes += Utf8ToCp1252Named(line).size();
  ns = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
  std::printf("chat line of %zu bytes with three emoji from the network: %.2f us per line (%zu)\n", line.size(),
              ns / lines / 1000.0, bytes / lines);
  return found == 0;
}
