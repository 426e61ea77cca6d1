// The TLS layer: at most one TLS connection, carried on one socket of the transport, over a TLS
// library that is bound at run time (the program runs without it; only TLS is then unavailable).
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace falatro {

/// The library's result codes of a read, write or handshake step, as TlsRead and TlsWrite test them.
enum TlsErrorCode : int {
  kTlsErrorNone = 0,
  kTlsErrorSsl = 1,
  kTlsErrorWantRead = 2,
  kTlsErrorWantWrite = 3,
  kTlsErrorSyscall = 5,
  kTlsErrorZeroReturn = 6,
};

/// What the server's certificate check found.
enum class TlsCertificateProblem {
  kNone,              ///< accepted (or not checked yet)
  kExpired,
  kNotYetValid,
  kUnknownAuthority,  ///< the chain does not end at a trusted certificate
  kWrongName,         ///< valid, but issued for another name or address
  kOther,             ///< any other reason the chain was refused
};

/// The TLS library as this layer calls it. A binding loads the library on first use; every call loads
/// it first and, when the library or the entry is missing, answers with the fixed value given here
/// instead of calling.
struct TlsLibrary {
  virtual ~TlsLibrary() = default;
  /// Loads and binds the libraries once; true when they are loaded.
  virtual bool Load() = 0;
  /// Cleans up and releases the libraries; always true. A later call of anything loads them again.
  virtual bool Unload() = 0;
  virtual int Read(void* ssl, void* buffer, int size) = 0;         ///< -1 when missing
  virtual int Peek(void* ssl, void* buffer, int size) = 0;         ///< -1 when missing
  virtual int Write(void* ssl, const void* data, int length) = 0;  ///< -1 when missing
  virtual int GetError(void* ssl, int result) = 0;                 ///< 1 when missing
  virtual int Pending(void* ssl) = 0;                              ///< 0 when missing
  virtual int Shutdown(void* ssl) = 0;                             ///< -1 when missing
  virtual void Free(void* ssl) = 0;
  /// A client connection object on socket that will check the server's chain against the system's
  /// trusted certificates (the library's default paths) and extra_ca_file when it is not empty,
  /// check host (a name, or an IPv4/IPv6 address) against the certificate, offer nothing older than
  /// TLS 1.2, and send host as the server name when it is a name. nullptr when any of that cannot be
  /// set up; *error then says what.
  virtual void* NewClient(int socket, const std::string& host, const std::string& extra_ca_file,
                          std::string* error) = 0;
  virtual int Connect(void* ssl) = 0;  ///< one handshake step: 1 done, else see GetError; -1 when missing
  /// The result of the certificate check of a handshake that has seen the server's certificate.
  virtual TlsCertificateProblem CertificateProblem(void* ssl) = 0;
  /// The library's text for the last failure of this thread, "" when none (the queue is emptied).
  virtual std::string LastErrorText() = 0;
};

/// How a TLS start ended.
enum class TlsStartResult {
  kOk,
  kUnavailable,      ///< no TLS library on this machine
  kSetupFailed,      ///< the connection object could not be made (an unreadable CA file, say)
  kCertificate,      ///< the certificate was refused (see Tls.problem)
  kNotTls,           ///< the server answered with something that is not a TLS handshake, or refused it
  kClosed,           ///< the server closed the connection during the handshake
  kTimedOut,         ///< the handshake did not end within Tls.handshake_timeout_ms
  kGivenUp,          ///< Transport.give_up_connecting said to stop waiting for the server
};

/// The TLS connection and its settings (one instance).
struct TlsState {
  bool active = false;
  int socket = 0;         ///< the socket carrying the TLS connection; 0 when none
  void* ssl = nullptr;    ///< the library's connection object
  TlsLibrary* library = nullptr;  ///< the bound library; with none TLS is unavailable
  /// Writes a line on the console (the "Erro SSL: " report). Nothing is written when unset.
  std::function<void(const std::string&)> report;
  int handshake_timeout_ms = 20000;  ///< a handshake that takes longer is given up
  /// A read or write that the peer holds up (half a record, a full send buffer) fails after this.
  int stall_timeout_ms = 30000;
  TlsCertificateProblem problem = TlsCertificateProblem::kNone;  ///< of the last start
  std::string detail;  ///< the library's text for the last failed start, "" when none
};
extern TlsState Tls;

/// Chooses the library the layer binds (nullptr: none, TLS unavailable).
void SetTlsLibrary(TlsLibrary* library);

/// LoadTlsLibraries: loads the bound library once. False when there is none or it cannot load. The
/// first load arranges for UnloadTlsLibraries at program end.
bool LoadTlsLibraries();
/// UnloadTlsLibraries: ends a TLS connection still open and releases the library. Always true.
bool UnloadTlsLibraries();

/// Runs the TLS handshake on the connected socket for host (name or address; see NewClient), within
/// Tls.handshake_timeout_ms; the window's messages are handled meanwhile. Nothing but the handshake is
/// sent. On kOk every later byte on socket goes through TLS (NetSend/NetRecv) until CloseConnection.
/// On any other result nothing of the TLS connection is left, and socket stays open for the caller
/// to close.
TlsStartResult StartTls(int socket, const std::string& host, const std::string& extra_ca_file);

/// Decrypted bytes are ready: buffered by the library, or a whole record came on the socket. A peer
/// that closed or failed counts too, so the reader comes to see it.
bool TlsPending();
/// Reads up to size bytes of the TLS connection. Waits while the peer's record is incomplete (without
/// spinning: only when the socket becomes readable), at most Tls.stall_timeout_ms. Bytes read, or -1
/// when the peer closed or on failure (errno ECONNRESET, or ETIMEDOUT for a stalled peer); library
/// errors other than a close are written as "Erro SSL: " + code.
long TlsRead(void* buffer, size_t size);
/// Writes length bytes on the TLS connection, waiting while the socket cannot take them (at most
/// Tls.stall_timeout_ms). Bytes written, or -1 on failure (errno as for TlsRead).
long TlsWrite(const void* data, size_t length);
/// Ends the TLS connection (close notice, free) without closing the socket; clears Tls.
void TlsClose();

}  // namespace falatro
