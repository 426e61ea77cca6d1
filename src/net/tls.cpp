// The TLS layer: handshake, reads and writes with their retry rules, and the transport's hooks.
#include "net/tls.h"

#include <fcntl.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>

#include "base/event_loop.h"
#include "net/transport.h"

namespace falatro {

TlsState Tls;

namespace {

// What the socket must become before the library can go on.
enum class Need { kRead, kWrite };

// Waits until socket can be read (or written), handling the loop's messages meanwhile, so the window
// keeps painting and keys keep cutting speech. False when the deadline passed first, or when
// Transport.give_up_connecting (installed while connecting) says to stop; that sets connect_given_up.
bool WaitSocket(int socket, Need need, uint64_t deadline) {
  for (;;) {
    if (Transport.give_up_connecting && Transport.give_up_connecting()) {
      Transport.connect_given_up = true;
      return false;
    }
    const uint64_t now = NowMs();
    if (now >= deadline) return false;
    const int left = static_cast<int>(std::min<uint64_t>(deadline - now, INT_MAX));
    if (need == Need::kRead) {
      const int r = WaitForFd(socket, left, true);
      if (r & kWaitMessage) DispatchMessages();
      if (r & kWaitFdReady) return true;
    } else {
      // A full send buffer is rare and short: look again every few milliseconds.
      pollfd p{socket, POLLOUT, 0};
      if (poll(&p, 1, std::min(left, 10)) > 0) return true;
      DispatchMessages();
    }
  }
}

bool ReadableNow(int socket) {
  pollfd p{socket, POLLIN, 0};
  return poll(&p, 1, 0) > 0;
}

void InstallTransportHooks(int socket) {
  Transport.tls_socket = socket;
  Transport.tls_pending = [] { return TlsPending(); };
  Transport.tls_send = [](const void* data, size_t length) { return TlsWrite(data, length); };
  Transport.tls_recv = [](void* buffer, size_t size) { return TlsRead(buffer, size); };
  Transport.tls_close = [] { TlsClose(); };
}

void ForgetConnection() {
  Tls.active = false;
  Tls.socket = 0;
  Tls.ssl = nullptr;
}

// A failed read or write. errno is set for the caller: the library's own socket calls may have left
// EAGAIN in it, which would read as "nothing yet" rather than as the end of the connection.
long Ended(int error) {
  errno = error;
  return -1;
}

int ClampLength(size_t n) { return n > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(n); }

}  // namespace

void SetTlsLibrary(TlsLibrary* library) {
  if (Tls.library == library) return;
  UnloadTlsLibraries();
  Tls.library = library;
}

bool LoadTlsLibraries() {
  if (Tls.library == nullptr || !Tls.library->Load()) return false;
  // Registered once the library has registered its own clean-up, so this one runs first: a
  // connection still open at the end is closed while the library still works.
  static bool registered = false;
  if (!registered) {
    registered = true;
    std::atexit([] { UnloadTlsLibraries(); });
  }
  return true;
}

bool UnloadTlsLibraries() {
  if (Tls.active) TlsClose();
  if (Tls.library) Tls.library->Unload();
  return true;
}

TlsStartResult StartTls(int socket, const std::string& host, const std::string& extra_ca_file) {
  Tls.problem = TlsCertificateProblem::kNone;
  Tls.detail.clear();
  Transport.connect_given_up = false;
  if (Tls.active) TlsClose();
  if (!LoadTlsLibraries()) return TlsStartResult::kUnavailable;
  TlsLibrary& lib = *Tls.library;
  // From here the socket never blocks: every wait is the layer's own, bounded and message-pumping.
  const int flags = fcntl(socket, F_GETFL);
  if (flags < 0 || fcntl(socket, F_SETFL, flags | O_NONBLOCK) != 0) {
    Tls.detail = "socket";
    return TlsStartResult::kSetupFailed;
  }
  void* ssl = lib.NewClient(socket, host, extra_ca_file, &Tls.detail);
  if (!ssl) return TlsStartResult::kSetupFailed;
  const uint64_t deadline = NowMs() + static_cast<uint64_t>(std::max(0, Tls.handshake_timeout_ms));
  TlsStartResult result = TlsStartResult::kOk;
  for (;;) {
    const int r = lib.Connect(ssl);
    if (r == 1) break;
    const int e = lib.GetError(ssl, r);
    if (e == kTlsErrorWantRead || e == kTlsErrorWantWrite) {
      if (!WaitSocket(socket, e == kTlsErrorWantRead ? Need::kRead : Need::kWrite, deadline)) {
        result = Transport.connect_given_up ? TlsStartResult::kGivenUp : TlsStartResult::kTimedOut;
        break;
      }
      continue;
    }
    Tls.problem = lib.CertificateProblem(ssl);
    Tls.detail = lib.LastErrorText();
    if (Tls.problem != TlsCertificateProblem::kNone) {
      result = TlsStartResult::kCertificate;
    } else if (e == kTlsErrorSyscall || e == kTlsErrorZeroReturn) {
      result = TlsStartResult::kClosed;
    } else {
      result = TlsStartResult::kNotTls;
    }
    break;
  }
  if (result != TlsStartResult::kOk) {
    // No close notice: the handshake never finished, and the caller drops the socket anyway.
    lib.Free(ssl);
    return result;
  }
  Tls.active = true;
  Tls.socket = socket;
  Tls.ssl = ssl;
  InstallTransportHooks(socket);
  return TlsStartResult::kOk;
}

bool TlsPending() {
  if (!Tls.active || !Tls.library) return false;
  TlsLibrary& lib = *Tls.library;
  if (lib.Pending(Tls.ssl) > 0) return true;
  // The socket alone says too much: its bytes may be half a record, or only the library's own
  // messages (session tickets). Ask the library whether a record of data is there.
  if (!ReadableNow(Tls.socket)) return false;
  char byte;
  const int r = lib.Peek(Tls.ssl, &byte, 1);
  if (r > 0) return true;
  // Only "want read" means nothing yet. A library that must write first is left to TlsRead, which
  // waits for the socket to take the bytes: answering "no data" would leave the socket readable and
  // every wait on it returning at once.
  return lib.GetError(Tls.ssl, r) != kTlsErrorWantRead;
}

long TlsRead(void* buffer, size_t size) {
  if (!Tls.active || !Tls.library) return -1;
  TlsLibrary& lib = *Tls.library;
  const int n = ClampLength(size);
  uint64_t deadline = 0;
  for (;;) {
    const int r = lib.Read(Tls.ssl, buffer, n);
    const int e = lib.GetError(Tls.ssl, r);
    switch (e) {
      case kTlsErrorNone:
        // Text for callers that read it as a C string, when there is room after the data.
        if (r >= 0 && r < n) static_cast<char*>(buffer)[r] = 0;
        return r;
      case kTlsErrorWantRead:
      case kTlsErrorWantWrite:
        if (deadline == 0) deadline = NowMs() + static_cast<uint64_t>(std::max(0, Tls.stall_timeout_ms));
        if (!WaitSocket(Tls.socket, e == kTlsErrorWantRead ? Need::kRead : Need::kWrite, deadline))
          return Ended(ETIMEDOUT);
        continue;
      case kTlsErrorSyscall:
      case kTlsErrorZeroReturn:
        return Ended(ECONNRESET);
      default:
        if (Tls.report) Tls.report("Erro SSL: " + std::to_string(e));
        return Ended(ECONNRESET);
    }
  }
}

long TlsWrite(const void* data, size_t length) {
  if (!Tls.active || !Tls.library) return -1;
  TlsLibrary& lib = *Tls.library;
  const int n = ClampLength(length);
  uint64_t deadline = 0;
  for (;;) {
    // A retry passes the same bytes again, as the library asks.
    const int r = lib.Write(Tls.ssl, data, n);
    const int e = lib.GetError(Tls.ssl, r);
    if (e == kTlsErrorNone) return r;
    if (e != kTlsErrorWantRead && e != kTlsErrorWantWrite) return Ended(ECONNRESET);
    if (deadline == 0) deadline = NowMs() + static_cast<uint64_t>(std::max(0, Tls.stall_timeout_ms));
    if (!WaitSocket(Tls.socket, e == kTlsErrorWantRead ? Need::kRead : Need::kWrite, deadline))
      return Ended(ETIMEDOUT);
  }
}

void TlsClose() {
  if (Tls.ssl && Tls.library) {
    // One close notice, not waited for: the socket is closed right after.
    Tls.library->Shutdown(Tls.ssl);
    Tls.library->Free(Tls.ssl);
  }
  // The hooks stay installed but idle: this may run from inside one of them.
  if (Transport.tls_socket == Tls.socket) Transport.tls_socket = -1;
  ForgetConnection();
}

}  // namespace falatro
