// Benchmark: transcription speed of the diphone voice's transcriber over a word list.
//
// Usage: bench_transcriber [WORDLIST]   (default /usr/share/dict/brazilian, UTF-8 or cp1252)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/text_encoding.h"
#include "tts/transcriber.h"

using namespace falatro;

int main(int argc, char** argv) {
  const std::string list = argc > 1 ? argv[1] : "/usr/share/dict/brazilian";
  const std::string dir = std::string(FALATRO_SOURCE_DIR) + "/data/transcriber/";
  std::string error;
  if (!LoadTranscriptionRules(dir + "regras.rgr", &error) ||
      !LoadTranscriptionExceptions(dir + "portug.exc", &error)) {
    std::fprintf(stderr, "bench_transcriber: %s\n", error.c_str());
    return 1;
  }
  std::ifstream in(list, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "bench_transcriber: cannot open %s\n", list.c_str());
    return 1;
  }
  std::string all;
  try {
    all.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  } catch (const std::exception&) {
    std::fprintf(stderr, "bench_transcriber: cannot read %s\n", list.c_str());
    return 1;
  }
  if (IsValidUtf8(all)) all = Utf8ToCp1252(all);
  std::vector<std::string> words;
  size_t start = 0;
  while (start < all.size()) {
    size_t end = all.find('\n', start);
    if (end == std::string::npos) end = all.size();
    if (end > start) words.push_back(all.substr(start, end - start));
    start = end + 1;
  }
  size_t bytes = 0;
  double best = 1e30;
  for (int pass = 0; pass < 5; ++pass) {
    auto t0 = std::chrono::steady_clock::now();
    size_t out = 0;
    for (const std::string& w : words) out += TranscribeText(w).size();
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    best = std::min(best, s);
    bytes = out;
  }
  std::printf("transcriber: %zu words of %s, %zu rules, %zu exceptions\n", words.size(), list.c_str(),
              [] {
                size_t n = 0;
                for (const auto& l : Transcriber.rules) n += l.size();
                return n;
              }(),
              Transcriber.exceptions.size());
  std::printf("best of 5 passes: %.3f s, %.0f words/s, %.2f us/word, %zu bytes of notation\n", best,
              words.size() / best, 1e6 * best / words.size(), bytes);
  return 0;
}
