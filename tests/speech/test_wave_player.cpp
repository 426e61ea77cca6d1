// The wave player through the null and file devices, on a simulated clock.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>

#include "console/keyboard.h"
#include "console/nxcrt.h"
#include "sound_fixture.h"
#include "speech/sound_device.h"
#include "speech/suite_settings.h"
#include "speech/wave_player.h"

namespace falatro::soundtest {
namespace {

using Player = SoundFixture;

// Expected recording of 8-bit mono 11025 Hz data: each sample twice, as (s - 128) x 256.
std::vector<int16_t> Doubled(const std::vector<uint8_t>& data) {
  std::vector<int16_t> out;
  for (uint8_t s : data) {
    out.push_back(int16_t((int(s) - 128) * 256));
    out.push_back(int16_t((int(s) - 128) * 256));
  }
  return out;
}

TEST_F(Player, FileBlocksFollowTheSizeRules) {
  struct Case {
    const char* what;
    size_t data;
    std::vector<uint32_t> blocks;
  } cases[] = {
      {"70000 bytes: a full block and the rest", 70000, {65534, 4466}},
      {"65600 bytes: 65278 so the last is not under 256", 65600, {65278, 322}},
      {"65789 bytes: still the shortened first block", 65789, {65278, 511}},
      {"65790 bytes: the last block is exactly 256", 65790, {65534, 256}},
      {"65534 bytes: one block", 65534, {65534}},
      {"100 bytes: played as 256", 100, {256}},
      {"empty data: nothing queued", 0, {}},
      {"three blocks", 3 * 65534 + 1000, {65534, 65534, 65534, 1000}},
  };
  UseNull();
  for (const Case& c : cases) {
    NullSoundBackend device;
    SetSoundBackend(&device);
    std::string path = dir_ + "/blocks.wav";
    WriteBytes(path, MakeWave(Pattern(c.data), 11025, 1, 8));
    EXPECT_EQ(PlayWaveFile(path), 0) << c.what;
    EXPECT_EQ(device.block_lengths(), c.blocks) << c.what;
    EXPECT_FALSE(SoundDev.open) << c.what << ": the device closes when the sound ends";
    SetSoundBackend(nullptr);
  }
}

TEST_F(Player, FileIsRecordedSampleForSample) {
  // Two blocks: the first (65534 bytes) keeps its last sample, the second ends at level 128.
  std::vector<uint8_t> data = Pattern(70000, 7);
  WriteBytes(dir_ + "/speech.wav", MakeWave(data, 11025, 1, 8));
  ASSERT_EQ(PlayWaveFile(dir_ + "/speech.wav"), 0);
  std::vector<uint8_t> heard = data;
  heard[69999] = 128;
  EXPECT_EQ(RecordedSamples(file_path()), Doubled(heard));
  EXPECT_EQ(sim_.now, (70000 * 1000 + 11024) / 11025) << "the wait lasts as long as the sound";
}

TEST_F(Player, ShortSoundIsPaddedWithSilence) {
  std::vector<uint8_t> data = Pattern(100, 3);
  WriteBytes(dir_ + "/click.wav", MakeWave(data, 11025, 1, 8));
  ASSERT_EQ(PlayWaveFile(dir_ + "/click.wav"), 0);
  std::vector<uint8_t> heard = data;
  heard[99] = 128;
  heard.resize(256, 128);
  EXPECT_EQ(RecordedSamples(file_path()), Doubled(heard));
}

TEST_F(Player, SixteenBitStereoIsMixedToMono) {
  // 40,000 frames take three blocks: blocks must end on whole frames, or frames are lost at each
  // block's end and the channels swap in the next.
  std::vector<uint8_t> data = Pattern(4 * 40000, 9);
  WriteBytes(dir_ + "/stereo.wav", MakeWave(data, 22050, 2, 16));
  ASSERT_EQ(PlayWaveFile(dir_ + "/stereo.wav"), 0);
  std::vector<int16_t> expected;
  for (size_t i = 0; i < data.size(); i += 4) {
    int l = int16_t(data[i] | (data[i + 1] << 8));
    int r = int16_t(data[i + 2] | (data[i + 3] << 8));
    expected.push_back(int16_t((l + r) / 2));
  }
  EXPECT_EQ(RecordedSamples(file_path()), expected);
}

TEST_F(Player, ImageAtAnotherRateIsResampled) {
  // 16000 Hz: output sample j takes source sample floor(j x 16000 / 22050).
  std::vector<uint8_t> data(2 * 1600);
  for (size_t i = 0; i < 1600; ++i) {
    int16_t v = int16_t(i * 20 - 16000);
    data[2 * i] = uint8_t(v);
    data[2 * i + 1] = uint8_t(uint16_t(v) >> 8);
  }
  std::vector<uint8_t> image = MakeWave(data, 16000, 1, 16);
  ASSERT_EQ(PlayWaveBuffer(image.data(), image.size()), 0);
  std::vector<int16_t> got = RecordedSamples(file_path());
  ASSERT_EQ(got.size(), (1600u * 22050 + 15999) / 16000);
  for (size_t j = 0; j < got.size(); ++j) {
    ASSERT_EQ(got[j], int16_t((j * 16000 / 22050) * 20 - 16000)) << "sample " << j;
  }
}

TEST_F(Player, KeyInTheQueueCutsALongSoundWithinOneBlock) {
  // Ten minutes of sound; a key typed after 3 s stops it.
  const size_t bytes = 11025 * 600;
  std::vector<uint8_t> data(bytes);
  for (size_t i = 0; i < bytes; ++i) data[i] = uint8_t(64 + i % 128);
  WriteBytes(dir_ + "/long.wav", MakeWave(data, 11025, 1, 8));
  KeyAt(3000, 'q');
  EXPECT_EQ(PlayWaveFile(dir_ + "/long.wav"), 0);
  EXPECT_LE(sim_.now, 3000u + 10) << "returns within one 10 ms step of the key";
  EXPECT_EQ(Kbd.KeyCount, 1) << "the key stays queued for its reader";
  EXPECT_EQ(Kbd.KeyBuffer[0], 'q');
  EXPECT_FALSE(SoundDev.open);
  EXPECT_EQ(SoundDev.resets, 1u);
  EXPECT_EQ(SoundDev.blocks_written, SoundDev.blocks_returned) << "every block came back";
  // What was heard is the sound up to the key, not one block more.
  size_t heard = RecordedSamples(file_path()).size() / 2;
  EXPECT_NEAR(double(heard), 3.0 * 11025, 11025 * 0.011);
  EXPECT_LE(Wave.blocks_queued, 5u) << "no block queued after the key";
}

TEST_F(Player, KeyBeforeTheCallPlaysNothing) {
  WriteBytes(dir_ + "/a.wav", MakeWave(Pattern(5000), 11025, 1, 8));
  InjectKeys("k");
  EXPECT_EQ(PlayWaveFile(dir_ + "/a.wav"), 0);
  EXPECT_EQ(SoundDev.opens, 0u);
  EXPECT_EQ(Kbd.KeyCount, 1);
  EXPECT_TRUE(RecordedSamples(file_path()).empty());
}

TEST_F(Player, StopOnKeyOffLetsTheSoundPlay) {
  Wave.StopOnKey = false;
  WriteBytes(dir_ + "/a.wav", MakeWave(Pattern(5000), 11025, 1, 8));
  InjectKeys("k");
  EXPECT_EQ(PlayWaveFile(dir_ + "/a.wav"), 0);
  EXPECT_EQ(RecordedSamples(file_path()).size(), 10000u);
}

TEST_F(Player, BadFilesGiveMinusOne) {
  std::vector<uint8_t> good = MakeWave(Pattern(3000), 11025, 1, 8);
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    int result;
    size_t heard;  // recorded output samples
  } cases[] = {
      {"a good file", good, 0, 6000},
      {"shorter than 12 bytes", {'R', 'I', 'F', 'F', 1, 2}, -1, 0},
      {"not RIFF", [&] { auto b = good; b[0] = 'X'; return b; }(), -1, 0},
      {"lower-case riff is accepted", [&] { auto b = good; std::memcpy(b.data(), "riff", 4); return b; }(), 0, 6000},
      {"first chunk not fmt", [&] { auto b = good; std::memcpy(b.data() + 12, "LIST", 4); return b; }(), -1, 0},
      {"fmt content cut short", std::vector<uint8_t>(good.begin(), good.begin() + 30), -1, 0},
      {"fmt shorter than its record", [&] { auto b = good; WriteLe32(b.data() + 16, 8); return b; }(), -1, 0},
      {"no data chunk", std::vector<uint8_t>(good.begin(), good.begin() + 36), -1, 0},
      {"chunk size past the end", [&] { auto b = good; std::memcpy(b.data() + 36, "junk", 4);
                                         WriteLe32(b.data() + 40, 0xFFFFFFF0u); return b; }(), -1, 0},
      {"data shorter than declared: played, then -1",
       [&] { auto b = good; WriteLe32(b.data() + 40, 5000); return b; }(), -1, 6000},
      {"data size near 4 GiB", [&] { auto b = good; WriteLe32(b.data() + 40, 0xFFFFFFFFu); return b; }(), -1, 6000},
      {"24-bit samples: the device's format error", [&] { auto b = good; WriteLe16(b.data() + 34, 24); return b; }(),
       kSoundErrBadFormat, 0},
      {"no channels", [&] { auto b = good; WriteLe16(b.data() + 22, 0); return b; }(), kSoundErrBadFormat, 0},
      {"zero rate", [&] { auto b = good; WriteLe32(b.data() + 24, 0); return b; }(), kSoundErrBadFormat, 0},
  };
  for (const Case& c : cases) {
    std::string path = dir_ + "/case.wav";
    WriteBytes(path, c.bytes);
    std::string out = dir_ + "/case-out.wav";
    FileSoundBackend device;
    ASSERT_TRUE(device.Create(out, nullptr));
    SetSoundBackend(&device);
    EXPECT_EQ(PlayWaveFile(path), c.result) << c.what;
    EXPECT_EQ(RecordedSamples(out).size(), c.heard) << c.what;
    EXPECT_FALSE(SoundDev.open) << c.what;
    SetSoundBackend(nullptr);
  }
  EXPECT_EQ(PlayWaveFile(dir_ + "/missing.wav"), -1) << "a file that does not exist";
}

TEST_F(Player, ChunksBeforeDataAreSkippedUnpadded) {
  std::vector<uint8_t> data = Pattern(600, 5);
  std::vector<uint8_t> image = MakeWave(data, 11025, 1, 8);
  // Put an odd-sized chunk (3 bytes, no padding byte) between "fmt " and "data".
  std::vector<uint8_t> extra = {'L', 'I', 'S', 'T', 3, 0, 0, 0, 'a', 'b', 'c'};
  image.insert(image.begin() + 36, extra.begin(), extra.end());
  WriteBytes(dir_ + "/list.wav", image);
  ASSERT_EQ(PlayWaveFile(dir_ + "/list.wav"), 0);
  std::vector<uint8_t> heard = data;
  heard.back() = 128;
  EXPECT_EQ(RecordedSamples(file_path()), Doubled(heard));
}

TEST_F(Player, SameFormatSharesTheDeviceAndAnotherFormatWaits) {
  UseNull();
  std::vector<uint8_t> a = MakeWave(Pattern(11025), 11025, 1, 8);
  std::vector<uint8_t> b = MakeWave(Pattern(11025), 11025, 1, 8);
  std::vector<uint8_t> c = MakeWave(Pattern(22050), 22050, 1, 8);
  ASSERT_EQ(PlayWaveImage(a.data(), a.size()), 0);
  ASSERT_EQ(PlayWaveImage(b.data(), b.size()), 0);
  EXPECT_EQ(SoundDev.opens, 1u) << "the open device is reused";
  EXPECT_EQ(sim_.now, 0u);
  ASSERT_EQ(PlayWaveImage(c.data(), c.size()), 0);
  EXPECT_EQ(SoundDev.opens, 2u);
  EXPECT_EQ(sim_.now, 2000u) << "the 22050 Hz sound waited for both 1 s sounds";
  while (IsWavePlaying()) WaitMessage();
  EXPECT_EQ(sim_.now, 3000u);
}

TEST_F(Player, FastRateAndCutPeriods) {
  UseNull();
  struct Case {
    const char* what;
    bool fast, cut;
    uint32_t rate;
    uint16_t bits;
    WaveFormat device;
  } cases[] = {
      {"fast 11025", true, false, 11025, 8, {16538, 1, 8}},
      {"fast 22050", true, false, 22050, 16, {33075, 1, 16}},
      {"cut 16-bit mono plays 8-bit", false, true, 16000, 16, {16000, 1, 8}},
      {"cut and fast", true, true, 11025, 16, {16538, 1, 8}},
      {"cut 8-bit keeps its format", false, true, 11025, 8, {11025, 1, 8}},
  };
  for (const Case& c : cases) {
    Wave.FastRate = c.fast;
    Wave.CutPeriods = c.cut;
    std::vector<uint8_t> image = MakeWave(Pattern(4000), c.rate, 1, c.bits);
    ASSERT_EQ(PlayWaveImage(image.data(), image.size()), 0) << c.what;
    EXPECT_EQ(SoundDev.format, c.device) << c.what;
    StopWave();
  }
}

TEST_F(Player, FastRateRoundsTiesToEven) {
  struct Case { uint32_t in, out; } cases[] = {
      {11025, 16538}, {11024, 16536}, {1, 2}, {3, 4}, {5, 8}, {7, 10}, {22050, 33075}, {0, 0},
      {4000000000u, 4294967295u},
  };
  for (const Case& c : cases) EXPECT_EQ(FastRateOf(c.in), c.out) << c.in;
}

TEST_F(Player, CutSixteenBitSoundIsHalfOrLess) {
  NullSoundBackend device;
  SetSoundBackend(&device);
  Wave.CutPeriods = true;
  std::vector<uint8_t> small = MakeWave(Pattern(1998), 11025, 1, 16);
  ASSERT_EQ(PlayWaveImage(small.data(), small.size()), 0);
  ASSERT_EQ(device.block_lengths(), std::vector<uint32_t>{999}) << "under 1000 samples: only converted";
  StopWave();
  std::vector<uint8_t> big = MakeWave(Pattern(40000), 11025, 1, 16);
  ASSERT_EQ(PlayWaveImage(big.data(), big.size()), 0);
  ASSERT_EQ(device.block_lengths().size(), 2u);
  EXPECT_LE(device.block_lengths()[1], 20000u);
  SetSoundBackend(nullptr);
}

TEST_F(Player, StopWaveReturnsEveryBlock) {
  UseNull();
  std::vector<uint8_t> image = MakeWave(Pattern(5 * 65534), 11025, 1, 8);
  KeyAt(100);
  ASSERT_EQ(PlayWaveImage(image.data(), image.size()), 0);
  EXPECT_EQ(Wave.queued, 0) << "the key stopped it while it waited for a free slot";
  EXPECT_EQ(SoundDev.blocks_written, 4u);
  EXPECT_EQ(SoundDev.blocks_returned, 4u);
  EXPECT_FALSE(SoundDev.open);
  EXPECT_TRUE(EventLoop.timers.empty()) << "no timer left running once stopped";
}

TEST_F(Player, NothingRunsOnceTheSoundHasEnded) {
  UseNull();
  WriteBytes(dir_ + "/a.wav", MakeWave(Pattern(20000), 11025, 1, 8));
  ASSERT_EQ(PlayWaveFile(dir_ + "/a.wav"), 0);
  EXPECT_FALSE(SoundDev.open);
  EXPECT_TRUE(EventLoop.timers.empty());
  EXPECT_EQ(null_.pending_timers(), 0u);
}

// A device that answers "busy" a number of times before opening.
struct BusyBackend : NullSoundBackend {
  int busy_left = 0;
  int refuse_with = kSoundErrAllocated;
  int attempts = 0;
  int Open(const WaveFormat& f) override {
    ++attempts;
    if (busy_left != 0) {
      if (busy_left > 0) --busy_left;
      return refuse_with;
    }
    return NullSoundBackend::Open(f);
  }
};

TEST_F(Player, BusyDeviceIsRetried) {
  struct Case {
    const char* what;
    int busy, refuse;
    int result, attempts;
    uint64_t waited_ms;
  } cases[] = {
      {"busy three times, then opens", 3, kSoundErrAllocated, 0, 4, 300},
      {"always busy: given up after 100 attempts", -1, kSoundErrAllocated, kSoundErrAllocated, 100, 9900},
      {"another error is returned at once", -1, kSoundErrNoDriver, kSoundErrNoDriver, 1, 0},
  };
  for (const Case& c : cases) {
    BusyBackend device;
    device.busy_left = c.busy;
    device.refuse_with = c.refuse;
    SetSoundBackend(&device);
    std::vector<uint8_t> image = MakeWave(Pattern(300), 11025, 1, 8);
    uint64_t start = sim_.now;
    EXPECT_EQ(PlayWaveImage(image.data(), image.size()), c.result) << c.what;
    EXPECT_EQ(device.attempts, c.attempts) << c.what;
    EXPECT_EQ(sim_.now - start, c.waited_ms) << c.what;
    StopWave();
    SetSoundBackend(nullptr);
  }
}

TEST_F(Player, ReleaseFailureIsWrittenAndWaitsForEnter) {
  UseNull();
  std::vector<uint8_t> image = MakeWave(Pattern(20000), 11025, 1, 8);
  ASSERT_EQ(PlayWaveImage(image.data(), image.size()), 0);
  ASSERT_EQ(Wave.queued, 1);
  // A completion notice for a block the device still holds cannot be released.
  Message m;
  m.kind = kMsgSoundDone;
  m.a = SoundDev.device_id;
  m.p = &Wave.headers[0];
  PostMessage(m);
  InjectKeys("\r");
  ProcessMessages();
  std::string row;
  for (int x = 1; x <= 80; ++x) row += char(ScreenChar(x, 1));
  EXPECT_EQ(row.substr(0, 64), "The data block pointed to by the pwh parameter is still in queue");
  EXPECT_EQ(Kbd.KeyCount, 0) << "Enter was read";
}

TEST_F(Player, StaleNoticeFromAnEarlierOpeningIsIgnored) {
  UseNull();
  std::vector<uint8_t> image = MakeWave(Pattern(20000), 11025, 1, 8);
  ASSERT_EQ(PlayWaveImage(image.data(), image.size()), 0);
  Message m;
  m.kind = kMsgSoundDone;
  m.a = SoundDev.device_id - 1;
  m.p = &Wave.headers[0];
  PostMessage(m);
  ProcessMessages();
  EXPECT_EQ(Wave.queued, 1);
  EXPECT_EQ(ScreenChar(1, 1), ' ');
}


TEST_F(Player, ChangingTheDeviceUnderASoundForgetsIt) {
  UseNull();
  std::vector<uint8_t> image = MakeWave(Pattern(30000), 11025, 1, 8);
  ASSERT_EQ(PlayWaveImage(image.data(), image.size()), 0);
  ASSERT_TRUE(IsWavePlaying());
  SetSoundBackend(&file_);
  EXPECT_FALSE(IsWavePlaying()) << "the blocks went with the old device";
  EXPECT_EQ(Wave.queued, 0);
  ProcessMessages();
  EXPECT_EQ(ScreenChar(1, 1), ' ') << "no release failure is reported for them";
  ASSERT_EQ(PlayWaveBuffer(image.data(), image.size()), 0);
  EXPECT_EQ(RecordedSamples(file_path()).size(), 60000u);
}


TEST_F(Player, KilledProgramLeavesAPlayableRecording) {
  std::vector<uint8_t> data = Pattern(11025 * 20, 11);
  WriteBytes(dir_ + "/long.wav", MakeWave(data, 11025, 1, 8));
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // Killed 7 s into the sound: the first block (5.9 s) is complete, the second is not.
    AddTimer(7000, [] { raise(SIGKILL); });
    PlayWaveFile(dir_ + "/long.wav");
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status));
  std::vector<uint8_t> first(data.begin(), data.begin() + 65534);
  std::vector<int16_t> expected;
  for (uint8_t s : first) expected.insert(expected.end(), 2, int16_t((int(s) - 128) * 256));
  EXPECT_EQ(RecordedSamples(file_path()), expected);
}

}  // namespace
}  // namespace falatro::soundtest
