// Making one diphone unit: its name read back as phonemes of the generating voice, said inside a carrier
// word and cut out at the phoneme boundaries that voice reports.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "job_runner.h"

namespace falatro {

/// How a unit is made.
enum class UnitMethod {
  kCarrier,          ///< said unstressed before a stressed carrier syllable ("p@" unit "p'a"), cut out
  kCarrierStressed,  ///< said stressed between unstressed carrier syllables ("p@" 'unit "p@"), cut out
  kAlone,            ///< said on its own, stressed, silence trimmed
};

/// Name of a method ("carrier", "stressed-carrier", "alone").
const char* UnitMethodName(UnitMethod method);

/// The phonemes of one unit in the generating voice's mnemonics, and how to make it.
struct UnitRecipe {
  std::vector<std::string> Phonemes;
  int StressAt = -1;  ///< index of the unit's first vowel phoneme, -1 for none
  UnitMethod Method = UnitMethod::kCarrier;
  int Rate = 175;     ///< words per minute of the generating voice
};

/// State of the unit maker (one instance, `UnitMaking`): the symbol table and the chosen method.
struct UnitMakerState {
  /// Unit-name spelling of a notation symbol (upper case, "^" closed, "~" nasal) -> mnemonic(s) of the
  /// generating voice, blank-separated.
  std::map<std::string, std::string> Symbols;
  size_t LongestSymbol = 0;
  /// Units cut stressed from carrier words come closest to the generating voice's own words (see
  /// bench_voice_units), so that is how the databases are made.
  UnitMethod Method = UnitMethod::kCarrierStressed;
  int Rate = 175;  ///< words per minute of the database being made
  bool Loaded = false;
};
extern UnitMakerState UnitMaking;

/// Reads the symbol table "SYMBOL=mnemonic ..." (UTF-8, '#' comments). False and *error on a bad line
/// or an unreadable file.
bool LoadUnitSymbols(const std::string& path, std::string* error);

/// Spells a unit name back in symbols: "$KOCIRC" -> "KO^", "$AWTIL" -> "AW~"; "$" is dropped.
std::string UnitNameToSymbols(const std::string& name);

/// Reads a unit name into a recipe by longest match over the symbol table. False when part of the
/// name matches no symbol (no sound can stand for it).
bool PlanUnit(const std::string& name, UnitRecipe* recipe);

/// Gives a unit that ends with "u" the generating voice's unstressed, short form of it (as at the end of
/// a word written with "o", or the article "o"). False, recipe unchanged, for any other unit.
bool ReduceFinalVowel(UnitRecipe* recipe);

/// Text that changes whenever the recipe's sound would (for the cache).
std::string UnitRecipeKey(const UnitRecipe& recipe);

/// Starts the generating voice in a worker at the pitch of the units (the rate is set per unit).
bool StartUnitVoice(std::string* error);

/// Makes the 8-bit 11025 Hz sound of a unit: job.Text is "RATE NAME" (words per minute and unit name),
/// followed by " unstressed" for a unit made with ReduceFinalVowel;
/// the loudness of its carrier word matched,
/// cut at zero crossings nearest the reported boundaries, edges faded to the zero level.
bool MakeUnitSound(const SoundJob& job, std::vector<uint8_t>* bytes, std::string* error);

/// The same for a recipe, returning float samples at 11025 Hz before the 8-bit step (for measuring).
bool RenderUnit(const UnitRecipe& recipe, std::vector<float>* sound, std::string* error);

/// RMS (16-bit units) of the steady part of a vowel (a generating-voice mnemonic) said stressed in the
/// units' carrier at rate, the carrier's loudness matched: the level every unit brings that vowel to.
/// A nasal vowel takes its oral vowel's level. Kept per process; 0 when it cannot be said.
double VowelLevel(const std::string& vowel, int rate, std::string* error = nullptr);

/// Pitch of the units.
constexpr int kUnitPitch = 45;

}  // namespace falatro
