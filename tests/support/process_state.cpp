#include "process_state.h"

#include "logging/log.h"
#include "platform/platform_state.h"
#include "platform/udp_socket.h"

namespace vantorix::testing {

void reset_process_state() {
  platform_state() = {};
  set_last_socket_error(0);
  log_state() = {};
  log_state().log_path.reset();
}

}  // namespace vantorix::testing
