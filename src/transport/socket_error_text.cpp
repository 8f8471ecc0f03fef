#include "transport/socket_error_text.h"

#include <cstring>

#include "platform/network.h"
#include "text/text_format.h"

namespace vantorix {
namespace {

constexpr int kErrorTextSize = 1024;
// For a number without a text. Parents and other tools match the texts of
// this file byte for byte, "Unkown" included.
constexpr char kUnknownSocketError[] = "Socket Unkown error code %d \n";

struct SocketErrorText {
  int code;
  const char* text;
};

// Keyed by Windows Sockets numbers; the platform layer maps native errors onto them.
constexpr SocketErrorText kSocketErrorTexts[] = {
    {10004, "The (blocking) call was canceled via WSACancelBlockingCall.\n"},
    {10013, "The requested address is a broadcast address, but the appropriate flag was not set.\n"},
    {10014, "The buf argument is not in a valid part of the user address space.\n"},
    {10022, "The socket has not been bound with bind.\n"},
    {10035, "The socket is marked as non-blocking and the requested operation would block.\n"},
    {10036, "A blocking Windows Sockets operation is in progress.\n"},
    {10038, "The descriptor is not a socket.\n"},
    {10039, "DestAddrReq\n"},
    {10040,
     "The socket is of type SOCK_DGRAM, and the datagram is larger than the maximum supported by the "
     "Windows Sockets implementation.\n"},
    {10045, "MSG_OOB was specified, but the socket is not of type SOCK_STREAM.\n"},
    {10048, "Address in use\n"},
    {10049, "Address not avail\n"},
    {10050, "The Windows Sockets implementation has detected that the network subsystem has failed.\n"},
    {10051, "Network Unreachable\n"},
    {10052, "The connection must be reset because the Windows Sockets implementation dropped it.\n"},
    {10053, "The virtual circuit was aborted due to timeout or other failure.\n"},
    {10054, "The virtual circuit was reset by the remote side.\n"},
    {10055, "The Windows Sockets implementation reports a buffer deadlock.\n"},
    {10057, "The socket is not connected.\n"},
    {10058,
     "The socket has been shutdown; it is not possible to sendln on a socket after shutdown has been "
     "invoked with how set to 1 or 2.\n"},
    {10059, "Too many refs.\n"},
    {10060, "Timedout\n"},
    {10061, "Connection Refused\n"},
    {10063, "Name too long\n"},
    {10064, "Host down\n"},
    {10065, "Host Unreachable\n"},
    {10066, "Not Empty\n"},
    {10093, "A successful WSAStartup must occur before using this API.\n"},
};

}  // namespace

const char* socket_error_text() {
  static char area[kErrorTextSize];
  const int code = last_socket_error();
  for (const SocketErrorText& entry : kSocketErrorTexts) {
    if (entry.code == code) {
      copy_bounded(area, entry.text, kErrorTextSize);
      return area;
    }
  }
  text_format(area, kErrorTextSize, kUnknownSocketError, code);
  return area;
}

std::string socket_error_line() {
  std::string text = socket_error_text();
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

}  // namespace vantorix
