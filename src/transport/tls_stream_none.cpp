// A build without a TLS library: RADIUS over TLS is refused when configured.
#include "transport/tls_stream.h"

namespace vantorix {

struct TlsClient::State {};
struct TlsStream::State {};

bool tls_available() { return false; }

TlsClient::TlsClient() : state_(std::make_unique<State>()) {}
TlsClient::~TlsClient() = default;

bool TlsClient::configure(const TlsFiles&, std::string& error) {
  error = "this build of the program has no TLS";
  return false;
}

TlsStream::TlsStream(Env& env) : env_(env), state_(std::make_unique<State>()) {}
TlsStream::~TlsStream() = default;

TlsResult TlsStream::open(const TlsClient&, const Endpoint&, std::string_view, std::int64_t) {
  error_ = "this build of the program has no TLS";
  handshake_failed_ = true;
  return TlsResult::failed;
}

bool TlsStream::is_open() const { return false; }
bool TlsStream::dropped() { return true; }
bool TlsStream::readable_within(std::int64_t) { return true; }
TlsResult TlsStream::write(std::span<const std::uint8_t>, std::int64_t) { return TlsResult::closed; }
TlsResult TlsStream::read_exact(std::span<std::uint8_t>, std::int64_t) { return TlsResult::closed; }
void TlsStream::close() {}

}  // namespace vantorix
