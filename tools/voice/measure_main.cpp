// falatro-voice-measure: the voice's figures: unit coverage over word lists, the length of a reference
// paragraph at each speed, and the database's size, unit count and generation time.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "base/event_loop.h"
#include "base/paths.h"
#include "base/text_encoding.h"
#include "console/keyboard.h"
#include "console/nxcrt.h"
#include "diphone_database.h"
#include "front_end_reading.h"
#include "install_tree.h"
#include "platform/console/headless/headless_frontend.h"
#include "speech/diphone_synth.h"
#include "speech/sound_device.h"
#include "speech/speech.h"
#include "speech/suite_settings.h"
#include "speech/wave_player.h"
#include "tts/transcriber.h"
#include "unit_census.h"
#include "voice_builder.h"

using namespace falatro;

namespace {

struct Options {
  std::string root;
  std::string data = FALATRO_SOURCE_DIR "/data";
  std::string wav_prefix;  // keeps the paragraph at each speed as WAV files
  bool generate = false;
  bool marks = false;  // the paragraph's punctuation marks said, as the client does only when asked
  std::vector<std::string> lists;
};

void Usage() {
  fprintf(stderr,
          "usage: falatro-voice-measure [--root DIR] [--data DIR] [--wav PREFIX] [--marks] [--generate] [WORDLIST...]\n"
          "  Measures the voice installed under DIR ($NARRIX_ROOT by default): the share of unit\n"
          "  look-ups that hit a stored unit while saying every word of the lists (UTF-8, one a line;\n"
          "  default /usr/share/dict/brazilian), the length of the reference paragraph at speeds 1 to 5\n"
          "  (data/voice/paragraph.txt, with the speed settings of data/voice/narrix.ini), and the\n"
          "  database's size and unit count. --generate also times a complete generation from an\n"
          "  empty cache. --wav keeps the paragraph as PREFIX1.wav .. PREFIX5.wav. The paragraph's marks are\n"
          "  paused on and not said, as the client says texts; --marks has them said as well.\n");
}

double CpuSeconds() {
  rusage self{}, children{};
  getrusage(RUSAGE_SELF, &self);
  getrusage(RUSAGE_CHILDREN, &children);
  auto sec = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
  return sec(self.ru_utime) + sec(self.ru_stime) + sec(children.ru_utime) + sec(children.ru_stime);
}

bool Coverage(const Options& o, std::string* error) {
  std::string dir = JoinPath(o.root, kDiphoneDir);
  if (!LoadTranscriptionRules(JoinPath(dir, "regras.rgr"), error) ||
      !LoadTranscriptionExceptions(JoinPath(dir, "portug.exc"), error))
    return false;
  for (const auto& list : o.lists) {
    std::vector<std::string> words;
    if (!ReadWordList(list, &words, error)) return false;
    UnitCoverage c;
    if (!MeasureCoverage(JoinPath(dir, std::string(kDatabaseName) + ".IND"), JoinPath(o.root, kLettersDir), words,
                         &c, error))
      return false;
    size_t missed = 0, noise = 0;
    for (const auto& [name, n] : c.Missed) {
      missed += n;
      if (name.size() <= 2) noise += n;
    }
    size_t all = c.Lookups + c.FallbackLookups;
    size_t all_hits = all - missed - c.FallbackMisses;
    printf("Coverage over %s: %zu words\n", list.c_str(), c.Words);
    printf("  all unit look-ups %zu, hits %zu: %.3f%%\n", all, all_hits, all ? 100.0 * double(all_hits) / double(all) : 0);
    printf("  names asked for by the splitting %zu, hits %zu: %.3f%%; noise for missing short units %zu; "
           "look-ups made by fallbacks %zu (%zu missed)\n",
           c.Lookups, c.Hits, c.Lookups ? 100.0 * double(c.Hits) / double(c.Lookups) : 0, noise,
           c.FallbackLookups, c.FallbackMisses);
    std::vector<std::pair<size_t, std::string>> top;
    for (const auto& [name, n] : c.Missed) top.push_back({n, name});
    std::sort(top.rbegin(), top.rend());
    printf("  most missed:");
    for (size_t i = 0; i < top.size() && i < 15; ++i) printf(" %s (%zu)", top[i].second.c_str(), top[i].first);
    printf("\n");
  }
  FreeTranscriptionRules();
  return true;
}

// The paragraph said through the program's own front end as the client says it (marks paused on, not
// said, unless --marks), on a simulated clock with a sound device that plays in simulated real time:
// the time that passes is what a listener would wait.
bool Speeds(const Options& o, std::string* error) {
  std::vector<uint8_t> raw;
  std::string paragraph_path = o.data + "/voice/paragraph.txt";
  if (!ReadWholeFile(paragraph_path, &raw)) {
    if (error) *error = "cannot read " + paragraph_path;
    return false;
  }
  std::string paragraph = Utf8ToCp1252(std::string(raw.begin(), raw.end()));
  while (!paragraph.empty() && (paragraph.back() == '\n' || paragraph.back() == '\r')) paragraph.pop_back();
  std::string ini;
  if (!MakeSuiteIni(o.data, &ini, error)) return false;
  std::string win = std::filesystem::temp_directory_path().string() + "/falatro-measure-" + std::to_string(getpid());
  bool written = false;
  if (!InstallSuiteIni(win, ini, &written, error)) return false;
  PrepareFrontEnd(o.root, win);
  printf("Reference paragraph (%zu characters), heard through the front end, marks %s:\n", paragraph.size(),
         o.marks ? "said" : "not said");
  double previous = 1e18;
  bool decreasing = true;
  for (int speed = 1; speed <= 5; ++speed) {
    std::string device = o.wav_prefix.empty() ? "null" : "file:" + o.wav_prefix + std::to_string(speed) + ".wav";
    if (!StartFrontEnd(speed, o.marks, device, error)) {
      std::filesystem::remove_all(win);
      return false;
    }
    double seconds = SayThroughFrontEnd(paragraph);
    StopFrontEnd();
    printf("  speed %d: %.2f s (database %s, cut %d, least %d, word silence %d, period cutting %s, fast rate %s)\n",
           speed, seconds, Diphone.DatabaseName.c_str(), Diphone.Cut, Diphone.LeastLength, Diphone.WordSilence,
           Wave.CutPeriods ? "on" : "off", Wave.FastRate ? "on" : "off");
    if (seconds >= previous) decreasing = false;
    previous = seconds;
  }
  printf("  strictly decreasing from speed 1 to 5: %s\n", decreasing ? "yes" : "NO");
  std::filesystem::remove_all(win);
  return true;
}

bool Database(const Options& o, std::string* error) {
  std::string dir = JoinPath(o.root, kDiphoneDir);
  std::vector<uint8_t> index;
  std::string ind = JoinPath(dir, std::string(kDatabaseName) + ".IND");
  if (!ReadWholeFile(ind, &index)) {
    if (error) *error = "cannot read " + ind + " (run falatro-voice install first)";
    return false;
  }
  uint64_t data = std::filesystem::file_size(JoinPath(dir, std::string(kDatabaseName) + ".DIF"));
  std::string problem;
  bool sound = CheckDiphoneDatabase(index, data, &problem);
  printf("Database %s: %zu units, index %zu bytes, data %llu bytes (%.2f MB, %.1f s of sound); %s\n", ind.c_str(),
         index.size() / 15, index.size(), static_cast<unsigned long long>(data),
         double(index.size() + data) / 1e6, double(data) / 11025.0,
         sound ? "sorted and bounded" : ("FAULTY: " + problem).c_str());
  return true;
}

bool Generate(const Options& o, std::string* error) {
  VoiceOptions v;
  v.DataDir = o.data;
  v.CacheDir = std::filesystem::temp_directory_path().string() + "/falatro-measure-cache-" + std::to_string(getpid());
  v.Workers = 2;
  v.WordLists = {"/usr/share/dict/brazilian"};
  double cpu = CpuSeconds();
  auto start = std::chrono::steady_clock::now();
  VoiceBuild build;
  bool ok = BuildVoice(v, &build, error);
  double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::filesystem::remove_all(v.CacheDir);
  if (!ok) return false;
  printf("Generation from an empty cache (2 workers): %.1f s wall, %.1f s processor (recordings %.1f s, census "
         "%.1f s, units %.1f s); %zu recordings, %zu units, %zu sounds made\n",
         wall, CpuSeconds() - cpu, build.RecordingSeconds, build.CensusSeconds, build.UnitSeconds,
         build.RecordingCount, build.UnitCount, build.Recordings.Made + build.Units.Made);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  o.root = NarrixRoot();
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&](std::string* into) { *into = OptionValue(argc, argv, &i, Usage); };
    if (a == "--root") value(&o.root);
    else if (a == "--data") value(&o.data);
    else if (a == "--wav") value(&o.wav_prefix);
    else if (a == "--generate") o.generate = true;
    else if (a == "--marks") o.marks = true;
    else if (a == "-h" || a == "--help") {
      Usage();
      return 0;
    } else if (!a.empty() && a[0] == '-') {
      Usage();
      return 2;
    } else o.lists.push_back(a);
  }
  if (o.lists.empty()) o.lists.push_back("/usr/share/dict/brazilian");
  std::string error;
  if (o.generate && !Generate(o, &error)) {
    fprintf(stderr, "falatro-voice-measure: %s\n", error.c_str());
    return 1;
  }
  if (!Database(o, &error) || !Coverage(o, &error) || !Speeds(o, &error)) {
    fprintf(stderr, "falatro-voice-measure: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
