// The TLS library of the system, loaded at run time and bound by entry name.
#pragma once

#include <string>

#include "net/tls.h"

namespace falatro {

/// The one binding of the system's TLS library (libssl and libcrypto, version 3 first).
TlsLibrary* OpenSslLibrary();

/// Loads the libraries only from dir (empty: the system's usual search), for a machine with its own
/// copy and for tests that run the program as if it had none. Takes effect at the next load; the
/// environment variable FALATRO_OPENSSL_DIR gives the first value.
void SetOpenSslDirectory(const std::string& dir);

/// The file names of the loaded SSL and crypto libraries ("" when not loaded).
std::string OpenSslFileName(bool crypto);

}  // namespace falatro
