// One reset for every test fixture: each subsystem's process-wide state back
// to what a fresh process starts with.
#pragma once

namespace vantorix::testing {

/// Closes an open RADIUS socket, then assigns every subsystem's state its
/// defaults: platform (hooks, random pool, console capture off), logging,
/// configuration, the backend table and dispatcher, the RADIUS record and
/// the user store. Unlike a fresh process, no log file is named, so a test
/// writes a log only where it points `log_state().log_path`.
void reset_process_state();

}  // namespace vantorix::testing
