// The spool forwarder against a real HTTPS server on the loopback (Python's
// http.server with ssl, certificates made for the run): order, replies that
// stop or reject, forwarders killed mid-run, and certificate checks.
#include "tarnalert/delivery/SpoolForwarder.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <random>

#include "delivery/testing/MailTestServer.h"
#include "platform/testing/SwappingEnv.h"
#include "platform/testing/TestEnv.h"
#include "platform/testing/TestUtil.h"

namespace tarnalert {
namespace {

using test::HttpsTestServer;
using test::ListDirectory;
using test::ReadWhole;
using test::TestCertificates;
using test::TestEnv;

class SpoolForwarderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    certificates_ = test::SharedTestCertificates(&error);
    ASSERT_NE(certificates_, nullptr) << error;
    spool_ = env_.scratch_directory() + "/spool";
    ::mkdir(spool_.c_str(), 0700);
    env_.SetSetting("SPOOL_DIR", spool_);
    env_.SetSetting("SERVER_CA_FILE", certificates_->caFile);
  }

  void StartServer(const std::vector<int>& codes = {}, bool clientCertificate = false) {
    std::string error;
    ASSERT_TRUE(server_.Start(TARNALERT_SOURCE_DIR, env_.scratch_directory() + "/requests.log",
                              *certificates_, codes, clientCertificate, &error))
        << error;
  }

  // Spools `count` alerts with names that sort in the order made; their names.
  std::vector<std::string> Spool(int count) {
    std::vector<std::string> names;
    for (int n = 0; n < count; ++n) {
      char name[64];
      std::snprintf(name, sizeof name, "20261206T100000.%09dZ-1-1-0.alert", n);
      std::ofstream(spool_ + "/" + name) << Body(n);
      names.push_back(name);
    }
    return names;
  }
  static std::string Body(int n) {
    return "<spooledAlert version=\"1\">\n  <msgString>alert " + std::to_string(n) +
           "</msgString>\n</spooledAlert>\n";
  }
  static std::string Logged(int n) {
    std::string body = Body(n);
    for (char& c : body) c = c == '\n' ? ' ' : c;
    return body;
  }

  ForwarderSettings Settings() {
    ForwarderSettings settings;
    EXPECT_YQ_OK(ReadForwarderSettings(server_.url(), &settings));
    return settings;
  }

  ForwardReport Round() {
    ForwardReport report;
    EXPECT_YQ_OK(ForwardSpool(Settings(), nullptr, &report));
    return report;
  }

  std::vector<std::string> Spooled() {
    std::vector<std::string> names;
    EXPECT_YQ_OK(ListSpool(&names));
    return names;
  }

  const TestCertificates* certificates_ = nullptr;
  TestEnv env_;
  ScopedEnv scoped_{&env_};
  HttpsTestServer server_;
  std::string spool_;
};

TEST_F(SpoolForwarderTest, AThousandAlertsArriveInOrderWithTheirNamesAsKeys) {
  StartServer();
  const std::vector<std::string> names = Spool(1000);
  const ForwardReport report = Round();
  EXPECT_EQ(report.sent, 1000);
  EXPECT_FALSE(report.retryLater) << report.retryReason;
  const std::vector<HttpsTestServer::Request> requests = server_.Requests();
  ASSERT_EQ(requests.size(), 1000u);
  for (size_t n = 0; n < requests.size(); ++n) {
    ASSERT_EQ(requests[n].key, names[n]) << "request " << n;
    ASSERT_EQ(requests[n].body, Logged(static_cast<int>(n))) << "request " << n;
  }
  EXPECT_TRUE(Spooled().empty());
}

TEST_F(SpoolForwarderTest, A5xxStopsTheRoundAndTheNextRoundsRetryInOrder) {
  StartServer({500, 503, 429, 408});
  const std::vector<std::string> names = Spool(5);
  for (int round = 0; round < 4; ++round) {
    const ForwardReport report = Round();
    EXPECT_EQ(report.sent, 0) << "round " << round;
    EXPECT_TRUE(report.retryLater) << "round " << round;
    EXPECT_EQ(Spooled().size(), 5u) << "round " << round;
  }
  EXPECT_EQ(Round().sent, 5);
  const std::vector<HttpsTestServer::Request> requests = server_.Requests();
  ASSERT_EQ(requests.size(), 9u);
  for (int n = 0; n < 4; ++n) EXPECT_EQ(requests[n].key, names[0]) << "retry " << n;
  for (int n = 0; n < 5; ++n) EXPECT_EQ(requests[4 + n].key, names[n]) << "alert " << n;
}

// A 4xx sets the alert aside with the reply and the round goes on; put back
// by a person (the tool transcript shows what they see), the next round
// sends it, and its reply goes with it.
TEST_F(SpoolForwarderTest, A4xxMovesTheAlertToRejectedWithTheReplyAndGoesOn) {
  StartServer({400});
  const std::vector<std::string> names = Spool(3);
  const ForwardReport report = Round();
  EXPECT_EQ(report.rejected, 1);
  EXPECT_EQ(report.sent, 2);
  EXPECT_EQ(ListDirectory(spool_ + "/rejected"),
            (std::vector<std::string>{names[0], names[0] + ".reply"}));
  EXPECT_EQ(ReadWhole(spool_ + "/rejected/" + names[0]), Body(0));
  EXPECT_EQ(ReadWhole(spool_ + "/rejected/" + names[0] + ".reply"), "HTTP 400\nstatus 400\n");

  ASSERT_YQ_OK(RetrySpooledAlert(names[0]));
  EXPECT_EQ(ListDirectory(spool_ + "/rejected"), std::vector<std::string>{}) << "reply dropped";
  EXPECT_EQ(Round().sent, 1);
  const std::vector<HttpsTestServer::Request> requests = server_.Requests();
  ASSERT_EQ(requests.size(), 4u);
  EXPECT_EQ(requests[3].key, names[0]);
  EXPECT_EQ(requests[3].body, Logged(0));
}

TEST_F(SpoolForwarderTest, AForwarderKilledAtRandomMomentsLosesNothing) {
  StartServer();
  const std::vector<std::string> names = Spool(500);
  std::mt19937 random(7);
  int kills = 0;
  constexpr int kLongestWindow = 2000000;
  int window = 15000;  // microseconds a forwarder may run before its kill
  for (int round = 0; round < 100 && !Spooled().empty(); ++round) {
    const ForwarderSettings settings = Settings();
    const pid_t child = ::fork();
    if (child == 0) {
      ForwardReport report;
      ::_exit(ForwardSpool(settings, nullptr, &report).IsError() ? 1 : 0);
    }
    ::usleep(std::uniform_int_distribution<int>(0, window)(random));
    if (::kill(child, SIGKILL) == 0) ++kills;
    ::waitpid(child, nullptr, 0);
    // A slow build may need longer before a forwarder gets an alert out.
    if (server_.Requests().empty()) window = std::min(window * 2, kLongestWindow);
  }
  // The kills must have met forwarders at work, or nothing was tested.
  EXPECT_GT(kills, 0);
  EXPECT_GT(server_.Requests().size(), 0u) << "no forwarder sent anything before its kill";
  Round();
  EXPECT_TRUE(Spooled().empty());
  std::map<std::string, int> arrivals;
  std::map<std::string, int> index;
  for (size_t n = 0; n < names.size(); ++n) index[names[n]] = static_cast<int>(n);
  for (const HttpsTestServer::Request& request : server_.Requests()) {
    ASSERT_EQ(index.count(request.key), 1u) << request.key;
    EXPECT_EQ(request.body, Logged(index[request.key])) << "a duplicate has its alert's key";
    ++arrivals[request.key];
  }
  int duplicates = 0;
  for (const std::string& name : names) {
    EXPECT_GE(arrivals[name], 1) << name << " was lost";
    duplicates += arrivals[name] - 1;
  }
  EXPECT_LE(duplicates, kills) << "each kill sends at most the alert in flight again";
}

// The spool swapped for a link to another directory while an alert is on
// its way redirects neither its removal nor its move to rejected/: both go
// through the descriptor of the spool checked at the start of the round.
TEST_F(SpoolForwarderTest, ASpoolSwappedDuringAPostRedirectsNothing) {
  for (const int status : {200, 400}) {
    SCOPED_TRACE(status);
    test::SwappingEnv env;
    ScopedEnv scoped(&env);
    const std::string spool = env.scratch_directory() + "/spool";
    ::mkdir(spool.c_str(), 0700);
    env.SetSetting("SPOOL_DIR", spool);
    env.SetSetting("SERVER_CA_FILE", certificates_->caFile);
    const std::string name = "20261206T100000.000000000Z-1-1-0.alert";
    std::ofstream(spool + "/" + name) << Body(0);
    const std::string victim = env.scratch_directory() + "/victim";
    ::mkdir(victim.c_str(), 0700);
    std::ofstream(victim + "/" + name) << "the victim's file";
    server_.Stop();
    StartServer({status});
    env.SwapWhenOpening(".alert", spool, victim);

    ForwardReport report;
    EXPECT_YQ_OK(ForwardSpool(Settings(), nullptr, &report));
    EXPECT_TRUE(env.swapped());
    EXPECT_EQ(report.sent + report.rejected, 1);
    EXPECT_EQ(ListDirectory(victim), std::vector<std::string>{name});
    EXPECT_EQ(ReadWhole(victim + "/" + name), "the victim's file");
    EXPECT_EQ(ListDirectory(spool + ".moved"),
              status == 200 ? std::vector<std::string>{} : std::vector<std::string>{"rejected"});
  }
}

// A server whose certificate another CA signed gets nothing; one that
// requires a client certificate gets alerts only with it, and only from a
// private key file.
TEST_F(SpoolForwarderTest, AServerThatRequiresAClientCertificateGetsOnlyWithIt) {
  StartServer({}, true);
  Spool(2);
  env_.SetSetting("SERVER_CA_FILE", certificates_->otherCaFile);
  ForwardReport report = Round();
  EXPECT_TRUE(report.retryLater);
  EXPECT_NE(report.retryReason.find("cannot be verified"), std::string::npos) << report.retryReason;
  env_.SetSetting("SERVER_CA_FILE", certificates_->caFile);
  EXPECT_TRUE(Round().retryLater) << "without a certificate";
  EXPECT_TRUE(server_.Requests().empty());

  env_.SetSetting("SERVER_CERT", certificates_->clientCertificateFile);
  env_.SetSetting("SERVER_KEY", certificates_->clientKeyFile);
  EXPECT_EQ(Round().sent, 2);

  Spool(1);
  ::chmod(certificates_->clientKeyFile.c_str(), 0644);
  CYqError error = ForwardSpool(Settings(), nullptr, &report);
  ::chmod(certificates_->clientKeyFile.c_str(), 0600);
  EXPECT_NE(error.ToString().find("Refusing the client key file " + certificates_->clientKeyFile +
                                  ": may be read by group or others (mode 0644)"),
            std::string::npos)
      << error.ToString();
  EXPECT_EQ(server_.Requests().size(), 2u);
}

TEST_F(SpoolForwarderTest, AStopRequestEndsTheRoundBeforeTheNextAlert) {
  StartServer();
  Spool(5);
  int asked = 0;
  ForwardReport report;
  EXPECT_YQ_OK(ForwardSpool(
      Settings(), [&asked] { return ++asked > 2; }, &report));
  EXPECT_TRUE(report.stopped);
  EXPECT_EQ(report.sent, 2);
  EXPECT_EQ(Spooled().size(), 3u);
}

}  // namespace
}  // namespace tarnalert
