// The backend's UDP socket: opening, sending, waiting for a reply, closing,
// and the texts of socket errors.
#pragma once

#include <cstdint>

#include "frontend/backend_ops.h"
#include "radius/radius_data.h"

namespace vantorix {

/// Opens (after closing any open socket) and binds a socket to the server of
/// `settings`. On failure logs the text with log_error and, when `report` is
/// set, writes it to standard output as one whole line; returns false.
bool radius_connect(RadiusConnection& connection, const RadiusSettings& settings, bool report);

/// True at once when the socket is open, otherwise `radius_connect` with report.
bool radius_ensure_open(RadiusConnection& connection, const RadiusSettings& settings);

/// Closes the socket when open (logging either way).
void radius_close(RadiusConnection& connection);

/// The open slot: `radius_connect` without report on the process-wide record.
SlotResult radius_open();

/// The close slot: `radius_close` on the process-wide record.
void radius_close();

/// IPv4 address of `host` in host byte order (dotted quads without a lookup);
/// 0 when it cannot be found.
std::uint32_t host_address(const char* host);
bool is_dotted_quad(const char* text);
std::uint32_t parse_dotted_quad(const char* text);

/// Sends the exchange's `send_buf`/`send_len` to the server; the send call's result.
int send_request(const RadiusConnection& connection, const RadiusExchange& exchange);

/// Waits at most 2 seconds for a datagram from the server (others are
/// dropped) into `recv_buf`; 0 when none came, else the receive result, also
/// stored in `recv_len`.
int receive_reply(const RadiusConnection& connection, RadiusExchange& exchange);

/// Text of the last socket error, ending in a line feed; the next call
/// overwrites it.
const char* socket_error_text();

}  // namespace vantorix
