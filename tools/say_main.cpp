// falatro-say: says a text with the suite's recorded voice, through the program's own speech front end,
// into a WAV file, at a chosen speed: to hear the voice outside the client, and for measuring.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <iterator>
#include <string>

#include "base/paths.h"
#include "base/text_encoding.h"
#include "front_end_reading.h"

using namespace falatro;

namespace {

void Usage() {
  fprintf(stderr,
          "usage: falatro-say [--speed N] [--marks] [--root DIR] [--windir DIR] OUT.wav [TEXT...]\n"
          "  Says TEXT (UTF-8; the standard input when none is given) as the client would, with the\n"
          "  voice installed under DIR ($NARRIX_ROOT) and the settings of NARRIX.INI in the Windows\n"
          "  directory ($NARRIX_WINDIR), and writes what is played to OUT.wav (16-bit mono 22050 Hz).\n"
          "  --speed: 1 (slowest) to 5; by default the settings' speed. --marks: punctuation marks\n"
          "  are said as well as paused on (the client starts with them not said). Pauses are waits,\n"
          "  not sound, so they are not in the file.\n");
}

}  // namespace

int main(int argc, char** argv) {
  int speed = 0;
  bool marks = false;
  std::string root = NarrixRoot(), windir = WindowsDir(), out, text;
  bool have_text = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) {
        Usage();
        exit(2);
      }
      return argv[++i];
    };
    if (a == "--speed") {
      speed = std::atoi(value().c_str());
      if (speed < 1 || speed > 5) {
        fprintf(stderr, "falatro-say: the speed is 1 to 5\n");
        return 2;
      }
    } else if (a == "--marks") marks = true;
    else if (a == "--root") root = value();
    else if (a == "--windir") windir = value();
    else if (a == "-h" || a == "--help") {
      Usage();
      return 0;
    } else if (!a.empty() && a[0] == '-' && out.empty()) {
      Usage();
      return 2;
    } else if (out.empty()) out = a;
    else {
      if (have_text) text += ' ';
      text += a;
      have_text = true;
    }
  }
  if (out.empty()) {
    Usage();
    return 2;
  }
  if (!have_text) text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
  // Lines become blanks, as a typed line would have them.
  for (char& c : text)
    if (c == '\n' || c == '\r' || c == '\t') c = ' ';
  PrepareFrontEnd(root, windir);
  std::string error;
  if (!StartFrontEnd(speed, marks, "file:" + out, &error)) {
    fprintf(stderr, "falatro-say: %s\n", error.c_str());
    return 1;
  }
  double seconds = SayThroughFrontEnd(Utf8ToCp1252(text));
  StopFrontEnd();
  printf("%s: %.2f s heard\n", out.c_str(), seconds);
  return 0;
}
