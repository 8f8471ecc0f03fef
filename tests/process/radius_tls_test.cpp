// The real program against a real FreeRADIUS with a TLS listener (RFC 6614),
// with throwaway certificates.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "child_process.h"
#include "freeradius_server.h"
#include "process_runner.h"
#include "temp_dir.h"

namespace vantorix::testing {
namespace {

using namespace std::chrono_literals;

class RadiusTlsTest : public ::testing::Test {
 protected:
  // What the configuration gives as this client's certificate and key.
  enum class Client { kOwn, kNone, kOtherCa, kCertificateOnly };

  // A configuration for `server` over TLS; `client` says which client files
  // it names, `extra` adds lines.
  void configure(const FreeRadiusServer& server, const std::string& extra = "", Client client = Client::kOwn,
                 const std::string& ca = "") {
    const TlsFiles& files = server.tls_files();
    std::string text = "radius_host 127.0.0.1:" + std::to_string(server.tls_port()) + "\n"
                       "radius_transport tls\n"
                       "radius_tls_ca " + (ca.empty() ? files.ca_file : ca) + "\n"
                       "radius_user_file " + dir_.file("users.dat") + "\n"
                       "radius_timeout 3\n"
                       "log true\n"
                       "log_path " + dir_.file("vantorix.log") + "\n";
    if (client == Client::kOwn) {
      text += "radius_tls_cert " + files.client_certificate + "\nradius_tls_key " + files.client_key + "\n";
    } else if (client == Client::kOtherCa) {
      text += "radius_tls_cert " + files.other_client_certificate + "\nradius_tls_key " + files.other_client_key + "\n";
    } else if (client == Client::kCertificateOnly) {
      text += "radius_tls_cert " + files.client_certificate + "\n";
    }
    dir_.write("vantorix.ini", text + extra);
  }
  ProcessResult run(const std::string& input) {
    ProcessResult result = run_process({vantorix_binary(), "-path", dir_.path()}, input, in_directory(dir_.path()));
    EXPECT_FALSE(result.timed_out);
    EXPECT_EQ(result.exit_status, 0) << result.err;
    return result;
  }
  static FreeRadiusOptions tls_options() {
    FreeRadiusOptions options;
    options.tls = true;
    return options;
  }
  std::string log() const { return dir_.read("vantorix.log"); }

  TempDir dir_;
};

TEST_F(RadiusTlsTest, ChecksAndLookupsGoOverTls) {
  FreeRadiusServer server(tls_options());
  ASSERT_TRUE(server.running()) << server.failure();
  configure(server);
  EXPECT_EQ(run("check alice secret\ncheck alice wrong\ncheck carol carols-pw\nlookup alice\n").out,
            "+OK alice config 0\n"
            "-ERR alice password wrong or not a valid user\n"
            "+OK carol config 0 quota=10 mailbox=1\n"
            "+OK alice config 0\n")
      << log() << server.output();
  EXPECT_NE(log().find("TLS connection to 127.0.0.1:" + std::to_string(server.tls_port()) + " made"),
            std::string::npos);
  // A new process: the remembered password, over a new connection.
  EXPECT_EQ(run("lookup alice\n").out, "+OK alice config 0\n");
}

TEST_F(RadiusTlsTest, CertificatesThatDoNotHoldAreRefusedWithTheReason) {
  struct Case {
    const char* name;
    TlsServerCertificate certificate;
    bool require_client_certificate;
    Client client;
    const char* reason;
    const char* not_said;  // a hint that would mislead here
  };
  const Case cases[] = {
      {"server from another CA", TlsServerCertificate::kOtherCa, true, Client::kOwn, "certificate verify failed",
       nullptr},
      {"name that does not match", TlsServerCertificate::kWrongName, true, Client::kOwn,
       "certificate verify failed: IP address mismatch; the certificate does not name 127.0.0.1 "
       "(radius_tls_server_name, or else the host as written in radius_host)}",
       nullptr},
      {"no client certificate", TlsServerCertificate::kGood, true, Client::kNone, "is a client certificate needed?",
       nullptr},
      {"client certificate of a CA the server does not trust", TlsServerCertificate::kGood, true, Client::kOtherCa,
       "does it trust the CA of radius_tls_cert", "is a client certificate needed?"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FreeRadiusOptions options = tls_options();
    options.tls_server_certificate = c.certificate;
    options.tls_require_client_certificate = c.require_client_certificate;
    FreeRadiusServer server(options);
    ASSERT_TRUE(server.running()) << server.failure();
    configure(server, "", c.client);
    const ProcessResult result = run("check alice secret\nexit\n");
    const std::string dead = "-DEAD: TLS connection to 127.0.0.1:" + std::to_string(server.tls_port()) + " failed {";
    EXPECT_TRUE(result.out.starts_with(dead)) << result.out;
    EXPECT_NE(result.out.find(c.reason), std::string::npos) << result.out;
    if (c.not_said != nullptr) {
      EXPECT_EQ(result.out.find(c.not_said), std::string::npos) << result.out;
    }
    EXPECT_TRUE(result.out.ends_with("}\n+OK\n")) << "one line, then the next answer: " << result.out;
    const std::string text = log();
    EXPECT_NE(text.find("ERROR: " + dead), std::string::npos);
    EXPECT_EQ(text.find("ERROR: " + dead), text.rfind("ERROR: " + dead)) << "logged once: " << text;
  }
}

TEST_F(RadiusTlsTest, ServerNameCanBeGivenWhenTheHostIsWrittenOtherwise) {
  FreeRadiusServer server(tls_options());
  ASSERT_TRUE(server.running()) << server.failure();
  configure(server, "radius_tls_server_name localhost\n");
  EXPECT_EQ(run("check alice secret\n").out, "+OK alice config 0\n");
  configure(server, "radius_tls_server_name mail.example.org\n");
  EXPECT_TRUE(run("check alice secret\n").out.starts_with("-DEAD: TLS connection to"));
}

TEST_F(RadiusTlsTest, TestConfigGivesTheCertificateFault) {
  FreeRadiusOptions options = tls_options();
  options.tls_server_certificate = TlsServerCertificate::kWrongName;
  FreeRadiusServer server(options);
  ASSERT_TRUE(server.running()) << server.failure();
  configure(server);
  const ProcessResult result =
      run_process({vantorix_binary(), "-path", dir_.path(), "-test_config"}, "", in_directory(dir_.path()));
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_NE(result.out.find("radius_tls_key = " + server.tls_files().client_key + "\n"), std::string::npos);
  EXPECT_NE(result.out.find("Server 127.0.0.1:" + std::to_string(server.tls_port()) +
                            ": TLS connection failed {certificate verify failed: IP address mismatch; the "
                            "certificate does not name 127.0.0.1 (radius_tls_server_name, or else the host as "
                            "written in radius_host)}"),
            std::string::npos)
      << result.out;
}

TEST_F(RadiusTlsTest, RestartedServerIsReachedOnANewConnection) {
  FreeRadiusServer server(tls_options());
  ASSERT_TRUE(server.running()) << server.failure();
  configure(server);
  ChildProcess program({vantorix_binary(), "-path", dir_.path()}, in_directory(dir_.path()));
  ASSERT_TRUE(program.started());
  ASSERT_TRUE(program.send("check alice secret\n"));
  EXPECT_EQ(program.read_line(10s), "+OK alice config 0");
  ASSERT_TRUE(server.restart()) << server.failure();
  ASSERT_TRUE(program.send("check alice secret\n"));
  EXPECT_EQ(program.read_line(10s), "+OK alice config 0") << log();
  const ProcessResult rest = program.finish();
  EXPECT_EQ(rest.exit_status, 0);
}

TEST_F(RadiusTlsTest, ConfigurationFaultsAreReportedAtStart) {
  FreeRadiusServer server(tls_options());
  ASSERT_TRUE(server.running()) << server.failure();
  struct Case {
    const char* name;
    Client client;
    std::string ca;
    std::string reason;   // in the failure, whose setting it names
    std::string setting;  // as -test_config shows it
  };
  const std::string certificate = server.tls_files().client_certificate;
  const Case cases[] = {
      {"a CA file that is not there", Client::kOwn, dir_.file("no-such-ca.pem"),
       "{cannot read radius_tls_ca {" + dir_.file("no-such-ca.pem") + "}}",
       "radius_tls_ca = " + dir_.file("no-such-ca.pem")},
      // Without radius_tls_key the key is read from the certificate's file.
      {"no key given", Client::kCertificateOnly, "",
       "{radius_tls_cert {" + certificate + "} (read for the key too, as radius_tls_key is not set): ",
       "radius_tls_key = (the certificate file)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    configure(server, "", c.client, c.ca);
    std::filesystem::remove(dir_.file("vantorix.log"));
    const ProcessResult result = run("check alice secret\n");
    EXPECT_EQ(result.out, "") << "the open fails and the program ends, as for a host that cannot be found";
    EXPECT_NE(log().find("ERROR: -DEAD: TLS connection to 127.0.0.1:" + std::to_string(server.tls_port()) +
                         " failed " + c.reason),
              std::string::npos)
        << log();
    EXPECT_NE(result.err.find(c.reason), std::string::npos) << result.err;
    const ProcessResult test =
        run_process({vantorix_binary(), "-path", dir_.path(), "-test_config"}, "", in_directory(dir_.path()));
    EXPECT_NE(test.out.find(c.setting + "\n"), std::string::npos) << test.out;
    EXPECT_NE(test.out.find("The servers cannot be opened: "), std::string::npos) << test.out;
  }
}

}  // namespace
}  // namespace vantorix::testing
