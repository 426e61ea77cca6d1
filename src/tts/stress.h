// Stress assignment of the built-in engine: which letter of a word carries its stress.
#pragma once

#include <string_view>

namespace falatro {

/// True for words (upper case, after the exceptions look-up) that take no stress: words of at most
/// two characters and POR, DAS, DOS, COM, NÃO, SIM.
bool IsFunctionWord(std::string_view word);

/// Position (from 1) of the stressed letter of a cp1252 word in any letter case: the rightmost
/// accented vowel, otherwise the Portuguese default read from the end of the word (paroxytone after a
/// final a, e, o, am, em with or without s; oxytone otherwise). 0 when the word has no vowel.
int FindStressPosition(std::string_view word);

}  // namespace falatro
