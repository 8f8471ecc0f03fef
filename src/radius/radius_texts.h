// The RADIUS backend's fixed texts: the "-DEAD" lines the parent reads and
// the log texts administrators look for. A "-DEAD" line written to standard
// output ends in kLineEnd.
// Matched by parents and other tools: keep every text byte for byte, odd
// spellings and wording included; a "fix" breaks whoever reads them.
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
inline constexpr char kBadEntryPort[] = "radius_host entry {%s} has no port from 1 to 65535 after its ':'";
inline constexpr char kTlsFailed[] = "-DEAD: TLS connection to %s failed {%s}";
inline constexpr char kTlsConnected[] = "TLS connection to %s made";
inline constexpr char kTlsKeyNotPrivate[] =
    "radius_tls_key {%s} can be read or written by other accounts, and it proves who this client is: "
    "make it private to this account (chmod 600)";
inline constexpr char kTlsClosedAfterHandshake[] =
    "the server closed the connection after the handshake (is a client certificate needed? "
    "radius_tls_cert, radius_tls_key)";
inline constexpr char kTlsNameExpected[] =
    "; the certificate does not name %s (radius_tls_server_name, or else the host as written in radius_host)";
inline constexpr char kTlsClosedWithCertificate[] =
    "the server closed the connection after the handshake (does it trust the CA of radius_tls_cert, and list "
    "this client?)";
inline constexpr char kTlsBadLength[] = "radius: closed the connection to %s: a packet's Length field says %d";
inline constexpr char kConnectFailed[] = "radius: cannot open a socket to %s {%s}; the server is skipped";

// Sending and receiving.
inline constexpr char kSendFailed[] = "radius: Sent %d bytes %s\n";
inline constexpr char kReceiveFailed[] = "radius: only got %d bytes %s\n";

// Requests and replies.
inline constexpr char kBadDigest[] = "-DEAD Received invalid reply digest from server";
inline constexpr char kBadLength[] = "Received invalid reply length from server (want %d/ got %d) {rad=%s}\n";
inline constexpr char kDroppedOtherRequest[] = "radius: dropped a reply from %s: identifier %d, the request's is %d";
inline constexpr char kDroppedBadMessageAuthenticator[] =
    "radius: dropped a reply from %s: its Message-Authenticator is wrong or not the only one";
inline constexpr char kDroppedMissingMessageAuthenticator[] =
    "radius: dropped a reply from %s: it carries no Message-Authenticator, which is required of this server";
inline constexpr char kDroppedNotAnAnswer[] =
    "radius: dropped a reply from %s: code %d does not answer an Access-Request (only 2, 3 and 11 do)";
inline constexpr char kChallenged[] =
    "radius: %s answered with an Access-Challenge (a second factor is configured for this user), "
    "which a mail login cannot answer: refused";
inline constexpr char kChallengedWithMessage[] =
    "radius: %s answered with an Access-Challenge (a second factor is configured for this user), "
    "which a mail login cannot answer: refused; Reply-Message {%s}";
inline constexpr char kMessageAuthenticatorNowRequired[] =
    "radius: %s sent a valid Message-Authenticator, so radius_require_message_authenticator auto now "
    "requires one of it: its replies without one are dropped from now on";
inline constexpr char kDroppedLate[] =
    "radius: dropped a reply from %s: identifier %d answers no request of this check";
inline constexpr char kDroppedRepeat[] = "radius: dropped a reply from %s: a repeat of an answer already taken";
inline constexpr char kBadDigestWaiting[] =
    "radius: a reply from %s has a wrong Response Authenticator; waiting %d ms for a valid one";
inline constexpr char kUnknownAttribute[] = "radius: Received unknown attribute %d\n";
inline constexpr char kAttributeTooLong[] = "radius: attribute %d too long, %d >= %d\n";
inline constexpr char kAttributeOfUnknownType[] = "radius:     %s (Unknown Type %d)\n";
inline constexpr char kAttributePastEnd[] = "radius: attribute %d runs past the end of the reply\n";
inline constexpr char kNameTooLong[] = "radius: user name of %d bytes is too long to send (at most %d)";
inline constexpr char kPasswordTooLong[] = "radius: password of %d bytes is too long to send (at most %d)";
inline constexpr char kSecretTooLong[] = "radius: shared secret is longer than %d bytes";
inline constexpr char kNoRandomBytes[] = "radius: no random bytes for the request authenticator";
inline constexpr char kRequestTooLarge[] = "radius: request does not fit the send buffer";
inline constexpr char kVendorLayoutBroken[] =
    "radius: Vendor-Specific attribute of vendor %u is not in the standard layout (radius_vsa_format standard)";

// Check and lookup.
inline constexpr char kAttachedDomain[] = "...Attached default domain {%s}";
inline constexpr char kDomainNameTooLong[] = "radius: user name with the default domain would be longer than %d characters";
inline constexpr char kChecking[] = "...Checking: User='%s'   Pass='xxxx'  IP='%s'";
inline constexpr char kLookup[] = "...Lookup: User='%s'";
inline constexpr char kSendResponse[] = "rad_send response: %d\n";
inline constexpr char kReadResponse[] = "rad_read response: %d\n";
inline constexpr char kDecodeResponse[] = "rad_decode response: %d\n";

// Servers that do not answer, come back, and the health lines of info. One
// line per event, naming the server.
inline constexpr char kServerSilent[] = "radius: no valid reply from %s within %s; marked dead for %d s";
inline constexpr char kServerSilentNoMemory[] = "radius: no valid reply from %s within %s";
inline constexpr char kServerRefused[] =
    "radius: %s refused the request: nothing listens at that port (check radius_host and the port, and that "
    "the server runs); marked dead for %d s";
inline constexpr char kServerRefusedNoMemory[] =
    "radius: %s refused the request: nothing listens at that port (check radius_host and the port, and that "
    "the server runs)";
inline constexpr char kWatchdogExpired[] =
    "radius: %s answered neither the request nor a Status-Server within %s; marked dead for %d s";
inline constexpr char kWatchdogExpiredNoMemory[] =
    "radius: %s answered neither the request nor a Status-Server within %s";
inline constexpr char kServerAlive[] = "radius: %s answers again: marked live";
inline constexpr char kProbing[] = "radius: %s is dead and its dead time is over: asking it with Status-Server";
inline constexpr char kTlsClosedByServer[] = "radius: the TLS connection to %s was closed; connecting again";
inline constexpr char kNoServerAnsweredRefused[] = "radius: no valid reply from any server: %s";

inline constexpr char kNoServerAnswered[] =
    "radius: no valid reply from any server: %s; a wrong radius_secret looks the same, since a server "
    "that checks Message-Authenticator (FreeRADIUS does) drops a request signed with another secret "
    "without answering";
inline constexpr char kServerHealth[] =
    "+DATA     Server = %s %s, requests %s, accepts %s, rejects %s, no reply %s, last round trip %s, "
    "Status-Server %s, last probe %s%s";

// Settings.
inline constexpr char kSettingUp[] = "Setting up Radius data";
inline constexpr char kSecretRefused[] = "radius_secret is longer than %d characters; the previous secret stays";
inline constexpr char kNumberOutOfRange[] = "%s {%s} is not a number from %d to %d; %d is used";
inline constexpr char kUnknownWord[] = "%s {%s} is not one of %s; the previous setting stays";
inline constexpr char kNasIdentifierTooLong[] =
    "radius_nas_identifier is longer than %d characters; the previous setting stays";
inline constexpr char kPortNotANumber[] =
    "radius_port {%s} is not a number from 0 to 65535: port %d will be used; write the server's port, "
    "for example 1812";
inline constexpr char kNoSecret[] =
    "radius_secret is not set: requests are signed with the placeholder {%s}, which no server shares, so every "
    "server will drop them; set radius_secret to the secret of this machine's client entry on the server";
inline constexpr char kBareIpv6Port[] =
    "radius_host entry {%s} is read as the IPv6 address %s with port %d; if %s is meant as the port, write "
    "[%s]:%s";
inline constexpr char kPortNotANumberServices[] =
    "radius_port {%s} is not a number from 0 to 65535: it reads as 0, so the radius/udp entry of the "
    "services database (or 1645 without one) will be used; write the server's port, for example 1812";

}  // namespace vantorix::radius_text
