// The RADIUS backend's fixed texts: the "-DEAD" lines the parent reads and
// the log texts administrators look for. A "-DEAD" line written to standard
// output ends in kLineEnd.
#pragma once

namespace vantorix::radius_text {

// Opening the socket.
inline constexpr char kNoSocketsLog[] = "-ERR: Couldn't find WINSTOCK";
inline constexpr char kNoSockets[] = "-DEAD: Couldn't find WINSTOCK";
inline constexpr char kMissingHost[] = "-DEAD: Missing host field (add ini setting: radius_host localhost)";
inline constexpr char kUnknownHost[] = "-DEAD: Couldn't find host {%s}";
inline constexpr char kSocketError[] = "-DEAD: Socket error {%s}";
inline constexpr char kGotServer[] = "Got Server Name";
inline constexpr char kBinding[] = "Attempting to Bind Socket";
inline constexpr char kBound[] = "Socket has been Bounded: %d";
inline constexpr char kNotOpen[] = "No need to close RADIUS connection - not open.";
inline constexpr char kClosing[] = "Closing down RADIUS connection. {%d}";

// Sending and receiving.
inline constexpr char kSendFailed[] = "radius: Sent %d bytes %s\n";
inline constexpr char kReceiveFailed[] = "radius: only got %d bytes %s\n";
inline constexpr char kForeignDatagram[] = "radius: Ignored a datagram of %d bytes from %u.%u.%u.%u:%u, not the server";
inline constexpr char kUnknownSocketError[] = "Socket Unkown error code %d \n";

// Requests and replies.
inline constexpr char kBadDigest[] = "-DEAD Received invalid reply digest from server";
inline constexpr char kBadLength[] = "Received invalid reply length from server (want %d/ got %d) {rad=%s}\n";
inline constexpr char kUnknownAttribute[] = "radius: Received unknown attribute %d\n";
inline constexpr char kAttributeTooLong[] = "radius: attribute %d too long, %d >= %d\n";
inline constexpr char kAttributeOfUnknownType[] = "radius:     %s (Unknown Type %d)\n";
inline constexpr char kAttributePastEnd[] = "radius: attribute %d runs past the end of the reply\n";
inline constexpr char kNameTooLong[] = "radius: user name of %d bytes is too long to send (at most %d)";
inline constexpr char kPasswordTooLong[] = "radius: password of %d bytes is too long to send (at most %d)";
inline constexpr char kSecretTooLong[] = "radius: shared secret is longer than %d bytes";
inline constexpr char kNoRandomBytes[] = "radius: no random bytes for the request authenticator";
inline constexpr char kRequestTooLarge[] = "radius: request does not fit the send buffer";

// Check and lookup.
inline constexpr char kAttachedDomain[] = "...Attached default domain {%s}";
inline constexpr char kDomainNameTooLong[] = "radius: user name with the default domain would be longer than %d characters";
inline constexpr char kChecking[] = "...Checking: User='%s'   Pass='xxxx'  IP='%s'";
inline constexpr char kLookup[] = "...Lookup: User='%s'";
inline constexpr char kSendResponse[] = "rad_send response: %d\n";
inline constexpr char kReadResponse[] = "rad_read response: %d\n";
inline constexpr char kDecodeResponse[] = "rad_decode response: %d\n";

// Settings.
inline constexpr char kSettingUp[] = "Setting up Radius data";
inline constexpr char kSecretRefused[] = "radius_secret is longer than %d characters; the previous secret stays";
inline constexpr char kPortNotANumber[] =
    "radius_port {%s} is not a number from 0 to 65535: port %d will be used; write the server's port, "
    "for example 1812";
inline constexpr char kPortNotANumberServices[] =
    "radius_port {%s} is not a number from 0 to 65535: it reads as 0, so the radius/udp entry of the "
    "services database (or 1645 without one) will be used; write the server's port, for example 1812";

}  // namespace vantorix::radius_text
