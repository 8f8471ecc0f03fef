// The program's entry: switches, start-up, the read loop and the exit path.
#pragma once

#include <cstdio>
#include <string>

#include "config/core_settings.h"
#include "frontend/backend_ops.h"
#include "frontend/reply_writer.h"
#include "logging/log.h"
#include "platform/env.h"

namespace vantorix {

/// What the program runs with, built by main: the backend's slots, the front
/// end's settings, the log and the environment.
struct ProgramParts {
  const BackendOps& ops;
  CoreSettings& settings;
  ReplyWriter& out;  // the parent's lines, and through it the log
  Env& env;
};

/// Runs the program with `parts` and returns its exit status.
/// First puts the standard streams into their modes (console_start), switches
/// core dumps off and makes the signals of failed writes (file-size limit,
/// closed pipe) plain write errors, for the whole process.
int program_main(int argc, char** argv, const ProgramParts& parts);

/// `program_main` reading its commands from `input` instead of standard input.
/// The read loop ends at "exit" or "quit", at the end of the input, and once
/// standard output is found closed (see `Console::closed`).
int program_run(int argc, char** argv, std::FILE* input, const ProgramParts& parts);

/// The arguments from `first` up to `count` - 1, each followed by one space;
/// the empty text for an empty range.
std::string join_arguments(char** argv, int first, int count);

/// The exit path: logs "Closing Connection" and calls the close slot (when
/// filled), calls the free slot (when filled), writes out the log lines that
/// batches hold, and releases the log path of `log`.
void shutdown_backend(const BackendOps& ops, Log& log);

}  // namespace vantorix
