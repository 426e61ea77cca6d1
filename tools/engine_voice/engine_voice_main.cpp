// falatro-engine-voice: makes the engine voice alone into a directory and prints its figures
// (`make voice` makes it with the rest of the voice and installs it).
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/paths.h"
#include "engine_voice.h"
#include "install_tree.h"

using namespace falatro;

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: falatro-engine-voice OUTDIR [--cache DIR] [--workers N] [--data DIR]\n");
    return 2;
  }
  std::string out = argv[1], cache = FALATRO_BINARY_DIR "/voice-cache", data = FALATRO_SOURCE_DIR "/data";
  int workers = 2;
  for (int i = 2; i + 1 < argc; i += 2) {
    std::string a = argv[i], v = argv[i + 1];
    if (a == "--cache") cache = v;
    else if (a == "--workers") workers = std::max(1, atoi(v.c_str()));
    else if (a == "--data") data = v;
  }
  EngineVoiceBuild build;
  std::string error;
  if (!BuildEngineVoice(data, cache, workers, "", &build, &error)) {
    fprintf(stderr, "falatro-engine-voice: %s\n", error.c_str());
    return 1;
  }
  for (const auto& f : build.Files) {
    std::string path = JoinPath(out, f.Path.substr(f.Path.rfind('/') + 1));
    if (!MakeDirectories(out, &error) || !WriteFileAtomically(path, f.Bytes, &error)) {
      fprintf(stderr, "falatro-engine-voice: %s\n", error.c_str());
      return 1;
    }
  }
  printf("Engine voice: %zu phonemes, %zu diphones, %.2f MB, pitch period %d samples (%.1f Hz); %.1f s "
         "(made %zu, from cache %zu).\n",
         build.PhonemeCount, build.DiphoneCount, double(build.DatabaseBytes) / 1e6, build.Period,
         build.Period ? 16000.0 / build.Period : 0.0, build.Seconds, build.Jobs.Made, build.Jobs.Cached);
  for (const auto& m : build.Missing) printf("  not made: %s\n", m.c_str());
  return 0;
}
