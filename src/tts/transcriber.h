// Phonetic transcriber: turns Portuguese text into the bracketed notation the diphone voice plays.
//
// Notation (see data/NOTATION.md for the symbol table): each word becomes "[" ... "]"; the output
// of each rule is followed by "/" while the word continues; a blank inside the brackets starts a new
// syllable; the stressed vowel is upper case; "^" after a vowel closes it, "~" nasalises it; "_c"
// stands for the recorded sound of character c.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace falatro {

/// One letter-to-sound rule: left(centre)right=output. Fields are cut to their widths on loading.
struct TranscriptionRule {
  std::string left;    ///< up to 5 symbols, matched leftwards from the character before the centre
  std::string centre;  ///< 1 to 5 characters consumed (upper case letters, accent marks, others)
  std::string right;   ///< up to 5 symbols, matched rightwards from the character after the centre
  std::string output;  ///< up to 11 characters appended for the centre
};

/// One exception: a normalised lower-case word and the text transcribed in its place.
struct TranscriptionException {
  std::string word;
  std::string alias;
};

/// Limits of the rule and exception files.
inline constexpr size_t kRuleContextWidth = 5;
inline constexpr size_t kRuleCentreWidth = 5;
inline constexpr size_t kRuleOutputWidth = 11;
inline constexpr size_t kExceptionLineWidth = 255;
inline constexpr size_t kMaxTranscriptionExceptions = 15000;
/// Rules are listed by the first character of their centre, codes 32 ('space') to 95 ('_').
inline constexpr int kFirstRuleChar = 32;
inline constexpr int kRuleListCount = 64;

/// Character class bits used by the tokeniser, the stress scan and the rule contexts.
enum TranscriberCharClass : uint8_t {
  kTcVowel = 1,        ///< A E I O U a e i o u
  kTcConsonant = 2,    ///< the other letters
  kTcAccent = 4,       ///< ' ` ^ ~ and the double quote (diaeresis)
  kTcPunctuation = 8,  ///< space ! , . : ; ?
  kTcBackVowel = 16,   ///< A O a o
  kTcFrontVowel = 32,  ///< E I e i
};

/// The whole state of the transcriber; one instance, Transcriber.
struct TranscriberState {
  std::array<uint8_t, 256> char_class{};                    ///< TranscriberCharClass bits per byte
  std::array<std::vector<TranscriptionRule>, kRuleListCount> rules;  ///< by centre's first char - 32
  std::vector<TranscriptionException> exceptions;          ///< sorted by word, plain byte order
  // The token being transcribed.
  std::string word;        ///< lower-case letters and accent marks, or one other character
  int letter_count = 0;    ///< letters in word
  int vowel_count = 0;     ///< vowels in word
  bool accented = false;   ///< word holds an accent mark (not the diaeresis) after its first character
};

extern TranscriberState Transcriber;

/// Reads a rules file (lines "left(centre)right=output|comment"). Resets the character classes, the
/// rule lists and the exceptions. Returns false (and sets *error) only when the file cannot be read;
/// malformed lines are loaded with cut fields or skipped, never read past.
bool LoadTranscriptionRules(const std::string& path, std::string* error = nullptr);
/// The same from text already in memory (tests, fuzzing). Always succeeds.
void ParseTranscriptionRules(std::string_view text);

/// Reads an exceptions file (lines "word=alias|comment", at most 255 characters each, at most 15000
/// entries kept, words already in normalised lower-case form). Replaces the loaded exceptions and
/// sorts them. Returns false (and sets *error) only when the file cannot be read.
bool LoadTranscriptionExceptions(const std::string& path, std::string* error = nullptr);
/// The same from text already in memory.
void ParseTranscriptionExceptions(std::string_view text);

/// Releases the rule lists and the exceptions.
void FreeTranscriptionRules();

/// Transcribes cp1252 text into the bracketed notation. Empty text gives an empty result.
std::string TranscribeText(std::string_view text);

/// True for the cp1252 marks said by their own name (the character's recording): ƒ † ‡ ˆ ‰ ‹ • ˜ ™ ›.
bool IsCp1252NamedMark(char c);
/// The plain ASCII a typographic cp1252 mark stands for: curly and low single quotes "'", curly and low
/// double quotes "\"", the ellipsis "...", the en and em dashes " - ", the no-break space " "; empty
/// for every other character.
std::string_view Cp1252MarkAsAscii(char c);

/// Steps of TranscribeText, exposed for tests and measuring tools.
/// Reduces cp1252 text to ASCII letters, accent marks and punctuation (placeholder: " \x01 "). The
/// euro sign becomes " euro " (" euros " after a number other than one), the marks said by name stay
/// as blank-separated tokens, a curly apostrophe is the plain one inside a word and a blank elsewhere.
std::string NormalizeForTranscription(std::string_view text);
/// Replaces word by its exception alias (with the "s"/"m" suffix rule); false when none applies.
bool LookUpTranscriptionException(std::string& word);
/// Marks the stressed vowel of a normalised lower-case token by upper-casing it (unless accented).
void MarkTranscriptionStress(std::string& word, bool accented, int vowel_count);

}  // namespace falatro
