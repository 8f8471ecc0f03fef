#include "config/core_settings.h"
#include "frontend/program.h"
#include "logging/log.h"
#include "platform/env.h"
#include "radius/radius_backend.h"

int main(int argc, char** argv) {
  vantorix::SystemEnv env;
  vantorix::CoreSettings settings;
  vantorix::RadiusBackend backend(env, settings);
  const vantorix::BackendOps ops = backend.ops();
  return vantorix::program_main(argc, argv, {ops, settings, vantorix::log_state(), env});
}
