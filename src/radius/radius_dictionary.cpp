#include "radius/radius_dictionary.h"

#include <string_view>

namespace vantorix {

// Row 5 names code 5 "NAS-Port-Id" and row 2 names code 2 "Password"; both are
// what the requests carry as NAS-Port and User-Password.
constexpr std::array<AttributeDef, kDictionaryRows + 1> radius_dictionary = {{
    {"User-Name", 1, ATTR_STRING},
    {"Password", 2, ATTR_STRING},
    {"CHAP-Password", 3, ATTR_STRING},
    {"NAS-IP-Address", 4, ATTR_IPADDR},
    {"NAS-Port-Id", 5, ATTR_INTEGER},
    {"Service-Type", 6, ATTR_INTEGER},
    {"Framed-Protocol", 7, ATTR_INTEGER},
    {"Framed-IP-Address", 8, ATTR_IPADDR},
    {"Framed-IP-Netmask", 9, ATTR_IPADDR},
    {"Framed-Routing", 10, ATTR_INTEGER},
    {"Filter-Id", 11, ATTR_STRING},
    {"Framed-MTU", 12, ATTR_INTEGER},
    {"Framed-Compression", 13, ATTR_INTEGER},
    {"Login-IP-Host", 14, ATTR_IPADDR},
    {"Login-Service", 15, ATTR_INTEGER},
    {"Login-TCP-Port", 16, ATTR_INTEGER},
    {"Reply-Message", 18, ATTR_STRING},
    {"Callback-Number", 19, ATTR_STRING},
    {"Callback-Id", 20, ATTR_STRING},
    {"Expiration", 21, ATTR_DATE},
    {"Framed-Route", 22, ATTR_STRING},
    {"Framed-IPX-Network", 23, ATTR_IPADDR},
    {"State", 24, ATTR_STRING},
    {"Class", 25, ATTR_STRING},
    {"Vendor-Specific", 26, ATTR_STRING},
    {"Session-Timeout", 27, ATTR_INTEGER},
    {"Idle-Timeout", 28, ATTR_INTEGER},
    {"Termination-Action", 29, ATTR_INTEGER},
    {"Called-Station-Id", 30, ATTR_STRING},
    {"Calling-Station-Id", 31, ATTR_STRING},
    {"NAS-Identifier", 32, ATTR_STRING},
    {"Proxy-State", 33, ATTR_STRING},
    {"Login-LAT-Service", 34, ATTR_STRING},
    {"Login-LAT-Node", 35, ATTR_STRING},
    {"Login-LAT-Group", 36, ATTR_STRING},
    {"Framed-AppleTalk-Link", 37, ATTR_INTEGER},
    {"Framed-AppleTalk-Network", 38, ATTR_INTEGER},
    {"Framed-AppleTalk-Zone", 39, ATTR_STRING},
    {"Acct-Status-Type", 40, ATTR_INTEGER},
    {"Acct-Delay-Time", 41, ATTR_INTEGER},
    {"Acct-Input-Octets", 42, ATTR_INTEGER},
    {"Acct-Output-Octets", 43, ATTR_INTEGER},
    {"Acct-Session-Id", 44, ATTR_STRING},
    {"Acct-Authentic", 45, ATTR_INTEGER},
    {"Acct-Session-Time", 46, ATTR_INTEGER},
    {"Acct-Input-Packets", 47, ATTR_INTEGER},
    {"Acct-Output-Packets", 48, ATTR_INTEGER},
    {"Acct-Terminate-Cause", 49, ATTR_INTEGER},
    {"Acct-Multi-Session-Id", 50, ATTR_STRING},
    {"Acct-Link-Count", 51, ATTR_INTEGER},
    {"CHAP-Challenge", 60, ATTR_STRING},
    {"NAS-Port-Type", 61, ATTR_INTEGER},
    {"Port-Limit", 62, ATTR_INTEGER},
    {"Login-LAT-Port", 63, ATTR_INTEGER},
    {"Connect-Info", 77, ATTR_STRING},
    {"Ascend-Assign-IP-Client", 144, ATTR_IPADDR},
    {"Ascend-Assign-IP-Server", 145, ATTR_IPADDR},
    {"Ascend-Assign-IP-Global-Pool", 146, ATTR_STRING},
    {"Ascend-DHCP-Reply", 147, ATTR_INTEGER},
    {"Ascend-DHCP-Pool-Number", 148, ATTR_INTEGER},
    {"Ascend-Expect-Callback", 149, ATTR_INTEGER},
    {"Ascend-Event-Type", 150, ATTR_INTEGER},
    {"Ascend-Session-Svr-Key", 151, ATTR_STRING},
    {"Ascend-Multicast-Rate-Limit", 152, ATTR_INTEGER},
    {"Ascend-IF-Netmask", 153, ATTR_IPADDR},
    {"Ascend-Remote-Addr", 154, ATTR_IPADDR},
    {"Ascend-Multicast-Client", 155, ATTR_INTEGER},
    {"Ascend-FR-Circuit-Name", 156, ATTR_STRING},
    {"Ascend-FR-Linkup", 157, ATTR_INTEGER},
    {"Ascend-FR-Nailed-Grp", 158, ATTR_INTEGER},
    {"Ascend-FR-Type", 159, ATTR_INTEGER},
    {"Ascend-FR-Link-Mgt", 160, ATTR_INTEGER},
    {"Ascend-FR-N391", 161, ATTR_INTEGER},
    {"Ascend-FR-DCE-N392", 162, ATTR_INTEGER},
    {"Ascend-FR-DTE-N392", 163, ATTR_INTEGER},
    {"Ascend-FR-DCE-N393", 164, ATTR_INTEGER},
    {"Ascend-FR-DTE-N393", 165, ATTR_INTEGER},
    {"Ascend-FR-T391", 166, ATTR_INTEGER},
    {"Ascend-FR-T392", 167, ATTR_INTEGER},
    {"Ascend-Bridge-Address", 168, ATTR_STRING},
    {"Ascend-TS-Idle-Limit", 169, ATTR_INTEGER},
    {"Ascend-Maximum-Time", 194, ATTR_INTEGER},
    {"Huntgroup-Name", 221, ATTR_STRING},
    {"Ascend-Idle-Limit", 244, ATTR_INTEGER},
    {"Auth-Type", 1000, ATTR_INTEGER},
    {"Menu", 1001, ATTR_STRING},
    {"Termination-Menu", 1002, ATTR_STRING},
    {"Prefix", 1003, ATTR_STRING},
    {"Suffix", 1004, ATTR_STRING},
    {"Group", 1005, ATTR_STRING},
    {"Crypt-Password", 1006, ATTR_STRING},
    {"Connect-Rate", 1007, ATTR_INTEGER},
    {"User-Category", 1029, ATTR_STRING},
    {"Group-Name", 1030, ATTR_STRING},
    {"Simultaneous-Use", 1034, ATTR_INTEGER},
    {"Strip-User-Name", 1035, ATTR_INTEGER},
    {"Fall-Through", 1036, ATTR_INTEGER},
    {"Add-Port-To-IP-Address", 1037, ATTR_INTEGER},
    {"Exec-Program", 1038, ATTR_STRING},
    {"Exec-Program-Wait", 1039, ATTR_STRING},
    {"Hint", 1040, ATTR_STRING},
    {"Pam-Auth", 1041, ATTR_STRING},
    {"Login-Time", 1042, ATTR_STRING},
    {nullptr, 0, ATTR_STRING},
}};

namespace {

// Every row has a name of at most kMaxAttributeName characters, the row after
// the last one has none, and no code stands in two rows.
constexpr bool dictionary_well_formed() {
  for (int i = 0; i < kDictionaryRows; ++i) {
    const AttributeDef& row = radius_dictionary[i];
    if (row.name == nullptr) return false;
    if (std::string_view(row.name).size() > static_cast<std::size_t>(kMaxAttributeName)) return false;
    for (int j = 0; j < i; ++j) {
      if (radius_dictionary[j].code == row.code) return false;
    }
  }
  return radius_dictionary[kDictionaryRows].name == nullptr;
}
static_assert(dictionary_well_formed());

}  // namespace

std::optional<AttributeDef> dictionary_find(std::int32_t code) {
  for (const AttributeDef& row : radius_dictionary) {
    if (row.name == nullptr) break;
    if (row.code == code) return row;
  }
  return std::nullopt;
}

}  // namespace vantorix
