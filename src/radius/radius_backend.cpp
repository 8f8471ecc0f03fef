#include "radius/radius_backend.h"

#include "radius/radius_check.h"
#include "radius/radius_probe.h"
#include "radius/radius_settings.h"
#include "radius/radius_transport.h"

namespace vantorix {

BackendOps RadiusBackend::ops() {
  BackendOps ops;
  ops.config = [this](std::string_view key, std::string_view value) {
    return radius_apply_key(log_, data_.settings, users_.settings, key, value);
  };
  ops.init = [this] { radius_init(log_, data_, users_); };
  ops.check_settings = [this] { radius_check_settings(log_, data_.settings, users_.settings); };
  ops.free = [this] { radius_free(data_.settings, users_); };
  ops.open = [this] {
    return radius_connect(log_, data_.connection, data_.settings, env_) ? kSlotNegative : kSlotSuccess;
  };
  ops.close = [this] { radius_close(log_, data_.connection); };
  ops.exit = [](CommandWords&) { return kSlotSuccess; };
  ops.check = [this](CommandWords& words) {
    return check_user(log_, data_, users_, env_, core_.default_domain, words);
  };
  ops.lookup = [this](CommandWords& words) {
    return lookup_user(log_, data_, users_, env_, core_.default_domain, words);
  };
  ops.help = [](CommandWords&) { return std::vector<std::string>{}; };
  ops.status = [this] {
    return server_health_lines(data_.connection, data_.settings.transport == Transport::udp, env_.now_ms());
  };
  ops.test_config = [this](const char* user, const char* password) {
    return radius_test_config(log_, data_, users_, env_, user, password);
  };
  return ops;
}

}  // namespace vantorix
