// The suite's diphone voice: phonetic transcriptions said by joining recorded units from the ".IND"/".DIF" database.
#include "speech/diphone_synth.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/ini_file.h"
#include "base/paths.h"
#include "console/keyboard.h"
#include "speech/suite_settings.h"
#include "speech/wave_player.h"
#include "tts/transcriber.h"

namespace falatro {

DiphoneSynthState Diphone;

namespace {

// Longest unit name and unit string the splitting produces.
constexpr size_t kMaxUnitName = 12;
constexpr size_t kMaxUnitString = 12;
constexpr size_t kMaxGroup = 40;
// Most bytes one append may bring, so that it always fits an empty buffer.
constexpr size_t kMaxAppend = kSpeechBufferSize - kWaveHeaderSize - 1;
constexpr int kNoiseBytes = 300;

bool IsVowel(char c) { return std::strchr("AEIOUaeiouwy", c) != nullptr && c != 0; }
bool IsConsonant(char c) { return c != 0 && std::strchr("bcdfgjklmnpqrstvxz", c) != nullptr; }
bool IsSemivowel(char c) { return c == 'w' || c == 'y'; }
bool IsMark(char c) { return c == '^' || c == '~'; }
bool IsStressed(char c) { return c != 0 && std::strchr("AEIOU", c) != nullptr; }
// Vowel test on an upper-cased unit name (the semivowels are W and Y there).
bool IsVowelUpper(char c) { return c != 0 && std::strchr("AEIOUWY", c) != nullptr; }

bool IsOneSound(std::string_view two) {
  return two == "dj" || two == "nh" || two == "rr" || two == "ks";
}

// A short name on the stack: unit names and strings never need the heap.
struct ShortName {
  char text[24];
  size_t size = 0;
  ShortName() { text[0] = 0; }
  explicit ShortName(std::string_view s) { Set(s); }
  void Set(std::string_view s) {
    size = std::min(s.size(), sizeof text - 1);
    std::memcpy(text, s.data(), size);
    text[size] = 0;
  }
  void Append(std::string_view s) {
    size_t n = std::min(s.size(), sizeof text - 1 - size);
    std::memcpy(text + size, s.data(), n);
    size += n;
    text[size] = 0;
  }
  void Limit(size_t n) {
    if (size > n) size = n;
    text[size] = 0;
  }
  std::string_view View() const { return {text, size}; }
};

// Reads a key of NARRIX.INI in the Windows directory itself (no fallback to the start directory).
std::string ReadWindowsIni(const char* section, const char* key, const char* def, size_t capacity) {
  std::string ini = FindFileNoCase(JoinPath(WindowsDir(), "NARRIX.INI"));
  return GetProfileString(ini, section, key, def, capacity);
}

std::string WithBackslash(std::string dir) {
  if (dir.empty() || dir.back() != '\\') dir += '\\';
  return dir;
}

bool SwitchValue(const std::string& v) { return !v.empty() && v[0] != 'N' && v[0] != 'n'; }

int NonNegative(int v) { return v < 0 ? 0 : v; }

// The letters directory as a path of this system; remapped only when LettersDir changed.
const std::string& MappedLettersDir() {
  static std::string source, mapped;
  if (source != Diphone.LettersDir) {
    source = Diphone.LettersDir;
    mapped = MapPath(source);
  }
  return mapped;
}

// Hands what the buffer holds to the sound sink when one is set, and empties the buffer.
bool HandToSink() {
  if (!Diphone.OnFlush) return false;
  Diphone.OnFlush(Diphone.Buffer.data() + kWaveHeaderSize, Diphone.Fill - kWaveHeaderSize);
  Diphone.Fill = kWaveHeaderSize;
  ++Diphone.Chunks;
  return true;
}

// Sends what the buffer holds to the player without waiting for its end: the player copies it into its
// own blocks, so the buffer is refilled while this part sounds. A key waiting by then ends the phrase.
void FlushChunk() {
  if (Diphone.Fill <= kWaveHeaderSize) return;
  if (HandToSink()) return;
  BuildWaveHeader(Diphone.Buffer.data(), static_cast<uint32_t>(Diphone.Fill - kWaveHeaderSize),
                  kDiphoneRate, 1, 8);
  WaitSynthesizerIdle();
  PlayWaveImage(Diphone.Buffer.data(), Diphone.Fill);
  Diphone.Fill = kWaveHeaderSize;
  ++Diphone.Chunks;
  if (KeyPressed()) {
    CutSpeech();
    Diphone.Interrupted = true;
  }
}

// Makes room for n more bytes: plays what the buffer holds when they would not fit.
void MakeRoom(size_t n) {
  if (Diphone.Fill + n >= kSpeechBufferSize) FlushChunk();
}

uint8_t* Reserve(size_t* n) {
  if (*n > kMaxAppend) *n = kMaxAppend;
  MakeRoom(*n);
  if (Diphone.Interrupted) *n = 0;
  if (*n > 0 && Diphone.OnJoin) Diphone.OnJoin(Diphone.Fill - kWaveHeaderSize);
  if (*n > 0) Diphone.PhraseStart = false;
  return Diphone.Buffer.data() + Diphone.Fill;
}

// Reads exactly n bytes at offset, or fewer at the end of the file. Returns the count read.
size_t ReadAt(int fd, uint8_t* into, size_t n, uint64_t offset) {
  size_t got = 0;
  while (got < n) {
    ssize_t r = pread(fd, into + got, n - got, static_cast<off_t>(offset + got));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    got += static_cast<size_t>(r);
  }
  return got;
}

// Appends the "data" chunk of a letters-directory recording. False when it is missing, not RIFF, or
// holds no sound.
// Where the "_" recording of name would be in the letters directory.
std::string RecordingPath(std::string_view name) {
  const std::string& dir = MappedLettersDir();
  std::string path = dir;
  if (!dir.empty() && dir.back() != '/') path += '/';
  path.append(name.data(), name.size());
  path += ".wav";
  return path;
}

bool AppendRecording(std::string_view name) {
  char path[4096];
  const std::string& dir = MappedLettersDir();
  int len = std::snprintf(path, sizeof path, "%s%s%.*s.wav", dir.c_str(),
                          dir.empty() || dir.back() == '/' ? "" : "/", static_cast<int>(name.size()),
                          name.data());
  if (len <= 0 || static_cast<size_t>(len) >= sizeof path) return false;
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    std::string found = FindFileNoCase(path);
    if (found == path) return false;
    fd = open(found.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
  }
  struct stat st;
  uint64_t size = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_size) : 0;
  uint8_t head[12];
  bool found_sound = false;
  // "RIFF" in any letter case, as the wave player takes it.
  if (size >= 12 && ReadAt(fd, head, 12, 0) == 12 &&
      strncasecmp(reinterpret_cast<const char*>(head), "RIFF", 4) == 0) {
    // Walk the chunks from the first one ("fmt ") to "data", never past the file's end.
    uint64_t pos = 12;
    while (pos + 8 <= size) {
      uint8_t chunk[8];
      if (ReadAt(fd, chunk, 8, pos) != 8) break;
      uint32_t chunk_size = ReadLe32(chunk + 4);
      pos += 8;
      if (std::memcmp(chunk, "data", 4) == 0) {
        size_t n = chunk_size & 0xFFFF;
        n = static_cast<size_t>(std::min<uint64_t>(n, size - pos));
        if (n == 0) break;
        uint8_t* into = Reserve(&n);
        size_t got = ReadAt(fd, into, n, pos);
        Diphone.Fill += got;
        found_sound = got > 0;
        break;
      }
      pos += chunk_size;
    }
  }
  close(fd);
  return found_sound;
}

// A read that ends a unit before its stored end moves its end to the nearest place where the wave
// meets the zero level, at most this far (3 ms), so the next unit (which starts there) does not click.
constexpr size_t kZeroReach = 33;
// When the wave does not meet the zero level that near, or meets it between samples more than
// kZeroTolerance steps from it, its last samples are faded to it (2 ms).
constexpr size_t kEndFade = 22;
constexpr int kZeroTolerance = 3;
// Silence a phrase may start with (2 ms), and the distance from the zero level that counts as silence.
constexpr size_t kLeadingSilence = 22;
constexpr int kQuietLevel = 2;

// True when the wave meets the zero level (128) between samples e - 1 and e.
bool MeetsZeroLevel(const uint8_t* s, size_t e) {
  int a = int(s[e - 1]) - 128, b = int(s[e]) - 128;
  return a == 0 || (a < 0) != (b < 0);
}

}  // namespace

size_t ZeroLevelEnd(uint8_t* s, size_t n, size_t want) {
  if (want == 0 || want >= n) return std::min(want, n);
  size_t end = 0;
  for (size_t d = 0; d <= kZeroReach && end == 0; ++d) {
    for (size_t e : {want - std::min(d, want), want + d}) {
      if (e == 0 || e >= n || !MeetsZeroLevel(s, e)) continue;
      // End on whichever of the two samples around the crossing lies nearer the zero level.
      end = std::abs(int(s[e]) - 128) < std::abs(int(s[e - 1]) - 128) ? e + 1 : e;
      break;
    }
  }
  if (end == 0) end = want;
  // A steep wave (a burst, a hiss) can cross the zero level between two samples far from it; the last
  // ones are then faded to it as well.
  if (std::abs(int(s[end - 1]) - 128) > kZeroTolerance) {
    size_t fade = std::min(kEndFade, end);
    for (size_t k = 0; k < fade; ++k) {
      uint8_t& v = s[end - 1 - k];
      v = uint8_t(128 + std::lround((int(v) - 128) * double(k) / double(fade)));
    }
  }
  return end;
}

namespace {

// Appends length x factor bytes of a database unit; a read that stops before the unit's stored end
// ends on the zero level (ZeroLevelEnd).
void AppendUnitSound(const DiphoneRecord& rec, long length, double factor) {
  if (length <= 0 || Diphone.DataFd < 0 || rec.Offset < 0) return;
  uint64_t offset = static_cast<uint64_t>(rec.Offset);
  if (offset >= Diphone.DataSize) return;
  long want = std::lround(std::nearbyint(static_cast<double>(length) * factor));
  if (want <= 0) return;
  uint64_t stored = std::min<uint64_t>(rec.Length, Diphone.DataSize - offset);
  size_t wanted = static_cast<size_t>(std::min<uint64_t>(static_cast<uint64_t>(want), Diphone.DataSize - offset));
  // Reads past the wanted end (never past the unit) to find where the wave meets the zero level.
  size_t n = wanted < stored ? static_cast<size_t>(std::min<uint64_t>(wanted + kZeroReach, stored)) : wanted;
  bool first = Diphone.Fill == kWaveHeaderSize && Diphone.PhraseStart;
  uint8_t* into = Reserve(&n);
  size_t got = ReadAt(Diphone.DataFd, into, n, offset);
  size_t kept = wanted < stored ? ZeroLevelEnd(into, got, std::min(wanted, got)) : got;
  if (first) {
    // The phrase starts with this unit: the silence it starts with (a stop's closure) would only delay
    // the first sound; at most 2 ms of it stay.
    size_t quiet = 0;
    while (quiet < kept && std::abs(int(into[quiet]) - 128) <= kQuietLevel) ++quiet;
    if (quiet < kept && quiet > kLeadingSilence) {
      std::memmove(into, into + (quiet - kLeadingSilence), kept - (quiet - kLeadingSilence));
      kept -= quiet - kLeadingSilence;
    }
  }
  Diphone.Fill += kept;
}

void AppendNoise() {
  size_t n = kNoiseBytes;
  uint8_t* into = Reserve(&n);
  if (n == 0) return;
  std::uniform_int_distribution<int> value(88, 167);
  for (size_t i = 0; i < n; ++i) into[i] = static_cast<uint8_t>(value(Diphone.Noise));
  Diphone.Fill += n;
}

int CompareName(const DiphoneRecord& rec, std::string_view name) {
  size_t rlen = std::min<size_t>(rec.NameLength, 8);
  size_t n = std::min(rlen, name.size());
  int c = std::memcmp(rec.Name, name.data(), n);
  if (c != 0) return c;
  if (rlen == name.size()) return 0;
  return rlen < name.size() ? -1 : 1;
}

// Fixed silence of a punctuation mark inside a transcription, in bytes.
int MarkSilence(char mark) {
  switch (mark) {
    case ',': return 4000;
    case '.': return 8000;
    case ':': return 8000;
    case ';': return 6000;
  }
  return 0;
}

}  // namespace

void LoadSynthesizerParameters(int speed) {
  if (speed < 1 || speed > 5) speed = 3;
  char digit[2] = {static_cast<char>('0' + speed), 0};
  auto key = [&](const char* base) { return std::string(base) + digit; };
  std::string name = ReadSuiteSetting("SINTETIZADOR", key("DIFONES"));
  if (name.size() > 8) name.resize(8);
  Diphone.DatabaseName = name;
  Diphone.Cut = NonNegative(ProfileInt(ReadSuiteSetting("SINTETIZADOR", key("CORTEFON")), 0));
  Diphone.LeastLength = NonNegative(ProfileInt(ReadSuiteSetting("SINTETIZADOR", key("SOBRAFON")), 0));
  Diphone.WordSilence = NonNegative(ProfileInt(ReadSuiteSetting("SINTETIZADOR", key("INTERPAL")), 0));
  Wave.CutPeriods = SwitchValue(ReadSuiteSetting("SINTETIZADOR", key("CORTAFALA")));
  Wave.FastRate = SwitchValue(ReadSuiteSetting("SINTETIZADOR", key("RAPIDINHO")));
  Sound.PausePeriod = NonNegative(ProfileInt(ReadSuiteSetting("SINTETIZADOR", key("PAUSAPONTO")), 250));
  Sound.PauseComma = NonNegative(ProfileInt(ReadSuiteSetting("SINTETIZADOR", key("PAUSAVIRG")), 150));
  Sound.PauseColon =
      NonNegative(ProfileInt(ReadSuiteSetting("SINTETIZADOR", key("PAUSADOISPONTOS")), 200));
}

bool LoadDiphoneIndex(const std::string& path, std::vector<DiphoneRecord>* index, std::string* error) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (error) *error = path + ": " + std::strerror(errno);
    return false;
  }
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    if (error) *error = path + ": not a file";
    return false;
  }
  size_t count = static_cast<size_t>(st.st_size) / kDiphoneRecordSize;
  std::vector<uint8_t> raw(count * kDiphoneRecordSize);
  size_t got = ReadAt(fd, raw.data(), raw.size(), 0);
  close(fd);
  count = got / kDiphoneRecordSize;
  index->assign(count, DiphoneRecord{});
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* r = raw.data() + i * kDiphoneRecordSize;
    DiphoneRecord& rec = (*index)[i];
    rec.NameLength = std::min<uint8_t>(r[0], 8);
    std::memcpy(rec.Name, r + 1, 8);
    rec.Length = ReadLe16(r + 9);
    rec.Offset = static_cast<int32_t>(ReadLe32(r + 11));
  }
  return true;
}

int StartDiphoneSynthesizer() {
  StopDiphoneSynthesizer();
  Diphone.LettersDir = WithBackslash(ReadWindowsIni("TRADUTOR", "dirLetras", "c:\\zanvel\\som\\letras", 81));
  Diphone.DiphoneDir =
      WithBackslash(ReadWindowsIni("TRADUTOR", "DIRDIFONES", "c:\\zanvel\\som\\difones", 81));
  if (!DirectoryExists(FindFileNoCase(MapPath(Diphone.LettersDir.substr(0, Diphone.LettersDir.size() - 1)))))
    return kDiphoneNoDatabase;
  std::string dir = FindFileNoCase(MapPath(Diphone.DiphoneDir.substr(0, Diphone.DiphoneDir.size() - 1)));
  if (!DirectoryExists(dir)) return kDiphoneNoDatabase;
  if (Diphone.DatabaseName.empty()) return kDiphoneNoDatabase;
  if (!LoadDiphoneIndex(FindFileNoCase(JoinPath(dir, Diphone.DatabaseName + ".IND")), &Diphone.Index))
    return kDiphoneNoDatabase;
  std::string data = FindFileNoCase(JoinPath(dir, Diphone.DatabaseName + ".DIF"));
  Diphone.DataFd = open(data.c_str(), O_RDONLY | O_CLOEXEC);
  if (Diphone.DataFd < 0) return kDiphoneNoDatabase;
  struct stat st;
  Diphone.DataSize = fstat(Diphone.DataFd, &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
  if (!LoadTranscriptionRules(FindFileNoCase(JoinPath(dir, "regras.rgr"))) ||
      !LoadTranscriptionExceptions(FindFileNoCase(JoinPath(dir, "portug.exc"))))
    return kDiphoneNoRules;
  Diphone.Buffer.assign(kSpeechBufferSize, 0);
  Diphone.Fill = kWaveHeaderSize;
  Diphone.Started = true;
  return kDiphoneOk;
}

void StopDiphoneSynthesizer() {
  Diphone.Buffer.clear();
  Diphone.Buffer.shrink_to_fit();
  Diphone.Fill = kWaveHeaderSize;
  FreeTranscriptionRules();
  if (Diphone.DataFd >= 0) close(Diphone.DataFd);
  Diphone.DataFd = -1;
  Diphone.DataSize = 0;
  Diphone.Index.clear();
  Diphone.Index.shrink_to_fit();
  Diphone.Started = false;
}

const DiphoneRecord* FindDiphoneUnit(std::string_view name) {
  size_t lo = 0, hi = Diphone.Index.size();
  while (lo < hi) {
    size_t mid = lo + (hi - lo) / 2;
    int c = CompareName(Diphone.Index[mid], name);
    if (c == 0) return &Diphone.Index[mid];
    if (c < 0) lo = mid + 1;
    else hi = mid;
  }
  return nullptr;
}

void AppendSilence(int n) {
  if (Diphone.Buffer.size() < kSpeechBufferSize) return;
  bool first = true;
  for (int blocks = n / 100; blocks > 0 && !Diphone.Interrupted; --blocks) {
    MakeRoom(100);
    if (Diphone.Interrupted) break;
    if (first && Diphone.OnJoin) Diphone.OnJoin(Diphone.Fill - kWaveHeaderSize);
    first = false;
    Diphone.PhraseStart = false;
    std::memset(Diphone.Buffer.data() + Diphone.Fill, 128, 100);
    Diphone.Fill += 100;
  }
}

void FlushSpeechBuffer() {
  if (Diphone.Fill <= kWaveHeaderSize || Diphone.Buffer.size() < kSpeechBufferSize) return;
  if (HandToSink()) return;
  BuildWaveHeader(Diphone.Buffer.data(), static_cast<uint32_t>(Diphone.Fill - kWaveHeaderSize),
                  kDiphoneRate, 1, 8);
  PlayWaveBuffer(Diphone.Buffer.data(), Diphone.Fill);
  WaitWhileSoundPlaying();
  Diphone.Fill = kWaveHeaderSize;
  ++Diphone.Chunks;
}

void SayUnit(std::string_view name_in, int mode, double factor) {
  if (name_in.empty() || Diphone.Buffer.size() < kSpeechBufferSize) return;
  ++Diphone.UnitsSaid;
  ShortName name(name_in);
  name.Limit(kMaxUnitName);
  if (name.text[0] == '_') {
    if (Diphone.OnLookup) {
      // Tell the observer before reading, as for index units; a missing recording is silent.
      std::string_view rec_name = name.View();
      bool exists = FileExists(FindFileNoCase(RecordingPath(rec_name)));
      Diphone.OnLookup(rec_name, Diphone.LookupDepth, exists);
    }
    AppendRecording(name.View());
    return;
  }
  for (size_t i = 0; i < name.size; ++i)
    if (name.text[i] >= 'a' && name.text[i] <= 'z') name.text[i] = static_cast<char>(name.text[i] - 32);
  std::string_view n = name.View();
  const DiphoneRecord* found = FindDiphoneUnit(n);
  if (Diphone.OnLookup) Diphone.OnLookup(n, Diphone.LookupDepth, found != nullptr);
  if (const DiphoneRecord* rec = found) {
    long length = rec->Length;
    if (mode < 2 && n.size() >= 3) {
      length -= Diphone.Cut;
      if (length < Diphone.LeastLength) length = std::min<long>(rec->Length, Diphone.LeastLength);
    }
    AppendUnitSound(*rec, length, factor);
    return;
  }
  if (n.size() <= 2) {
    AppendNoise();
    return;
  }
  double shorter = 0.9 * factor;
  char last = n.back();
  struct DepthGuard {
    DepthGuard() { ++Diphone.LookupDepth; }
    ~DepthGuard() { --Diphone.LookupDepth; }
  } depth_guard;
  if (IsVowelUpper(last)) {
    SayUnit(n.substr(0, n.size() - 1), mode, shorter);
    char single[3] = {'$', last, 0};
    SayUnit(single, mode, factor);
  } else if (n.size() >= 7 && n.substr(n.size() - 4) == "CIRC") {
    SayUnit(n.substr(0, n.size() - 5), mode, shorter);
    ShortName rest("$");
    rest.Append(n.substr(n.size() - 5));
    SayUnit(rest.View(), mode, factor);
  } else if (n.size() >= 3 && n.substr(n.size() - 3) == "TIL") {
    std::string_view base = n.substr(0, n.size() - 3);
    char before = base.empty() ? 0 : base.back();
    if (before == 'I' || before == 'U') {
      SayUnit(base, mode, shorter);
    } else {
      ShortName circ(base);
      circ.Append("CIRC");
      SayUnit(circ.View(), 2, shorter);
    }
    SayUnit("$NN", 1, 0.9);
  }
}

void SayUnitString(std::string_view units_in, double factor) {
  std::string_view units = units_in.substr(0, std::min(units_in.size(), kMaxUnitString));
  if (units.empty()) return;
  if (units[0] == '_') {
    if (units.size() < 2) return;
    char name[8];
    std::snprintf(name, sizeof name, "_%u", static_cast<unsigned>(static_cast<uint8_t>(units[1])));
    SayUnit(name, Diphone.UnitMode, factor);
    return;
  }
  bool stressed = false;
  ShortName name("$");
  for (char c : units) {
    if (c == '^' || c == '~') {
      name.Append(c == '^' ? "CIRC" : "TIL");
      SayUnit(name.View(), Diphone.UnitMode, factor);
      name.Set("$");
      continue;
    }
    if (IsStressed(c)) {
      Diphone.UnitMode = 2;
      stressed = true;
    }
    name.Append(std::string_view(&c, 1));
  }
  if (name.size > 1) SayUnit(name.View(), Diphone.UnitMode, factor);
  if (stressed) Diphone.UnitMode = 0;
}

void SayPhonemeGroup(std::string_view group, double factor) {
  if (group.size() > kMaxGroup) group = group.substr(0, kMaxGroup);
  size_t n = group.size();
  if (n == 0) return;
  if (n == 1) {
    SayUnitString(group, factor);
    return;
  }
  char last = group[n - 1];
  if (n > 2 && IsConsonant(group[0]) && IsConsonant(group[1]) && !IsOneSound(group.substr(0, 2)) &&
      group.substr(0, 3) != "tch") {
    SayUnitString(group.substr(0, 1), 1.0);
    SayPhonemeGroup(group.substr(1), factor);
    return;
  }
  if (n > 2 && group.substr(n - 2) == "rr") {
    SayPhonemeGroup(group.substr(0, n - 2), factor);
    SayUnitString("rr", factor);
    return;
  }
  if (n > 2 && IsConsonant(last)) {
    SayPhonemeGroup(group.substr(0, n - 1), factor);
    SayPhonemeGroup(group.substr(n - 1), factor);
    return;
  }
  if (IsSemivowel(last)) {
    char before = group[n - 2];
    if (n > 2 && IsVowel(before)) {
      SayPhonemeGroup(group.substr(0, n - 1), 0.6);
      SayUnitString(group.substr(n - 2), factor);
      return;
    }
    if (IsMark(before) && n >= 3) {
      char vowel = group[n - 3];
      if (n > 3) {
        ShortName head(group.substr(0, n - 2));
        if (before == '~') head.Append("^");
        else head.Set(group.substr(0, n - 1));
        SayPhonemeGroup(head.View(), 0.6);
      }
      char tail[4] = {vowel, last, before, 0};
      SayUnitString(tail, factor);
      return;
    }
  }
  if (last == 's' && group != "_s") {
    SayPhonemeGroup(group.substr(0, n - 1), 0.7);
    SayUnitString("s", factor);
    return;
  }
  SayUnitString(group, factor);
}

void SayTranscription(std::string_view text, bool keep_punctuation) {
  if (Diphone.Buffer.size() < kSpeechBufferSize) return;
  Diphone.Fill = kWaveHeaderSize;
  Diphone.UnitMode = 1;
  Diphone.Interrupted = false;
  Diphone.PhraseStart = true;
  size_t pos = 0;
  char token[kMaxGroup + 8];
  while (pos < text.size()) {
    if (text[pos] == '[') {
      Diphone.UnitMode = 1;
      ++pos;
    }
    size_t len = 0;
    char terminator = ' ';
    while (pos < text.size()) {
      char c = text[pos];
      if (c == ' ' || c == ']') {
        terminator = c;
        ++pos;
        break;
      }
      if (len >= kMaxGroup) break;  // an over-long token is split here, without a word silence
      ++pos;
      if (c == '/') {
        if (len <= 8) continue;
        terminator = '/';
        break;
      }
      if (c == '_') {
        token[len++] = '_';
        if (pos < text.size()) token[len++] = text[pos++];
      } else if (c == '|') {
        std::memcpy(token, "_TRACO", 6);
        len = 6;
      } else {
        token[len++] = c;
      }
    }
    std::string_view t(token, len);
    if (!keep_punctuation && len == 2 && t[0] == '_' && MarkSilence(t[1]) > 0) {
      AppendSilence(MarkSilence(t[1]));
    } else {
      SayPhonemeGroup(t, 1.0);
    }
    if (pos < text.size() && terminator != ' ') AppendSilence(Diphone.WordSilence);
    if (Diphone.Interrupted) {
      Diphone.Fill = kWaveHeaderSize;
      return;
    }
  }
  FlushSpeechBuffer();
}

}  // namespace falatro
