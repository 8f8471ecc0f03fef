#include "platform/udp_socket.h"

#include <gtest/gtest.h>

#include <vector>

namespace vantorix {
namespace {

constexpr std::uint32_t kLoopback = 0x7F000001;

// A socket bound to 127.0.0.1 at a port of the system's choosing.
struct BoundSocket {
  SocketHandle handle = udp_socket_open();
  Ipv4Endpoint endpoint;
  BoundSocket() {
    if (handle != kNoSocket && udp_socket_bind(handle, {kLoopback, 0})) {
      endpoint = udp_socket_local_endpoint(handle).value_or(Ipv4Endpoint{});
    }
  }
  ~BoundSocket() {
    if (handle != kNoSocket) udp_socket_close(handle);
  }
};

class UdpSocketTest : public ::testing::Test {
 protected:
  void SetUp() override { set_last_socket_error(0); }
};

TEST_F(UdpSocketTest, DatagramTravelsOnLoopbackWithItsSender) {
  BoundSocket receiver, sender;
  ASSERT_NE(receiver.endpoint.port, 0);
  ASSERT_EQ(receiver.endpoint.address, kLoopback);
  const std::vector<std::uint8_t> datagram = {1, 2, 3, 0, 255};
  ASSERT_EQ(udp_send_to(sender.handle, datagram, receiver.endpoint), 5);

  ASSERT_EQ(udp_wait_readable(receiver.handle, 2000), WaitResult::readable);
  std::vector<std::uint8_t> buffer(64);
  Ipv4Endpoint from;
  ASSERT_EQ(udp_receive_from(receiver.handle, buffer, &from), 5);
  EXPECT_EQ(std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + 5), datagram);
  EXPECT_EQ(from, sender.endpoint);
}

TEST_F(UdpSocketTest, ReceiveNeverBlocksAndWaitEnds) {
  BoundSocket socket;
  std::vector<std::uint8_t> buffer(16);
  Ipv4Endpoint from;
  EXPECT_EQ(udp_receive_from(socket.handle, buffer, &from), -1);
  EXPECT_EQ(last_socket_error(), kSocketErrorWouldBlock);
  EXPECT_EQ(udp_wait_readable(socket.handle, 20), WaitResult::timed_out);
}

TEST_F(UdpSocketTest, DatagramLargerThanTheBufferIsRefusedWhole) {
  BoundSocket receiver, sender;
  const std::vector<std::uint8_t> big(100, 7), small(3, 9);
  ASSERT_EQ(udp_send_to(sender.handle, big, receiver.endpoint), 100);
  ASSERT_EQ(udp_send_to(sender.handle, small, receiver.endpoint), 3);
  ASSERT_EQ(udp_wait_readable(receiver.handle, 2000), WaitResult::readable);

  std::vector<std::uint8_t> buffer(50);
  Ipv4Endpoint from;
  EXPECT_EQ(udp_receive_from(receiver.handle, buffer, &from), -1);
  EXPECT_EQ(last_socket_error(), kSocketErrorMessageSize);
  EXPECT_EQ(from, sender.endpoint);
  // The big datagram is gone; the next one is whole.
  ASSERT_EQ(udp_wait_readable(receiver.handle, 2000), WaitResult::readable);
  EXPECT_EQ(udp_receive_from(receiver.handle, buffer, &from), 3);
}

TEST_F(UdpSocketTest, NativeErrorsArriveInWindowsSocketsNumbers) {
  BoundSocket first;
  SocketHandle second = udp_socket_open();
  ASSERT_NE(second, kNoSocket);
  EXPECT_FALSE(udp_socket_bind(second, first.endpoint));
  EXPECT_EQ(last_socket_error(), kSocketErrorAddressInUse);
  udp_socket_close(second);

  const std::vector<std::uint8_t> datagram = {1};
  EXPECT_LT(udp_send_to(kNoSocket, datagram, first.endpoint), 1);
  EXPECT_EQ(last_socket_error(), kSocketErrorNotSocket);

  set_last_socket_error(0);
  EXPECT_EQ(udp_wait_readable(kNoSocket, 2000), WaitResult::failed);
  EXPECT_EQ(last_socket_error(), kSocketErrorNotSocket);
}

TEST_F(UdpSocketTest, SuccessLeavesTheLastErrorAlone) {
  set_last_socket_error(10054);
  BoundSocket socket;
  EXPECT_EQ(last_socket_error(), 10054);
  set_last_socket_error(0);
  EXPECT_EQ(last_socket_error(), 0);
}

TEST_F(UdpSocketTest, NamesResolveWithoutTheNetwork) {
  EXPECT_EQ(resolve_host_name("localhost"), kLoopback);
  EXPECT_EQ(resolve_host_name("127.0.0.1"), kLoopback);
  EXPECT_EQ(resolve_host_name(""), std::nullopt);
  EXPECT_EQ(resolve_host_name(nullptr), std::nullopt);
  EXPECT_FALSE(local_host_name().empty());
  EXPECT_EQ(service_port("no-such-service-here", "udp"), std::nullopt);
}

}  // namespace
}  // namespace vantorix
