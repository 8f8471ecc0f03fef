#include "radius/radius_backend.h"

#include "frontend/help_info.h"
#include "radius/radius_check.h"
#include "radius/radius_probe.h"
#include "radius/radius_settings.h"
#include "radius/radius_transport.h"

namespace vantorix {

BackendOps radius_backend_ops() {
  BackendOps ops;
  ops.config = radius_config;
  ops.init = radius_init;
  ops.check_settings = radius_check_settings;
  ops.free = radius_free;
  ops.open = radius_open;
  ops.close = [] { radius_close(); };
  ops.exit = radius_exit;
  ops.check = radius_check;
  ops.lookup = radius_lookup;
  ops.help = show_help;
  ops.status = radius_status;
  ops.test_config = radius_test_config;
  return ops;
}

}  // namespace vantorix
