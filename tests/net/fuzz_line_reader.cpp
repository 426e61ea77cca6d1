// Fuzz target: any bytes from the server through the line reader; lines stay within their bound and
// never hold a line feed.
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/event_loop.h"
#include "net/transport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace falatro;
  static SimulatedBackend clock;
  SetLoopBackend(&clock);
  if (size == 0 || size > 100000) return 0;
  // The first byte picks the bound, small enough that long lines are common.
  Transport.line_bound = 1 + data[0] % 64;
  int pair[2];
  if (socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0) return 0;
  size_t done = 1;
  while (done < size) {
    const ssize_t n = write(pair[1], data + done, size - done);
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  shutdown(pair[1], SHUT_WR);
  auto reader = NewLineReader(pair[0]);
  std::string line;
  while (ReceiveLine(reader.get(), &line, 1)) {
    if (line.size() > Transport.line_bound || line.find('\n') != std::string::npos) std::abort();
  }
  close(pair[0]);
  close(pair[1]);
  return 0;
}
