// The client address of a "check" line, as the log may show it.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace vantorix {

/// The length of the IPv4 address (dotted quad, each group 0 to 255) or IPv6
/// address (RFC 4291 text form, "::" and a dotted-quad tail included, in
/// brackets or not) that `text` begins with, or 0 when it begins with none.
/// An address counts only when what follows it cannot continue it: the end,
/// or a character other than a letter, digit, '.' or ':' (a blank, a zone
/// after '%', a prefix after '/'), or a port after an IPv4 address's ':' or
/// an IPv6 address's "]:".
std::size_t ip_address_prefix(std::string_view text);

/// The text a log line shows for the fourth word group of a "check" command:
/// the group itself when it begins with an IPv4 or IPv6 address, "(hidden)"
/// otherwise, and null (shown as "(NULL)") when there is none. A password
/// with a blank in it is split by the line protocol, and its tail lands in
/// this group: it must not reach the log.
const char* client_address_for_log(const std::optional<std::string>& group);

}  // namespace vantorix
