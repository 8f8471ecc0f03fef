#include "pyrad_server.h"

#include <unistd.h>

#include <sstream>

#include "process_runner.h"

namespace vantorix::testing {
namespace {

// Debian's module is installed for Debian's own interpreter only.
constexpr const char* kPython = "/usr/bin/python3";
constexpr int kStartMilliseconds = 10000;

}  // namespace

PyradServer::PyradServer() {
  const std::string pyrad = source_dir() + "/tests/pyrad/";
  if (::access(kPython, X_OK) != 0) {
    failure_ = std::string(kPython) + " is missing";
    return;
  }
  if (!process_.start({kPython, pyrad + "pyrad_server.py", kSecret, pyrad + "dictionary", dir_.file("ready"),
                       dir_.file("requests.log")},
                      dir_.file("pyrad.out"))) {
    failure_ = "cannot start the pyrad server";
    return;
  }
  const bool ready = wait_until([this] { return !dir_.read("ready").empty() || !process_.running(); },
                                kStartMilliseconds);
  const std::string port = dir_.read("ready");
  if (!ready || port.empty()) {
    failure_ = "the pyrad server did not start (is python3-pyrad installed? scripts/install-deps.sh):\n" +
               dir_.read("pyrad.out");
    return;
  }
  port_ = static_cast<std::uint16_t>(std::stoi(port));
}

int PyradServer::requests_for(const std::string& user) const {
  std::istringstream lines(dir_.read("requests.log"));
  int count = 0;
  for (std::string line; std::getline(lines, line);) {
    if (line == "1 " + user) ++count;
  }
  return count;
}

}  // namespace vantorix::testing
