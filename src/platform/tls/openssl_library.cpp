// The TLS library of the system, loaded with dlopen and bound by entry name. Nothing of it is linked
// at build time: on a machine without it every wrapper answers with its fixed value.
#include "platform/tls/openssl_library.h"

#include <arpa/inet.h>
#include <dlfcn.h>
#include <link.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <vector>

namespace falatro {

namespace {

// Values of the library's ABI that the calls below pass or test.
constexpr int kVerifyPeer = 0x01;
constexpr int kCtrlSetTlsextHostname = 55;
constexpr int kCtrlSetMinProtoVersion = 123;
constexpr long kTlsextNametypeHostName = 0;
constexpr long kTls12Version = 0x0303;
// A peer that drops the TCP connection without a close notice ends the stream like one that sends it:
// lines are whole or dropped by the reader anyway, and the user hears the same "connection fell".
constexpr uint64_t kOpIgnoreUnexpectedEof = uint64_t{1} << 7;
constexpr unsigned kCheckFlagNoPartialWildcards = 0x4;
constexpr uint64_t kInitLoadSslStrings = 0x00200000;
constexpr uint64_t kInitLoadCryptoStrings = 0x00000002;
constexpr int kCryptoLock = 1;
// Certificate check results.
constexpr long kCertNotYetValid = 9;
constexpr long kCertHasExpired = 10;
constexpr long kUnableToGetIssuer = 2;
constexpr long kDepthZeroSelfSigned = 18;
constexpr long kSelfSignedInChain = 19;
constexpr long kUnableToGetIssuerLocally = 20;
constexpr long kUnableToVerifyLeaf = 21;
constexpr long kCertUntrusted = 27;
constexpr long kHostnameMismatch = 62;
constexpr long kIpAddressMismatch = 64;

// The entry points, by name. Names the version-3 libraries turned into macros are looked up all the
// same and are simply absent there.
struct Entries {
  // Start-up and release (the older libraries' names, then the version-3 one).
  int (*SSL_library_init)() = nullptr;
  void (*SSL_load_error_strings)() = nullptr;
  void (*OPENSSL_add_all_algorithms_noconf)() = nullptr;
  void (*RAND_screen)() = nullptr;
  int (*OPENSSL_init_ssl)(uint64_t, const void*) = nullptr;
  int (*CRYPTO_num_locks)() = nullptr;
  void (*CRYPTO_set_locking_callback)(void (*)(int, int, const char*, int)) = nullptr;
  void (*EVP_cleanup)() = nullptr;
  void (*CRYPTO_cleanup_all_ex_data)() = nullptr;
  void (*ERR_remove_state)(unsigned long) = nullptr;
  // Data transfer and the end of a connection.
  int (*SSL_read)(void*, void*, int) = nullptr;
  int (*SSL_peek)(void*, void*, int) = nullptr;
  int (*SSL_write)(void*, const void*, int) = nullptr;
  int (*SSL_get_error)(const void*, int) = nullptr;
  int (*SSL_pending)(const void*) = nullptr;
  int (*SSL_shutdown)(void*) = nullptr;
  void (*SSL_free)(void*) = nullptr;
  // Starting a client connection.
  const void* (*TLS_client_method)() = nullptr;
  const void* (*SSLv23_method)() = nullptr;
  void* (*SSL_CTX_new)(const void*) = nullptr;
  void (*SSL_CTX_free)(void*) = nullptr;
  int (*SSL_CTX_set_default_verify_paths)(void*) = nullptr;
  int (*SSL_CTX_load_verify_locations)(void*, const char*, const char*) = nullptr;
  void (*SSL_CTX_set_verify)(void*, int, void*) = nullptr;
  long (*SSL_CTX_ctrl)(void*, int, long, void*) = nullptr;
  uint64_t (*SSL_CTX_set_options)(void*, uint64_t) = nullptr;
  void* (*SSL_new)(void*) = nullptr;
  int (*SSL_set_fd)(void*, int) = nullptr;
  long (*SSL_ctrl)(void*, int, long, void*) = nullptr;
  int (*SSL_set1_host)(void*, const char*) = nullptr;
  void (*SSL_set_hostflags)(void*, unsigned) = nullptr;
  void* (*SSL_get0_param)(void*) = nullptr;
  int (*X509_VERIFY_PARAM_set1_ip_asc)(void*, const char*) = nullptr;
  int (*SSL_connect)(void*) = nullptr;
  long (*SSL_get_verify_result)(const void*) = nullptr;
  const char* (*X509_verify_cert_error_string)(long) = nullptr;
  unsigned long (*ERR_get_error)() = nullptr;
  void (*ERR_error_string_n)(unsigned long, char*, size_t) = nullptr;
  void (*ERR_clear_error)() = nullptr;
  const char* (*OpenSSL_version)(int) = nullptr;
};

struct Binding {
  enum Lib { kSsl, kCrypto };
  struct Entry {
    const char* name;
    Lib lib;
    void** slot;
  };

  // TlsLock: held while the libraries are loaded or released.
  std::mutex lock;
  bool loaded = false;
  void* ssl_handle = nullptr;
  void* crypto_handle = nullptr;
  std::string ssl_file;
  std::string crypto_file;
  std::string directory;
  bool directory_set = false;
  Entries e;
  std::unique_ptr<std::mutex[]> crypto_locks;

  template <typename F>
  static Entry Bind(const char* name, Lib lib, F*& slot) {
    return {name, lib, reinterpret_cast<void**>(&slot)};
  }

  std::vector<Entry> Table() {
    return {
        Bind("SSL_library_init", kSsl, e.SSL_library_init),
        Bind("SSL_load_error_strings", kSsl, e.SSL_load_error_strings),
        Bind("OPENSSL_add_all_algorithms_noconf", kCrypto, e.OPENSSL_add_all_algorithms_noconf),
        Bind("RAND_screen", kCrypto, e.RAND_screen),
        Bind("OPENSSL_init_ssl", kSsl, e.OPENSSL_init_ssl),
        Bind("CRYPTO_num_locks", kCrypto, e.CRYPTO_num_locks),
        Bind("CRYPTO_set_locking_callback", kCrypto, e.CRYPTO_set_locking_callback),
        Bind("EVP_cleanup", kCrypto, e.EVP_cleanup),
        Bind("CRYPTO_cleanup_all_ex_data", kCrypto, e.CRYPTO_cleanup_all_ex_data),
        Bind("ERR_remove_state", kCrypto, e.ERR_remove_state),
        Bind("SSL_read", kSsl, e.SSL_read),
        Bind("SSL_peek", kSsl, e.SSL_peek),
        Bind("SSL_write", kSsl, e.SSL_write),
        Bind("SSL_get_error", kSsl, e.SSL_get_error),
        Bind("SSL_pending", kSsl, e.SSL_pending),
        Bind("SSL_shutdown", kSsl, e.SSL_shutdown),
        Bind("SSL_free", kSsl, e.SSL_free),
        Bind("TLS_client_method", kSsl, e.TLS_client_method),
        Bind("SSLv23_method", kSsl, e.SSLv23_method),
        Bind("SSL_CTX_new", kSsl, e.SSL_CTX_new),
        Bind("SSL_CTX_free", kSsl, e.SSL_CTX_free),
        Bind("SSL_CTX_set_default_verify_paths", kSsl, e.SSL_CTX_set_default_verify_paths),
        Bind("SSL_CTX_load_verify_locations", kSsl, e.SSL_CTX_load_verify_locations),
        Bind("SSL_CTX_set_verify", kSsl, e.SSL_CTX_set_verify),
        Bind("SSL_CTX_ctrl", kSsl, e.SSL_CTX_ctrl),
        Bind("SSL_CTX_set_options", kSsl, e.SSL_CTX_set_options),
        Bind("SSL_new", kSsl, e.SSL_new),
        Bind("SSL_set_fd", kSsl, e.SSL_set_fd),
        Bind("SSL_ctrl", kSsl, e.SSL_ctrl),
        Bind("SSL_set1_host", kSsl, e.SSL_set1_host),
        Bind("SSL_set_hostflags", kSsl, e.SSL_set_hostflags),
        Bind("SSL_get0_param", kSsl, e.SSL_get0_param),
        Bind("X509_VERIFY_PARAM_set1_ip_asc", kCrypto, e.X509_VERIFY_PARAM_set1_ip_asc),
        Bind("SSL_connect", kSsl, e.SSL_connect),
        Bind("SSL_get_verify_result", kSsl, e.SSL_get_verify_result),
        Bind("X509_verify_cert_error_string", kCrypto, e.X509_verify_cert_error_string),
        Bind("ERR_get_error", kCrypto, e.ERR_get_error),
        Bind("ERR_error_string_n", kCrypto, e.ERR_error_string_n),
        Bind("ERR_clear_error", kCrypto, e.ERR_clear_error),
        Bind("OpenSSL_version", kCrypto, e.OpenSSL_version),
    };
  }
};

// Never destroyed: the release at program end may run after static objects are gone.
Binding& B() {
  static Binding* binding = new Binding;
  return *binding;
}

void LockingCallback(int mode, int n, const char*, int) {
  Binding& b = B();
  if (!b.crypto_locks || n < 0) return;
  if (mode & kCryptoLock) {
    b.crypto_locks[n].lock();
  } else {
    b.crypto_locks[n].unlock();
  }
}

std::string ModuleFileName(void* handle) {
  link_map* map = nullptr;
  if (dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || !map || !map->l_name) return {};
  return map->l_name;
}

void* OpenModule(const std::string& dir, const char* name) {
  const std::string path = dir.empty() ? std::string(name) : dir + "/" + name;
  return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void ReleaseModules(Binding& b) {
  if (b.ssl_handle) dlclose(b.ssl_handle);
  if (b.crypto_handle) dlclose(b.crypto_handle);
  b.ssl_handle = nullptr;
  b.crypto_handle = nullptr;
}

bool LoadLocked(Binding& b) {
  if (b.loaded) return true;
  if (!b.directory_set) {
    const char* env = std::getenv("FALATRO_OPENSSL_DIR");
    b.directory = env ? env : "";
    b.directory_set = true;
  }
  // The crypto library first: the SSL library needs it. Version 3, then the unversioned names.
  const char* const kPairs[][2] = {{"libssl.so.3", "libcrypto.so.3"}, {"libssl.so", "libcrypto.so"}};
  for (const auto& pair : kPairs) {
    b.crypto_handle = OpenModule(b.directory, pair[1]);
    b.ssl_handle = b.crypto_handle ? OpenModule(b.directory, pair[0]) : nullptr;
    if (b.ssl_handle && b.crypto_handle) break;
    ReleaseModules(b);
  }
  if (!b.ssl_handle || !b.crypto_handle) return false;
  for (const Binding::Entry& entry : b.Table()) {
    *entry.slot = dlsym(entry.lib == Binding::kSsl ? b.ssl_handle : b.crypto_handle, entry.name);
  }
  b.ssl_file = ModuleFileName(b.ssl_handle);
  b.crypto_file = ModuleFileName(b.crypto_handle);
  Entries& e = b.e;
  if (e.SSL_library_init) e.SSL_library_init();
  if (e.SSL_load_error_strings) e.SSL_load_error_strings();
  if (e.OPENSSL_add_all_algorithms_noconf) e.OPENSSL_add_all_algorithms_noconf();
  if (e.RAND_screen) e.RAND_screen();
  if (e.OPENSSL_init_ssl) e.OPENSSL_init_ssl(kInitLoadSslStrings | kInitLoadCryptoStrings, nullptr);
  if (e.CRYPTO_num_locks && e.CRYPTO_set_locking_callback) {
    const int n = e.CRYPTO_num_locks();
    if (n > 0) {
      b.crypto_locks = std::make_unique<std::mutex[]>(static_cast<size_t>(n));
      e.CRYPTO_set_locking_callback(LockingCallback);
    }
  }
  b.loaded = true;
  return true;
}

class OpenSsl final : public TlsLibrary {
 public:
  bool Load() override {
    Binding& b = B();
    std::lock_guard<std::mutex> guard(b.lock);
    return LoadLocked(b);
  }

  bool Unload() override {
    Binding& b = B();
    std::lock_guard<std::mutex> guard(b.lock);
    if (b.loaded) {
      Entries& e = b.e;
      if (e.CRYPTO_num_locks && e.CRYPTO_set_locking_callback) {
        e.CRYPTO_set_locking_callback(nullptr);
        b.crypto_locks.reset();
      }
      if (e.EVP_cleanup) e.EVP_cleanup();
      if (e.CRYPTO_cleanup_all_ex_data) e.CRYPTO_cleanup_all_ex_data();
      if (e.ERR_remove_state) e.ERR_remove_state(0);
    }
    b.loaded = false;
    // The version-3 library keeps itself loaded until the process ends (it registers its own
    // clean-up at exit), so only its handles are given back here.
    ReleaseModules(b);
    b.e = Entries{};
    b.ssl_file.clear();
    b.crypto_file.clear();
    return true;
  }

  int Read(void* ssl, void* buffer, int size) override {
    return Ready() && B().e.SSL_read ? B().e.SSL_read(ssl, buffer, size) : -1;
  }
  int Peek(void* ssl, void* buffer, int size) override {
    return Ready() && B().e.SSL_peek ? B().e.SSL_peek(ssl, buffer, size) : -1;
  }
  int Write(void* ssl, const void* data, int length) override {
    return Ready() && B().e.SSL_write ? B().e.SSL_write(ssl, data, length) : -1;
  }
  int GetError(void* ssl, int result) override {
    return Ready() && B().e.SSL_get_error ? B().e.SSL_get_error(ssl, result) : 1;
  }
  int Pending(void* ssl) override {
    return Ready() && B().e.SSL_pending ? B().e.SSL_pending(ssl) : 0;
  }
  int Shutdown(void* ssl) override {
    return Ready() && B().e.SSL_shutdown ? B().e.SSL_shutdown(ssl) : -1;
  }
  void Free(void* ssl) override {
    if (Ready() && B().e.SSL_free) B().e.SSL_free(ssl);
  }
  int Connect(void* ssl) override {
    return Ready() && B().e.SSL_connect ? B().e.SSL_connect(ssl) : -1;
  }

  void* NewClient(int socket, const std::string& host, const std::string& extra_ca_file,
                  std::string* error) override {
    error->clear();
    if (!Ready()) {
      *error = "the TLS library is not loaded";
      return nullptr;
    }
    Entries& e = B().e;
    const void* (*method)() = e.TLS_client_method ? e.TLS_client_method : e.SSLv23_method;
    // Every one of these is needed: a connection that could not check the certificate and the name
    // is never made.
    if (!method || !e.SSL_CTX_new || !e.SSL_CTX_free || !e.SSL_CTX_set_default_verify_paths ||
        !e.SSL_CTX_load_verify_locations || !e.SSL_CTX_set_verify || !e.SSL_new || !e.SSL_set_fd ||
        !e.SSL_get0_param || !e.SSL_set1_host || !e.X509_VERIFY_PARAM_set1_ip_asc || !e.SSL_ctrl ||
        !e.SSL_CTX_ctrl || !e.SSL_get_verify_result) {
      *error = "the TLS library lacks the calls that check a certificate";
      return nullptr;
    }
    if (e.ERR_clear_error) e.ERR_clear_error();
    void* ctx = e.SSL_CTX_new(method());
    if (!ctx) {
      *error = LastErrorText();
      return nullptr;
    }
    bool ok = e.SSL_CTX_set_default_verify_paths(ctx) == 1;
    if (ok && !extra_ca_file.empty() &&
        e.SSL_CTX_load_verify_locations(ctx, extra_ca_file.c_str(), nullptr) != 1) {
      *error = "cannot read the CA file " + extra_ca_file;
      ok = false;
    }
    if (ok) {
      e.SSL_CTX_set_verify(ctx, kVerifyPeer, nullptr);
      ok = e.SSL_CTX_ctrl(ctx, kCtrlSetMinProtoVersion, kTls12Version, nullptr) == 1;
      if (e.SSL_CTX_set_options) e.SSL_CTX_set_options(ctx, kOpIgnoreUnexpectedEof);
    }
    void* ssl = ok ? e.SSL_new(ctx) : nullptr;
    e.SSL_CTX_free(ctx);  // the connection holds its own reference
    if (!ssl) {
      if (error->empty()) *error = LastErrorText();
      return nullptr;
    }
    unsigned char probe[16];
    const bool is_address = inet_pton(AF_INET, host.c_str(), probe) == 1 ||
                            inet_pton(AF_INET6, host.c_str(), probe) == 1;
    ok = e.SSL_set_fd(ssl, socket) == 1;
    if (ok && is_address) {
      ok = e.X509_VERIFY_PARAM_set1_ip_asc(e.SSL_get0_param(ssl), host.c_str()) == 1;
    } else if (ok) {
      if (e.SSL_set_hostflags) e.SSL_set_hostflags(ssl, kCheckFlagNoPartialWildcards);
      ok = e.SSL_set1_host(ssl, host.c_str()) == 1 &&
           e.SSL_ctrl(ssl, kCtrlSetTlsextHostname, kTlsextNametypeHostName,
                      const_cast<char*>(host.c_str())) == 1;
    }
    if (!ok) {
      *error = "cannot set up the check of " + host;
      e.SSL_free(ssl);
      return nullptr;
    }
    return ssl;
  }

  TlsCertificateProblem CertificateProblem(void* ssl) override {
    if (!Ready() || !B().e.SSL_get_verify_result) return TlsCertificateProblem::kNone;
    switch (B().e.SSL_get_verify_result(ssl)) {
      case 0: return TlsCertificateProblem::kNone;
      case kCertHasExpired: return TlsCertificateProblem::kExpired;
      case kCertNotYetValid: return TlsCertificateProblem::kNotYetValid;
      case kUnableToGetIssuer:
      case kDepthZeroSelfSigned:
      case kSelfSignedInChain:
      case kUnableToGetIssuerLocally:
      case kUnableToVerifyLeaf:
      case kCertUntrusted:
        return TlsCertificateProblem::kUnknownAuthority;
      case kHostnameMismatch:
      case kIpAddressMismatch:
        return TlsCertificateProblem::kWrongName;
      default: return TlsCertificateProblem::kOther;
    }
  }

  std::string LastErrorText() override {
    if (!Ready() || !B().e.ERR_get_error) return {};
    std::string text;
    for (unsigned long code; (code = B().e.ERR_get_error()) != 0;) {
      char buf[256] = {};
      if (B().e.ERR_error_string_n) B().e.ERR_error_string_n(code, buf, sizeof buf);
      if (!text.empty()) text += "; ";
      text += buf;
    }
    return text;
  }

 private:
  bool Ready() { return Load(); }
};

}  // namespace

TlsLibrary* OpenSslLibrary() {
  static OpenSsl* library = new OpenSsl;  // as the binding: never destroyed
  return library;
}

void SetOpenSslDirectory(const std::string& dir) {
  Binding& b = B();
  std::lock_guard<std::mutex> guard(b.lock);
  b.directory = dir;
  b.directory_set = true;
}

std::string OpenSslFileName(bool crypto) {
  Binding& b = B();
  std::lock_guard<std::mutex> guard(b.lock);
  return crypto ? b.crypto_file : b.ssl_file;
}

}  // namespace falatro
