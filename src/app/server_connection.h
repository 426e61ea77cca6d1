// Opening the connection the server setting asks for: plain, or TLS with the certificate checked.
#pragma once

#include <string>

#include "net/tls.h"

namespace falatro {

/// What the client says when a TLS start ends with result (the certificate problem in Tls.problem
/// when result is kCertificate). "" for kOk.
std::string TlsFailureText(TlsStartResult result);

/// Makes the TLS layer usable by the client: the system's TLS library and the console for its error
/// report (the library is loaded at the first TLS connection, and released at program end).
void InitTlsLayer();

/// What is said when the user gives up a connection with Esc (cp1252).
inline constexpr const char* kConnectionCancelledText = "Conex\xE3o cancelada.";

/// Takes the keys typed so far, without saying them: true when Esc was among them (the keys after it
/// stay typed). Waits for nothing.
bool EscTyped();

/// Opens the connection to the server of Client.ServerName ("host", "host:port", "host:+port",
/// "[v6]:+port"...): a port in the setting becomes Client.ServerPort; connects, and for a TLS server runs the handshake with the
/// certificate checked against the system's trusted certificates and the extra CA file of the suite
/// setting FALATRO/ARQCA. Returns the socket (> 0), every byte of which then goes through TLS when
/// asked. On failure nothing has been sent, the socket is closed, what failed has been written and
/// said ("Não consegui realizar a conexão" when the server cannot be reached, kConnectionCancelledText
/// when Esc ended the wait for it), and -1 is returned.
int OpenServerConnection();

}  // namespace falatro
