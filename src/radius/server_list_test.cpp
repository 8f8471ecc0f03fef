#include "radius/server_list.h"

#include <gtest/gtest.h>

namespace vantorix {
namespace {

TEST(ServerList, ReadsNamesQuadsAndIpv6LiteralsWithOrWithoutPorts) {
  struct Expected {
    std::string host;
    bool ipv6;
    std::optional<std::uint16_t> port;
    bool port_invalid = false;
  };
  struct Case {
    const char* list;
    std::vector<Expected> entries;
  };
  const Case cases[] = {
      {"localhost", {{"localhost", false, std::nullopt}}},
      {"radius.example.org:1812", {{"radius.example.org", false, 1812}}},
      {"10.0.0.1 , 10.0.0.2:1645,\t[::1]:18120", {{"10.0.0.1", false, std::nullopt}, {"10.0.0.2", false, 1645},
                                                   {"::1", true, 18120}}},
      {"[fd00::2]", {{"fd00::2", true, std::nullopt}}},
      {"fd00::2", {{"fd00::2", true, std::nullopt}}},  // a bare literal names no port
      {"::1", {{"::1", true, std::nullopt}}},
      {" , ,a,, ", {{"a", false, std::nullopt}}},
      {"", {}},
      {"host:0", {{"host", false, std::nullopt, true}}},
      {"host:65536", {{"host", false, std::nullopt, true}}},
      {"host:", {{"host", false, std::nullopt, true}}},
      {"host:18x", {{"host", false, std::nullopt, true}}},
      {"[::1]x", {{"::1", true, std::nullopt, true}}},
      {"[::1", {{"[::1", false, std::nullopt}}},  // never resolves
      {"10.1.2.256", {{"10.1.2.256", false, std::nullopt}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.list);
    const std::vector<ServerEntry> entries = parse_server_list(c.list);
    ASSERT_EQ(entries.size(), c.entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
      EXPECT_EQ(entries[i].host, c.entries[i].host);
      EXPECT_EQ(entries[i].ipv6_literal, c.entries[i].ipv6);
      EXPECT_EQ(entries[i].port, c.entries[i].port);
      EXPECT_EQ(entries[i].port_invalid, c.entries[i].port_invalid);
    }
  }
  EXPECT_EQ(parse_server_list(" a:1 ,b ")[0].text, "a:1") << "the text as written, blanks removed";
}

// Which bare IPv6 entries are warned about: a last group that could be a port
// after what is an address on its own. "::1" and whole addresses are not.
TEST(ServerList, BareIpv6WhoseLastGroupLooksLikeAPort) {
  const struct {
    const char* entry;
    const char* address;  // null: not warned about
    const char* group;
  } cases[] = {
      {"::1:1812", "::1", "1812"},
      {"2001:db8::5:2083", "2001:db8::5", "2083"},
      {"::1", nullptr, nullptr},
      {"2001:db8::1812", nullptr, nullptr},  // "2001:db8:" is no address
      {"::1:70000", nullptr, nullptr},        // no port that large
      {"[::1]:1812", nullptr, nullptr},
      {"[::1:1812]", nullptr, nullptr},       // bracketed: meant whole
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.entry);
    const std::optional<PortLikeGroup> split = port_like_last_group(parse_server_list(c.entry).at(0));
    ASSERT_EQ(split.has_value(), c.address != nullptr);
    if (split) {
      EXPECT_EQ(split->address, c.address);
      EXPECT_EQ(split->group, c.group);
    }
  }
}

}  // namespace
}  // namespace vantorix
