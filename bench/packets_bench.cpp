// Building an Access-Request and verifying the Access-Accept that answers it:
// the client's own packet work in every check.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "radius/radius_data.h"
#include "radius/radius_packet.h"
#include "radius/radius_settings.h"
#include "userstore/md5.h"

namespace {

using vantorix::radius_data;

constexpr const char* kSecret = "bench-shared-secret";

void set_up_backend() {
  vantorix::radius_init();
  vantorix::radius_config("radius_secret", kSecret);
  radius_data().server_port = 1812;
  radius_data().nas_ip = 0x7F000001;
  radius_data().collect_code = vantorix::kVendorSpecific;
}

// An Access-Accept for the request last built, with `attributes` (already
// encoded) after the header and a Response Authenticator made with the secret.
std::vector<std::uint8_t> make_accept(const std::vector<std::uint8_t>& attributes) {
  const auto& data = radius_data();
  std::vector<std::uint8_t> packet(vantorix::kHeaderSize);
  packet[0] = vantorix::kAccessAccept;
  packet[1] = static_cast<std::uint8_t>(data.last_identifier);
  const std::size_t length = vantorix::kHeaderSize + attributes.size();
  packet[2] = static_cast<std::uint8_t>(length >> 8);
  packet[3] = static_cast<std::uint8_t>(length & 0xFF);
  std::copy(data.request_authenticator.begin(), data.request_authenticator.end(), packet.begin() + 4);
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
  set_up_backend();
  for (auto _ : state) {
    int built = vantorix::build_access_request("alice@example.com", "wonderland");
    benchmark::DoNotOptimize(built);
    benchmark::ClobberMemory();
  }
  if (radius_data().send_len == 0) state.SkipWithError("no request was built");
}
BENCHMARK(BM_BuildAccessRequest);

void BM_BuildAccessRequestLongPassword(benchmark::State& state) {
  set_up_backend();
  const std::string password(40, 'p');
  for (auto _ : state) {
    int built = vantorix::build_access_request("alice@example.com", password.c_str());
    benchmark::DoNotOptimize(built);
    benchmark::ClobberMemory();
  }
  if (radius_data().send_len == 0) state.SkipWithError("no request was built");
}
BENCHMARK(BM_BuildAccessRequestLongPassword);

// Verifies one reply over and over; the reply is copied back into the receive
// buffer before every call, as a receive would.
void verify_loop(benchmark::State& state, const std::vector<std::uint8_t>& attributes) {
  set_up_backend();
  if (vantorix::build_access_request("alice", "wonderland") != 1) {
    state.SkipWithError("no request was built");
    return;
  }
  const std::vector<std::uint8_t> reply = make_accept(attributes);
  auto& data = radius_data();
  vantorix::UserRecord record;
  int result = 0;
  for (auto _ : state) {
    std::memcpy(data.recv_buf.data(), reply.data(), reply.size());
    data.recv_len = static_cast<std::int32_t>(reply.size());
    result = vantorix::verify_reply(&record);
    benchmark::DoNotOptimize(result);
    record.extra.reset();
  }
  if (result != vantorix::kReplyAccepted) state.SkipWithError("the reply was not accepted");
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
