// Fuzz target: the TLS read path's framing. The input scripts what the TLS library hands over (pieces
// of decrypted data of any length, "want read" pauses, "want write", and an end of the stream of
// any kind); the lines the transport's reader returns must be exactly the lines of the data, bound
// and line ends applied, up to the end.
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "base/event_loop.h"
#include "net/tls.h"
#include "net/transport.h"

namespace {

using namespace falatro;

struct Event {
  int error;         // kTlsErrorNone: data
  std::string data;  // what is left of a data piece
};

struct FuzzLibrary : TlsLibrary {
  std::deque<Event> events;
  int last_error = 0;
  int ssl = 0;

  bool Load() override { return true; }
  bool Unload() override { return true; }
  int Read(void*, void* buffer, int size) override {
    if (events.empty()) return Fail(kTlsErrorZeroReturn);
    Event& e = events.front();
    if (e.error == kTlsErrorWantRead || e.error == kTlsErrorWantWrite) {
      const int error = e.error;
      events.pop_front();
      return Fail(error);
    }
    if (e.error != kTlsErrorNone) return Fail(e.error);  // the end repeats
    const size_t n = std::min(e.data.size(), static_cast<size_t>(size));
    memcpy(buffer, e.data.data(), n);
    e.data.erase(0, n);
    if (e.data.empty()) events.pop_front();
    last_error = kTlsErrorNone;
    return static_cast<int>(n);
  }
  // A pause is the library taking in half a record: the peek finds nothing whole yet.
  int Peek(void*, void*, int) override {
    if (!events.empty() && events.front().error == kTlsErrorWantRead) {
      events.pop_front();
      return Fail(kTlsErrorWantRead);
    }
    if (!events.empty() && events.front().error == kTlsErrorNone) {
      last_error = kTlsErrorNone;
      return 1;
    }
    return Fail(events.empty() ? kTlsErrorZeroReturn : events.front().error);
  }
  int Write(void*, const void*, int length) override {
    last_error = kTlsErrorNone;
    return length;
  }
  int GetError(void*, int) override { return last_error; }
  int Pending(void*) override {
    return !events.empty() && events.front().error == kTlsErrorNone ? static_cast<int>(events.front().data.size())
                                                                     : 0;
  }
  int Shutdown(void*) override { return 0; }
  void Free(void*) override {}
  void* NewClient(int, const std::string&, const std::string&, std::string*) override { return &ssl; }
  int Connect(void*) override { return 1; }
  TlsCertificateProblem CertificateProblem(void*) override { return TlsCertificateProblem::kNone; }
  std::string LastErrorText() override { return {}; }

 private:
  int Fail(int error) {
    last_error = error;
    return error == kTlsErrorZeroReturn ? 0 : -1;
  }
};

// The lines the reader should give for data, by the transport's own rules.
std::vector<std::string> ExpectedLines(const std::string& data, size_t bound) {
  std::vector<std::string> lines;
  std::string line;
  bool cut = false;
  uint8_t last = 0;
  for (char c : data) {
    if (c == '\n') {
      if (last == '\r' && !cut && !line.empty()) line.pop_back();
      lines.push_back(line);
      line.clear();
      cut = false;
      last = 0;
      continue;
    }
    if (line.size() < bound) {
      line.push_back(c);
    } else {
      cut = true;
    }
    last = static_cast<uint8_t>(c);
  }
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size) {
  static SimulatedBackend clock;
  SetLoopBackend(&clock);
  if (size < 2 || size > 20000) return 0;
  Transport = TransportState{};
  Tls = TlsState{};
  Transport.line_bound = 1 + input[0] % 64;
  FuzzLibrary lib;
  std::string all_data;
  bool ended = false;
  for (size_t i = 1; i < size;) {
    const uint8_t op = input[i++];
    switch (op % 8) {
      case 5: lib.events.push_back({kTlsErrorWantRead, {}}); break;
      case 6: {
        static const int kEnds[] = {kTlsErrorSyscall, kTlsErrorZeroReturn, kTlsErrorSsl, 4, 7};
        lib.events.push_back({kEnds[(op / 8) % 5], {}});
        ended = true;
        break;
      }
      case 7: lib.events.push_back({kTlsErrorWantWrite, {}}); break;
      default: {
        // A piece of data: its length from the op's high bits and the next byte (up to 8191).
        size_t n = (static_cast<size_t>(op / 8) << 8) | (i < size ? input[i++] : 0);
        n = std::min(n, size - i);
        std::string piece(reinterpret_cast<const char*>(input + i), n);
        i += n;
        if (!piece.empty()) {
          if (!ended) all_data += piece;
          lib.events.push_back({kTlsErrorNone, piece});
        }
      }
    }
    if (ended) break;
  }

  int pair[2];
  if (socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0) return 0;
  // The socket always looks readable: whether a record is whole is the library's to say.
  if (write(pair[1], "x", 1) != 1) std::abort();
  Tls.library = &lib;
  int reports = 0;
  Tls.report = [&](const std::string& line) {
    if (line.rfind("Erro SSL: ", 0) != 0) std::abort();
    ++reports;
  };
  if (StartTls(pair[0], "irc.example", "") != TlsStartResult::kOk) std::abort();

  auto reader = NewLineReader(pair[0]);
  std::vector<std::string> got;
  std::string line;
  while (ReceiveLine(reader.get(), &line, 1000)) {
    if (line.size() > Transport.line_bound || line.find('\n') != std::string::npos) std::abort();
    got.push_back(line);
    if (got.size() > size) std::abort();
  }
  if (got != ExpectedLines(all_data, Transport.line_bound)) std::abort();
  CloseConnection(pair[0]);
  close(pair[1]);
  Tls = TlsState{};
  Transport = TransportState{};
  return 0;
}
