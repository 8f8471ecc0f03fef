// The RADIUS backend as the tests of src/radius use it: built afresh for
// each test, with a log of its own, on a fake environment, so that its waits take virtual time,
// with its keys set as the configuration file would set them.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "config/core_settings.h"
#include "fake_env.h"
#include "fake_radius_server.h"
#include "logging/log.h"
#include "platform/console.h"
#include "radius/radius_backend.h"
#include "radius/radius_settings.h"
#include "radius/radius_transport.h"
#include "temp_dir.h"

namespace vantorix::testing {

class RadiusBackendTest : public ::testing::Test {
 protected:
  void SetUp() override { console_.capture(&output_); }
  void TearDown() override { radius_close(log_, radius_.connection); }

  /// Sets one key, as a line of the configuration file does.
  void radius_config(std::string_view key, std::string_view value) {
    radius_apply_key(log_, radius_.settings, users_.settings, key, value);
  }
  /// "127.0.0.1:PORT" or "[::1]:PORT" of a fake server.
  static std::string entry(const FakeRadiusServer& server, bool ipv6 = false) {
    return (ipv6 ? "[::1]:" : "127.0.0.1:") + std::to_string(server.port());
  }
  /// Points the backend at `servers` (a radius_host value) and opens them.
  void use(const std::string& servers) {
    radius_config("radius_host", servers);
    ASSERT_FALSE(radius_connect(log_, radius_.connection, radius_.settings, env_));
  }

  FakeEnv env_;
  Console console_;
  Log log_{console_};
  CoreSettings core_;
  RadiusBackend backend_{env_, log_, core_};
  RadiusData& radius_ = backend_.data();
  UserStore& users_ = backend_.users();
  std::string output_;
  TempDir dir_;
};

}  // namespace vantorix::testing
