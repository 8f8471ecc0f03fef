#include "config/core_settings.h"
#include "frontend/program.h"
#include "frontend/reply_writer.h"
#include "logging/log.h"
#include "platform/console.h"
#include "platform/env.h"
#include "radius/radius_backend.h"

// The program's objects, each owned here and passed down to what uses it.
int main(int argc, char** argv) {
  vantorix::SystemEnv env;
  vantorix::Console console;
  vantorix::Log log(console);
  vantorix::ReplyWriter out(console, log);
  vantorix::CoreSettings settings;
  vantorix::RadiusBackend backend(env, log, settings);
  const vantorix::BackendOps ops = backend.ops();
  return vantorix::program_main(argc, argv, {ops, settings, out, env});
}
