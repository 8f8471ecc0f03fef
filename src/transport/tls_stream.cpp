#include "transport/tls_stream.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <algorithm>

#include "platform/files.h"
#include "platform/shared_library.h"
#include "platform/system.h"
#include "platform/tcp_socket.h"
#include "platform/trust_store.h"
#include "transport/socket_error_text.h"

namespace vantorix {
namespace {

// The functions of the TLS library this file calls, each under its own name
// and with its own type.
#define VANTORIX_TLS_FUNCTIONS(X) \
  X(SSL_get_verify_result) X(X509_verify_cert_error_string) X(ERR_peek_error) X(ERR_error_string_n) \
  X(ERR_clear_error) X(SSL_CTX_free) X(SSL_CTX_new) X(TLS_client_method) X(SSL_CTX_ctrl) X(SSL_CTX_set_verify) \
  X(SSL_CTX_load_verify_locations) X(SSL_CTX_set_default_verify_paths) X(SSL_CTX_use_certificate_chain_file) \
  X(SSL_CTX_use_PrivateKey_file) X(SSL_CTX_check_private_key) X(SSL_free) X(SSL_new) X(SSL_set_fd) \
  X(X509_VERIFY_PARAM_set1_ip_asc) X(SSL_get0_param) X(SSL_ctrl) X(SSL_set1_host) X(SSL_connect) \
  X(SSL_get_error) X(SSL_peek) X(SSL_write) X(SSL_read) X(SSL_shutdown) X(SSL_pending) \
  X(SSL_CTX_get_cert_store) X(d2i_X509) X(X509_STORE_add_cert) X(X509_free)

struct TlsLibrary {
#define VANTORIX_DECLARE(name) decltype(&::name) name = nullptr;
  VANTORIX_TLS_FUNCTIONS(VANTORIX_DECLARE)
#undef VANTORIX_DECLARE
};

// Finds every function of `functions` in `library`; false, with the first
// one missing in `error`, when the library lacks one.
bool find_functions(void* library, TlsLibrary& functions, std::string& error) {
#define VANTORIX_FIND(name)                                                                      \
  functions.name = reinterpret_cast<decltype(&::name)>(shared_library_symbol(library, #name)); \
  if (functions.name == nullptr) {                                                             \
    error = "the TLS library " VANTORIX_LIBSSL " has no " #name;                               \
    return false;                                                                              \
  }
  VANTORIX_TLS_FUNCTIONS(VANTORIX_FIND)
#undef VANTORIX_FIND
  return true;
}

// libssl (and the libcrypto it needs), loaded the first time TLS is set up:
// a run over UDP never maps it. Null, with the reason in `error`, when it
// cannot be loaded or lacks a function.
const TlsLibrary* tls_library(std::string& error) {
  static std::string failure;
  static TlsLibrary functions;
  static const bool found = [] {
    void* library = load_shared_library(VANTORIX_LIBSSL, failure);
    if (library == nullptr) {
      failure = std::string("cannot load the TLS library " VANTORIX_LIBSSL ": ") + failure;
      return false;
    }
    return find_functions(library, functions, failure);
  }();
  if (!found) {
    error = failure;
    return nullptr;
  }
  return &functions;
}

// The library once loaded; only called where TlsClient::configure has succeeded.
const TlsLibrary& lib() {
  std::string unused;
  return *tls_library(unused);
}

// The TLS library's reason for the last failure: the verification result
// when a certificate was refused, else the first error of its queue.
std::string library_reason(SSL* ssl, const char* otherwise) {
  std::string reason;
  if (ssl != nullptr) {
    const long verify = lib().SSL_get_verify_result(ssl);
    if (verify != X509_V_OK) reason = std::string("certificate verify failed: ") + lib().X509_verify_cert_error_string(verify);
  }
  if (reason.empty()) {
    if (const unsigned long code = lib().ERR_peek_error(); code != 0) {
      char text[256];
      lib().ERR_error_string_n(code, text, sizeof text);
      reason = text;
    }
  }
  lib().ERR_clear_error();
  return reason.empty() ? otherwise : reason;
}

int remaining(Env& env, std::int64_t deadline_ms) {
  return static_cast<int>(std::clamp<std::int64_t>(deadline_ms - env.now_ms(), 0, 1 << 30));
}

enum class Direction { read, write };

// True when `reason` (of SSL_get_error) leaves the session fit to be ended
// with close_notify; after a fatal error the library must not send one.
bool may_shut_down_after(int reason) { return reason != SSL_ERROR_SYSCALL && reason != SSL_ERROR_SSL; }

// Moves all `size` bytes at `data` through `ssl`, in or out, waiting on the
// socket whenever the library asks for it, until `deadline_ms`. A failure
// other than a close sets `error` to the library's reason or `failure`; a
// fatal one clears `may_shut_down`.
TlsResult transfer(Env& env, SSL* ssl, SocketHandle socket, Direction direction, std::uint8_t* data, std::size_t size,
                   std::int64_t deadline_ms, const char* failure, std::string& error, bool& may_shut_down) {
  std::size_t done = 0;
  while (done < size) {
    const int part = static_cast<int>(std::min<std::size_t>(size - done, 1 << 30));
    const int result = direction == Direction::write ? lib().SSL_write(ssl, data + done, part)
                                                     : lib().SSL_read(ssl, data + done, part);
    if (result > 0) {
      done += static_cast<std::size_t>(result);
      continue;
    }
    const int reason = lib().SSL_get_error(ssl, result);
    if (!may_shut_down_after(reason)) may_shut_down = false;
    if (reason == SSL_ERROR_ZERO_RETURN) return TlsResult::closed;
    if (reason != SSL_ERROR_WANT_READ && reason != SSL_ERROR_WANT_WRITE) {
      error = library_reason(ssl, failure);
      return reason == SSL_ERROR_SYSCALL ? TlsResult::closed : TlsResult::failed;
    }
    const SocketEvent event = reason == SSL_ERROR_WANT_READ ? SocketEvent::readable : SocketEvent::writable;
    if (socket_wait(socket, event, remaining(env, deadline_ms)) != WaitResult::readable) return TlsResult::timed_out;
  }
  return TlsResult::ok;
}

// Ends the session with close_notify (RFC 8446 section 6.1), so that the
// server sees an orderly end rather than a cut connection. The server's own
// close_notify is not waited for; a socket that cannot take the alert at
// once gets a few milliseconds, no more.
void send_close_notify(SSL* ssl, SocketHandle socket) {
  constexpr int kCloseNotifyWaitMs = 5;
  for (int attempt = 0; attempt < 2; ++attempt) {
    const int result = lib().SSL_shutdown(ssl);
    if (result >= 0) break;
    if (lib().SSL_get_error(ssl, result) != SSL_ERROR_WANT_WRITE ||
        socket_wait(socket, SocketEvent::writable, kCloseNotifyWaitMs) != WaitResult::readable) {
      break;
    }
  }
  lib().ERR_clear_error();
}

}  // namespace

struct TlsClient::State {
  SSL_CTX* context = nullptr;
};

struct TlsStream::State {
  SSL* ssl = nullptr;
  SocketHandle socket = kNoSocket;
  // The session may still be ended with close_notify: the handshake passed
  // and no fatal error has come since (after one the library must not).
  bool may_shut_down = false;
};

bool tls_available() { return true; }

TlsClient::TlsClient() : state_(std::make_unique<State>()) {}

TlsClient::~TlsClient() {
  if (state_->context != nullptr) lib().SSL_CTX_free(state_->context);
}

bool TlsClient::configure(const TlsFiles& files, std::string& error) {
  if (tls_library(error) == nullptr) return false;
  SSL_CTX* context = lib().SSL_CTX_new(lib().TLS_client_method());
  if (context == nullptr) {
    error = library_reason(nullptr, "cannot set up TLS");
    return false;
  }
  if (state_->context != nullptr) lib().SSL_CTX_free(state_->context);
  state_->context = context;
  lib().SSL_CTX_ctrl(context, SSL_CTRL_SET_MIN_PROTO_VERSION, TLS1_2_VERSION, nullptr);
  lib().SSL_CTX_set_verify(context, SSL_VERIFY_PEER, nullptr);
  // Several requests may wait in one record; each is read off as it comes.
  lib().SSL_CTX_ctrl(context, SSL_CTRL_MODE, SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER, nullptr);

  bool loaded = false;
  if (files.ca) {
    if (!file_status(*files.ca)) {
      error = "cannot read radius_tls_ca {" + *files.ca + "}";
      return false;
    }
    // A file of certificates, or else a directory of hashed ones.
    loaded = lib().SSL_CTX_load_verify_locations(context, files.ca->c_str(), nullptr) == 1;
    if (!loaded) {
      lib().ERR_clear_error();
      loaded = lib().SSL_CTX_load_verify_locations(context, nullptr, files.ca->c_str()) == 1;
    }
  } else if (const auto certificates = system_ca_certificates()) {
    // A system whose store the library cannot read itself (Windows): its
    // certificates are handed over one by one. Its default locations would
    // be a compiled-in folder there, not the system's store.
    X509_STORE* store = lib().SSL_CTX_get_cert_store(context);
    for (const DerCertificate& der : *certificates) {
      const unsigned char* bytes = der.data();
      if (X509* certificate = lib().d2i_X509(nullptr, &bytes, static_cast<long>(der.size()))) {
        lib().X509_STORE_add_cert(store, certificate);
        lib().X509_free(certificate);
      }
    }
    lib().ERR_clear_error();
    loaded = true;
  } else {
    loaded = lib().SSL_CTX_set_default_verify_paths(context) == 1;
  }
  if (!loaded) {
    error = "radius_tls_ca: " + library_reason(nullptr, "no CA certificates");
    return false;
  }
  if (files.certificate || files.key) {
    // Either file may hold both: the one given stands in for the other.
    const std::string certificate = files.certificate.value_or(files.key.value_or(""));
    const std::string key = files.key.value_or(certificate);
    const std::string certificate_setting =
        files.certificate ? "radius_tls_cert {" + certificate + "}"
                          : "radius_tls_key {" + certificate + "} (read for the certificate too, as radius_tls_cert "
                                                               "is not set)";
    const std::string key_setting =
        files.key ? "radius_tls_key {" + key + "}"
                  : "radius_tls_cert {" + key + "} (read for the key too, as radius_tls_key is not set)";
    if (lib().SSL_CTX_use_certificate_chain_file(context, certificate.c_str()) != 1) {
      error = certificate_setting + ": " + library_reason(nullptr, "cannot be read");
      return false;
    }
    if (lib().SSL_CTX_use_PrivateKey_file(context, key.c_str(), SSL_FILETYPE_PEM) != 1) {
      error = key_setting + ": " + library_reason(nullptr, "cannot be read") +
              (files.key ? "" : "; give the key's file with radius_tls_key");
      return false;
    }
    if (lib().SSL_CTX_check_private_key(context) != 1) {
      error = "the key of " + key_setting + " does not belong to the certificate of " + certificate_setting + ": " +
              library_reason(nullptr, "mismatch");
      return false;
    }
    has_certificate_ = true;
  }
  return true;
}

TlsStream::TlsStream(Env& env) : env_(env), state_(std::make_unique<State>()) {}

TlsStream::~TlsStream() { close(); }

bool TlsStream::is_open() const { return state_->ssl != nullptr; }

void TlsStream::close() {
  if (state_->ssl != nullptr) {
    if (state_->may_shut_down) send_close_notify(state_->ssl, state_->socket);
    lib().SSL_free(state_->ssl);
    state_->ssl = nullptr;
  }
  tcp_close(state_->socket);
  state_->socket = kNoSocket;
  state_->may_shut_down = false;
}

TlsResult TlsStream::open(const TlsClient& client, const Endpoint& server, std::string_view server_name,
                          std::int64_t deadline_ms) {
  close();
  error_.clear();
  handshake_failed_ = false;
  if (client.state()->context == nullptr) {
    error_ = "TLS is not set up";
    handshake_failed_ = true;
    return TlsResult::failed;
  }
  state_->socket = tcp_connect(server, remaining(env_, deadline_ms));
  if (state_->socket == kNoSocket) {
    error_ = socket_error_line();
    return last_socket_error() == kSocketErrorTimedOut ? TlsResult::timed_out : TlsResult::failed;
  }
  SSL* ssl = lib().SSL_new(client.state()->context);
  state_->ssl = ssl;
  lib().SSL_set_fd(ssl, socket_descriptor(state_->socket));
  const std::string name(server_name);
  // The certificate must name what the administrator wrote: an address
  // written as text is matched as an address, anything else as a DNS name.
  if (lib().X509_VERIFY_PARAM_set1_ip_asc(lib().SSL_get0_param(ssl), name.c_str()) != 1) {
    lib().SSL_ctrl(ssl, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name,
                    const_cast<char*>(name.c_str()));
    lib().SSL_set1_host(ssl, name.c_str());
  }
  for (;;) {
    const int result = lib().SSL_connect(ssl);
    if (result == 1) {
      state_->may_shut_down = true;
      return TlsResult::ok;
    }
    const int reason = lib().SSL_get_error(ssl, result);
    const SocketEvent event = reason == SSL_ERROR_WANT_READ    ? SocketEvent::readable
                              : reason == SSL_ERROR_WANT_WRITE ? SocketEvent::writable
                                                               : SocketEvent::readable;
    if (reason != SSL_ERROR_WANT_READ && reason != SSL_ERROR_WANT_WRITE) {
      handshake_failed_ = true;
      error_ = library_reason(ssl, "the handshake failed");
      close();
      return TlsResult::failed;
    }
    if (socket_wait(state_->socket, event, remaining(env_, deadline_ms)) != WaitResult::readable) {
      error_ = "the handshake did not finish in time";
      handshake_failed_ = true;
      close();
      return TlsResult::timed_out;
    }
  }
}

bool TlsStream::dropped() {
  if (state_->ssl == nullptr) return true;
  if (socket_wait(state_->socket, SocketEvent::readable, 0) != WaitResult::readable) return false;
  // Something is waiting although no request is: the server's close, an
  // alert, or (TLS 1.3) a session ticket, which is taken and ignored.
  std::uint8_t byte;
  const int got = lib().SSL_peek(state_->ssl, &byte, 1);
  if (got > 0) return false;
  const int reason = lib().SSL_get_error(state_->ssl, got);
  if (reason == SSL_ERROR_WANT_READ) return false;
  if (!may_shut_down_after(reason)) state_->may_shut_down = false;
  lib().ERR_clear_error();
  return true;
}

bool TlsStream::readable_within(std::int64_t deadline_ms) {
  if (state_->ssl == nullptr) return true;
  // Bytes the library has already decrypted are not seen on the socket.
  if (lib().SSL_pending(state_->ssl) > 0) return true;
  return socket_wait(state_->socket, SocketEvent::readable, remaining(env_, deadline_ms)) != WaitResult::timed_out;
}

TlsResult TlsStream::write(std::span<const std::uint8_t> bytes, std::int64_t deadline_ms) {
  if (state_->ssl == nullptr) return TlsResult::closed;
  return transfer(env_, state_->ssl, state_->socket, Direction::write, const_cast<std::uint8_t*>(bytes.data()), bytes.size(),
                  deadline_ms, "the connection failed", error_, state_->may_shut_down);
}

TlsResult TlsStream::read_exact(std::span<std::uint8_t> out, std::int64_t deadline_ms) {
  if (state_->ssl == nullptr) return TlsResult::closed;
  // An end of the stream without a TLS close is a close all the same.
  return transfer(env_, state_->ssl, state_->socket, Direction::read, out.data(), out.size(), deadline_ms,
                  "the server closed the connection", error_, state_->may_shut_down);
}

}  // namespace vantorix
