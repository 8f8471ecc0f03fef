// One reset for every test fixture: the process-wide state back to what a
// fresh process starts with.
#pragma once

namespace vantorix::testing {

/// Assigns the state that is still process-wide its defaults: the
/// platform's (console capture off), the last socket error and the log.
/// Unlike a fresh process, no log file is named, so a test writes a log only
/// where it points `log_state().log_path`. Everything else a test builds as
/// objects of its own.
void reset_process_state();

}  // namespace vantorix::testing
