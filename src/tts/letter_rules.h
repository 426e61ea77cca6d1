// Exceptions dictionary and letter-to-sound rules of the built-in engine: each word of a sentence
// becomes phoneme names, one per line, with ">" before the stressed one.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace falatro {

/// Limits of the rules and exceptions files.
inline constexpr size_t kLetterRuleContextWidth = 5;
inline constexpr size_t kLetterRuleCentreWidth = 5;
inline constexpr size_t kLetterRuleOutputWidth = 20;  ///< kept from the file
inline constexpr size_t kLetterRuleOutputUsed = 11;   ///< used when transcribing
inline constexpr size_t kExceptionLineLength = 255;
inline constexpr size_t kMaxExceptions = 15000;

/// One rule line: left(centre)right=output|comment.
struct LetterRule {
  std::string left;    ///< matched leftwards from the character before the centre
  std::string centre;  ///< the letters consumed; never empty
  std::string right;   ///< matched rightwards from the character after the centre
  std::string output;  ///< phoneme names separated by "&"
};

/// One exceptions entry: an upper-case word and its respelling.
struct palavra_alias {
  std::string word;
  std::string alias;
};

/// The state of the rules and exceptions; one instance, LetterRules.
struct LetterRulesState {
  /// Rules by the first character of their centre, each list in file order (the order of trial).
  std::array<std::vector<LetterRule>, 256> rules;
  /// Sorted ascending by word in plain byte order; at most kMaxExceptions.
  std::vector<palavra_alias> exceptions;
};

extern LetterRulesState LetterRules;

/// Reads a rules file and adds its rules to the lists. False only when the file cannot be read;
/// malformed lines give rules with empty or cut fields, or are ignored when their centre is empty.
bool LoadLetterRules(const std::string& path);
/// The same from text in memory (tests, fuzzing).
void ParseLetterRules(std::string_view text);
/// Releases the rule lists.
void FreeLetterRules();

/// Reads an exceptions file ("word=alias|comment", upper-cased, at most 15000 entries) in place of the
/// loaded ones. False only when the file cannot be read.
bool LoadExceptions(const std::string& path);
/// The same from text in memory.
void ParseExceptions(std::string_view text);

/// Replaces an upper-case word by its respelling; a final S or M missing from the table is kept after
/// the respelling of the rest (CASAS finds CASA). Unknown words are left as they are.
void LookUpException(std::string& word);

/// Appends the phoneme lines of an upper-case word, ">" before the first phoneme produced from the
/// stressed letter (stress_position from 1; below 1 for none), then an empty line.
void TranscribeWord(std::string_view word, int stress_position, std::vector<std::string>& phonemes);

/// The transcription stage: for each contour line ("555|word") a marker line ";555|word", then the
/// word's phonemes or the pause name of a punctuation mark; "__" at the end; final r2/s2 become r/z
/// before a word that begins with a vowel.
std::vector<std::string> TranscribeSentence(const std::vector<std::string>& contours);

}  // namespace falatro
