// Text preprocessing of the built-in engine: numbers, symbols, consonant-only words and abbreviations
// become words, so that only letters, blanks and a few punctuation marks reach the later stages.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace falatro {

/// Limits of the abbreviations file.
inline constexpr size_t kMaxAbbreviations = 2000;
inline constexpr size_t kMaxAbbreviationExpansion = 999;

/// The preprocessor's state; one instance, Preprocessor.
struct PreprocessorState {
  /// (key in upper case, expansion), in file order; at most kMaxAbbreviations.
  std::vector<std::pair<std::string, std::string>> abbreviations;
};

extern PreprocessorState Preprocessor;

/// Reads the abbreviations file (cp1252 lines "key = expansion"; ";" starts a comment line) and
/// replaces the loaded table. False when the file does not exist or cannot be read.
bool LoadAbbreviations(const std::string& path);
/// The same from text in memory (tests, fuzzing).
void ParseAbbreviations(std::string_view text);
/// The expansion of a word (compared in upper case) or nullptr when the table does not know it.
const std::string* FindAbbreviation(std::string_view word);

/// Rewrites cp1252 text: numbers as Portuguese words, stray characters by their names, consonant-only
/// words spelled, known abbreviations before ". " expanded, " - " as ",".
std::string PreprocessText(std::string_view text);

/// The spoken name of a cp1252 character; empty for control characters and the unnamed codes.
std::string CharacterName(uint8_t code);

/// Portuguese words of 0 <= value < 10^15 ("vinte e um", "mil " with its trailing blank...).
std::string CardinalToWords(uint64_t value);

/// Ordinal words of a value below 2000 ("vigésima terceira"); larger values read as cardinals.
std::string OrdinalToWords(uint64_t value, bool feminine);

/// Upper case of a cp1252 letter (accented lower-case letters included); other bytes unchanged.
char UpperCp1252(char c);
/// Lower case of a cp1252 letter (accented upper-case letters included); other bytes unchanged.
char LowerCp1252(char c);

}  // namespace falatro
