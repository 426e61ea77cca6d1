// Conversion between the program's cp1252 bytes and UTF-8 at the edges (terminal, clipboard, network).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace falatro {

/// Unicode code point of a cp1252 byte. The unassigned bytes map to themselves, except 0x81: the
/// mark of a character cp1252 lacks (kUnnamedCharMark) is shown and sent as "?".
uint32_t Cp1252ToUnicode(uint8_t byte);
/// cp1252 byte for a code point, or -1 when cp1252 has none.
int UnicodeToCp1252(uint32_t cp);

/// True when text is entirely valid UTF-8 (no overlongs, surrogates or values past U+10FFFF).
bool IsValidUtf8(std::string_view text);
/// Converts UTF-8 to cp1252; characters cp1252 lacks become replacement. Invalid sequences each give
/// one replacement byte.
std::string Utf8ToCp1252(std::string_view text, char replacement = '?');
/// Converts cp1252 to UTF-8.
std::string Cp1252ToUtf8(std::string_view text);
/// Decodes one UTF-8 sequence at text[pos]; returns its length (1..4) and sets *cp, or returns 0 when the
/// bytes there are invalid, or -1 when they are a valid but incomplete prefix (more bytes needed).
int DecodeUtf8(std::string_view text, size_t pos, uint32_t* cp);
/// Appends the UTF-8 bytes of one code point.
void AppendUtf8(std::string& out, uint32_t cp);

}  // namespace falatro
