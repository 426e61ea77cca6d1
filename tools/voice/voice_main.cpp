// falatro-voice: makes the suite's voice and lays it under the suite root ("install").
#include <cstdio>
#include <cstdlib>
#include <string>

#include <espeak-ng/speak_lib.h>

#include <cstring>

#include "base/paths.h"
#include "engine_voice.h"
#include "espeak_voice.h"
#include "install_tree.h"
#include "voice_builder.h"

using namespace falatro;

namespace {

void Usage() {
  fprintf(stderr,
          "usage: falatro-voice install [--root DIR] [--windir DIR] [--data DIR] [--cache DIR]\n"
          "                             [--workers N] [--words FILE]...\n"
          "  Makes every recording, the dial tones and the diphone database (census over the word\n"
          "  lists, default /usr/share/dict/brazilian), installs them under the suite root\n"
          "  ($NARRIX_ROOT) without replacing files a user changed, and writes NARRIX.INI into the\n"
          "  Windows directory ($NARRIX_WINDIR) when it has none.\n");
}

// Number of the Brazilian Portuguese voice in eSpeak NG's list (the order the program numbers the
// system voice's voices in), or 0 when the list has none.
int BrazilianSystemVoice() {
  std::string error;
  if (!StartGenerator(165, 45, &error)) return 0;
  const espeak_VOICE** voices = espeak_ListVoices(nullptr);
  for (int i = 0; voices != nullptr && voices[i] != nullptr; ++i)
    if (voices[i]->languages != nullptr && std::strcmp(voices[i]->languages + 1, "pt-br") == 0) return i + 1;
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || std::string(argv[1]) != "install") {
    Usage();
    return 2;
  }
  VoiceOptions options;
  options.DataDir = FALATRO_SOURCE_DIR "/data";
  options.CacheDir = FALATRO_BINARY_DIR "/voice-cache";
  std::string root = NarrixRoot(), windir = WindowsDir();
  for (int i = 2; i < argc; ++i) {
    std::string a = argv[i];
    if (i + 1 >= argc) {
      Usage();
      return 2;
    }
    std::string v = argv[++i];
    if (a == "--root") root = v;
    else if (a == "--windir") windir = v;
    else if (a == "--data") options.DataDir = v;
    else if (a == "--cache") options.CacheDir = v;
    else if (a == "--workers") options.Workers = std::atoi(v.c_str());
    else if (a == "--words") options.WordLists.push_back(v);
    else {
      Usage();
      return 2;
    }
  }
  if (options.WordLists.empty()) options.WordLists.push_back("/usr/share/dict/brazilian");
  if (options.Workers < 1) options.Workers = 1;

  VoiceBuild build;
  std::string error;
  if (!BuildVoice(options, &build, &error)) {
    fprintf(stderr, "falatro-voice: %s\n", error.c_str());
    return 1;
  }
  // The built-in engine's voice is installed with the rest, under the same never-overwrite rules.
  EngineVoiceBuild engine;
  if (!BuildEngineVoice(options.DataDir, options.CacheDir, options.Workers, FALATRO_OWN_MBROLA_LIBRARY, &engine,
                        &error)) {
    fprintf(stderr, "falatro-voice: engine voice: %s\n", error.c_str());
    return 1;
  }
  // The diphone list written from the engine database replaces any other list for the same place.
  for (const auto& f : engine.Files) {
    std::erase_if(build.Files, [&](const InstallFile& other) { return other.Path == f.Path; });
  }
  build.Files.insert(build.Files.end(), engine.Files.begin(), engine.Files.end());
  // A new user's running text is said by eSpeak NG in-process with the Brazilian voice; without that
  // voice the settings keep the recorded voice for everything.
  if (int voice = BrazilianSystemVoice(); voice > 0)
    build.IniText = SetIniValue(build.IniText, "SERVFALA", "VOZ", std::to_string(voice));
  else
    build.IniText = SetIniValue(build.IniText, "TRADUTOR", "SAPI", "");
  InstallReport report;
  if (!InstallFiles(root, build.Files, &report, &error) ||
      !InstallSuiteIni(windir, build.IniText, &report.IniWritten, &error)) {
    fprintf(stderr, "falatro-voice: %s\n", error.c_str());
    return 1;
  }
  printf("Recordings %.1f s, census %.1f s, units %.1f s.\n", build.RecordingSeconds, build.CensusSeconds,
         build.UnitSeconds);
  if (!build.UnitsLeftOut.empty()) {
    printf("%zu unit names asked for are not in the database:", build.UnitsLeftOut.size());
    for (size_t i = 0; i < build.UnitsLeftOut.size() && i < 20; ++i) printf(" %s", build.UnitsLeftOut[i].c_str());
    printf("%s\n", build.UnitsLeftOut.size() > 20 ? " ..." : "");
  }
  printf("Voice: %zu recordings, %zu units (%.1f MB database), census of %zu words in %.1f s; "
         "sounds made %zu, from cache %zu; %.1f s in all.\n",
         build.RecordingCount, build.UnitCount, double(build.DatabaseBytes) / 1e6, build.CensusWords,
         build.CensusSeconds, build.Recordings.Made + build.Units.Made,
         build.Recordings.Cached + build.Units.Cached, build.Seconds);
  printf("Engine voice: %zu phonemes, %zu diphones (%.1f MB, pitch period %d samples) in %.1f s; made %zu, "
         "from cache %zu.\n",
         engine.PhonemeCount, engine.DiphoneCount, double(engine.DatabaseBytes) / 1e6, engine.Period, engine.Seconds,
         engine.Jobs.Made, engine.Jobs.Cached);
  if (!engine.Missing.empty()) {
    printf("%zu diphones the generating voice could not make:", engine.Missing.size());
    for (size_t i = 0; i < engine.Missing.size() && i < 20; ++i) printf(" %s", engine.Missing[i].c_str());
    printf("%s\n", engine.Missing.size() > 20 ? " ..." : "");
  }
  printf("Installed under %s: %d new, %d regenerated, %d up to date, %d removed, %d kept as the user left them.\n",
         root.c_str(), report.Written, report.Regenerated, report.Unchanged, report.Removed, report.Kept);
  for (const auto& p : report.KeptPaths) printf("  kept: %s\n", p.c_str());
  printf("%s\n", report.IniWritten ? ("NARRIX.INI written in " + windir).c_str()
                                   : ("NARRIX.INI already present in " + windir + ": left unchanged").c_str());
  return 0;
}
