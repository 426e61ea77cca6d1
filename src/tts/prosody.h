// Prosody of the built-in engine: tokens with keyword classes, a three-level pitch contour per token,
// and the MBROLA phoneme lines (name, duration, pitch targets) with transitions where the voice lacks
// a diphone.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace falatro {

/// Limits of the prosody configuration.
inline constexpr size_t kMaxDurations = 99;
inline constexpr size_t kMaxKeywords = 1000;
inline constexpr size_t kMaxContourPatterns = 300;
inline constexpr int kDefaultHertz = 230;

/// One keyword: a word in upper case and its class code (up to 2 characters).
struct TChave {
  std::string word;
  std::string klass;
};

/// One contour pattern: classes of the previous, own and next token (empty: any) and the contour.
struct TProsodia {
  std::string previous;
  std::string own;
  std::string next;
  std::string contour;
};

/// The prosody's state; one instance, Prosody.
struct ProsodyState {
  std::vector<std::pair<std::string, int>> durations;  ///< (name, ms) in file order
  std::vector<TChave> keywords;                        ///< sorted ascending by word
  std::vector<TProsodia> patterns;                     ///< in file order
  int hertz = kDefaultHertz;                           ///< base pitch
  std::array<int, 10> tabhertz{};                      ///< percentages of hertz for levels 0..9
  std::vector<std::string> diphones;                   ///< "A-B" keys (upper-cased), sorted
  std::unordered_set<std::string> diphone_index;       ///< the same keys, for the per-phoneme look-up
  std::unordered_map<std::string, int> duration_index; ///< first duration of each name
  std::string current_phoneme;                         ///< survives from one text to the next
  std::string error;                                   ///< message of the last failed load
};

extern ProsodyState Prosody;

/// Reads the prosody configuration (sections "[DURAÇÃO]", "[CHAVES]", "[PROSÓDIA]"). On failure
/// returns false, sets Prosody.error to the message and writes it on standard error.
bool LoadProsody(const std::string& path);
/// The same from text in memory; never writes on standard error.
bool ParseProsody(std::string_view text);

/// Reads the diphone list: one "first second ..." pair a line; "!", "*" and ";" start comment lines.
/// False when the file cannot be read.
bool LoadDiphoneList(const std::string& path);
/// The same from text in memory.
void ParseDiphoneList(std::string_view text);
/// Releases the diphone list.
void FreeDiphoneList();
/// Whether the voice joins first to second (compared without regard to letter case).
bool HasDiphone(std::string_view first, std::string_view second);

/// Tokens of preprocessed text: "[class]text" lines, "[--]" at the start and after ! . ? tokens.
std::vector<std::string> TokenizeText(std::string_view text);
/// One "ccc|text" line per token: the contour of the first pattern matching the neighbours' classes.
std::vector<std::string> ChooseContours(const std::vector<std::string>& tokens);
/// MBROLA lines ("name ms [position hertz]") from the phoneme list of the transcription stage.
std::vector<std::string> ComputeProsody(const std::vector<std::string>& phonemes, double duration_factor,
                                        double pitch_factor);

}  // namespace falatro
