// Building an Access-Request and verifying the Access-Accept that answers it:
// the client's own packet work in every check.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "radius/md5.h"
#include "radius/radius_data.h"
#include "radius/radius_packet.h"

namespace {

constexpr const char* kSecret = "bench-shared-secret";
const vantorix::SharedSecret kShared{kSecret};
constexpr std::uint32_t kNasPort = 1812;
constexpr std::uint32_t kNasIp = 0x7F000001;

// The request buffer of a check, and what its last request is answered against.
struct Exchange {
  std::array<std::uint8_t, vantorix::kMaxDatagram> send{};
  std::int32_t length = 0;
  vantorix::PendingRequest request;
};

// The log of the benchmarks: as a process starts, neither mode on.
vantorix::Log& quiet_log() {
  static vantorix::Console console;
  static vantorix::Log log(console);
  return log;
}

bool build(Exchange& exchange, std::string_view user, std::string_view password) {
  static vantorix::SystemEnv env;
  const std::optional<vantorix::PendingRequest> request = vantorix::build_access_request(
      quiet_log(), env, {user, password, kNasPort, vantorix::IpAddress::v4(kNasIp), {}, {}}, kShared, 7, exchange.send,
      exchange.length);
  if (request) exchange.request = *request;
  return request.has_value();
}

// An Access-Accept for the request last built, with `attributes` (already
// encoded) after the header and a Response Authenticator made with the secret.
std::vector<std::uint8_t> make_accept(const vantorix::PendingRequest& request,
                                      const std::vector<std::uint8_t>& attributes) {
  std::vector<std::uint8_t> packet(vantorix::kHeaderSize);
  packet[0] = vantorix::kAccessAccept;
  packet[1] = request.identifier;
  const std::size_t length = vantorix::kHeaderSize + attributes.size();
  packet[2] = static_cast<std::uint8_t>(length >> 8);
  packet[3] = static_cast<std::uint8_t>(length & 0xFF);
  std::copy(request.authenticator.begin(), request.authenticator.end(), packet.begin() + 4);
  packet.insert(packet.end(), attributes.begin(), attributes.end());
  std::vector<std::uint8_t> digested = packet;
  digested.insert(digested.end(), kSecret, kSecret + std::strlen(kSecret));
  vantorix::md5_digest(packet.data() + 4, digested.data(), static_cast<std::int32_t>(digested.size()));
  return packet;
}

void append_text_attribute(std::vector<std::uint8_t>& out, std::uint8_t type, const std::string& text) {
  out.push_back(type);
  out.push_back(static_cast<std::uint8_t>(text.size() + 2));
  out.insert(out.end(), text.begin(), text.end());
}

void BM_BuildAccessRequest(benchmark::State& state) {
  Exchange exchange;
  for (auto _ : state) {
    bool built = build(exchange, "alice@example.com", "wonderland");
    benchmark::DoNotOptimize(built);
    benchmark::ClobberMemory();
  }
  if (exchange.length == 0) state.SkipWithError("no request was built");
}
BENCHMARK(BM_BuildAccessRequest);

void BM_BuildAccessRequestLongPassword(benchmark::State& state) {
  Exchange exchange;
  const std::string password(40, 'p');
  for (auto _ : state) {
    bool built = build(exchange, "alice@example.com", password);
    benchmark::DoNotOptimize(built);
    benchmark::ClobberMemory();
  }
  if (exchange.length == 0) state.SkipWithError("no request was built");
}
BENCHMARK(BM_BuildAccessRequestLongPassword);

// Verifies one reply over and over, from a receive buffer as a receive fills it.
void verify_loop(benchmark::State& state, const std::vector<std::uint8_t>& attributes) {
  Exchange exchange;
  if (!build(exchange, "alice", "wonderland")) {
    state.SkipWithError("no request was built");
    return;
  }
  const std::vector<std::uint8_t> reply = make_accept(exchange.request, attributes);
  std::array<std::uint8_t, vantorix::kMaxDatagram> received{};
  std::memcpy(received.data(), reply.data(), reply.size());
  vantorix::UserRecord record;
  vantorix::ReplyRules rules;
  rules.secret = &kShared;
  vantorix::ReplyVerdict result = vantorix::ReplyVerdict::refused;
  for (auto _ : state) {
    result = vantorix::verify_reply(quiet_log(), std::span<const std::uint8_t>(received.data(), reply.size()),
                                    exchange.request, rules, &record)
                 .verdict;
    benchmark::DoNotOptimize(result);
    record.extra.reset();
  }
  if (result != vantorix::ReplyVerdict::accepted) state.SkipWithError("the reply was not accepted");
}

void BM_VerifyAccessAccept(benchmark::State& state) { verify_loop(state, {}); }
BENCHMARK(BM_VerifyAccessAccept);

void BM_VerifyAccessAcceptWithAttributes(benchmark::State& state) {
  std::vector<std::uint8_t> attributes;
  append_text_attribute(attributes, 18, "Welcome, Carol");
  append_text_attribute(attributes, 26, "mailbox=carol");
  append_text_attribute(attributes, 26, "quota=2048M");
  verify_loop(state, attributes);
}
BENCHMARK(BM_VerifyAccessAcceptWithAttributes);

}  // namespace
