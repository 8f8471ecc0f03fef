#include "fake_env.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace vantorix::testing {

bool FakeEnv::random(std::span<std::uint8_t> out) { return random_source ? random_source(out) : system_.random(out); }

void FakeEnv::add_peer(const FakePeer* peer) {
  std::lock_guard<std::mutex> lock(mutex_);
  peers_.push_back(peer);
}

void FakeEnv::remove_peer(const FakePeer* peer) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::erase(peers_, peer);
}

bool FakeEnv::peers_settled() {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::int64_t now = now_.load();
  return std::all_of(peers_.begin(), peers_.end(), [now](const FakePeer* peer) { return peer->settled(now); });
}

std::optional<std::int64_t> FakeEnv::next_due() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::optional<std::int64_t> first;
  for (const FakePeer* peer : peers_) {
    const std::optional<std::int64_t> due = peer->next_due();
    if (due && (!first || *due < *first)) first = due;
  }
  return first;
}

int FakeEnv::wait_any_readable(std::span<const SocketHandle> sockets, int milliseconds) {
  const std::int64_t deadline = now_.load() + std::max(milliseconds, 0);
  // Bounded in real time too: a peer that never settles (a fault of the
  // test) lets the wait go on as if it had.
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  for (;;) {
    // Every peer has dealt with what it was sent before anything is read:
    // the order of events never depends on the threads' speed.
    if (!peers_settled() && std::chrono::steady_clock::now() < give_up) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      continue;
    }
    // A moment for what the system reports on its own (a port found closed).
    const int ready = udp_wait_any_readable(sockets, 2);
    if (ready != -1) return ready;
    const std::optional<std::int64_t> due = next_due();
    if (due && *due <= deadline) {
      now_ = std::max(now_.load(), *due);
      continue;
    }
    now_ = std::max(now_.load(), deadline);
    return -1;
  }
}

Received FakeEnv::receive_within(SocketHandle socket, std::span<std::uint8_t> buffer, int milliseconds) {
  const SocketHandle one[] = {socket};
  if (wait_any_readable(one, milliseconds) == -1) return {0, true};
  return udp_receive_within(socket, buffer, 0);
}

}  // namespace vantorix::testing
