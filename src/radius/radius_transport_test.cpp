#include "radius/radius_transport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "logging/log.h"
#include "platform/console.h"
#include "platform/env.h"
#include "platform/udp_socket.h"
#include "radius/radius_data.h"
#include "temp_dir.h"
#include "transport/socket_error_text.h"

namespace vantorix {
namespace {

constexpr std::uint32_t kLoopback = 0x7F000001;

class RadiusTransportTest : public ::testing::Test {
 protected:
  Console console_;
  Log log_{console_};
  void SetUp() override {
    log_.state().log_mode = true;
    log_.state().log_path = dir_.file("test.log");
    console_.capture(&out_);
  }
  void TearDown() override { radius_close(log_, radius_.connection); }
  RadiusConnection& connection() { return radius_.connection; }
  RadiusSettings& settings() { return radius_.settings; }
  std::string log() const { return dir_.read_text("test.log"); }
  bool connect_to(const std::string& host) {
    settings().host = host;
    return !radius_connect(log_, connection(), settings(), env_);
  }

  SystemEnv env_;
  RadiusData radius_;
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

TEST(ResolveEntry, QuadsAndLiteralsNeedNoLookup) {
  const auto resolve = [](const char* text) { return resolve_entry(parse_server_list(text).front()); };
  EXPECT_EQ(resolve("10.1.2.3"), IpAddress::v4(0x0A010203));
  EXPECT_EQ(resolve("10.1.2.256"), std::nullopt) << "a bad quad is never looked up";
  EXPECT_EQ(resolve("[::1]:1812"), loopback_address(AddressFamily::ipv6));
  EXPECT_EQ(resolve("::1"), loopback_address(AddressFamily::ipv6));
  EXPECT_EQ(resolve("[10.1.2.3]"), std::nullopt);
  EXPECT_EQ(resolve("localhost"), IpAddress::v4(kLoopback));
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
  set_last_socket_error(10061);
  EXPECT_EQ(socket_error_line(), "Connection Refused");
  set_last_socket_error(0);
}

TEST_F(RadiusTransportTest, OpensOneConnectedSocketPerServer) {
  settings().port = 1645;
  ASSERT_TRUE(connect_to("127.0.0.1:1812, [::1], localhost"));
  const std::vector<RadiusServer>& servers = connection().servers;
  ASSERT_EQ(servers.size(), 3u);
  EXPECT_EQ(servers[0].endpoint, (Endpoint{IpAddress::v4(kLoopback), 1812}));
  EXPECT_EQ(servers[1].endpoint, (Endpoint{loopback_address(AddressFamily::ipv6), 1645}));
  EXPECT_EQ(servers[2].endpoint, (Endpoint{IpAddress::v4(kLoopback), 1645}));
  EXPECT_EQ(servers[0].name, "127.0.0.1:1812");
  // IPv4 requests name the machine's address, IPv6 ones the socket's own.
  EXPECT_EQ(servers[0].nas_address, IpAddress::v4(host_address(local_host_name().c_str())));
  EXPECT_EQ(servers[1].nas_address, loopback_address(AddressFamily::ipv6));
  std::string text = log();
  for (const RadiusServer& server : servers) {
    const std::optional<Endpoint> local = udp_socket_local_endpoint(server.sock);
    ASSERT_TRUE(local);
    EXPECT_GT(local->port, 0);
    EXPECT_NE(text.find("Socket has been Bounded: " + std::to_string(local->port) + "\n"), std::string::npos);
  }
  EXPECT_NE(text.find("Got Server Name"), std::string::npos);
  EXPECT_EQ(out_, "");

  radius_close(log_, connection());
  EXPECT_FALSE(connection().open());
  radius_close(log_, connection());
  text = log();
  EXPECT_NE(text.find("Closing down RADIUS connection. {"), std::string::npos);
  EXPECT_NE(text.rfind("No need to close RADIUS connection - not open."), text.find("No need"));
}

TEST_F(RadiusTransportTest, PortZeroTakesTheServicesEntry) {
  settings().port = 0;
  ASSERT_TRUE(connect_to("127.0.0.1"));
  EXPECT_EQ(connection().servers[0].endpoint.port, service_port("radius", "udp").value_or(1645));
}

TEST_F(RadiusTransportTest, EntriesThatDoNotResolveAreSkippedWhenOthersDo) {
  ASSERT_TRUE(connect_to("10.1.2.256, 127.0.0.1, host:99999"));
  ASSERT_EQ(connection().servers.size(), 1u);
  EXPECT_EQ(connection().servers[0].endpoint.address, IpAddress::v4(kLoopback));
  const std::string text = log();
  EXPECT_NE(text.find("ERROR: -DEAD: Couldn't find host {10.1.2.256}"), std::string::npos);
  EXPECT_NE(text.find("ERROR: radius_host entry {host:99999} has no port from 1 to 65535 after its ':'"),
            std::string::npos);
  EXPECT_EQ(out_, "");
}

TEST_F(RadiusTransportTest, FailedOpenReportsOneWholeLine) {
  const std::pair<std::optional<std::string>, std::string> cases[] = {
      {std::nullopt, "-DEAD: Missing host field (add ini setting: radius_host localhost)"},
      {"10.1.2.256", "-DEAD: Couldn't find host {10.1.2.256}"},
      {"10..2.3", "-DEAD: Couldn't find host {10..2.3}"},
      {"10.1.2.3 and more", "-DEAD: Couldn't find host {10.1.2.3 and more}"},
      {"10.1.2.256, [zz::1]", "-DEAD: Couldn't find host {10.1.2.256, [zz::1]}"},
  };
  for (const auto& [host, text] : cases) {
    ASSERT_TRUE(connect_to("127.0.0.1"));  // a failed open also closes the sockets it had
    settings().host = host;
    EXPECT_EQ(radius_connect(log_, connection(), settings(), env_), text);
    EXPECT_FALSE(connection().open());
    EXPECT_NE(log().find("ERROR: " + text + "\n"), std::string::npos) << text;
  }
}

TEST_F(RadiusTransportTest, EnsureOpenOpensOnlyClosedSockets) {
  settings().host = "127.0.0.1";
  ASSERT_FALSE(radius_ensure_open(log_, connection(), settings(), env_));
  const SocketHandle first = connection().servers[0].sock;
  EXPECT_FALSE(radius_ensure_open(log_, connection(), settings(), env_));
  EXPECT_EQ(connection().servers[0].sock, first);
  settings().host.reset();
  radius_close(log_, connection());
  EXPECT_EQ(radius_ensure_open(log_, connection(), settings(), env_),
            "-DEAD: Missing host field (add ini setting: radius_host localhost)");
}

}  // namespace
}  // namespace vantorix
