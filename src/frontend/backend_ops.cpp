#include "frontend/backend_ops.h"

namespace vantorix {

BackendOps& backend_ops() {
  static BackendOps ops;
  return ops;
}

}  // namespace vantorix
