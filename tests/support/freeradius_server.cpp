#include "freeradius_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "process_runner.h"

namespace vantorix::testing {
namespace {

constexpr const char* kFreeRadius = "/usr/sbin/freeradius";
constexpr int kStartAttempts = 3;
constexpr auto kStartTimeout = std::chrono::seconds(5);
constexpr auto kStopTimeout = std::chrono::seconds(5);
constexpr int kProbeWaitMilliseconds = 100;

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void replace_all(std::string& text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

// A UDP port on 127.0.0.1 that was free a moment ago.
std::uint16_t free_udp_port() {
  int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return 0;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  std::uint16_t port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
    port = ntohs(address.sin_port);
  }
  ::close(fd);
  return port;
}

}  // namespace

FreeRadiusServer::FreeRadiusServer() {
  if (::access(kFreeRadius, X_OK) != 0) {
    failure_ = std::string(kFreeRadius) + " is missing: install the Debian package freeradius (scripts/install-deps.sh)";
    return;
  }
  for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
    failure_.clear();
    if (start()) return;
    stop();  // the port may have been taken in between: try another
  }
}

FreeRadiusServer::~FreeRadiusServer() { stop(); }

bool FreeRadiusServer::start() {
  port_ = free_udp_port();
  if (port_ == 0) {
    failure_ = "no free UDP port on 127.0.0.1";
    return false;
  }
  const std::string templates = source_dir() + "/tests/freeradius/";
  std::string config = read_file(templates + "radiusd.conf");
  std::string users = read_file(templates + "users");
  if (config.empty() || users.empty()) {
    failure_ = "cannot read " + templates + "radiusd.conf and users";
    return false;
  }
  replace_all(config, "@DIR@", dir_.path());
  replace_all(config, "@PORT@", std::to_string(port_));
  replace_all(config, "@SECRET@", kSecret);
  dir_.write("radiusd.conf", config);
  dir_.write("users", users);

  const std::string out_path = dir_.file("freeradius.out");
  pid_ = ::fork();
  if (pid_ < 0) {
    failure_ = "fork failed";
    return false;
  }
  if (pid_ == 0) {
    int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int null_in = ::open("/dev/null", O_RDONLY);
    if (out >= 0) {
      ::dup2(out, 1);
      ::dup2(out, 2);
    }
    if (null_in >= 0) ::dup2(null_in, 0);
    // Foreground, one thread, debug output: the output file says what the
    // server made of each request when a test fails.
    ::execl(kFreeRadius, kFreeRadius, "-X", "-d", dir_.path().c_str(), "-n", "radiusd", static_cast<char*>(nullptr));
    _exit(127);
  }

  const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      failure_ = "freeradius ended during start-up:\n" + output();
      return false;
    }
    if (answers_probe()) return true;
  }
  failure_ = "freeradius did not answer within 5 seconds:\n" + output();
  return false;
}

// Sends an Access-Request for a user nobody knows; any answer means the
// server is up.
bool FreeRadiusServer::answers_probe() {
  int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  std::vector<std::uint8_t> probe = {1, 0x42, 0, 0};
  for (int i = 0; i < 16; ++i) probe.push_back(static_cast<std::uint8_t>(i * 7 + 3));
  const std::string name = "probe";
  probe.push_back(1);
  probe.push_back(static_cast<std::uint8_t>(name.size() + 2));
  probe.insert(probe.end(), name.begin(), name.end());
  probe.push_back(2);
  probe.push_back(18);
  for (int i = 0; i < 16; ++i) probe.push_back(static_cast<std::uint8_t>(i));
  probe[3] = static_cast<std::uint8_t>(probe.size());

  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  to.sin_port = htons(port_);
  bool answered = false;
  if (::sendto(fd, probe.data(), probe.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) > 0) {
    pollfd entry{fd, POLLIN, 0};
    if (::poll(&entry, 1, kProbeWaitMilliseconds) > 0) {
      std::uint8_t reply[4096];
      answered = ::recv(fd, reply, sizeof reply, 0) >= 20;
    }
  }
  ::close(fd);
  if (!answered) std::this_thread::sleep_for(std::chrono::milliseconds(kProbeWaitMilliseconds));
  return answered;
}

void FreeRadiusServer::stop() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  const auto deadline = std::chrono::steady_clock::now() + kStopTimeout;
  int status = 0;
  while (::waitpid(pid_, &status, WNOHANG) != pid_) {
    if (std::chrono::steady_clock::now() >= deadline) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  pid_ = -1;
}

}  // namespace vantorix::testing
