// The RADIUS backend's slot table.
#pragma once

#include "frontend/backend_ops.h"

namespace vantorix {

/// The program's backend table: config, init, free, open, close, exit, check,
/// lookup and help filled; set, mod, del, search, extended and gen_file empty.
BackendOps radius_backend_ops();

}  // namespace vantorix
