#include "platform/network.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace vantorix {
namespace {

TEST(Network, AddressesReadAndWriteInTheirUsualForms) {
  EXPECT_EQ(address_text(IpAddress::v4(0x0A010203)), "10.1.2.3");
  EXPECT_EQ(IpAddress::v4(0x0A010203).v4_host_order(), 0x0A010203u);
  EXPECT_EQ(endpoint_text({IpAddress::v4(0x7F000001), 1812}), "127.0.0.1:1812");
  EXPECT_EQ(endpoint_text({loopback_address(AddressFamily::ipv6), 1812}), "[::1]:1812");
  const std::optional<IpAddress> v6 = parse_ipv6_literal("fd00:0::2");
  ASSERT_TRUE(v6);
  EXPECT_EQ(address_text(*v6), "fd00::2");
  EXPECT_EQ(v6->v4_host_order(), 0u);
  EXPECT_FALSE(parse_ipv6_literal("10.1.2.3"));
  EXPECT_FALSE(parse_ipv6_literal("[::1]"));
  EXPECT_FALSE(parse_ipv6_literal(""));
  // The one parser of numeric addresses, and what an IPv6 literal adds to it.
  EXPECT_EQ(parse_ip_address("010.0.0.255"), IpAddress::v4(0x0A0000FF));
  EXPECT_EQ(address_text(parse_ip_address("1:2:3:4:5:6:7::").value_or(IpAddress{})), "1:2:3:4:5:6:7:0");
  EXPECT_EQ(address_text(parse_ip_address("::ffff:01.2.3.4").value_or(IpAddress{})), "::ffff:1.2.3.4");
  EXPECT_FALSE(parse_ipv6_literal("::ffff:01.2.3.4"));
  EXPECT_EQ(parse_ipv6_literal("::ffff:10.2.3.0"), parse_ip_address("::ffff:a02:300"));
  for (const char* text : {"1::2:3:4:5:6:7:8", "fe80::1%eth0", "::1/128", "1.2.3.4 ", "1.2.3", "12345::", ":1::"}) {
    EXPECT_FALSE(parse_ip_address(text)) << text;
  }
}

TEST(Network, NamesResolveWithoutTheNetwork) {
  // In the resolver's order, which may put ::1 first (Windows does).
  const std::vector<IpAddress> localhost = resolve_host_addresses("localhost");
  EXPECT_NE(std::find(localhost.begin(), localhost.end(), loopback_address(AddressFamily::ipv4)), localhost.end());
  EXPECT_EQ(resolve_host_addresses("127.0.0.1"), std::vector<IpAddress>{loopback_address(AddressFamily::ipv4)});
  EXPECT_EQ(resolve_host_addresses("::1"), std::vector<IpAddress>{loopback_address(AddressFamily::ipv6)});
  EXPECT_TRUE(resolve_host_addresses("").empty());
  EXPECT_TRUE(resolve_host_addresses(nullptr).empty());
  EXPECT_FALSE(local_host_name().empty());
  EXPECT_EQ(service_port("no-such-service-here", "udp"), std::nullopt);
}

}  // namespace
}  // namespace vantorix
