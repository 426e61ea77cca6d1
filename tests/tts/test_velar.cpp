// The engine's start-up and output, driven through a fake synthesizer library that records every call
// and through the project's own library with a small voice.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/paths.h"
#include "platform/mbrola/mbrola_binding.h"
#include "synthetic_voice.h"
#include "tts/registry_string.h"
#include "tts/velar.h"
#include "tts/velar_text.h"

namespace falatro {
namespace {

const std::string kFake = FAKE_MBROLA_LIBRARY;
const std::string kIncomplete = FAKE_MBROLA_INCOMPLETE_LIBRARY;
const std::string kData = std::string(FALATRO_SOURCE_DIR) + "/data/engine/";

// What the sound output was given, and the calls it saw (the fake library's log, so the order of
// synthesis and playing shows).
struct Played {
  std::vector<std::vector<uint8_t>> images;
  bool speedups_seen_on = false;
  bool stopped = false;
  bool playing = true;
};
Played played;
bool fast_rate = false, cut_periods = false;
std::vector<std::string>* calls = nullptr;

int RecordImage(uint8_t* image, size_t length) {
  played.images.emplace_back(image, image + length);
  played.speedups_seen_on |= fast_rate || cut_periods;
  if (calls) calls->push_back("play " + std::to_string(length - 44));
  return 0;
}
bool RecordIsPlaying() { return played.playing; }
void RecordStop() { played.stopped = true; }

std::string TempDir() {
  std::string tmpl = std::string(getenv("TMPDIR") ? getenv("TMPDIR") : "/tmp") + "/velar-XXXXXX";
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back(0);
  return mkdtemp(buf.data());
}

std::vector<uint8_t> FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

class VelarTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = TempDir();
    setenv("NARRIX_ROOT", root_.c_str(), 1);
    SetMbrolaVoicesDir(root_ + "/system-voices");
    played = Played{};
    fast_rate = cut_periods = false;
    VelarSoundOutput out;
    out.PlayImage = RecordImage;
    out.IsPlaying = RecordIsPlaying;
    out.Stop = RecordStop;
    out.FastRate = &fast_rate;
    out.CutPeriods = &cut_periods;
    VelarSetSoundOutput(out);
    VelarSetOutputFile("");
    VelarSetLibrary(kFake);
    Velar.ErrorText.clear();
    // Held open for the whole test, so the settings below outlive the engine's own loads and unloads.
    fake_ = dlopen(kFake.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(fake_, nullptr);
    Configure(100, 16000, 0, "");
  }
  void TearDown() override {
    if (Velar.Started) VelarDone();
    calls = nullptr;
    VelarSetLibrary("");
    if (fake_) dlclose(fake_);
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  // Starts the engine on the fake library with the project's data files.
  bool Start(int samples_per_line = 100, int read_piece = 16000, const char* error_word = "") {
    Configure(samples_per_line, read_piece, 0, error_word);
    bool ok = VelarInit("", kData + "portug.nrl", kData + "portug.exc", kData + "portug.abr", kData + "portug.pro",
                        kData + "portug.dfn");
    calls->clear();
    return ok;
  }
  void Configure(int samples_per_line, int read_piece, int init_result, const char* error_word) {
    auto configure = reinterpret_cast<void (*)(int, int, int, const char*)>(dlsym(fake_, "fake_mbrola_configure"));
    auto log = reinterpret_cast<std::vector<std::string>* (*)()>(dlsym(fake_, "fake_mbrola_calls"));
    ASSERT_TRUE(configure && log);
    configure(samples_per_line, read_piece, init_result, error_word);
    calls = log();
    calls->clear();
  }
  std::string root_;
  void* fake_ = nullptr;
};

TEST(MakeWaveHeader, IsTheCanonicalPcmHeader) {
  uint8_t h[44];
  MakeWaveHeader(h, 1000, 16000, 16, 1);
  const uint8_t expected[44] = {'R', 'I', 'F', 'F', 0x0C, 0x04, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',
                                16, 0, 0, 0, 1, 0, 1, 0, 0x80, 0x3E, 0, 0, 0x00, 0x7D, 0, 0,
                                2, 0, 16, 0, 'd', 'a', 't', 'a', 0xE8, 0x03, 0, 0};
  EXPECT_EQ(0, memcmp(h, expected, 44));
}

TEST_F(VelarTest, RegistryAnswersOnlyDatabaseKeysFromTheVoicePlaces) {
  std::string sys = root_ + "/system-voices";
  MakeDirectories(sys + "/br4");
  MakeDirectories(root_ + "/zanvel/velartts");
  auto touch = [](const std::string& p) { fclose(fopen(p.c_str(), "wb")); };
  touch(root_ + "/zanvel/velartts/br4");
  touch(root_ + "/zanvel/velartts/pt1");
  touch(sys + "/br4/br4");
  touch(sys + "/us1");
  std::string key = kMbrolaDatabasesKey;
  struct Case {
    const char* what;
    std::string root, path;
    bool found;
    std::string value;
  } cases[] = {
      {"system voice folder, name in any case", kLocalMachine, key + "BR4\\", true, sys + "/br4/br4"},
      {"system voice file", kLocalMachine, key + "us1\\", true, sys + "/us1"},
      {"the suite's own place", kLocalMachine, key + "PT1\\", true, root_ + "/zanvel/velartts/pt1"},
      {"unknown database", kLocalMachine, key + "xx9\\", false, ""},
      {"no backslash at all", kLocalMachine, "SOFTWARE", false, ""},
      {"a named value, not the default", kLocalMachine, key + "br4\\Path", false, ""},
      {"another root", "HKEY_CURRENT_USER", key + "br4\\", false, ""},
      {"another key", kLocalMachine, "SOFTWARE\\Other\\br4\\", false, ""},
      {"a path out of the key", kLocalMachine, key + "..\\", false, ""},
  };
  for (const auto& c : cases) {
    std::string value = "unchanged";
    EXPECT_EQ(ReadRegistryString(c.root, c.path, &value), c.found) << c.what;
    EXPECT_EQ(value, c.found ? c.value : "unchanged") << c.what;
  }
}

TEST_F(VelarTest, StartUpStepsAndTheirFailures) {
  MakeDirectories(root_ + "/zanvel/velartts");
  fclose(fopen((root_ + "/zanvel/velartts/br4").c_str(), "wb"));
  struct Case {
    const char* what;
    std::string library, rules, abbreviations, prosody, output;
    bool ok;
    std::string error_text;
  } cases[] = {
      {"everything present", kFake, "portug.nrl", "portug.abr", "portug.pro", "", true, ""},
      {"library lacking an entry", kIncomplete, "portug.nrl", "portug.abr", "portug.pro", "", false, ""},
      {"library missing", root_ + "/none.so", "portug.nrl", "portug.abr", "portug.pro", "", false, ""},
      {"rules missing", kFake, "none.nrl", "portug.abr", "portug.pro", "", false,
       "Erro na base de dados de portugu\xEAs"},
      {"abbreviations missing", kFake, "portug.nrl", "none.abr", "portug.pro", "", false,
       "Erro no arquivo de abreviaturas"},
      {"prosody missing", kFake, "portug.nrl", "portug.abr", "none.pro", "", false, "Erro no arquivo de pros\xF3" "dia"},
      {"output file not creatable", kFake, "portug.nrl", "portug.abr", "portug.pro", root_ + "/no/dir/out.wav", false,
       ""},
      {"output file header not written", kFake, "portug.nrl", "portug.abr", "portug.pro", "/dev/full", false,
       "Arquivo de sa\xED" "da n\xE3o pode ser criado"},
  };
  for (const auto& c : cases) {
    Velar.ErrorText.clear();
    VelarSetLibrary(c.library);
    VelarSetOutputFile(c.output);
    bool ok = VelarInit("", kData + c.rules, kData + "portug.exc", kData + c.abbreviations, kData + c.prosody,
                        kData + "portug.dfn");
    EXPECT_EQ(ok, c.ok) << c.what;
    EXPECT_EQ(Velar.ErrorText, c.error_text) << c.what;
    if (ok) {
      // The database was found in the suite's place through the registry.
      ASSERT_GE(calls->size(), 2u);
      EXPECT_EQ(calls->at(calls->size() - 2), "init_MBR " + root_ + "/zanvel/velartts/br4");
      EXPECT_EQ(calls->back(), "setNoError_MBR 1");
      VelarDone();
    } else {
      EXPECT_EQ(Mbrola.Handle, nullptr) << c.what << ": the library is unloaded again";
    }
  }
  VelarSetOutputFile("");
}

TEST_F(VelarTest, EmptyArgumentsTakeTheDefaultsAndARejectedDatabaseFails) {
  std::string dir = TempDir();
  for (const char* ext : {"nrl", "exc", "abr", "pro", "dfn"}) {
    std::vector<uint8_t> b = FileBytes(kData + "portug." + ext);
    FILE* f = fopen((dir + "/portug." + ext).c_str(), "wb");
    fwrite(b.data(), 1, b.size(), f);
    fclose(f);
  }
  char cwd[4096];
  ASSERT_TRUE(getcwd(cwd, sizeof cwd));
  ASSERT_EQ(chdir(dir.c_str()), 0);
  bool ok = VelarInit("", "", "", "", "", "");
  EXPECT_TRUE(ok);
  if (ok) {
    EXPECT_EQ(calls->at(calls->size() - 2), "init_MBR br4");  // no registry entry: the name as given
    VelarDone();
    Configure(100, 16000, -1, "");
    // The fake now refuses the database: start-up fails and unloads the library.
    EXPECT_FALSE(VelarInit("", "", "", "", "", ""));
    EXPECT_EQ(Mbrola.Handle, nullptr);
  }
  ASSERT_EQ(chdir(cwd), 0);
  std::filesystem::remove_all(dir);
}

TEST_F(VelarTest, LinesAreWrittenInOrderAndDrainedAfterEach) {
  ASSERT_TRUE(Start(10, 4));
  EXPECT_TRUE(VelarSpeakLines({"_ 100", "", "a 80 50 120", ";casa", ""}));
  std::vector<std::string> expected = {
      "reset_MBR",
      "write_MBR _ 100\r\n", "read_MBR 16000", "read_MBR 16000", "read_MBR 16000", "read_MBR 16000",
      "write_MBR a 80 50 120\r\n", "read_MBR 16000", "read_MBR 16000", "read_MBR 16000", "read_MBR 16000",
      "write_MBR ;casa\r\n", "read_MBR 16000", "read_MBR 16000", "read_MBR 16000", "read_MBR 16000",
      "write_MBR \r\n", "flush_MBR", "read_MBR 16000", "read_MBR 16000", "read_MBR 16000", "read_MBR 16000",
      "play 256"};
  EXPECT_EQ(*calls, expected);
  // 40 samples (80 bytes) padded with silence to 256 bytes.
  ASSERT_EQ(played.images.size(), 1u);
  ASSERT_EQ(played.images[0].size(), 44u + 256u);
  EXPECT_EQ(Le32(played.images[0], 40), 256u);
  EXPECT_EQ(played.images[0][44 + 40], 3);  // the third line's samples
  EXPECT_EQ(played.images[0][44 + 78], 4);  // the last line's
  EXPECT_EQ(played.images[0][44 + 80], 0);
  EXPECT_EQ(played.images[0][44 + 255], 0);
}

TEST_F(VelarTest, ATextGoesThroughThePipelineAtTheCurrentFactors) {
  ASSERT_TRUE(Start());
  struct Case {
    const char* what;
    const char* text;
    double duration, pitch;
    bool writes;
  } cases[] = {
      {"blanks only: nothing is sent", " \t ", 1.0, 1.0, false},
      {"a sentence at speed 3", "  Bom dia, pessoal!  ", 0.6, 1.0, true},
      {"a sentence with a higher pitch", "O canal est\xE1 quieto.", 1.0, 1.5, true},
      {"marks alone still give their pauses", "...", 1.0, 1.0, true},
  };
  for (const auto& c : cases) {
    calls->clear();
    VelarSetSpeedAndPitch(c.duration, c.pitch);
    EXPECT_TRUE(VelarSpeak(c.text)) << c.what;
    std::vector<std::string> expected, written;
    if (c.writes) {
      std::string text = c.text;
      size_t first = text.find_first_not_of(" \t"), last = text.find_last_not_of(" \t");
      text = text.substr(first, last - first + 1);
      std::vector<std::string> lines = VelarTextToLines(text, c.duration, c.pitch);
      for (size_t i = 0; i < lines.size(); ++i) {
        if (!lines[i].empty() || i + 1 == lines.size()) expected.push_back("write_MBR " + lines[i] + "\r\n");
      }
    }
    for (const auto& call : *calls) {
      if (call.rfind("write_MBR", 0) == 0) written.push_back(call);
    }
    EXPECT_EQ(written, expected) << c.what;
    if (c.writes) {
      auto first = std::find_if(written.begin(), written.end(), [](const std::string& w) { return w[10] != ';'; });
      ASSERT_NE(first, written.end()) << c.what;
      EXPECT_EQ(first->rfind("write_MBR _ ", 0), 0u) << c.what << ": starts with a pause";
    }
  }
}

TEST_F(VelarTest, ChunksArePlayedWhileSynthesisGoesOn) {
  ASSERT_TRUE(Start(6000, 16000));
  fast_rate = cut_periods = true;
  std::vector<std::string> lines = {"a 100", "e 100", "i 100", "o 100", "u 100"};
  EXPECT_TRUE(VelarSpeakLines(lines));
  // 12000 bytes a line: each line's bytes wait until the next line's would pass 16000.
  ASSERT_EQ(played.images.size(), 5u);
  std::vector<uint8_t> all;
  for (size_t i = 0; i < played.images.size(); ++i) {
    const auto& im = played.images[i];
    EXPECT_EQ(Le32(im, 40), 12000u);
    EXPECT_EQ(Le32(im, 24), 16000u);
    EXPECT_EQ(im.size(), 44u + 12000u);
    EXPECT_EQ(im[44], i + 1) << "chunks in order";
  }
  // The first chunk went out before the last line was written.
  size_t first_play = 0, last_write = 0;
  for (size_t i = 0; i < calls->size(); ++i) {
    if ((*calls)[i].rfind("play", 0) == 0 && !first_play) first_play = i;
    if ((*calls)[i].rfind("write_MBR", 0) == 0) last_write = i;
  }
  EXPECT_LT(first_play, last_write);
  EXPECT_FALSE(played.speedups_seen_on);
  EXPECT_TRUE(fast_rate && cut_periods) << "the speed-up switches are restored";
}

TEST_F(VelarTest, AnErrorMakesTheResultFalseAndLaterLinesAreStillSent) {
  ASSERT_TRUE(Start(10, 16000, "zz"));
  EXPECT_FALSE(VelarSpeakLines({"a 100", "zz 100", "e 100"}));
  std::vector<std::string> writes;
  size_t resets = 0;
  for (const auto& c : *calls) {
    if (c.rfind("write_MBR", 0) == 0) writes.push_back(c);
    resets += c == "reset_MBR";
  }
  EXPECT_EQ(writes.size(), 3u);
  EXPECT_EQ(resets, 2u);
  EXPECT_TRUE(VelarSpeakLines({"a 100"})) << "the next text starts clean";
}

TEST_F(VelarTest, WritingToAFile) {
  std::string path = root_ + "/fala.wav";
  struct Case {
    const char* what;
    std::vector<std::string> lines;
    uint32_t data_bytes;
  } cases[] = {
      {"a run that spoke nothing", {}, 0},
      {"three lines", {"a 100", "e 100", "i 100"}, 3 * 7000 * 2},
  };
  for (const auto& c : cases) {
    VelarSetOutputFile(path);
    ASSERT_TRUE(Start(7000, 3000));
    EXPECT_EQ(FileBytes(path).size(), 44u) << c.what;
    if (!c.lines.empty()) {
      EXPECT_TRUE(VelarSpeakLines(c.lines));
    }
    EXPECT_EQ(FileBytes(path).size(), 44u + c.data_bytes) << c.what << ": exactly the bytes returned";
    EXPECT_FALSE(VelarIsSpeaking());
    VelarStop();
    EXPECT_FALSE(played.stopped) << "stop does nothing while writing to a file";
    VelarDone();
    std::vector<uint8_t> b = FileBytes(path);
    ASSERT_EQ(b.size(), 44u + c.data_bytes);
    EXPECT_EQ(Le32(b, 40), c.data_bytes) << c.what;
    EXPECT_EQ(Le32(b, 4), c.data_bytes + 36) << c.what;
    EXPECT_TRUE(played.images.empty());
  }
  VelarSetOutputFile("");
}

TEST_F(VelarTest, PlayingStateAndStopGoToTheSoundOutput) {
  ASSERT_TRUE(Start());
  played.playing = true;
  EXPECT_TRUE(VelarIsSpeaking());
  played.playing = false;
  EXPECT_FALSE(VelarIsSpeaking());
  VelarStop();
  EXPECT_TRUE(played.stopped);
  VelarDone();
  EXPECT_EQ(calls->back(), "close_MBR");
  EXPECT_EQ(Mbrola.Handle, nullptr);
}

TEST_F(VelarTest, TheOwnLibrarySpeaksATextAtTheRightLength) {
  MakeDirectories(root_ + "/zanvel/velartts");
  std::string voice = WriteSyntheticStore("velar-voice");
  ASSERT_EQ(rename(voice.c_str(), (root_ + "/zanvel/velartts/br4").c_str()), 0);
  // A system voice of another make is found first; the own library falls back to the suite's copy.
  MakeDirectories(root_ + "/system-voices/br4");
  fclose(fopen((root_ + "/system-voices/br4/br4").c_str(), "wb"));
  VelarSetLibrary("");
  ASSERT_TRUE(VelarInit("", kData + "portug.nrl", kData + "portug.exc", kData + "portug.abr", kData + "portug.pro",
                        kData + "portug.dfn"));
  EXPECT_TRUE(VelarSpeakLines({"_ 50", "a 400 50 120", "i 400 50 120", "_ 50"}));
  size_t bytes = 0;
  std::vector<int16_t> samples;
  for (const auto& im : played.images) {
    bytes += Le32(im, 40);
    const int16_t* s = reinterpret_cast<const int16_t*>(im.data() + 44);
    samples.insert(samples.end(), s, s + Le32(im, 40) / 2);
  }
  EXPECT_GE(played.images.size(), 2u) << "handed over in chunks";
  EXPECT_NEAR(double(bytes), 900 * 32.0, 2 * 134.0);
  EXPECT_NEAR(MeasurePitch(samples, 4000, 8000), 120.0, 3.6);
  // A phoneme the voice lacks is an error (the text goes on).
  EXPECT_FALSE(VelarSpeakLines({"a 100", "nh 100", "a 100"}));
}

}  // namespace
}  // namespace falatro
