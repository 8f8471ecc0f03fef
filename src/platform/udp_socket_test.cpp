#include "platform/udp_socket.h"

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

namespace vantorix {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A socket bound to the loopback address of `family` at a port of the system's choosing.
struct BoundSocket {
  SocketHandle handle;
  Endpoint endpoint;
  explicit BoundSocket(AddressFamily family = AddressFamily::ipv4) : handle(udp_socket_open(family)) {
    if (handle != kNoSocket && udp_socket_bind(handle, {loopback_address(family), 0})) {
      endpoint = udp_socket_local_endpoint(handle).value_or(Endpoint{});
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

TEST_F(UdpSocketTest, DatagramsTravelOnBothLoopbacksWithTheirSender) {
  for (AddressFamily family : {AddressFamily::ipv4, AddressFamily::ipv6}) {
    SCOPED_TRACE(family == AddressFamily::ipv4 ? "IPv4" : "IPv6");
    BoundSocket receiver(family), sender(family);
    ASSERT_NE(receiver.endpoint.port, 0);
    ASSERT_EQ(receiver.endpoint.address, loopback_address(family));
    const Bytes datagram = {1, 2, 3, 0, 255};
    ASSERT_EQ(udp_send_to(sender.handle, datagram, receiver.endpoint), 5);

    ASSERT_EQ(udp_wait_readable(receiver.handle, 2000), WaitResult::readable);
    Bytes buffer(64);
    Endpoint from;
    ASSERT_EQ(udp_receive_from(receiver.handle, buffer, &from), 5);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 5), datagram);
    EXPECT_EQ(from, sender.endpoint);
  }
}

TEST_F(UdpSocketTest, ConnectedSocketHearsOnlyItsPeer) {
  BoundSocket server, stranger;
  const SocketHandle client = udp_socket_open(AddressFamily::ipv4);
  ASSERT_TRUE(udp_socket_connect(client, server.endpoint));
  const std::optional<Endpoint> local = udp_socket_local_endpoint(client);
  ASSERT_TRUE(local);
  EXPECT_NE(local->port, 0) << "the system chose a port";

  ASSERT_EQ(udp_send(client, Bytes{'q'}), 1);
  ASSERT_EQ(udp_wait_readable(server.handle, 2000), WaitResult::readable);
  Bytes buffer(16);
  Endpoint from;
  ASSERT_EQ(udp_receive_from(server.handle, buffer, &from), 1);
  EXPECT_EQ(from, *local);

  ASSERT_EQ(udp_send_to(stranger.handle, Bytes{'x', 'x'}, *local), 2);
  ASSERT_EQ(udp_send_to(server.handle, Bytes{'a', 'b', 'c'}, *local), 3);
  const Received got = udp_receive_within(client, buffer, 2000);
  EXPECT_FALSE(got.timed_out);
  EXPECT_EQ(got.bytes, 3) << "the stranger's datagram never arrives";
  EXPECT_TRUE(udp_receive_within(client, buffer, 0).timed_out);
  udp_socket_close(client);
}

TEST_F(UdpSocketTest, ClosedPeerPortIsReportedAndWaitsEnd) {
  Endpoint closed;
  {
    BoundSocket gone;
    closed = gone.endpoint;
  }
  const SocketHandle client = udp_socket_open(AddressFamily::ipv4);
  ASSERT_TRUE(udp_socket_connect(client, closed));
  ASSERT_EQ(udp_send(client, Bytes{'q'}), 1);
  Bytes buffer(16);
  const Received got = udp_receive_within(client, buffer, 2000);
  EXPECT_EQ(got.bytes, -1);
  // Linux reports the port unreachable as ECONNREFUSED, Windows as WSAECONNRESET.
  EXPECT_TRUE(last_socket_error() == kSocketErrorConnectionRefused ||
              last_socket_error() == kSocketErrorConnectionReset)
      << last_socket_error();

  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(udp_receive_within(client, buffer, 50).timed_out);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(45));
  udp_socket_close(client);
}

TEST_F(UdpSocketTest, DatagramLargerThanTheBufferIsRefusedWhole) {
  BoundSocket receiver, sender;
  const Bytes big(100, 7), small(3, 9);
  ASSERT_EQ(udp_send_to(sender.handle, big, receiver.endpoint), 100);
  ASSERT_EQ(udp_send_to(sender.handle, small, receiver.endpoint), 3);
  ASSERT_EQ(udp_wait_readable(receiver.handle, 2000), WaitResult::readable);

  Bytes buffer(50);
  Endpoint from;
  EXPECT_EQ(udp_receive_from(receiver.handle, buffer, &from), -1);
  EXPECT_EQ(last_socket_error(), kSocketErrorMessageSize);
  EXPECT_EQ(from, sender.endpoint);
  // The big datagram is gone; the next one is whole.
  const Received next = udp_receive_within(receiver.handle, buffer, 2000);
  EXPECT_EQ(next.bytes, 3);
}

TEST_F(UdpSocketTest, NativeErrorsArriveInWindowsSocketsNumbers) {
  BoundSocket first;
  SocketHandle second = udp_socket_open(AddressFamily::ipv4);
  ASSERT_NE(second, kNoSocket);
  EXPECT_FALSE(udp_socket_bind(second, first.endpoint));
  EXPECT_EQ(last_socket_error(), kSocketErrorAddressInUse);
  udp_socket_close(second);

  const Bytes datagram = {1};
  EXPECT_LT(udp_send_to(kNoSocket, datagram, first.endpoint), 1);
  EXPECT_EQ(last_socket_error(), kSocketErrorNotSocket);

  set_last_socket_error(0);
  EXPECT_EQ(udp_wait_readable(kNoSocket, 2000), WaitResult::failed);
  EXPECT_EQ(last_socket_error(), kSocketErrorNotSocket);

  set_last_socket_error(10054);
  BoundSocket fine;
  EXPECT_EQ(last_socket_error(), 10054) << "success leaves the last error alone";
}

}  // namespace
}  // namespace vantorix
