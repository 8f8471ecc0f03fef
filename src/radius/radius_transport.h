// The backend's UDP socket: opening, sending, waiting for a reply, closing,
// and the texts of socket errors.
#pragma once

#include <cstdint>

namespace vantorix {

/// Opens (after closing any open socket) and binds the socket to the configured
/// server. On failure logs the text with log_error and, when `report` is set,
/// writes it to standard output as one whole line; returns 0. 1 when open.
int radius_connect(bool report);

/// The open slot: `radius_connect(false)`.
int radius_open();

/// 1 at once when the socket is open, otherwise `radius_connect(true)`.
int radius_ensure_open();

/// The close slot: closes the socket when open (logging either way); always 1.
int radius_close();

/// IPv4 address of `host` in host byte order (dotted quads without a lookup);
/// 0 when it cannot be found.
std::uint32_t host_address(const char* host);
bool is_dotted_quad(const char* text);
std::uint32_t parse_dotted_quad(const char* text);

/// Sends `send_buf`/`send_len` to the server; the send call's result.
int send_request();

/// Waits at most 2 seconds for a datagram from the configured server (others
/// are dropped) into `recv_buf`; 0 when none came, else the receive result,
/// also stored in `recv_len`.
int receive_reply();

/// Text of the last socket error, ending in a line feed; the next call
/// overwrites it.
const char* socket_error_text();

}  // namespace vantorix
