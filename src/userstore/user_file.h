// Loading the user file into the user table.
#pragma once

namespace vantorix {

/// Brings the user table up to date with the user file (`user_file_name` of
/// the backend table). Called by every check and lookup once the socket is open.
void user_file_load();

}  // namespace vantorix
