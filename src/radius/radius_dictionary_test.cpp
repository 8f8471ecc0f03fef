#include "radius/radius_dictionary.h"

#include <gtest/gtest.h>

#include <string>

namespace vantorix {
namespace {

TEST(RadiusDictionary, FindsRowsByCode) {
  struct Case {
    int code;
    const char* name;
    AttributeType type;
  };
  for (const Case c : {Case{1, "User-Name", ATTR_STRING}, Case{2, "Password", ATTR_STRING},
                       Case{4, "NAS-IP-Address", ATTR_IPADDR}, Case{5, "NAS-Port-Id", ATTR_INTEGER},
                       Case{18, "Reply-Message", ATTR_STRING}, Case{21, "Expiration", ATTR_DATE},
                       Case{23, "Framed-IPX-Network", ATTR_IPADDR}, Case{26, "Vendor-Specific", ATTR_STRING},
                       Case{77, "Connect-Info", ATTR_STRING}, Case{146, "Ascend-Assign-IP-Global-Pool", ATTR_STRING},
                       Case{244, "Ascend-Idle-Limit", ATTR_INTEGER}, Case{1042, "Login-Time", ATTR_STRING}}) {
    SCOPED_TRACE(c.code);
    const std::optional<AttributeDef> row = dictionary_find(c.code);
    ASSERT_TRUE(row);
    EXPECT_STREQ(row->name, c.name);
    EXPECT_EQ(row->code, c.code);
    EXPECT_EQ(row->type, c.type);
  }
}

TEST(RadiusDictionary, CodesWithoutRowAreNotFound) {
  for (const int code : {0, 17, 52, 59, 78, 143, 245, 255, 256, 999, 1008, 1043, -1}) {
    EXPECT_FALSE(dictionary_find(code)) << code;
  }
}

}  // namespace
}  // namespace vantorix
