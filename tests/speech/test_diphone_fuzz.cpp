// Fuzz target: arbitrary transcriptions for the diphone voice and arbitrary texts for the speech front end
// must never read outside the speech buffer, the database or a recording.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "base/event_loop.h"
#include "console/nxcrt.h"
#include "diphone_record.h"
#include "platform/console/headless/headless_frontend.h"
#include "speech/diphone_synth.h"
#include "speech/speech.h"
#include "speech/wave_format.h"
#include "tts/transcriber.h"

namespace falatro {
namespace {

void Put(const std::string& path, const std::string& bytes) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return;
  ssize_t w = write(fd, bytes.data(), bytes.size());
  (void)w;
  close(fd);
}

std::string Record(const char* name, uint16_t length, int32_t offset) {
  return testsupport::DiphoneIndexRecord(name, length, static_cast<uint32_t>(offset));
}

void SetUpOnce() {
  static bool done = false;
  if (done) return;
  done = true;
  static SimulatedBackend sim;
  SetLoopBackend(&sim);
  Headless.key_up_events = false;
  SetConsoleFrontend(HeadlessFrontend(&sim));
  Crt.exit_hook = [](int) { std::abort(); };
  char tmpl[] = "/tmp/falatro-fuzz-diphone-XXXXXX";
  std::string dir = mkdtemp(tmpl) ? tmpl : "/tmp";
  uint8_t header[44];
  BuildWaveHeader(header, 300, 11025, 1, 8);
  Put(dir + "/_44.wav", std::string(reinterpret_cast<char*>(header), 44) + std::string(300, 'a'));
  Put(dir + "/_46.wav", "RIFF\xff\xff\xff\xff" "WAVEdata\xff\xff\xff\x7f");
  Put(dir + "/_47.wav", "RIF");
  std::string index = Record("$A", 400, 0) + Record("$BIG", 65535, 100) + Record("$KA", 800, 1500) +
                      Record("$NEG", 100, -9) + Record("$PACIRC", 700, 0) + Record("$ZZZ", 10, 99999);
  Put(dir + "/V.IND", index);
  Put(dir + "/V.DIF", std::string(2000, 'x'));
  LoadDiphoneIndex(dir + "/V.IND", &Diphone.Index);
  Diphone.DataFd = open((dir + "/V.DIF").c_str(), O_RDONLY);
  Diphone.DataSize = 2000;
  Diphone.LettersDir = dir + "\\";
  Diphone.Buffer.assign(kSpeechBufferSize, 0);
  Diphone.Cut = 300;
  Diphone.LeastLength = 200;
  Speech.LettersDir = dir + "\\";
  ParseTranscriptionRules("(A)=a|\n(K)=k|\n(P)=p|\n(S)=s|\n(E)=E^|\n(O)=o~w|\n");
}

}  // namespace
}  // namespace falatro

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace falatro;
  SetUpOnce();
  if (size == 0) return 0;
  std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  switch (data[0] % 3) {
    case 0: SayTranscription(text, false); break;
    case 1: SayTranscription(text, true); break;
    default: SpeakText(text); break;
  }
  if (Diphone.Fill < kWaveHeaderSize || Diphone.Fill > kSpeechBufferSize) std::abort();
  return 0;
}
