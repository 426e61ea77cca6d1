// The diphone voice: database loading, start-up codes, speed parameters, and the units said for a
// transcription, in order and with their lengths.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>

#include "console/keyboard.h"
#include "diphone_record.h"
#include "speech/diphone_synth.h"
#include "speech/suite_settings.h"
#include "speech/wave_player.h"
#include "test_speech_support.h"

namespace falatro {
namespace {

class DiphoneTest : public testing::SpeechFixture {
 protected:
  void SetUp() override {
    SpeechFixture::SetUp();
    WriteIni();
    WriteRules("(A)=a|\n", "");
    WriteDatabase("VOZ", {{"$KAZA", 1000}, {"$KA", 800}, {"$ZA", 300}, {"$TO", 1000}, {"$PA", 300},
                          {"$A", 400}, {"$E", 400}, {"$O", 400}, {"$U", 400}, {"$P", 200}, {"$K", 200},
                          {"$S", 200}, {"$RA", 500}, {"$RR", 300}, {"$AY", 600}, {"$PACIRC", 700},
                          {"$AWTIL", 900}, {"$SECIRC", 700}, {"$EWCIRC", 800}, {"$NN", 400},
                          {"$ACIRC", 500}, {"$KAZAKAZ", 2000}, {"$AWCIRC", 600}, {"$KAZAS", 1100}});
    Letter("_44", 300);
    Letter("_99", 300);
    Letter("_84", 300);
    LoadSynthesizerParameters(3);
    ASSERT_EQ(StartDiphoneSynthesizer(), kDiphoneOk);
  }
};

struct SayCase {
  const char* what;
  const char* transcription;
  bool keep_punctuation;
  const char* heard;  // label*bytes, in order
};

TEST_F(DiphoneTest, SaysTheUnitsOfATranscription) {
  Diphone.Cut = 0;
  Diphone.WordSilence = 100;
  const SayCase cases[] = {
      {"syllables are joined into one token", "[ka/za]", false, "$KAZA*1000"},
      {"a word silence follows a word that is not last", "[ka/za][pa]", false,
       "$KAZA*1000 sil*100 $PA*300"},
      {"a blank ends a token without a silence", "[ka za]", false, "$KA*800 $ZA*300"},
      {"two leading consonants are split, the first at full length", "[pra]", false, "$P*200 $RA*500"},
      {"a trailing rr is its own unit", "[arr]", false, "$A*400 $RR*300"},
      {"a trailing consonant is its own unit", "[kazas]", false, "$KAZA*1000 $S*200"},
      {"a final s after one vowel: the vowel at 0.7", "[as]", false, "$A*280 $S*200"},
      {"vowel and semivowel: the head at 0.6", "[kay]", false, "$KA*480 $AY*600"},
      {"nasal diphthong: head closed at 0.6, then vowel-semivowel-tilde", "[pa~w]", false,
       "$PACIRC*420 $AWTIL*900"},
      {"closed diphthong: head at 0.6, then vowel-semivowel-circumflex", "[se^w]", false,
       "$SECIRC*420 $EWCIRC*800"},
      {"a token past 8 characters ends at the next /, with a word silence", "[kazakaz/as/a]", false,
       "$KAZAKAZ*1800 $A*400 $S*200 sil*100 $A*400"},
      {"comma becomes 4000 bytes of silence", "[ka][ /_,][pa]", false,
       "$KA*800 sil*4200 $PA*300"},
      {"full stop, colon and semicolon silences", "[ /_.][ /_:][ /_;][pa]", false,
       "sil*22300 $PA*300"},
      {"keep punctuation plays the comma's recording", "[ka][ /_,][pa]", true,
       "$KA*800 sil*100 _44*300 sil*100 $PA*300"},
      {"an escaped character is its recording", "[ /_c]", false, "_99*300"},
      {"a bar is said as the recording of T", "[|]", false, "_84*300"},
      {"a missing recording is skipped", "[ /_q][pa]", false, "sil*100 $PA*300"},
      {"a missing short unit is noise", "[i]", false, "noise*300"},
      {"a missing unit ending in a vowel falls back to its head and the vowel", "[ko]", false,
       "$K*180 $O*400"},
      {"a missing CIRC unit of 7 characters splits before the vowel", "[ta^]", false,
       "noise*300 $ACIRC*500"},
      {"a missing TIL unit not after I/U is tried closed, then the nasal", "[a~]", false,
       "$ACIRC*450 $NN*360"},
      {"a missing TIL unit after U keeps the vowel", "[u~]", false, "$U*360 $NN*360"},
      {"a missing unit with no fallback is silent", "[ptk][pa]", false, "$P*200 sil*100 $PA*300"},
      {"empty transcription", "", false, ""},
  };
  for (const SayCase& c : cases) {
    SayTranscription(c.transcription, c.keep_punctuation);
    EXPECT_EQ(Trace(true), c.heard) << c.what << ": " << c.transcription;
  }
}

TEST_F(DiphoneTest, UnstressedUnitsAreCutDownToTheLeastLength) {
  Diphone.Cut = 400;
  Diphone.LeastLength = 500;
  Diphone.WordSilence = 0;
  const SayCase cases[] = {
      {"800 bytes cut to the least length", "[ka]", false, "$KA*500"},
      {"300 bytes stay whole", "[pa]", false, "$PA*300"},
      {"1000 bytes lose the cut", "[ka/za]", false, "$KAZA*600"},
      {"a stressed unit plays whole", "[kA/za]", false, "$KAZA*1000"},
      {"a stressed unit later in the token plays whole", "[ka/zA]", false, "$KAZA*1000"},
      {"a unit after the stressed one is cut again", "[kA ka/za]", false, "$KA*800 $KAZA*600"},
      {"names of two characters are never cut", "[a]", false, "$A*400"},
      {"a new word starts cutting again", "[tO][ka]", false, "$TO*1000 $KA*500"},
  };
  for (const SayCase& c : cases) {
    SayTranscription(c.transcription, c.keep_punctuation);
    EXPECT_EQ(Trace(true), c.heard) << c.what << ": " << c.transcription;
  }
}

TEST_F(DiphoneTest, LongPhrasesAreHandedOverInChunksThatFitTheBuffer) {
  Diphone.Cut = 0;
  Diphone.WordSilence = 100;
  std::string text;
  for (int i = 0; i < 70; ++i) text += "[ka/za]";
  uint64_t chunks = Diphone.Chunks;
  SayTranscription(text, false);
  EXPECT_EQ(Diphone.Chunks - chunks, 2u);
  ASSERT_EQ(device_.blocks.size(), 2u);
  EXPECT_LE(device_.blocks[0].data.size(), kSpeechBufferSize - kWaveHeaderSize);
  EXPECT_EQ(PlayedBytes(), 70u * 1000 + 69u * 100);
  EXPECT_EQ(Trace(true).substr(0, 30), "$KAZA*1000 sil*100 $KAZA*1000 ");
}

TEST_F(DiphoneTest, ASoundSinkTakesEveryChunkAndJoinsAreReportedWhereTheyStart) {
  Diphone.Cut = 0;
  Diphone.WordSilence = 100;
  std::vector<uint8_t> heard;
  std::vector<size_t> joins;
  Diphone.OnFlush = [&](const uint8_t* sound, size_t length) { heard.insert(heard.end(), sound, sound + length); };
  Diphone.OnJoin = [&](size_t position) { joins.push_back(heard.size() + position); };
  std::string text;
  for (int i = 0; i < 70; ++i) text += "[ka/za]";
  SayTranscription("[ka/za][pa]" + text, false);
  Diphone.OnFlush = nullptr;
  Diphone.OnJoin = nullptr;
  EXPECT_TRUE(device_.blocks.empty()) << "nothing reaches the device, full buffers included";
  EXPECT_EQ(heard.size(), 1000u + 100 + 300 + 100 + 70u * 1000 + 69u * 100);
  ASSERT_GE(joins.size(), 4u);
  EXPECT_EQ(std::vector<size_t>(joins.begin(), joins.begin() + 4), (std::vector<size_t>{0, 1000, 1100, 1400}));
  EXPECT_EQ(joins.size(), 2u + 2 + 70 + 69) << "each unit and each silence once";
  for (size_t j : joins) EXPECT_NE(heard[j], j > 0 ? heard[j - 1] : 0) << "a join starts where the sound changes";
}

TEST_F(DiphoneTest, AKeyDuringALongPhraseStopsIt) {
  Diphone.Cut = 0;
  std::string text;
  for (int i = 0; i < 200; ++i) text += "[ka/za]";
  InjectKeys("k");
  SayTranscription(text, false);
  EXPECT_EQ(PlayedBytes(), 0u);
  EXPECT_TRUE(Diphone.Interrupted);
  EXPECT_EQ(Kbd.KeyCount, 1);
}

TEST_F(DiphoneTest, NoiseValuesStayInTheirRange) {
  SayUnit("$I", 1, 1.0);
  ASSERT_EQ(Diphone.Fill, kWaveHeaderSize + 300);
  for (size_t i = kWaveHeaderSize; i < Diphone.Fill; ++i) {
    EXPECT_GE(Diphone.Buffer[i], 88);
    EXPECT_LE(Diphone.Buffer[i], 167);
  }
}

TEST_F(DiphoneTest, AnEmptyIndexMakesNoiseAndFallbacks) {
  WriteFile(difones_ + "/VOZ.IND", "");
  ASSERT_EQ(StartDiphoneSynthesizer(), kDiphoneOk);
  EXPECT_TRUE(Diphone.Index.empty());
  SayTranscription("[ka]", false);
  EXPECT_EQ(Trace(true), "noise*600") << "$KA falls back to $K and $A, both noise";
}

class DiphoneRecordings : public DiphoneTest {};

TEST_F(DiphoneRecordings, DataChunkIsFoundByWalkingTheChunks) {
  auto riff = [](const std::string& chunks) { return std::string("RIFF\x10\0\0\0WAVE", 12) + chunks; };
  auto chunk = [](const char* name, uint32_t declared, const std::string& body) {
    std::string c(name, 4);
    uint8_t size[4];
    WriteLe32(size, declared);
    c.append(reinterpret_cast<char*>(size), 4);
    return c + body;
  };
  std::string fmt = chunk("fmt ", 16, std::string(16, '\x01'));
  uint8_t v = ValueOf("_200");
  struct Case { const char* what; std::string file; const char* heard; } cases[] = {
      {"data after a list chunk", riff(fmt + chunk("LIST", 4, "abcd") + chunk("data", 300, std::string(300, v))),
       "_200*300"},
      {"a data chunk declaring more than the file holds is read to the end",
       riff(fmt + chunk("data", 5000, std::string(300, v))), "_200*300"},
      {"only the low 16 bits of the size count", riff(fmt + chunk("data", 0x10000 + 260, std::string(400, v))),
       "_200*260"},
      {"not RIFF is skipped", "JUNK" + std::string(400, v), ""},
      {"a chunk size running past the end is not followed",
       riff(fmt + chunk("LIST", 0xFFFFFFF0u, std::string(300, v))), ""},
      {"no data chunk", riff(fmt), ""},
      {"a file shorter than the RIFF header", "RIF", ""},
      {"an empty data chunk", riff(fmt + chunk("data", 0, "")), ""},
  };
  for (const auto& c : cases) {
    WriteFile(letters_ + "/_200.wav", c.file);
    SayTranscription("[ /_\xC8]", false);
    EXPECT_EQ(Trace(true), c.heard) << c.what;
  }
}

TEST_F(DiphoneRecordings, RecordingNamesMatchWithoutLetterCase) {
  Letter("_DEL", 300);
  SayUnit("_del", 1, 1.0);
  FlushSpeechBuffer();
  EXPECT_EQ(Trace(true), "_DEL*300");
}

class DiphoneDatabase : public testing::SpeechFixture {
 protected:
  void SetUp() override {
    SpeechFixture::SetUp();
    WriteIni();
    WriteRules("(A)=a|\n", "");
    LoadSynthesizerParameters(3);
  }
  static std::string Record(const std::string& name, int name_length, uint16_t length, int32_t offset) {
    return testsupport::DiphoneIndexRecord(name, length, static_cast<uint32_t>(offset), name_length);
  }
};

TEST_F(DiphoneDatabase, BadRecordsAreLoadedButNeverReadOutsideTheData) {
  uint8_t a = ValueOf("$A"), e = ValueOf("$E");
  std::string data = std::string(400, static_cast<char>(a)) + std::string(300, static_cast<char>(e));
  std::string index = Record("$A", 2, 400, 0) + Record("$BIG", 4, 65535, 0) + Record("$E", 2, 400, 400) +
                      Record("$NEG", 4, 100, -50) + Record("$PAST", 5, 100, 700) +
                      Record("$ZERO", 5, 0, 0) + "\x02$Z";  // a partial record at the end
  WriteFile(difones_ + "/VOZ.IND", index);
  WriteFile(difones_ + "/VOZ.DIF", data);
  ASSERT_EQ(StartDiphoneSynthesizer(), kDiphoneOk);
  EXPECT_EQ(Diphone.Index.size(), 6u) << "size / 15 records, the partial one ignored";
  Diphone.Cut = 0;
  Diphone.WordSilence = 0;
  struct Case { const char* what; const char* unit; const char* heard; } cases[] = {
      {"a whole record", "$A", "$A*400"},
      {"a record running past the data is read to its end", "$E", "$E*300"},
      {"a length past the data reads what there is", "$BIG", "$A*400 $E*300"},
      {"a negative offset is skipped", "$NEG", ""},
      {"an offset past the data is skipped", "$PAST", ""},
      {"length zero says nothing", "$ZERO", ""},
  };
  for (const auto& c : cases) {
    SayUnit(c.unit, 1, 1.0);
    FlushSpeechBuffer();
    EXPECT_EQ(Trace(true), c.heard) << c.what;
  }
}

TEST_F(DiphoneDatabase, ShortenedReadsEndOnTheZeroLevel) {
  // $KA: a 200 Hz wave (it meets the zero level every 27.5 samples); $KAS: a wave that never meets it.
  std::string ka, kas;
  for (int i = 0; i < 1000; ++i) ka += char(128 + std::lround(100 * std::sin(2 * M_PI * 200 * i / 11025.0)));
  for (int i = 0; i < 1000; ++i) kas += char(200 + std::lround(20 * std::sin(2 * M_PI * 200 * i / 11025.0)));
  WriteFile(difones_ + "/VOZ.IND", Record("$KA", 3, 1000, 0) + Record("$KAS", 4, 1000, 1000));
  WriteFile(difones_ + "/VOZ.DIF", ka + kas);
  ASSERT_EQ(StartDiphoneSynthesizer(), kDiphoneOk);
  struct Case {
    const char* what;
    const char* unit;
    int cut, least, mode;
    double factor;
    long rule_length;  // what the cut and factor rules give
  };
  const Case cases[] = {
      {"factor 0.6 before a semivowel", "$KA", 0, 0, 0, 0.6, 600},
      {"factor 0.7 before a final s", "$KA", 0, 0, 0, 0.7, 700},
      {"the cut", "$KA", 400, 0, 0, 1.0, 600},
      {"the least length", "$KA", 800, 500, 0, 1.0, 500},
      {"the cut and a factor together", "$KA", 100, 0, 1, 0.9, 810},
      {"a wave that does not meet the zero level is faded", "$KAS", 0, 0, 0, 0.6, 600},
      {"a stressed unit is read whole, as stored", "$KA", 400, 0, 2, 1.0, 1000},
  };
  for (const Case& c : cases) {
    Diphone.Cut = c.cut;
    Diphone.LeastLength = c.least;
    Diphone.Fill = kWaveHeaderSize;
    SayUnit(c.unit, c.mode, c.factor);
    const uint8_t* got = Diphone.Buffer.data() + kWaveHeaderSize;
    long length = long(Diphone.Fill - kWaveHeaderSize);
    EXPECT_NEAR(length, c.rule_length, 33) << c.what << ": within 3 ms of the rules' length";
    if (c.rule_length < 1000) {
      EXPECT_LE(std::abs(int(got[length - 1]) - 128), 12) << c.what << ": the last sample is at the zero level";
    }
    const std::string& stored = std::string(c.unit) == "$KA" ? ka : kas;
    size_t kept = c.rule_length < 1000 ? size_t(length) - 22 : size_t(length);
    EXPECT_EQ(std::memcmp(got, stored.data(), kept), 0) << c.what << ": the sound before the end is unchanged";
  }
}

TEST_F(DiphoneDatabase, APhraseStartsWithItsSoundNotWithItsFirstUnitsSilence) {
  // $KA and $PA: 300 samples of a stop's closure (silence), then 200 of sound.
  std::string unit = std::string(300, '\x80') + std::string(200, '\xC0');
  WriteFile(difones_ + "/VOZ.IND", Record("$KA", 3, 500, 0) + Record("$PA", 3, 500, 500));
  WriteFile(difones_ + "/VOZ.DIF", unit + unit);
  ASSERT_EQ(StartDiphoneSynthesizer(), kDiphoneOk);
  Diphone.Cut = 0;
  Diphone.WordSilence = 0;
  std::vector<uint8_t> heard;
  Diphone.OnFlush = [&](const uint8_t* sound, size_t length) { heard.assign(sound, sound + length); };
  struct Case { const char* what; const char* transcription; size_t length, first_sound; };
  const Case cases[] = {
      {"the first unit keeps 2 ms of its silence", "[ka]", 222, 22},
      {"later units keep all of it", "[ka pa]", 222 + 500, 22},
      {"every phrase starts afresh", "[pa]", 222, 22},
  };
  for (const Case& c : cases) {
    SayTranscription(c.transcription, false);
    EXPECT_EQ(heard.size(), c.length) << c.what;
    size_t first = 0;
    while (first < heard.size() && heard[first] == 128) ++first;
    EXPECT_EQ(first, c.first_sound) << c.what;
  }
  Diphone.OnFlush = nullptr;
}

TEST_F(DiphoneDatabase, NameLengthsAbove8AreTakenAs8) {
  WriteFile(difones_ + "/VOZ.IND", Record("$ABCDEFG", 200, 10, 0));
  WriteFile(difones_ + "/VOZ.DIF", std::string(10, '\x05'));
  ASSERT_EQ(StartDiphoneSynthesizer(), kDiphoneOk);
  ASSERT_EQ(Diphone.Index.size(), 1u);
  EXPECT_EQ(Diphone.Index[0].NameLength, 8);
  EXPECT_NE(FindDiphoneUnit("$ABCDEFG"), nullptr);
}

TEST_F(DiphoneDatabase, LookUpByBisectionFindsEveryUnit) {
  std::vector<testing::TestUnit> units;
  for (const char* n : {"$A", "$AB", "$ABC", "$B", "$BA", "$C", "$CIRC", "$D", "$DJ", "$E", "$Z"})
    units.push_back({n, 10});
  WriteDatabase("VOZ", units);
  ASSERT_EQ(StartDiphoneSynthesizer(), kDiphoneOk);
  for (const auto& u : units) {
    const DiphoneRecord* r = FindDiphoneUnit(u.name);
    ASSERT_NE(r, nullptr) << u.name;
    EXPECT_EQ(std::string(r->Name, r->NameLength), u.name);
  }
  for (const char* missing : {"$", "$AA", "$ABCD", "$Y", "", "$ZZ", "#"})
    EXPECT_EQ(FindDiphoneUnit(missing), nullptr) << missing;
}

struct StartCase {
  const char* what;
  int code;
};

TEST_F(DiphoneDatabase, StartUpReportsWhatIsMissing) {
  auto with_all = [&] {
    WriteIni();
    WriteDatabase("VOZ", {{"$A", 10}});
    WriteRules("(A)=a|\n", "");
  };
  struct Case { const char* what; std::function<void()> spoil; int code; } cases[] = {
      {"everything present", [] {}, kDiphoneOk},
      {"no voice name for the speed", [&] { WriteIni("", false); WriteFile(win_ + "/NARRIX.INI",
          "[TRADUTOR]\ndirLetras=" + letters_ + "\nDIRDIFONES=" + difones_ + "\n"); }, kDiphoneNoDatabase},
      {"letters directory missing", [&] { std::filesystem::remove_all(letters_); }, kDiphoneNoDatabase},
      {"diphone directory missing", [&] { WriteFile(win_ + "/NARRIX.INI",
          "[TRADUTOR]\ndirLetras=" + letters_ + "\nDIRDIFONES=" + root_ + "/none\n[SINTETIZADOR]\nDIFONES3=VOZ\n"); },
       kDiphoneNoDatabase},
      {"index missing", [&] { std::remove((difones_ + "/VOZ.IND").c_str()); }, kDiphoneNoDatabase},
      {"data missing", [&] { std::remove((difones_ + "/VOZ.DIF").c_str()); }, kDiphoneNoDatabase},
      {"rules missing", [&] { std::remove((difones_ + "/regras.rgr").c_str()); }, kDiphoneNoRules},
      {"exceptions missing", [&] { std::remove((difones_ + "/portug.exc").c_str()); }, kDiphoneNoRules},
      {"file names in another letter case", [&] {
         std::rename((difones_ + "/VOZ.IND").c_str(), (difones_ + "/voz.ind").c_str());
         std::rename((difones_ + "/regras.rgr").c_str(), (difones_ + "/REGRAS.RGR").c_str()); }, kDiphoneOk},
  };
  for (const auto& c : cases) {
    std::filesystem::create_directories(letters_);
    with_all();
    c.spoil();
    LoadSynthesizerParameters(3);
    EXPECT_EQ(StartDiphoneSynthesizer(), c.code) << c.what;
    StopDiphoneSynthesizer();
    EXPECT_EQ(Diphone.DataFd, -1) << c.what;
    EXPECT_TRUE(Diphone.Buffer.empty()) << c.what;
  }
}

TEST_F(DiphoneDatabase, DirectoriesFromTheSettingsGetABackslash) {
  WriteDatabase("VOZ", {{"$A", 10}});
  ASSERT_EQ(StartDiphoneSynthesizer(), kDiphoneOk);
  EXPECT_EQ(Diphone.LettersDir, letters_ + "\\");
  EXPECT_EQ(Diphone.DiphoneDir, difones_ + "\\");
  EXPECT_EQ(Diphone.Buffer.size(), kSpeechBufferSize);
  EXPECT_EQ(Diphone.Fill, kWaveHeaderSize);
}

TEST_F(DiphoneDatabase, SpeedParametersComeFromTheSettings) {
  struct Case {
    const char* what;
    const char* keys;
    int speed;
    const char* name;
    int cut, least, silence;
    bool cut_periods, fast;
    int period, comma, colon;
  } cases[] = {
      {"every key of speed 2", "DIFONES2=LENTA\nCORTEFON2=300\nSOBRAFON2=200\nINTERPAL2=50\nCORTAFALA2=Sim\n"
       "RAPIDINHO2=s\nPAUSAPONTO2=400\nPAUSAVIRG2=300\nPAUSADOISPONTOS2=350\n", 2, "LENTA", 300, 200, 50,
       true, true, 400, 300, 350},
      {"missing keys: empty name, zeros, switches off, default pauses", "", 4, "", 0, 0, 0, false, false,
       250, 150, 200},
      {"N and n switch off", "CORTAFALA5=Nao\nRAPIDINHO5=nunca\n", 5, "", 0, 0, 0, false, false, 250, 150, 200},
      {"not numbers take the defaults", "CORTEFON1=abc\nPAUSAPONTO1=x\n", 1, "", 0, 0, 0, false, false, 250,
       150, 200},
      {"leading digits are read", "CORTEFON1=120ms\n", 1, "", 120, 0, 0, false, false, 250, 150, 200},
      {"the name is cut to 8 characters", "DIFONES3=ABCDEFGHIJ\n", 3, "ABCDEFGH", 0, 0, 0, false, false, 250,
       150, 200},
      {"a speed outside 1..5 reads speed 3", "DIFONES3=TRES\n", 9, "TRES", 0, 0, 0, false, false, 250, 150,
       200},
  };
  for (const auto& c : cases) {
    WriteFile(win_ + "/NARRIX.INI", std::string("[SINTETIZADOR]\n") + c.keys);
    Wave.CutPeriods = !c.cut_periods;
    Wave.FastRate = !c.fast;
    LoadSynthesizerParameters(c.speed);
    EXPECT_EQ(Diphone.DatabaseName, c.name) << c.what;
    EXPECT_EQ(Diphone.Cut, c.cut) << c.what;
    EXPECT_EQ(Diphone.LeastLength, c.least) << c.what;
    EXPECT_EQ(Diphone.WordSilence, c.silence) << c.what;
    EXPECT_EQ(Wave.CutPeriods, c.cut_periods) << c.what;
    EXPECT_EQ(Wave.FastRate, c.fast) << c.what;
    EXPECT_EQ(Sound.PausePeriod, c.period) << c.what;
    EXPECT_EQ(Sound.PauseComma, c.comma) << c.what;
    EXPECT_EQ(Sound.PauseColon, c.colon) << c.what;
  }
}

TEST(DiphoneInitialValues, BeforeTheFirstLoad) {
  DiphoneSynthState fresh;
  EXPECT_EQ(fresh.DatabaseName, "DIFONES2");
  EXPECT_EQ(fresh.Cut, 400);
  EXPECT_EQ(fresh.LeastLength, 0);
  EXPECT_EQ(fresh.WordSilence, 100);
}

}  // namespace
}  // namespace falatro
