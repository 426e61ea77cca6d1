// RIFF/WAVE layout reading, the period cutter, and the corpus of awkward wave files.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "sound_fixture.h"
#include "speech/suite_settings.h"
#include "speech/wave_format.h"
#include "speech/wave_player.h"

namespace falatro::soundtest {
namespace {

std::vector<uint8_t> Bytes(std::initializer_list<std::string> parts) {
  std::vector<uint8_t> out;
  for (const std::string& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}
std::string Le32(uint32_t v) {
  std::string s(4, '\0');
  WriteLe32(reinterpret_cast<uint8_t*>(s.data()), v);
  return s;
}
std::string Fmt(uint16_t channels, uint32_t rate, uint16_t bits, uint32_t size = 16) {
  std::string s(size, '\0');
  auto* p = reinterpret_cast<uint8_t*>(s.data());
  if (size >= 16) {
    WriteLe16(p, 1);
    WriteLe16(p + 2, channels);
    WriteLe32(p + 4, rate);
    WriteLe16(p + 14, bits);
  }
  return "fmt " + Le32(size) + s;
}

TEST(WaveLayout, ParsesAndRefuses) {
  const std::string head = "RIFF" + Le32(0) + "WAVE";
  struct Case {
    const char* what;
    std::vector<uint8_t> image;
    WaveParse result;
    size_t offset, length;
    bool truncated;
  } cases[] = {
      {"plain image", Bytes({head, Fmt(1, 11025, 8), "data", Le32(4), "abcd"}), WaveParse::kOk, 44, 4, false},
      {"lower-case riff", Bytes({"riff" + Le32(0) + "WAVE", Fmt(1, 11025, 8), "data", Le32(1), "a"}),
       WaveParse::kOk, 44, 1, false},
      {"form type not checked", Bytes({"RIFF" + Le32(0) + "XXXX", Fmt(1, 8000, 16), "data", Le32(0)}),
       WaveParse::kOk, 44, 0, false},
      {"longer fmt chunk", Bytes({head, Fmt(2, 44100, 16, 18), "data", Le32(2), "ab"}), WaveParse::kOk, 46, 2,
       false},
      {"odd chunk skipped without padding", Bytes({head, Fmt(1, 11025, 8), "LIST", Le32(3), "xyz", "data",
                                                  Le32(2), "ab"}), WaveParse::kOk, 55, 2, false},
      {"data longer than the image", Bytes({head, Fmt(1, 11025, 8), "data", Le32(100), "abc"}), WaveParse::kOk,
       44, 3, true},
      {"data size near 4 GiB", Bytes({head, Fmt(1, 11025, 8), "data", Le32(0xFFFFFFFF), "abc"}),
       WaveParse::kOk, 44, 3, true},
      {"empty", {}, WaveParse::kNotRiff, 0, 0, false},
      {"11 bytes", Bytes({"RIFF", Le32(0), "WAV"}), WaveParse::kNotRiff, 0, 0, false},
      {"not RIFF", Bytes({"RIFX" + Le32(0) + "WAVE", Fmt(1, 11025, 8), "data", Le32(0)}), WaveParse::kNotRiff,
       0, 0, false},
      {"nothing after the header", Bytes({head}), WaveParse::kNoFmtChunk, 0, 0, false},
      {"first chunk is data", Bytes({head, "data", Le32(0), Fmt(1, 11025, 8)}), WaveParse::kNoFmtChunk, 0, 0,
       false},
      {"fmt record too short", Bytes({head, Fmt(1, 11025, 8, 14), "data", Le32(0)}), WaveParse::kBadFmtChunk,
       0, 0, false},
      {"fmt size past the end", Bytes({head, "fmt ", Le32(0x7FFFFFFF), "abcdefghijklmnop"}),
       WaveParse::kBadFmtChunk, 0, 0, false},
      {"no data chunk", Bytes({head, Fmt(1, 11025, 8)}), WaveParse::kNoDataChunk, 0, 0, false},
      {"a chunk runs past the end", Bytes({head, Fmt(1, 11025, 8), "LIST", Le32(0xFFFFFFF8), "data", Le32(0)}),
       WaveParse::kNoDataChunk, 0, 0, false},
      {"a partial chunk header at the end", Bytes({head, Fmt(1, 11025, 8), "dat"}), WaveParse::kNoDataChunk, 0,
       0, false},
  };
  for (const Case& c : cases) {
    WaveImageInfo info;
    info.data_offset = 12345;
    WaveParse got = ParseWaveImage(c.image.data(), c.image.size(), &info);
    EXPECT_EQ(got, c.result) << c.what;
    if (c.result == WaveParse::kOk) {
      EXPECT_EQ(info.data_offset, c.offset) << c.what;
      EXPECT_EQ(info.data_length, c.length) << c.what;
      EXPECT_EQ(info.truncated, c.truncated) << c.what;
    } else {
      EXPECT_EQ(info.data_offset, 12345u) << c.what << ": info untouched";
    }
  }
}

TEST(WaveLayout, HeaderBuiltForAnyFormat) {
  uint8_t h[44];
  BuildWaveHeader(h, 1000, 11025, 1, 8);
  const uint8_t expected[44] = {'R', 'I', 'F', 'F', 0x0C, 0x04, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',
                                16, 0, 0, 0, 1, 0, 1, 0, 0x11, 0x2B, 0, 0, 0x11, 0x2B, 0, 0, 1, 0, 8, 0,
                                'd', 'a', 't', 'a', 0xE8, 0x03, 0, 0};
  EXPECT_EQ(std::memcmp(h, expected, 44), 0) << "the canonical 8-bit mono header";
  BuildWaveHeader(h, 400, 22050, 2, 16);
  EXPECT_EQ(ReadLe32(h + 28), 88200u) << "bytes per second";
  EXPECT_EQ(ReadLe16(h + 32), 4u) << "block align is one frame";
  WaveImageInfo info;
  std::vector<uint8_t> image(h, h + 44);
  image.resize(444);
  ASSERT_EQ(ParseWaveImage(image.data(), image.size(), &info), WaveParse::kOk);
  EXPECT_EQ(info.format, (WaveFormat{22050, 2, 16}));
  EXPECT_EQ(info.data_length, 400u);
}

TEST(PeriodCutter, SixteenBitIsConvertedOnly) {
  std::vector<uint8_t> buf(2 * 999);
  for (size_t i = 0; i < 999; ++i) {
    buf[2 * i] = uint8_t(i);
    buf[2 * i + 1] = uint8_t(i * 7);
  }
  std::vector<uint8_t> orig = buf;
  ASSERT_EQ(CompressWaveTime(buf.data(), buf.size(), 16, 11025), 999u);
  for (size_t i = 0; i < 999; ++i) ASSERT_EQ(buf[i], uint8_t(orig[2 * i + 1] ^ 0x80)) << i;
}

TEST(PeriodCutter, DropsEveryOtherPeriodOfAPulseTrain) {
  // Pulses of 250 every 100 samples (at 50, 150, ...), silence 128 between: each step drops the period
  // r..p1 and keeps p1..p2 inclusive (101 samples).
  const size_t n = 2000;
  std::vector<uint8_t> buf(n, 128);
  for (size_t i = 50; i < n; i += 100) buf[i] = 250;
  std::vector<uint8_t> orig = buf;
  size_t got = CompressWaveTime(buf.data(), n, 8, 11025);
  // The first peak at or after 200 is 250; steps run while r < 2000 - 260, r = 250, 450, ..., 1650.
  EXPECT_EQ(got, 250u + 8 * 101);
  EXPECT_TRUE(std::equal(buf.begin(), buf.begin() + 250, orig.begin())) << "samples before the first peak";
  for (size_t k = 0; k < 8; ++k) {
    size_t from = 350 + 200 * k;
    EXPECT_TRUE(std::equal(buf.begin() + 250 + 101 * k, buf.begin() + 250 + 101 * (k + 1), orig.begin() + from))
        << "kept period " << k;
  }
}

TEST(PeriodCutter, OtherRatesUseTheLongerConstants) {
  const size_t n = 6000;
  std::vector<uint8_t> buf(n, 128);
  for (size_t i = 100; i < n; i += 400) buf[i] = 240;
  size_t got = CompressWaveTime(buf.data(), n, 8, 16538);
  // First peak in 800..1320 is 900; steps while r < 6000 - 1040: r = 900, 1700, ..., 4900 (6 steps of 401).
  EXPECT_EQ(got, 900u + 6 * 401);
}

TEST(PeriodCutter, AwkwardBuffersEndAndStayInside) {
  struct Case {
    const char* what;
    std::vector<uint8_t> buf;
    int bits;
    uint32_t rate;
  } cases[] = {
      {"all zero samples (no peak anywhere)", std::vector<uint8_t>(5000, 0), 8, 11025},
      {"all zero at another rate", std::vector<uint8_t>(5000, 0), 8, 22050},
      {"1000 samples at another rate: the first search is cut to the buffer", Pattern(1000), 8, 22050},
      {"1100 samples at another rate", Pattern(1100), 8, 16000},
      {"loud tail", std::vector<uint8_t>(3000, 255), 8, 11025},
      {"odd 16-bit length", Pattern(4001), 16, 11025},
  };
  for (Case& c : cases) {
    size_t before = c.bits == 16 ? c.buf.size() / 2 : c.buf.size();
    size_t got = CompressWaveTime(c.buf.data(), c.buf.size(), c.bits, c.rate);
    EXPECT_LE(got, before) << c.what;
  }
}

// Every file of the corpus is named <name>.<result>.wav, result being the PlayWaveFile result
// ("ok" for 0, "bad" for -1) and the outcome the fuzz target starts from.
class Corpus : public SoundFixture {};

TEST_F(Corpus, EveryFileGivesItsDocumentedResult) {
  namespace fs = std::filesystem;
  fs::path dir = fs::path(FALATRO_SOURCE_DIR) / "tests/speech/riff_corpus";
  int files = 0;
  for (const auto& entry : fs::directory_iterator(dir)) {
    std::string name = entry.path().filename().string();
    if (entry.path().extension() != ".wav") continue;
    ++files;
    std::string stem = entry.path().stem().string();
    std::string expect = stem.substr(stem.rfind('.') + 1);
    int want = expect == "ok" ? 0 : expect == "bad" ? -1 : expect == "format" ? int(kSoundErrBadFormat) : 99;
    ASSERT_NE(want, 99) << name << ": unknown expected result";
    EXPECT_EQ(PlayWaveFile(entry.path().string()), want) << name;
    std::vector<uint8_t> bytes = ReadBytes(entry.path().string());
    WaveImageInfo info;
    WaveParse parsed = ParseWaveImage(bytes.data(), bytes.size(), &info);
    // The image reading agrees with the file reading: a file that plays cleanly is a whole image.
    if (want == 0) {
      EXPECT_EQ(parsed, WaveParse::kOk) << name;
    }
    if (parsed == WaveParse::kOk) {
      EXPECT_LE(info.data_offset + info.data_length, bytes.size()) << name;
    }
    std::vector<uint8_t> copy = bytes;
    int image_result = PlayWaveImage(copy.data(), copy.size());
    StopWave();
    if (want == 0) {
      EXPECT_EQ(image_result, 0) << name;
    }
  }
  EXPECT_GE(files, 10);
}

}  // namespace
}  // namespace falatro::soundtest
