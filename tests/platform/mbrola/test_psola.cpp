// The project's own synthesizer library alone: durations, measured pitch, contours, errors, reset,
// and the database reader's checks.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <string>
#include <vector>

#include "platform/mbrola/mbrola_binding.h"
#include "platform/mbrola/psola_synth.h"
#include "synthetic_voice.h"

namespace falatro {
namespace {

// Loads a synthetic voice written for the purpose; the file goes once it is read.
int LoadSynthetic(PsolaSynth& s, const std::string& name, const std::vector<std::string>& missing = {}) {
  std::string path = WriteSyntheticStore(name, missing);
  int result = PsolaInit(s, path);
  unlink(path.c_str());
  return result;
}

std::vector<int16_t> ReadAll(PsolaSynth& s) {
  std::vector<int16_t> out;
  int16_t buf[1000];
  int n;
  while ((n = PsolaRead(s, buf, 1000)) > 0) out.insert(out.end(), buf, buf + n);
  return out;
}

TEST(PsolaFresh, WithoutTargetsTheVoiceKeepsItsOwnPitch) {
  PsolaSynth s;
  ASSERT_EQ(LoadSynthetic(s, "psola-fresh"), 0);
  PsolaWrite(s, "a 300\n");
  PsolaFlush(s);
  std::vector<int16_t> out = ReadAll(s);
  EXPECT_NEAR(MeasurePitch(out, 1200, 3600), 100.0, 3.0);
}

class PsolaTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(LoadSynthetic(synth, "psola-voice"), 0) << synth.LastErrorText; }
  std::vector<int16_t> Say(const std::string& lines) {
    PsolaWrite(synth, lines);
    PsolaFlush(synth);
    return ReadAll(synth);
  }
  PsolaSynth synth;
};

TEST_F(PsolaTest, DurationsAndPitchAreMet) {
  struct Case {
    const char* what;
    const char* lines;
    double ms;
    double hz;  // pitch measured over the middle half; 0 = not measured
  } cases[] = {
      {"200 ms at 120 Hz", "a 200 50 120\n", 200, 120},
      {"200 ms at 120 Hz, targets at both ends", "a 200 0 120 100 120\n", 200, 120},
      {"long vowel at a low pitch", "a 1000 50 80\n", 1000, 80},
      {"short vowel at a high pitch", "a 80 50 250\n", 80, 0},
      {"two vowels at 180 Hz", "a 150 50 180\ni 150 50 180\n", 300, 180},
      {"pause, hiss, vowel", "_ 100\ns 120\na 200 50 150\n", 420, 0},
      {"a line without targets keeps the previous pitch", "a 150 50 150\na 300\n", 450, 150},
      {"no targets: the last pitch heard", "a 300\n", 300, 150},
  };
  for (const auto& c : cases) {
    std::vector<int16_t> out = Say(c.lines);
    double period_samples = c.hz > 0 ? 16000.0 / c.hz : 16000.0 / 100.0;
    EXPECT_NEAR(double(out.size()), c.ms * 16.0, period_samples) << c.what;
    if (c.hz > 0) {
      double hz = MeasurePitch(out, out.size() / 4, out.size() * 3 / 4);
      EXPECT_NEAR(hz, c.hz, c.hz * 0.03) << c.what;
    }
  }
}

TEST_F(PsolaTest, RisingTargetsGiveRisingPitch) {
  // The contour runs on across the second line, which only names its end point.
  std::vector<int16_t> out = Say("a 300 0 100 100 130\na 300 100 160\n");
  ASSERT_NEAR(double(out.size()), 9600.0, 160.0);
  double previous = 0;
  for (size_t centre = 800; centre + 800 <= out.size(); centre += 1600) {
    double hz = MeasurePitch(out, centre - 400, centre + 400);
    double expected = 100.0 + 60.0 * double(centre) / 9600.0;
    EXPECT_NEAR(hz, expected, expected * 0.05) << "at sample " << centre;
    EXPECT_GT(hz, previous) << "at sample " << centre;
    previous = hz;
  }
}

TEST_F(PsolaTest, OutputComesLineByLineAndResetDiscardsIt) {
  // Targets on every line let each line's sound out before the flush.
  PsolaWrite(synth, "_ 50 50 120\n");
  PsolaWrite(synth, "a 300 50 120\n");
  PsolaWrite(synth, "i 300 50 120\n");
  EXPECT_GT(ReadAll(synth).size(), 3000u);
  PsolaWrite(synth, "a 300 50 120\n");
  PsolaFlush(synth);
  PsolaReset(synth);
  EXPECT_TRUE(ReadAll(synth).empty());
  // After a reset the next utterance starts afresh.
  EXPECT_NEAR(double(Say("a 100 50 120\n").size()), 1600.0, 134.0);
}

TEST_F(PsolaTest, FaultsSetTheErrorAndKeepTime) {
  struct Case {
    const char* what;
    const char* line;
    int error;
    double ms;  // length still made
  } cases[] = {
      {"unknown phoneme: silence of its duration", "zz 100\n", kPsolaUnknownPhoneme, 100},
      {"duration not a number", "a dez\n", kPsolaBadLine, 0},
      {"negative duration", "a -5\n", kPsolaBadLine, 0},
      {"target without pitch", "a 100 50\n", kPsolaBadLine, 0},
      {"pitch not a number", "a 100 50 x\n", kPsolaBadLine, 0},
      {"comment line", "; casa\n", kPsolaNoError, 0},
      {"huge duration is cut", "_ 1e300\n", kPsolaNoError, kPsolaLongestPhonemeMs},
  };
  for (const auto& c : cases) {
    PsolaReset(synth);
    EXPECT_EQ(PsolaWrite(synth, c.line), c.error ? -1 : 0) << c.what;
    EXPECT_EQ(synth.LastError, c.error) << c.what;
    PsolaFlush(synth);
    EXPECT_NEAR(double(ReadAll(synth).size()), c.ms * 16.0, 2.0) << c.what;
  }
}

TEST(PsolaMissing, AMissingDiphoneIsBridged) {
  PsolaSynth s;
  ASSERT_EQ(LoadSynthetic(s, "psola-gaps", {"a-s", "s-a", "a-_"}), 0);
  s.NoError = true;
  EXPECT_EQ(PsolaWrite(s, "a 100 50 120\ns 100\na 100 50 120\n"), 0);
  PsolaFlush(s);
  std::vector<int16_t> out = ReadAll(s);
  EXPECT_NEAR(double(out.size()), 4800.0, 134.0);
  // Without the muting, the gap is reported (and still bridged).
  s.NoError = false;
  EXPECT_EQ(PsolaWrite(s, "a 100\ns 100\n"), -1);
  EXPECT_EQ(s.LastError, kPsolaMissingDiphone);
}

TEST(DiphoneStoreFile, DamagedFilesAreRefused) {
  std::vector<uint8_t> good = SerializeDiphoneStore(MakeSyntheticStore());
  DiphoneStore st;
  std::string error;
  ASSERT_TRUE(ParseDiphoneStore(good.data(), good.size(), &st, &error)) << error;
  EXPECT_EQ(st.Units.size(), 16u);
  struct Case {
    const char* what;
    size_t offset;  // byte changed (or, with cut, the length kept)
    uint8_t value;
    bool cut;
  } cases[] = {
      {"magic", 0, 'X', false},
      {"version", 8, 2, false},
      {"period of zero", 16, 0, false},
      {"truncated", good.size() - 1, 0, true},
      {"bad phoneme name", kDiphoneStoreHeader, '!', false},
      {"unit naming phoneme 9", kDiphoneStoreHeader + 4 * 8, 9, false},
      {"unit data past the end", kDiphoneStoreHeader + 4 * 8 + 7, 0x7F, false},
      {"boundary past the end", kDiphoneStoreHeader + 4 * 8 + 19, 0x7F, false},
      {"marks out of order", kDiphoneStoreHeader + 4 * 8 + 16 * 32 + 4, 0x00, false},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> bad = good;
    if (c.cut) bad.resize(c.offset);
    else bad[c.offset] = c.value;
    EXPECT_FALSE(ParseDiphoneStore(bad.data(), bad.size(), &st, &error)) << c.what;
  }
}

TEST(OwnLibrary, ExportsEveryEntryAndSpeaksThroughThem) {
  std::string error;
  ASSERT_TRUE(BindMbrola("", &error)) << error;
  std::string path = WriteSyntheticStore("own-voice");
  EXPECT_LT(Mbrola.init_MBR(const_cast<char*>("/nonexistent/voice")), 0);
  ASSERT_EQ(Mbrola.init_MBR(path.data()), 0);
  unlink(path.c_str());
  Mbrola.setNoError_MBR(1);
  EXPECT_EQ(Mbrola.getNoError_MBR(), 1);
  EXPECT_EQ(Mbrola.getFreq_MBR(), 16000);
  char line[] = "a 200 50 120\r\n";
  EXPECT_EQ(Mbrola.write_MBR(line), 0);
  EXPECT_EQ(Mbrola.lastError_MBR(), 0);
  Mbrola.flush_MBR();
  std::vector<int16_t> out;
  short buf[16000];
  int n;
  while ((n = Mbrola.read_MBR(buf, 16000)) > 0) out.insert(out.end(), buf, buf + n);
  EXPECT_NEAR(double(out.size()), 3200.0, 134.0);
  EXPECT_NEAR(MeasurePitch(out, 800, 2400), 120.0, 3.6);
  char unknown[] = "qq 100\r\n";
  Mbrola.write_MBR(unknown);
  EXPECT_NE(Mbrola.lastError_MBR(), 0);
  char text[200];
  EXPECT_GT(Mbrola.lastErrorStr_MBR(text, sizeof text), 0);
  Mbrola.reset_MBR();
  EXPECT_EQ(Mbrola.lastError_MBR(), 0);
  EXPECT_EQ(Mbrola.read_MBR(buf, 16000), 0);
  EXPECT_GT(Mbrola.getDatabaseInfo_MBR(text, sizeof text, 0), 0);
  EXPECT_GT(Mbrola.getVersion_MBR(text, sizeof text), 0);
  Mbrola.close_MBR();
  UnbindMbrola();
}

}  // namespace
}  // namespace falatro
