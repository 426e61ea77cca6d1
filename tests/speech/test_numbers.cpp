// Numbers, time and date in words: the words, the recording names, and what is heard, in order.
#include <gtest/gtest.h>

#include "console/keyboard.h"
#include "console/nxcrt.h"
#include "speech/diphone_synth.h"
#include "speech/number_words.h"
#include "test_speech_support.h"

namespace falatro {
namespace {

struct WordsCase {
  const char* what;
  uint64_t n;
  const char* words;
};

TEST(NumberToWords, GivesThePortugueseWords) {
  const WordsCase cases[] = {
      {"zero", 0, "zero"},
      {"a unit", 7, "sete"},
      {"ten", 10, "dez"},
      {"sixteen", 16, "dezesseis"},
      {"seventeen", 17, "dezessete"},
      {"tens and units joined by e", 21, "vinte e um"},
      {"round tens", 90, "noventa"},
      {"exactly one hundred", 100, "cem"},
      {"one hundred and one", 101, "cento e um"},
      {"hundreds and teens", 110, "cento e dez"},
      {"round hundreds", 400, "quatrocentos"},
      {"every joiner", 999, "novecentos e noventa e nove"},
      {"one thousand drops um", 1000, "mil "},
      {"thousand and hundreds", 1500, "mil e quinhentos"},
      {"thousand joins every group", 1234, "mil e duzentos e trinta e quatro"},
      {"plural thousands keep their blank", 2000, "dois mil "},
      {"thousands and a unit", 2001, "dois mil e um"},
      {"largest number said as words", 999999,
       "novecentos e noventa e nove mil e novecentos e noventa e nove"},
      {"one million keeps um", 1000000, "um milh\xE3o "},
      {"plural millions", 2000000, "dois milh\xF5" "es "},
      {"million and one", 1000001, "um milh\xE3o e um"},
      {"one billion", 1000000000ull, "um bilh\xE3o "},
      {"one trillion", 1000000000000ull, "um trilh\xE3o "},
      {"largest with scale words", 999999999999999ull,
       "novecentos e noventa e nove trilh\xF5" "es novecentos e noventa e nove bilh\xF5" "es novecentos e "
       "noventa e nove milh\xF5" "es novecentos e noventa e nove mil e novecentos e noventa e nove"},
      {"beyond the trillions, digit by digit", 1000000000000000ull,
       "um zero zero zero zero zero zero zero zero zero zero zero zero zero zero zero"},
  };
  for (const WordsCase& c : cases) EXPECT_EQ(NumberToWords(c.n), c.words) << c.what;
}

TEST(NumberWordFileName, FollowsTheNamingRules) {
  const std::pair<const char*, const char*> cases[] = {
      {"zero", "_zero"},         {"quatrocentos", "_quatroc"}, {"dezesseis", "_dezesse"},
      {"dezessete", "_dezeset"}, {"milh\xE3o", "_milhao"},    {"milh\xF5" "es", "_milhoes"},
      {"trilh\xF5" "es", "_trilhoe"}, {"Fevereiro", "_Feverei"}, {"primeiro", "_primeir"},
      {"e", "_e"},
  };
  for (const auto& [word, name] : cases) EXPECT_EQ(NumberWordFileName(word), name) << word;
}

TEST(WeekdayOf, CountsFromSunday) {
  struct Case { int d, m, y, weekday; } cases[] = {
      {6, 12, 2026, 0}, {1, 1, 2000, 6}, {29, 2, 2024, 4}, {1, 3, 1900, 4}, {31, 12, 1999, 5},
      {1, 1, 2100, 5},
  };
  for (const Case& c : cases) EXPECT_EQ(WeekdayOf(c.d, c.m, c.y), c.weekday) << c.d << "/" << c.m << "/" << c.y;
}

class NumbersHeard : public testing::SpeechFixture {
 protected:
  void SetUp() override {
    SpeechFixture::SetUp();
    Diphone.LettersDir = letters_ + "\\";
    for (const char* w : {"_zero", "_um", "_uma", "_dois", "_duas", "_tres", "_cinco", "_seis", "_sete",
                          "_nove", "_dezeset", "_dezesse", "_vinte", "_trinta", "_noventa", "_quatroc",
                          "_mil", "_milhao", "_e", "_hora", "_horas", "_minuto", "_minutos", "_de",
                          "_primeir", "_Domingo", "_Sabado", "_Quinta", "_Dezembr", "_Janeiro", "_Feverei"})
      Letter(w, 400);
  }
};

TEST_F(NumbersHeard, EachNumberIsOneJoinedSound) {
  struct Case { const char* what; const char* words; bool feminine; const char* heard; } cases[] = {
      {"seventeen has its own name", "dezessete", false, "_dezeset"},
      {"sixteen is cut to eight characters", "dezesseis", false, "_dezesse"},
      {"four hundred", "quatrocentos", false, "_quatroc"},
      {"one million", "um milh\xE3o ", false, "_um _milhao"},
      {"a whole number in one block", "vinte e sete", false, "_vinte _e _sete"},
      {"feminine changes the last um", "vinte e um", true, "_vinte _e _uma"},
      {"feminine changes the last dois", "dois", true, "_duas"},
      {"feminine leaves earlier words", "um mil e dois", true, "_um _mil _e _duas"},
      {"masculine stays", "dois", false, "_dois"},
      {"a missing recording is skipped", "vinte e oito", false, "_vinte _e"},
      {"nothing at all is silent", "", false, ""},
  };
  for (const auto& c : cases) {
    SayNumberWords(c.words, c.feminine);
    EXPECT_EQ(Trace(), c.heard) << c.what;
  }
}

TEST_F(NumbersHeard, LongSoundsArePlayedInPiecesOfAtMost30000Bytes) {
  Letter("_trinta", 12000);
  Letter("_mil", 12000);
  Letter("_tres", 12000);
  SayNumberWords("trinta mil tres", false);
  EXPECT_EQ(Trace(true), "_trinta*12000 _mil*12000 | _tres*12000") << "the third word would pass 30000 bytes";

  Letter("_nove", 40000);
  SayNumberWords("nove", false);
  EXPECT_EQ(Trace(true), "_nove*30000 | _nove*10000") << "one recording longer than the buffer is heard whole";
}

TEST_F(NumbersHeard, RecordingsShorterThanTheirHeaderAreSkipped) {
  WriteFile(letters_ + "/_cinco.wav", "RIFF");
  SayNumberWords("cinco seis", false);
  EXPECT_EQ(Trace(), "_seis");
}

TEST_F(NumbersHeard, TimeIsSaidInTheFeminineWithHoursAndMinutes) {
  struct Case { int h, m; const char* heard; } cases[] = {
      {2, 0, "_duas | _horas"},
      {22, 0, "_vinte _e _duas | _horas"},
      {1, 0, "_uma | _hora"},
      {21, 5, "_vinte _e _uma | _horas | _cinco | _minutos"},
      {0, 30, "_zero | _hora | _trinta | _minutos"},
      {13, 1, "_horas | _um | _minuto"},  // no recording of treze: that word is silent
  };
  for (const auto& c : cases) {
    SayTime(c.h, c.m);
    EXPECT_EQ(Trace(), c.heard) << c.h << ":" << c.m;
  }
}

TEST_F(NumbersHeard, DateNamesWeekdayDayMonthAndYear) {
  struct Case { int d, mo, y; const char* heard; } cases[] = {
      {6, 12, 2026, "_Domingo | _seis | _de | _Dezembr | _de | _dois _mil | _e | _vinte _e _seis"},
      {1, 1, 2000, "_Sabado | _primeir | _de | _Janeiro | _de | _dois _mil"},
      {31, 12, 1999, "_trinta _e _um | _de | _Dezembr | _de | _noventa _e _nove"},
  };
  Letter("_seis", 400);
  for (const auto& c : cases) {
    SayDate(c.d, c.mo, c.y);
    EXPECT_EQ(Trace(), c.heard) << c.d << "/" << c.mo << "/" << c.y;
  }
}

TEST_F(NumbersHeard, CurrentTimeAndDateComeFromTheConsoleClock) {
  // Thursday 1 February 2024, 01:30 local time.
  Crt.wall_clock_ms = [] {
    struct tm t = {};
    t.tm_year = 124; t.tm_mon = 1; t.tm_mday = 1; t.tm_hour = 1; t.tm_min = 30; t.tm_isdst = -1;
    return static_cast<int64_t>(mktime(&t)) * 1000;
  };
  SayCurrentTime();
  EXPECT_EQ(Trace(), "_uma | _hora | _trinta | _minutos");
  SayCurrentDate();
  EXPECT_EQ(Trace(), "_Quinta | _primeir | _de | _Feverei | _de | _dois _mil | _e | _vinte _e");
}

TEST_F(NumbersHeard, AWaitingKeySilencesTheNumberAndStaysQueued) {
  InjectKeys("x");
  SayNumberWords("vinte e sete", false);
  EXPECT_EQ(Trace(), "");
  EXPECT_EQ(Kbd.KeyCount, 1);
}

}  // namespace
}  // namespace falatro
