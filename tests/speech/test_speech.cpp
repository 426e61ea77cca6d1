// The speech front end: texts said from recordings and the diphone voice, marks and pauses, spelling,
// prompts, signals, start-up and shutdown, and keys that cut speech.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "console/keyboard.h"
#include "console/nxcrt.h"
#include "speech/diphone_synth.h"
#include "speech/speech.h"
#include "speech/suite_settings.h"
#include "speech/synthesizer.h"
#include "speech/wave_player.h"
#include "test_speech_support.h"
#include "tts/transcriber.h"

namespace falatro {
namespace {

constexpr const char* kRules =
    "(A)=a|\n(B)=b|\n(E)=e|\n(H)=h|\n(I)=i|\n(K)=k|\n(O)=o|\n(P)=p|\n(S)=s|\n(T)=t|\n(U)=u|\n(X)=x|\n";

class FrontEnd : public testing::SpeechFixture {
 protected:
  void SetUp() override {
    SpeechFixture::SetUp();
    WriteIni("", true);
    AppendIni("PAUSAPONTO3=500\nPAUSAVIRG3=300\nPAUSADOISPONTOS3=400\n");
    WriteRules(kRules, "");
    WriteDatabase("VOZ", {{"$A", 400}, {"$E", 400}, {"$KA", 600}, {"$O", 400}});
    for (int c : {33, 40, 41, 44, 45, 46, 47, 58, 87, 97, 98, 104, 112, 116, 119, 120, 233})
      Letter("_" + std::to_string(c));
    for (int d = 0; d <= 9; ++d) Letter("_" + std::to_string(48 + d));
    for (const char* w : {"_MENOS", "_zero", "_um", "_dois", "_cinco", "_sete", "_vinte", "_e", "_mil",
                          "dtmf_1", "dtmf_9", "dtmf_X", "dtmf_#"})
      Letter(w);
    WriteRecording(prog_, "OLA", 300);
    InitSpeech(0, prog_);
    ASSERT_TRUE(Diphone.Started);
    Trace();
  }
  void AppendIni(const std::string& keys) {
    std::ifstream in(win_ + "/NARRIX.INI", std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    WriteFile(win_ + "/NARRIX.INI", text + "\r\n" + keys);
  }
  // What the diphone voice alone plays for a run of text.
  std::string VoiceOf(const std::string& run) {
    Trace();
    SayTranscription(TranscribeText(run), false);
    return Trace();
  }
  // Milliseconds of silence between the end of block i and the start of block i + 1.
  uint64_t GapAfter(size_t i) const {
    const testing::PlayedBlock& b = device_.blocks[i];
    uint64_t ms = b.data.size() * 1000 / b.format.rate;
    return device_.blocks[i + 1].at_ms - (b.at_ms + ms);
  }
};

struct TextCase {
  const char* what;
  const char* text;
  bool marks;  // SpeakPunctuationMarks
  const char* heard;
};

TEST_F(FrontEnd, SaysTextsFromRecordingsAndTheVoice) {
  const TextCase cases[] = {
      {"leading zeros are each a prompt", "007", true, "_zero | _zero | _sete"},
      {"seven digits are spelled", "1234567", true, "_49 | _50 | _51 | _52 | _53 | _54 | _55"},
      {"six digits are words", "21", true, "_vinte _e _um"},
      {"a hyphen inside digits spells the run", "12-34", true, "_49 | _50 | _45 | _51 | _52"},
      {"a minus before a digit", "-5", true, "_MENOS | _cinco"},
      {"words go to the voice", "a", true, "$A"},
      {"four marks said, then clicks", "a......", false, "$A | _46 | _46 | _46 | _46 | click | click"},
      {"a full stop followed by a space is said when marks are on", "a. e", true, "$A | _46 | $E"},
      {"a full stop followed by a space is only a pause when marks are off", "a. e", false, "$A | $E"},
      {"a comma inside a word is said when marks are off", "a,b", false, "$A | _44 | _98"},
      {"a comma inside a word is said once when marks are on", "a,b", true, "$A | _44 | _98"},
      {"a comma and a space: only a pause", "a, b", false, "$A | _98"},
      {"brackets are paused on", "(a)", false, "$A"},
      {"brackets are said with marks on", "(a)", true, "_40 | $A | _41"},
      {"a dash between blanks is punctuation", "x - x", true, "_120 | _45 | _120"},
      {"a dash between a word run and a letter is dropped", "x -x", false, "_120 | _120"},
      {"a dash before a letter elsewhere is said", "!-x", false, "_33 | _45 | _120"},
      {"tabs are silent", "a\tb", true, "$A | _98"},
      {"other characters are said", "a!", true, "$A | _33"},
      {"an address: colon spelled, slashes said", "http://x", true,
       "_104 _116 _116 _112 | _58 | _47 | _47 | _120"},
      {"WWW is spelled", "WWW", true, "_87 | _87 | _87"},
      {"www in any case is spelled", "www.x", true, "_119 | _119 | _119 | _46 | _120"},
      {"blanks after WWW do not count", "wWw  ", true, "_119 | _87 | _119"},
      {"a hyphenated word is said as two halves with nothing between", "ka-ka", true, "$KA | $KA"},
      {"an accented letter belongs to the word run", "\xE9", true, "$E"},
      {"empty text", "", true, ""},
  };
  for (const TextCase& c : cases) {
    Speech.SpeakPunctuationMarks = c.marks;
    Speech.LastMark = ' ';
    Speech.RepeatCount = 0;
    SpeakText(c.text);
    EXPECT_EQ(Trace(), c.heard) << c.what << ": \"" << c.text << "\"";
  }
}

TEST_F(FrontEnd, WwwInsideASentenceIsSpelledAndTheRestGoesToTheVoice) {
  SpeakText("www ka");
  EXPECT_EQ(Trace(), "_119 | _119 | _119 | $KA");
  SpeakText("ka www.ka");
  EXPECT_EQ(Trace(), "$KA | _119 | _119 | _119 | _46 | $KA");
  SpeakText("wwwx www2");
  EXPECT_EQ(Trace().find("_119 | _119 | _119 | _50"), std::string::npos) << "only the word www is spelled";
}

// Chat text as phones and modern clients write it: typographic marks, emoji names from the network
// edge, numbers with thousands separators and money.
class ChatText : public FrontEnd {
 protected:
  void SetUp() override {
    FrontEnd::SetUp();
    for (int c : {34, 39, 63, 128, 129, 133, 149, 151, 153})
      Letter("_" + std::to_string(c));
    for (const char* w : {"_milhao", "_de", "_quinhen", "_cinquen", "_real", "_reais", "_euro", "_euros",
                          "_centavo", "_centavs"})
      Letter(w);
  }
};

TEST_F(ChatText, TypographicMarksAreSaidAsThePlainOnes) {
  struct Case { const char* what; const char* typographic; const char* plain; bool marks; } cases[] = {
      {"curly double quotes", "e \x93" "ka\x94 e", "e \"ka\" e", true},
      {"low double quote", "\x84" "ka", "\"ka", true},
      {"curly apostrophes", "\x91" "ka\x92", "'ka'", true},
      {"ellipsis, marks on", "ka\x85", "ka...", true},
      {"ellipsis, marks off", "ka\x85 e", "ka... e", false},
      {"en dash between blanks", "a \x96 e", "a - e", false},
      {"em dash inside a word is the dash pause", "a\x97" "e", "a - e", false},
      {"no-break space", "ka\xA0" "e", "ka e", true},
  };
  for (const Case& c : cases) {
    Speech.SpeakPunctuationMarks = c.marks;
    Speech.LastMark = ' ';
    SpeakText(c.plain);
    const std::string plain = Trace();
    Speech.LastMark = ' ';
    SpeakText(c.typographic);
    EXPECT_EQ(Trace(), plain) << c.what;
    EXPECT_NE(plain, "") << c.what;
  }
}

TEST_F(ChatText, EachKindOfCharacterIsHeardAsAPersonReadsIt) {
  const std::string smile = VoiceOf("rosto risonho");
  struct Case { const char* what; const char* text; bool marks; std::string heard; };
  const Case cases[] = {
      {"quotes said, not vowels", "e \x93ka\x94", true, "$E | _34 | $KA | _34"},
      {"the em dash is a pause, not a vowel", "a \x97 e", false, "$A | $E"},
      {"a bullet is said by name when marks are said", "\x95 ka", true, "_149 | $KA"},
      {"and skipped when they are not", "\x95 ka", false, "$KA"},
      {"the trade mark after a word", "ka\x99", true, "$KA | _153"},
      {"letters of 128..159 stay letters (OE read as e)", "\x8C", true, "$E"},
      {"the euro sign alone is its name", "\x80", true, "_128"},
      {"euros after a number", "5 \x80", true, "_cinco _euros"},
      {"one euro", "1\x80", true, "_um _euro"},
      {"euro before a number", "\x80" "21", true, "_vinte _e _um _euros"},
      {"R$ with thousands and zero cents", "R$ 1.500,00", true, "_mil _e _quinhen _reais"},
      {"R$ with cents", "x R$2,50", true, "_120 | _dois _reais _e _cinquen _centavs"},
      {"one real", "r$ 1", true, "_um _real"},
      {"only cents", "R$ 0,01", true, "_um _centavo"},
      {"a round million takes de", "R$ 1.000.000", true, "_um _milhao _de _reais"},
      {"R$ inside a word is not money", "BR$5", true, "_98 | _cinco"},
      {"thousands separators make a number", "1.000.000", true, "_um _milhao"},
      {"a six-digit number with separators", "21.005", true, "_vinte _e _um _mil _e _cinco"},
      {"a plain long digit string is still spelled", "5550123", true,
       "_53 | _53 | _53 | _48 | _49 | _50 | _51"},
      {"wrong grouping is read as today", "1.00", true, "_um | _46 | _zero | _zero"},
      {"an address of four small parts is read as today", "1.000.000.0", true,
       "_um | _46 | _zero | _zero | _zero | _46 | _zero | _zero | _zero | _46 | _zero"},
      {"an emoji name: brackets paused on, not said", "a (rosto risonho)", true, "$A | " + smile},
      {"other brackets are said", "(a)", true, "_40 | $A | _41"},
      {"a character cp1252 lacks is not said", "a\x81 e", true, "$A | $E"},
  };
  for (const Case& c : cases) {
    Speech.SpeakPunctuationMarks = c.marks;
    Speech.LastMark = ' ';
    Speech.RepeatCount = 0;
    SpeakText(c.text);
    EXPECT_EQ(Trace(), c.heard) << c.what << ": \"" << c.text << "\"";
  }
}

TEST_F(FrontEnd, MarksArePausedForTheirConfiguredTime) {
  struct Case { const char* what; const char* text; int ms; } cases[] = {
      {"full stop", "a. e", 500},
      {"comma", "a, e", 300},
      {"dash", "a - e", 300},
      {"colon", "a: e", 400},
      {"semicolon", "a; e", 400},
      {"bracket, even without a blank", "a(e", 400},
  };
  Speech.SpeakPunctuationMarks = false;
  for (const auto& c : cases) {
    device_.blocks.clear();
    SpeakText(c.text);
    ASSERT_EQ(device_.blocks.size(), 2u) << c.what;
    EXPECT_GE(GapAfter(0), static_cast<uint64_t>(c.ms)) << c.what;
    EXPECT_LT(GapAfter(0), static_cast<uint64_t>(c.ms + 60)) << c.what;
  }
}

TEST_F(FrontEnd, RepeatedMarksAreRememberedAcrossTexts) {
  Speech.SpeakPunctuationMarks = false;
  SpeakText("a!!");
  SpeakText("!!!");
  EXPECT_EQ(Trace(), "$A | _33 | _33 | _33 | _33 | click");
  SpeakText("?!");
  EXPECT_EQ(Trace(), "_33") << "another character starts the count again (no recording for ?)";
}

TEST_F(FrontEnd, AKeyStopsSpeechWithinOneCharacterAndStaysQueued) {
  AddTimer(40, [] { InjectKeys("q"); });
  SpeakText("1234567");
  EXPECT_EQ(Trace(), "_49 | _50") << "the key came while the second digit sounded";
  EXPECT_EQ(Kbd.KeyCount, 1);
  EXPECT_EQ(Kbd.KeyBuffer[0], 'q');
  EXPECT_TRUE(Sound.SpeechCut);
}

TEST_F(FrontEnd, AKeyDuringAWordStopsTheRestOfTheText) {
  AddTimer(10, [] { InjectKeys("w"); });
  SpeakText("ka. ka. ka. ka.");
  EXPECT_EQ(Trace(), "$KA");
  EXPECT_EQ(Kbd.KeyCount, 1);
}

TEST_F(FrontEnd, AKeyAlreadyWaitingSaysNothing) {
  InjectKeys("z");
  SpeakText("a 1 b");
  SpellText("ab");
  EXPECT_EQ(Trace(), "");
  EXPECT_EQ(Kbd.KeyCount, 1);
}

TEST_F(FrontEnd, SpellsAndSaysCharactersByTheirCode) {
  SpellText("ab\xE9");
  EXPECT_EQ(Trace(), "_97 | _98 | _233");
  SpeakChar('/');
  EXPECT_EQ(Trace(), "_47");
}

TEST_F(FrontEnd, PromptsComeFromTheLettersOrTheProgramDirectory) {
  Letter("_DEL");
  struct Case { const char* key; bool exists; const char* heard; } cases[] = {
      {"_MENOS", true, "_MENOS"},
      {"OLA", true, "OLA"},
      {"ola", true, "OLA"},
      {"_del", true, "_DEL"},
      {"_nada", false, ""},
      {"NADA", false, ""},
      {"MENOS", false, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PromptSoundExists(c.key), c.exists) << c.key;
    PlayPrompt(c.key);
    EXPECT_EQ(Trace(), c.heard) << c.key;
  }
}

TEST_F(FrontEnd, BeepThrowsAwayTypedAheadKeys) {
  InjectKeys("abc");
  PlayBeep();
  EXPECT_EQ(Kbd.KeyCount, 0);
  EXPECT_EQ(Trace(), "beep");
}

TEST_F(FrontEnd, ClickPlaysWithPeriodCuttingOff) {
  Wave.CutPeriods = true;
  PlayClick();
  EXPECT_EQ(Trace(), "click");
  EXPECT_TRUE(Wave.CutPeriods);
  for (int i = 0; i < 64; ++i) {
    EXPECT_GE(Speech.ClickImage[44 + i], 128);
    EXPECT_LE(Speech.ClickImage[44 + i], 187);
  }
  for (int i = 64; i < 256; ++i) EXPECT_EQ(Speech.ClickImage[44 + i], 128);
}

TEST_F(FrontEnd, DialTonesAtTheNormalRateWithPauses) {
  Wave.FastRate = true;
  PlayDialTones("1*#,9a");
  ASSERT_EQ(device_.blocks.size(), 4u);
  for (const auto& b : device_.blocks) EXPECT_EQ(b.format.rate, 11025u);
  EXPECT_GE(GapAfter(0), 100u);
  EXPECT_GE(GapAfter(2), 1100u) << "the comma waits a second after the tone's own 100 ms";
  EXPECT_EQ(Trace(), "dtmf_1 | dtmf_X | dtmf_# | dtmf_9");
  EXPECT_TRUE(Wave.FastRate);
}

TEST(UpperCaseAccented, RaisesLettersAndAccentedSmallLetters) {
  const std::pair<char, char> cases[] = {
      {'a', 'A'}, {'z', 'Z'}, {'A', 'A'}, {'1', '1'}, {'\xE7', '\xC7'}, {'\xE0', '\xC0'},
      {'\xFA', '\xDA'}, {'\xFF', '\xDF'}, {'\xDF', '\xDF'}, {'\xAA', '\xAA'}, {'\x9C', '\x9C'},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(UpperCaseAccented(in), out) << int(uint8_t(in));
  EXPECT_EQ(UpperCaseAccented(std::string_view("www.s\xE3o")), "WWW.S\xC3O");
}

TEST_F(FrontEnd, WritesAndSpeaksOnTheConsole) {
  ClrScr();
  WriteLnSpoken("a");
  EXPECT_EQ(ScreenChar(1, 1), 'a');
  EXPECT_EQ(WhereY(), 2);
  EXPECT_EQ(WhereX(), 1);
  EXPECT_EQ(Trace(), "$A");
  WriteNumberSpoken(-21);
  EXPECT_EQ(ScreenChar(1, 2), '-');
  EXPECT_EQ(ScreenChar(3, 2), '1');
  EXPECT_EQ(Trace(), "_MENOS | _vinte _e _um");
}

TEST_F(FrontEnd, StartUpReadsTheSpeedAndTheDirectories) {
  EXPECT_EQ(Speech.Speed, 3);
  EXPECT_EQ(Speech.LettersDir, letters_ + "\\");
  EXPECT_EQ(Speech.ProgramSoundDir, prog_ + "\\");
  EXPECT_EQ(Sound.PausePeriod, 500);
  EXPECT_FALSE(Sound.SynthesizerActive);
  DoneSpeech();
  EXPECT_FALSE(Diphone.Started);

  struct Case { const char* what; const char* speed_key; int speed_arg; int speed; } cases[] = {
      {"the setting when the speed given is 0", "VELOCIDADE=2\n", 0, 2},
      {"the speed given wins", "VELOCIDADE=2\n", 4, 4},
      {"a setting outside 1..5 is 3", "VELOCIDADE=9\n", 0, 3},
      {"a setting that is no number is 3", "VELOCIDADE=rapida\n", -1, 3},
      {"a speed above 5 is 3", "", 7, 3},
  };
  for (const auto& c : cases) {
    WriteFile(win_ + "/NARRIX.INI", "[TRADUTOR]\ndirLetras=" + letters_ + "\nDIRDIFONES=" + difones_ +
                                        "\n" + c.speed_key + "[SINTETIZADOR]\nDIFONES2=VOZ\nDIFONES3=VOZ\n"
                                        "DIFONES4=VOZ\nPAUSAPONTO2=222\nPAUSAPONTO4=444\n");
    InitSpeech(c.speed_arg, "");
    EXPECT_EQ(Speech.Speed, c.speed) << c.what;
    EXPECT_EQ(Sound.PausePeriod, c.speed == 2 ? 222 : c.speed == 4 ? 444 : 250) << c.what;
    EXPECT_EQ(Speech.ProgramSoundDir, "") << c.what;
    EXPECT_EQ(Speech.LettersDir, letters_ + "\\") << c.what << ": DIRLETRAS is dirLetras";
    DoneSpeech();
  }
}

TEST_F(FrontEnd, AConfiguredSynthesizerThatCannotStartLeavesTheRecordedVoice) {
  DoneSpeech();
  WriteIni("SAPI=Sim\r\n");
  AppendIni("[SERVFALA]\nTIPOSAPI=5\nVELOCIDADE=12\n");
  InitSpeech(0, prog_);
  EXPECT_FALSE(Sound.SynthesizerActive);
  EXPECT_EQ(Sound.SynthesizerType, 5);
  EXPECT_EQ(Synth.CurrentSynthesizerType, 5);
  SpeakText("a");
  EXPECT_EQ(Trace(), "$A");
}

TEST_F(FrontEnd, ASynthesizerSettingBeginningWithNIsNotTried) {
  DoneSpeech();
  Synth.CurrentSynthesizerType = 4;
  WriteIni("SAPI=nao\r\n");
  AppendIni("[SERVFALA]\nTIPOSAPI=5\n");
  InitSpeech(0, prog_);
  EXPECT_EQ(Synth.CurrentSynthesizerType, 4);
  EXPECT_EQ(Sound.SynthesizerType, 4);
}

TEST_F(FrontEnd, WithAnActiveSynthesizerTheTextIsHandedOver) {
  Sound.SynthesizerActive = true;
  Sound.SynthSpeechPending = false;
  SpeakText("a 21");
  EXPECT_EQ(Trace(), "") << "nothing from recordings";
  EXPECT_TRUE(Sound.SynthSpeechPending);
  Sound.SynthesizerActive = false;
}

TEST_F(FrontEnd, AVoiceThatCannotStartBeepsAndEndsTheProgramAfterEnterWithAnErrorCode) {
  DoneSpeech();
  std::remove((difones_ + "/VOZ.IND").c_str());
  ClrScr();
  InjectKeys("\r");
  int code = -1;
  try {
    InitSpeech(0, prog_);
  } catch (const ConsoleExit& e) {
    code = e.code;
  }
  EXPECT_EQ(code, kVoiceStartFailedExit);
  auto row = [](int y) {
    std::string s;
    for (int x = 1; x <= 80; ++x) s += static_cast<char>(ScreenChar(x, y));
    return s.substr(0, s.find_last_not_of(' ') + 1);
  };
  EXPECT_EQ(row(1), "Erro de inicializa\xE7\xE3o: 1");
  EXPECT_EQ(row(2), "Banco de dados de voz: VOZ");
  EXPECT_FALSE(Diphone.Started);
  EXPECT_EQ(Diphone.DataFd, -1);
}

}  // namespace
}  // namespace falatro
