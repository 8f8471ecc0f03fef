#include "radius/radius_backend.h"

#include "frontend/help_info.h"

namespace vantorix {

BackendOps radius_backend_ops() {
  BackendOps ops;
  ops.help = show_help;
  return ops;
}

}  // namespace vantorix
