#include "platform/env.h"

#include <algorithm>

#include "platform/native.h"
#include "platform/system.h"

namespace vantorix {

std::int64_t SystemEnv::now_ms() { return native_monotonic_milliseconds(); }

void SystemEnv::sleep_ms(int milliseconds) { native_sleep_milliseconds(milliseconds); }

bool SystemEnv::random(std::span<std::uint8_t> out) {
  if (out.size() > pool_.size()) return native_random_bytes(out.data(), out.size());
  if (pool_.size() - pool_used_ < out.size()) {
    if (!native_random_bytes(pool_.data(), pool_.size())) return false;
    pool_used_ = 0;
  }
  std::uint8_t* from = pool_.data() + pool_used_;
  std::copy(from, from + out.size(), out.begin());
  std::fill(from, from + out.size(), std::uint8_t{0});
  pool_used_ += out.size();
  return true;
}

int SystemEnv::process_id() { return current_process_id(); }

int SystemEnv::wait_any_readable(std::span<const SocketHandle> sockets, int milliseconds) {
  return udp_wait_any_readable(sockets, milliseconds);
}

Received SystemEnv::receive_within(SocketHandle socket, std::span<std::uint8_t> buffer, int milliseconds) {
  return udp_receive_within(socket, buffer, milliseconds);
}

}  // namespace vantorix
