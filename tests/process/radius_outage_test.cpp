// Several helper processes, as a busy mail server runs them, against three
// real FreeRADIUS servers while one of them is made silent (SIGSTOP) or is
// killed: what an outage costs the users, and how soon traffic comes back.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "freeradius_server.h"
#include "process_runner.h"
#include "temp_dir.h"

namespace vantorix::testing {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A check slower than this is a stall a user notices.
constexpr double kStallSeconds = 1.0;

struct Check {
  double started = 0;  // seconds since the run began
  double seconds = 0;
  std::string answer;
};

class RadiusOutageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FreeRadiusOptions options;
    options.status_server = true;
    for (auto& server : servers_) {
      server = std::make_unique<FreeRadiusServer>(options);
      ASSERT_TRUE(server->running()) << server->failure();
    }
  }
  std::string hosts() const {
    std::string list;
    for (const auto& server : servers_) {
      if (!list.empty()) list.append(",");
      list.append("127.0.0.1:").append(std::to_string(server->port()));
    }
    return list;
  }
  void configure(const std::string& extra) {
    dir_.write("vantorix.ini", "radius_host " + hosts() + "\nradius_secret " + FreeRadiusServer::kSecret +
                                   "\nradius_user_file " + dir_.file("users.dat") + "\n" + extra);
  }
  std::unique_ptr<ChildProcess> helper() {
    auto process = std::make_unique<ChildProcess>(std::vector<std::string>{vantorix_binary(), "-path", dir_.path()},
                                                  in_directory(dir_.path()));
    EXPECT_TRUE(process->started());
    return process;
  }
  // Access-Requests a server has taken so far.
  int requests_at(int server) const {
    const std::string output = servers_[server]->output();
    int count = 0;
    for (std::size_t at = output.find("Received Access-Request"); at != std::string::npos;
         at = output.find("Received Access-Request", at + 1)) {
      ++count;
    }
    return count;
  }

  std::unique_ptr<FreeRadiusServer> servers_[3];
  TempDir dir_;
};

// Each helper checks one user every 50 ms until `end`, on a thread of its own.
std::vector<std::vector<Check>> drive(std::vector<std::unique_ptr<ChildProcess>>& helpers, Clock::time_point begin,
                                      Clock::time_point end) {
  std::vector<std::vector<Check>> checks(helpers.size());
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < helpers.size(); ++i) {
    threads.emplace_back([&, i] {
      while (Clock::now() < end) {
        const auto start = Clock::now();
        helpers[i]->send("check alice secret\n");
        const std::optional<std::string> line = helpers[i]->read_line(15s);
        const auto done = Clock::now();
        checks[i].push_back({std::chrono::duration<double>(start - begin).count(),
                             std::chrono::duration<double>(done - start).count(), line.value_or("(none)")});
        std::this_thread::sleep_for(50ms);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  return checks;
}

TEST_F(RadiusOutageTest, SilentServerCostsSecondsAndTrafficComesBack) {
  // Dead for 5 s, so that its dead time runs out while it is still silent.
  configure("radius_dead_time 5\n");
  std::vector<std::unique_ptr<ChildProcess>> helpers;
  for (int i = 0; i < 4; ++i) helpers.push_back(helper());
  const auto begin = Clock::now();
  const double silent_from = 2, silent_until = 16, end = 22;
  std::thread outage([&] {
    std::this_thread::sleep_until(begin + 2s);
    ::kill(servers_[0]->pid(), SIGSTOP);
    std::this_thread::sleep_until(begin + 16s);
    ::kill(servers_[0]->pid(), SIGCONT);
  });
  // Traffic on the first server shortly after it is back, and 5 s later.
  int back_at = 0, five_later = 0;
  std::thread counter([&] {
    std::this_thread::sleep_until(begin + 17s);  // what queued while it was stopped is read by then
    back_at = requests_at(0);
    std::this_thread::sleep_until(begin + 21s);
    five_later = requests_at(0);
  });
  const auto checks = drive(helpers, begin, begin + std::chrono::seconds(static_cast<int>(end)));
  outage.join();
  counter.join();

  for (std::size_t i = 0; i < checks.size(); ++i) {
    SCOPED_TRACE("helper " + std::to_string(i));
    double stalled = 0;
    for (const Check& check : checks[i]) {
      EXPECT_EQ(check.answer, "+OK alice config 0") << "at " << check.started << " s";
      if (check.seconds > kStallSeconds) {
        stalled += check.seconds;
        // Once the server is known dead, the end of its dead time costs nothing.
        EXPECT_LT(check.started, silent_from + 1) << "a stall of " << check.seconds << " s at " << check.started;
      }
    }
    EXPECT_LE(stalled, 5.0) << "the watchdog gives a silent server up in about 4 s";
    EXPECT_GT(checks[i].size(), 100u);
  }
  EXPECT_GT(five_later, back_at) << "traffic back on the returned server within 5 s";
  (void)silent_until;
}

TEST_F(RadiusOutageTest, KilledServerIsRevivedAndBalanceSpreadsTheLoad) {
  configure("radius_dead_time 5\nradius_server_order balance\n");
  // Helpers until their process ids start them at every server.
  std::vector<std::unique_ptr<ChildProcess>> helpers;
  std::set<int> starts;
  while (starts.size() < 3 && helpers.size() < 12) {
    helpers.push_back(helper());
    starts.insert(static_cast<int>(helpers.back()->pid() % 3));
  }
  ASSERT_EQ(starts.size(), 3u);
  const auto begin = Clock::now();
  int before[3];
  for (int i = 0; i < 3; ++i) before[i] = requests_at(i);
  int back_at = 0, five_later = 0;
  std::thread outage([&] {
    std::this_thread::sleep_until(begin + 2s);
    for (int i = 0; i < 3; ++i) EXPECT_GT(requests_at(i), before[i]) << "server " << i << " carries a share";
    servers_[1]->stop();
    std::this_thread::sleep_until(begin + 10s);
    EXPECT_TRUE(servers_[1]->restart()) << servers_[1]->failure();
    back_at = requests_at(1);
    std::this_thread::sleep_until(begin + 15s);
    five_later = requests_at(1);
  });
  const auto checks = drive(helpers, begin, begin + 16s);
  outage.join();
  for (std::size_t i = 0; i < checks.size(); ++i) {
    for (const Check& check : checks[i]) {
      EXPECT_EQ(check.answer, "+OK alice config 0") << "helper " << i << " at " << check.started << " s";
      EXPECT_LT(check.seconds, kStallSeconds) << "a closed port is seen at once";
    }
  }
  EXPECT_GT(five_later, back_at) << "traffic back on the restarted server within 5 s";
}

}  // namespace
}  // namespace vantorix::testing
