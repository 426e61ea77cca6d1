// Emoji and other symbols cp1252 lacks, named in Portuguese (the CLDR annotations, compiled in at build
// time), and the network edge's conversion that shows and says them by name.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace falatro {

/// Stands for a character cp1252 lacks that has no name: shown as "?" and said as nothing.
inline constexpr char kUnnamedCharMark = '\x81';

/// The cp1252 name of an emoji sequence given as UTF-8 without variation selectors ("rosto risonho"
/// for U+1F600), or empty when the table has none.
std::string_view EmojiName(std::string_view utf8_key);

/// The longest named sequence (a character, or characters joined by U+200D) starting at utf8[pos]:
/// returns the bytes it covers, variation selectors inside it included, and sets *name; returns 0
/// when the character there has no name. Invalid UTF-8 is never matched.
size_t MatchEmoji(std::string_view utf8, size_t pos, std::string_view* name);

/// True when text is exactly one of the table's names (the front end then says a bracketed name
/// without saying the brackets).
bool IsEmojiName(std::string_view text);

/// Entries of the table and the bytes it occupies (rows, keys and names).
size_t EmojiNameCount();
size_t EmojiTableBytes();
/// The i-th entry (0 <= i < EmojiNameCount()), in key order: its UTF-8 key and cp1252 name.
std::string_view EmojiKeyAt(size_t i);
std::string_view EmojiNameAt(size_t i);

/// Converts UTF-8 text (from a server) to cp1252 for showing and saying: a named emoji becomes its
/// name in brackets ("(rosto risonho)"); variation selectors, joiners left alone and the keycap mark
/// vanish; any other character cp1252 lacks, and any invalid byte, becomes kUnnamedCharMark.
std::string Utf8ToCp1252Named(std::string_view text);

}  // namespace falatro
