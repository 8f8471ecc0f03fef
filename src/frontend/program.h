// The program's entry: switches, start-up, the read loop and the exit path.
#pragma once

namespace vantorix {

/// Runs the program with the bound backend table and returns its exit status.
int program_main(int argc, char** argv);

}  // namespace vantorix
