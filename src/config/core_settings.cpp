#include "config/core_settings.h"

namespace vantorix {

CoreSettings& core_settings() {
  static CoreSettings settings;
  return settings;
}

}  // namespace vantorix
