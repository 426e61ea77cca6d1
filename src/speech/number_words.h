// Numbers, the time and the date in Portuguese words, said by joining recordings of single words.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace falatro {

/// Most bytes of sound joined into one image by SayNumberWords before it is played.
constexpr size_t kNumberJoinCapacity = 30000;

/// Portuguese words of n separated by blanks (cp1252): 0 "zero", 21 "vinte e um", 1000 "mil",
/// 2000 "dois mil " and 1000000 "um milh\xE3o " (scale words keep their trailing blank). Numbers of
/// sixteen digits or more, beyond the trillions, are given digit by digit ("um dois ...").
std::string NumberToWords(uint64_t n);

/// File name (without directory and ".wav") of the recording of one word: "_" + the word cut to 8
/// characters, "dezessete" written "dezeset" and "centavos" "centavs" first, "\xE3" as "a" and "\xF5"
/// as "o".
std::string NumberWordFileName(std::string_view word);

/// The currencies said after an amount.
enum class Currency { kReal, kEuro };

/// Words of an amount of money: the whole part with "real"/"reais" (or "euro"/"euros"; "de" after a
/// round million and above), then "e" and the cents with "centavo"/"centavos" unless they are 0; a
/// whole part of 0 with cents says only the cents. 1500,00 reais: "mil e quinhentos reais".
std::string MoneyToWords(uint64_t whole, unsigned cents, Currency currency);

/// Plays the recordings of words (letters directory of the diphone voice) as one joined sound, in
/// blocks of at most kNumberJoinCapacity bytes. With feminine set, a last word "um" or "dois" is said
/// "uma" or "duas". Missing or unreadable recordings are skipped; a waiting key cuts the sound.
void SayNumberWords(std::string_view words, bool feminine);

/// Says a time: hours in the feminine with "hora"/"horas", then, unless minutes is 0, the minutes
/// with "minuto"/"minutos".
void SayTime(int hours, int minutes);
/// SayTime of the console clock's current time.
void SayCurrentTime();

/// Day of the week of a date of the Gregorian calendar, 0 = Sunday.
int WeekdayOf(int day, int month, int year);
/// Says a date: weekday, day ("primeiro" for 1), "de", month, "de", year (from 2000 on "dois mil",
/// "e" and the rest; before 2000 only its last two digits).
void SayDate(int day, int month, int year);
/// SayDate of the console clock's current date.
void SayCurrentDate();

}  // namespace falatro
