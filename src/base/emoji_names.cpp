// Emoji names: binary search in the table generated from the CLDR annotations, and the network edge's
// UTF-8 to cp1252 conversion that puts them in.
#include "base/emoji_names.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "base/text_encoding.h"

namespace falatro {

namespace {

// One entry: its key (UTF-8) and name (cp1252) as offsets and lengths into the two text blocks.
struct EmojiRow {
  uint16_t key_offset;
  uint8_t key_length;
  uint8_t name_length;
  uint32_t name_offset;
};

#include "emoji_names_table.inc"

static_assert(sizeof kEmojiKeys - 1 < 65536, "key offsets are 16-bit");

constexpr uint32_t kJoiner = 0x200D;

std::string_view KeyOf(const EmojiRow& r) { return {kEmojiKeys + r.key_offset, r.key_length}; }
std::string_view NameOf(const EmojiRow& r) { return {kEmojiNames + r.name_offset, r.name_length}; }

bool IsSelector(uint32_t cp) { return cp == 0xFE0E || cp == 0xFE0F; }
// Marks that only decorate the character before them and carry nothing to say or show.
bool IsSilentMark(uint32_t cp) { return IsSelector(cp) || cp == kJoiner || cp == 0x20E3; }

// Decodes the code point at pos, passing over variation selectors first; 0 at the end or on bad bytes.
int NextCodePoint(std::string_view text, size_t* pos, uint32_t* cp) {
  for (;;) {
    if (*pos >= text.size()) return 0;
    const int n = DecodeUtf8(text, *pos, cp);
    if (n <= 0) return 0;
    if (!IsSelector(*cp)) return n;
    *pos += static_cast<size_t>(n);
  }
}

}  // namespace

std::string_view EmojiName(std::string_view key) {
  const EmojiRow* end = kEmojiRows + kEmojiCount;
  const EmojiRow* it =
      std::lower_bound(kEmojiRows, end, key, [](const EmojiRow& r, std::string_view k) { return KeyOf(r) < k; });
  if (it == end || KeyOf(*it) != key) return {};
  return NameOf(*it);
}

size_t MatchEmoji(std::string_view utf8, size_t pos, std::string_view* name) {
  // The key is built without selectors; ends[k] is where the input stands after k + 1 characters
  // (a character, then joiner-character pairs).
  constexpr int kMostCharacters = 8;
  char key[kMostCharacters * 7];  // each character at most 4 bytes, each joiner 3
  size_t key_size = 0;
  auto append = [&key, &key_size](std::string_view bytes) {
    for (char b : bytes) key[key_size++] = b;
  };
  size_t ends[8];
  size_t key_ends[8];
  size_t at = pos;
  uint32_t cp = 0;
  int n = NextCodePoint(utf8, &at, &cp);
  if (n <= 0 || at != pos) return 0;
  append(utf8.substr(at, static_cast<size_t>(n)));
  at += static_cast<size_t>(n);
  ends[0] = at;
  key_ends[0] = key_size;
  int count = 1;
  while (count < kMostCharacters) {
    size_t j = at;
    uint32_t joiner = 0;
    const int nj = NextCodePoint(utf8, &j, &joiner);
    if (nj <= 0 || joiner != kJoiner) break;
    j += static_cast<size_t>(nj);
    uint32_t next = 0;
    const int nn = NextCodePoint(utf8, &j, &next);
    if (nn <= 0 || IsSilentMark(next)) break;
    append("\xE2\x80\x8D");
    append(utf8.substr(j, static_cast<size_t>(nn)));
    at = j + static_cast<size_t>(nn);
    ends[count] = at;
    key_ends[count] = key_size;
    ++count;
  }
  for (int k = count - 1; k >= 0; --k) {
    const std::string_view found = EmojiName(std::string_view(key, key_ends[k]));
    if (!found.empty()) {
      *name = found;
      return ends[k] - pos;
    }
  }
  return 0;
}

bool IsEmojiName(std::string_view text) {
  static const std::vector<uint16_t> by_name = [] {
    std::vector<uint16_t> order(kEmojiCount);
    for (size_t i = 0; i < kEmojiCount; ++i) order[i] = static_cast<uint16_t>(i);
    std::sort(order.begin(), order.end(),
              [](uint16_t a, uint16_t b) { return NameOf(kEmojiRows[a]) < NameOf(kEmojiRows[b]); });
    return order;
  }();
  auto it = std::lower_bound(by_name.begin(), by_name.end(), text,
                             [](uint16_t i, std::string_view t) { return NameOf(kEmojiRows[i]) < t; });
  return it != by_name.end() && NameOf(kEmojiRows[*it]) == text;
}

size_t EmojiNameCount() { return kEmojiCount; }
size_t EmojiTableBytes() { return sizeof kEmojiRows + sizeof kEmojiKeys + sizeof kEmojiNames; }
std::string_view EmojiKeyAt(size_t i) { return i < kEmojiCount ? KeyOf(kEmojiRows[i]) : std::string_view(); }
std::string_view EmojiNameAt(size_t i) { return i < kEmojiCount ? NameOf(kEmojiRows[i]) : std::string_view(); }

std::string Utf8ToCp1252Named(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    uint32_t cp = 0;
    const int n = DecodeUtf8(text, i, &cp);
    if (n <= 0) {
      out += kUnnamedCharMark;
      ++i;
      continue;
    }
    const int b = UnicodeToCp1252(cp);
    if (b >= 0) {
      out += static_cast<char>(b);
      i += static_cast<size_t>(n);
      continue;
    }
    if (IsSilentMark(cp)) {
      i += static_cast<size_t>(n);
      continue;
    }
    std::string_view name;
    const size_t used = MatchEmoji(text, i, &name);
    if (used > 0) {
      out += '(';
      out += name;
      out += ')';
      i += used;
    } else {
      out += kUnnamedCharMark;
      i += static_cast<size_t>(n);
    }
  }
  return out;
}

}  // namespace falatro
