// RADIUS over TLS (RFC 6614): the client's TLS settings and one connection
// to one server, over OpenSSL. A build without TLS has the same interface
// and reports that it has none (tls_stream_none.cpp).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/env.h"
#include "platform/network.h"

namespace vantorix {

/// What the client proves and trusts.
struct TlsFiles {
  std::optional<std::string> ca;           // file or directory of the CA that signed the servers' certificates
  std::optional<std::string> certificate;  // the client's certificate (chain), PEM
  std::optional<std::string> key;          // its private key, PEM
};

/// True when this build can speak TLS.
bool tls_available();

/// The TLS settings every connection of the program shares: TLS 1.2 or
/// later, the server's chain always verified against `ca` (the system's
/// store when none is given).
class TlsClient {
 public:
  TlsClient();
  ~TlsClient();
  TlsClient(const TlsClient&) = delete;
  TlsClient& operator=(const TlsClient&) = delete;

  /// Loads the files; false with the TLS library's reason in `error`, which
  /// names the setting whose file could not be used.
  bool configure(const TlsFiles& files, std::string& error);

  /// True once `configure` has loaded a certificate for this client.
  bool has_certificate() const { return has_certificate_; }

  struct State;
  State* state() const { return state_.get(); }

 private:
  std::unique_ptr<State> state_;
  bool has_certificate_ = false;
};

/// What an operation on a connection came to.
enum class TlsResult {
  ok,
  timed_out,  // the deadline passed first
  closed,     // the server closed the connection
  failed,     // a TCP error, or the TLS library's; `error()` says which
};

/// One connection: TCP, then a TLS handshake in which the server's
/// certificate must carry `server_name` (a DNS name, or an IP address
/// written as text). Deadlines are milliseconds of `env`'s clock.
class TlsStream {
 public:
  explicit TlsStream(Env& env);
  ~TlsStream();
  TlsStream(const TlsStream&) = delete;
  TlsStream& operator=(const TlsStream&) = delete;

  /// Connects and shakes hands by `deadline_ms`, after closing any older
  /// connection. A refused or unreachable server is `failed` with the socket
  /// error in `error()`; `handshake_failed()` tells a failure of TLS itself
  /// (the certificate check among them) from one of the network.
  TlsResult open(const TlsClient& client, const Endpoint& server, std::string_view server_name,
                 std::int64_t deadline_ms);
  bool is_open() const;

  /// True when the open connection has nothing more to give: the server
  /// closed it or it failed. Never waits.
  bool dropped();

  /// True when something can be read (or the connection has ended) by
  /// `deadline_ms`; reads nothing.
  bool readable_within(std::int64_t deadline_ms);

  /// Writes all of `bytes` by `deadline_ms`.
  TlsResult write(std::span<const std::uint8_t> bytes, std::int64_t deadline_ms);

  /// Reads exactly `out.size()` bytes by `deadline_ms`.
  TlsResult read_exact(std::span<std::uint8_t> out, std::int64_t deadline_ms);

  void close();

  /// Why the last operation failed, in the TLS library's words.
  const std::string& error() const { return error_; }
  bool handshake_failed() const { return handshake_failed_; }

  struct State;

 private:
  [[maybe_unused]] Env& env_;  // unread in a build without TLS
  std::unique_ptr<State> state_;
  std::string error_;
  bool handshake_failed_ = false;
};

}  // namespace vantorix
