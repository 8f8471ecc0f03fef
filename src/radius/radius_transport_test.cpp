#include "radius/radius_transport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "logging/log.h"
#include "platform/console.h"
#include "platform/udp_socket.h"
#include "process_state.h"
#include "radius/radius_data.h"
#include "temp_dir.h"

namespace vantorix {
namespace {

constexpr std::uint32_t kLoopback = 0x7F000001;

// A socket on 127.0.0.1 that plays the server or a stranger.
struct Peer {
  SocketHandle handle = udp_socket_open();
  Ipv4Endpoint endpoint;
  explicit Peer(std::uint16_t port = 0) {
    if (handle != kNoSocket && udp_socket_bind(handle, {kLoopback, port})) {
      endpoint = udp_socket_local_endpoint(handle).value_or(Ipv4Endpoint{});
    }
  }
  ~Peer() {
    if (handle != kNoSocket) udp_socket_close(handle);
  }
  void send(const std::string& text, Ipv4Endpoint to) const {
    std::vector<std::uint8_t> bytes(text.begin(), text.end());
    udp_send_to(handle, bytes, to);
  }
};

class RadiusTransportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::reset_process_state();
    log_state().log_mode = true;
    log_state().log_path = dir_.file("test.log");
    log_state().process_id = 77;
    set_last_socket_error(0);
    console_capture(&out_);
  }
  void TearDown() override { testing::reset_process_state(); }
  static RadiusConnection& connection() { return radius_data().connection; }
  static RadiusSettings& settings() { return radius_data().settings; }
  static RadiusExchange& exchange() { return radius_data().exchange; }
  std::string log() const { return dir_.read("test.log"); }
  // Opens the socket towards `port` on 127.0.0.1.
  void connect_to(std::uint16_t port) {
    radius_data().settings.host = "127.0.0.1";
    radius_data().settings.port = port;
    ASSERT_TRUE(radius_connect(connection(), settings(), false));
  }
  // Where the client's socket can be reached.
  static Ipv4Endpoint client() { return {kLoopback, static_cast<std::uint16_t>(radius_data().connection.bind_port)}; }

  testing::TempDir dir_;
  std::string out_;
};

TEST(DottedQuad, RecognisesAndParsesFourGroups) {
  struct Case {
    const char* text;
    bool dotted;
    std::uint32_t address;
  };
  const Case cases[] = {
      {"10.1.2.3", true, 0x0A010203},
      {"255.255.255.255", true, 0xFFFFFFFF},
      {"001.02.3.000", true, 0x01020300},
      {"0.0.0.0", true, 0},
      {"10.1.2.256", true, 0},      // a group above 255
      {"10..2.3", true, 0},         // an empty group passes the test, not the parse
      {"1.2.3.", true, 0},          // the last group is empty
      {"10.1.2.3 more", true, 0},   // the test stops at the blank, the parse does not
      {"10.1.2.3x", false, 0},
      {"1.2.3", false, 0},
      {"1.2.3.4.5", false, 0},
      {"1000.1.1.1", false, 0},
      {"a.b.c.d", false, 0},
      {"-1.2.3.4", false, 0},
      {"", false, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(is_dotted_quad(c.text), c.dotted) << c.text;
    if (c.dotted) {
      EXPECT_EQ(parse_dotted_quad(c.text), c.address) << c.text;
      EXPECT_EQ(host_address(c.text), c.address) << c.text;
    }
  }
  EXPECT_FALSE(is_dotted_quad(nullptr));
  EXPECT_EQ(parse_dotted_quad(nullptr), 0u);
  EXPECT_EQ(parse_dotted_quad("1.2"), 0u);  // must stop at the end of the text
  EXPECT_EQ(host_address(nullptr), 0u);
  EXPECT_EQ(host_address("localhost"), kLoopback);
}

TEST(SocketErrorText, KeysTheTextsByWindowsSocketsNumbers) {
  const std::pair<int, std::string> cases[] = {
      {10004, "The (blocking) call was canceled via WSACancelBlockingCall.\n"},
      {10040,
       "The socket is of type SOCK_DGRAM, and the datagram is larger than the maximum supported by the "
       "Windows Sockets implementation.\n"},
      {10048, "Address in use\n"},
      {10058,
       "The socket has been shutdown; it is not possible to sendln on a socket after shutdown has been "
       "invoked with how set to 1 or 2.\n"},
      {10066, "Not Empty\n"},
      {10093, "A successful WSAStartup must occur before using this API.\n"},
      {10062, "Socket Unkown error code 10062 \n"},
      {0, "Socket Unkown error code 0 \n"},
      {kSocketErrorUnmappedBase + 9999, "Socket Unkown error code 29999 \n"},
  };
  for (const auto& [code, text] : cases) {
    set_last_socket_error(code);
    EXPECT_EQ(socket_error_text(), text) << code;
  }
  // Every text of the table ends in a line feed.
  int known = 0;
  for (int code = 10000; code < 10100; ++code) {
    set_last_socket_error(code);
    std::string text = socket_error_text();
    EXPECT_EQ(text.back(), '\n') << code;
    if (text.rfind("Socket Unkown error code", 0) != 0) ++known;
  }
  EXPECT_EQ(known, 28);
  set_last_socket_error(0);
}

TEST_F(RadiusTransportTest, OpensTowardsTheConfiguredServer) {
  connect_to(1812);
  const RadiusData& data = radius_data();
  EXPECT_NE(data.connection.sock, kNoSocket);
  EXPECT_EQ(data.connection.server_port, 1812);
  EXPECT_EQ(data.connection.server_ip, kLoopback);
  EXPECT_EQ(data.connection.server_addr, (Ipv4Endpoint{kLoopback, 1812}));
  EXPECT_GE(data.connection.bind_port, 1026);
  EXPECT_EQ(udp_socket_local_endpoint(data.connection.sock)->port, data.connection.bind_port);
  EXPECT_EQ(data.connection.nas_ip, host_address(local_host_name().c_str()));
  EXPECT_EQ(out_, "");
  const std::string text = log();
  EXPECT_NE(text.find("No need to close RADIUS connection - not open."), std::string::npos);
  EXPECT_NE(text.find("Got Server Name"), std::string::npos);
  EXPECT_NE(text.find("Attempting to Bind Socket"), std::string::npos);
  EXPECT_NE(text.find("Socket has been Bounded: " + std::to_string(data.connection.bind_port) + "\n"), std::string::npos);
}

TEST_F(RadiusTransportTest, PortZeroTakesTheServicesEntry) {
  connect_to(0);
  EXPECT_EQ(radius_data().connection.server_port, service_port("radius", "udp").value_or(1645));
}

TEST_F(RadiusTransportTest, BindSearchSkipsTakenPorts) {
  std::vector<std::unique_ptr<Peer>> taken;
  for (std::uint16_t port = 1026; port <= 1030; ++port) taken.push_back(std::make_unique<Peer>(port));
  connect_to(1812);
  // 1031 unless another program holds it meanwhile.
  EXPECT_GE(radius_data().connection.bind_port, 1031);
  EXPECT_EQ(udp_socket_local_endpoint(radius_data().connection.sock)->port, radius_data().connection.bind_port);
  EXPECT_NE(log().find("Socket has been Bounded: " + std::to_string(radius_data().connection.bind_port)), std::string::npos);
}

TEST_F(RadiusTransportTest, FailedOpenReportsOneWholeLine) {
  const std::pair<std::optional<std::string>, std::string> cases[] = {
      {std::nullopt, "-DEAD: Missing host field (add ini setting: radius_host localhost)"},
      {"10.1.2.256", "-DEAD: Couldn't find host {10.1.2.256}"},
      {"10..2.3", "-DEAD: Couldn't find host {10..2.3}"},
      {"10.1.2.3 and more", "-DEAD: Couldn't find host {10.1.2.3 and more}"},
  };
  for (const auto& [host, text] : cases) {
    connect_to(1812);  // a failed open also closes the socket it had
    out_.clear();
    radius_data().settings.host = host;
    EXPECT_FALSE(radius_connect(connection(), settings(), true));
    EXPECT_EQ(out_, text + "\n");
    EXPECT_EQ(radius_data().connection.sock, kNoSocket);
    EXPECT_NE(log().find("ERROR: " + text + "\n"), std::string::npos) << text;

    out_.clear();
    EXPECT_EQ(radius_open(), kSlotNegative);
    EXPECT_EQ(out_, "") << "the open slot tells only the log";
  }
}

TEST_F(RadiusTransportTest, EnsureOpenOpensOnlyAClosedSocket) {
  radius_data().settings.host = "127.0.0.1";
  radius_data().settings.port = 1812;
  ASSERT_TRUE(radius_ensure_open(connection(), settings()));
  const SocketHandle first = radius_data().connection.sock;
  ASSERT_NE(first, kNoSocket);
  EXPECT_TRUE(radius_ensure_open(connection(), settings()));
  EXPECT_EQ(radius_data().connection.sock, first);
  radius_data().settings.host.reset();
  radius_close();
  EXPECT_FALSE(radius_ensure_open(connection(), settings()));
  EXPECT_EQ(out_, "-DEAD: Missing host field (add ini setting: radius_host localhost)\n");
}

TEST_F(RadiusTransportTest, ClosingTwiceIsHarmless) {
  connect_to(1812);
  const int handle = static_cast<int>(radius_data().connection.sock);
  radius_close();
  EXPECT_EQ(radius_data().connection.sock, kNoSocket);
  radius_close();
  const std::string text = log();
  const std::size_t closing = text.find("Closing down RADIUS connection. {" + std::to_string(handle) + "}");
  ASSERT_NE(closing, std::string::npos);
  EXPECT_NE(text.find("No need to close RADIUS connection - not open.", closing), std::string::npos);
}

TEST_F(RadiusTransportTest, RequestGoesOutAndTheServersReplyComesBack) {
  Peer server;
  connect_to(server.endpoint.port);
  const std::string request = "request bytes";
  std::copy(request.begin(), request.end(), radius_data().exchange.send_buf.begin());
  radius_data().exchange.send_len = static_cast<std::int32_t>(request.size());
  EXPECT_EQ(send_request(connection(), exchange()), static_cast<int>(request.size()));

  ASSERT_EQ(udp_wait_readable(server.handle, 2000), WaitResult::readable);
  std::vector<std::uint8_t> got(100);
  Ipv4Endpoint from;
  ASSERT_EQ(udp_receive_from(server.handle, got, &from), static_cast<int>(request.size()));
  EXPECT_EQ(std::string(got.begin(), got.begin() + static_cast<long>(request.size())), request);
  EXPECT_EQ(from.port, radius_data().connection.bind_port);

  Peer stranger;
  stranger.send("from a stranger", from);
  server.send("the reply", from);
  EXPECT_EQ(receive_reply(connection(), exchange()), 9);
  EXPECT_EQ(radius_data().exchange.recv_len, 9);
  EXPECT_EQ(std::string(radius_data().exchange.recv_buf.begin(), radius_data().exchange.recv_buf.begin() + 9), "the reply");
  EXPECT_EQ(radius_data().connection.server_addr, server.endpoint);
  EXPECT_NE(log().find("Ignored a datagram of 15 bytes from 127.0.0.1:" + std::to_string(stranger.endpoint.port)),
            std::string::npos);
}

TEST_F(RadiusTransportTest, WaitEndsAfterTwoSecondsWhateverStrangersSend) {
  Peer server;
  connect_to(server.endpoint.port);
  radius_data().exchange.recv_len = 77;
  Peer stranger;
  stranger.send("noise", client());
  EXPECT_EQ(receive_reply(connection(), exchange()), 0);
  EXPECT_EQ(radius_data().exchange.recv_len, 77);
  EXPECT_EQ(radius_data().connection.server_addr, server.endpoint);
  EXPECT_EQ(log().find("ERROR"), std::string::npos);
}

TEST_F(RadiusTransportTest, FailuresOfSendAndReceiveAreLogged) {
  Peer server;
  connect_to(server.endpoint.port);
  server.send(std::string(kMaxDatagram + 1, 'x'), client());
  EXPECT_EQ(receive_reply(connection(), exchange()), -1);
  EXPECT_EQ(radius_data().exchange.recv_len, -1);
  EXPECT_NE(log().find("ERROR: radius: only got -1 bytes The socket is of type SOCK_DGRAM"), std::string::npos);

  radius_close();
  radius_data().exchange.send_len = 20;
  EXPECT_EQ(send_request(connection(), exchange()), -1);
  EXPECT_NE(log().find("ERROR: radius: Sent -1 bytes The descriptor is not a socket."), std::string::npos);
  EXPECT_EQ(receive_reply(connection(), exchange()), -1);
  EXPECT_NE(log().find("ERROR: radius: only got -1 bytes The descriptor is not a socket."), std::string::npos);
}

}  // namespace
}  // namespace vantorix
