// The program's entry: switches, start-up, the read loop and the exit path.
#pragma once

#include <cstdio>
#include <string>

namespace vantorix {

/// Runs the program with the bound backend table and returns its exit status.
/// First puts the standard streams into their modes (console_start), switches
/// core dumps off and makes the signals of failed writes (file-size limit,
/// closed pipe) plain write errors, for the whole process.
int program_main(int argc, char** argv);

/// `program_main` reading its commands from `input` instead of standard input.
/// The read loop ends at "exit" or "quit", at the end of the input, and once
/// standard output is found closed (see `console_closed`).
int program_run(int argc, char** argv, std::FILE* input);

/// The arguments from `first` up to `count` - 1, each followed by one space;
/// the empty text for an empty range.
std::string join_arguments(char** argv, int first, int count);

/// The exit path: logs "Closing Connection" and calls the close slot (when
/// filled), calls the free slot (when filled), writes out the log lines that
/// batches hold, and releases the log path.
void shutdown_backend();

}  // namespace vantorix
