#include "process_state.h"

#include "config/core_settings.h"
#include "frontend/backend_ops.h"
#include "frontend/dispatcher.h"
#include "logging/log.h"
#include "platform/platform_state.h"
#include "platform/udp_socket.h"
#include "radius/radius_data.h"
#include "radius/radius_transport.h"
#include "userstore/user_store.h"

namespace vantorix::testing {

void reset_process_state() {
  for (const RadiusServer& server : radius_data().connection.servers) {
    if (server.sock != kNoSocket) udp_socket_close(server.sock);
  }
  platform_state() = {};
  set_last_socket_error(0);
  log_state() = {};
  log_state().log_path.reset();
  core_settings() = {};
  backend_ops() = {};
  dispatch_state() = {};
  radius_data() = {};
  user_store() = {};
}

}  // namespace vantorix::testing
