// The spool forwarder against a real Alertmanager cluster of two instances
// on the loopback (Debian's prometheus-alertmanager) with a webhook
// receiver: every alert on both, an instance or both stopped, invalid
// alerts split off, forwarders killed mid-round, and the XML endpoint
// beside Alertmanager.
#include "delivery/spool/AlertmanagerForwarder.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <random>

#include "delivery/spool/AlertmanagerAlert.h"
#include "delivery/testing/AlertmanagerTestCluster.h"
#include "delivery/testing/MailTestServer.h"
#include "platform/env/Settings.h"
#include "platform/files/TimeRecord.h"
#include "platform/testing/TestEnv.h"
#include "platform/testing/TestUtil.h"
#include "tarnalert/alert/EvAlertEx.h"

namespace tarnalert {
namespace {

using test::AlertmanagerTestCluster;
using test::LabelSet;
using test::ListDirectory;
using test::ReadWhole;

class AlertmanagerForwarderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    env_.SetSetting("CLIENT_NAME", "web-07");
    env_.SetSetting("ALERTMANAGER_BATCH_SIZE", "16");
    std::string error;
    ASSERT_TRUE(cluster_.Start(TARNALERT_SOURCE_DIR, env_.scratch_directory(), 2, &error)) << error;
  }

  // Spools `count` alerts of type 5, criteria 2 through the public API;
  // their file names, oldest first.
  std::vector<std::string> Spool(int count) {
    const std::vector<std::string> before = Spooled();
    for (int n = 0; n < count; ++n) {
      EvAlertEx alert;
      alert << ("alert " + std::to_string(n)).c_str();
      EXPECT_EQ(alert.sendAlert(5, 2, 0), 1);
    }
    std::vector<std::string> names;
    for (const std::string& name : Spooled()) {
      if (std::find(before.begin(), before.end(), name) == before.end()) names.push_back(name);
    }
    return names;
  }

  std::vector<std::string> Spooled() {
    std::vector<std::string> names;
    EXPECT_YQ_OK(ListSpool(&names));
    return names;
  }

  ForwarderSettings Settings(const std::vector<std::string>& urls, const std::string& server = "") {
    ForwarderSettings settings;
    EXPECT_YQ_OK(ReadForwarderSettings(server, urls, &settings));
    return settings;
  }
  std::vector<std::string> BothUrls() const { return {cluster_.url(0), cluster_.url(1)}; }

  ForwardReport Round(const ForwarderSettings& settings) {
    ForwardReport report;
    EXPECT_YQ_OK(ForwardSpool(settings, nullptr, &report));
    return report;
  }

  // The alerts instance `index` lists, by spool_id.
  std::map<std::string, LabelSet> Listed(int index) {
    std::vector<LabelSet> alerts;
    std::string error;
    EXPECT_TRUE(cluster_.Alerts(index, &alerts, &error)) << error;
    std::map<std::string, LabelSet> bySpoolId;
    for (const LabelSet& labels : alerts) bySpoolId[labels.at("spool_id")] = labels;
    return bySpoolId;
  }

  void ExpectListedBy(int index, const std::vector<std::string>& names) {
    const std::map<std::string, LabelSet> listed = Listed(index);
    EXPECT_EQ(listed.size(), names.size()) << "instance " << index;
    for (const std::string& name : names) {
      const auto found = listed.find(name);
      ASSERT_NE(found, listed.end()) << name << " is not on instance " << index;
      EXPECT_EQ(found->second, (LabelSet{{"alertname", "Alert type 5"},
                                         {"alert_type", "5"},
                                         {"criteria", "2"},
                                         {"client", "web-07"},
                                         {"spool_id", name}}));
    }
  }

  test::TestEnv env_;
  ScopedEnv scoped_{&env_};
  AlertmanagerTestCluster cluster_;
};

TEST_F(AlertmanagerForwarderTest, EveryAlertReachesBothInstancesAndTheWebhookIsNotified) {
  const std::vector<std::string> names = Spool(40);  // three batches
  const time_t start = env_.Now();
  const ForwardReport report = Round(Settings(BothUrls()));
  EXPECT_EQ(report.sent, 40);
  EXPECT_FALSE(report.retryLater) << report.retryReason;
  EXPECT_TRUE(Spooled().empty());
  EXPECT_GE(RecordedTime(&env_, kLastForwardRecord), start) << "for tarnalert status";
  ExpectListedBy(0, names);
  ExpectListedBy(1, names);

  // The route to the webhook, end to end.
  bool notified = false;
  for (int tenth = 0; tenth < 600 && !notified; ++tenth) {
    for (const LabelSet& labels : cluster_.Notified()) {
      notified = notified || (labels.count("spool_id") && labels.at("spool_id") == names[0] &&
                              labels.at("client") == "web-07");
    }
    if (!notified) ::usleep(100000);
  }
  EXPECT_TRUE(notified) << "the webhook received no notification of " << names[0];
}

// With one instance stopped the other gets every alert and the stopped one
// is named once; with both stopped nothing is removed, set aside or
// recorded as forwarded.
TEST_F(AlertmanagerForwarderTest, WithOneInstanceStoppedTheOtherGetsEveryAlert) {
  cluster_.Kill(0);
  std::vector<std::string> names = Spool(20);
  ForwardReport report = Round(Settings(BothUrls()));
  EXPECT_EQ(report.sent, 20);
  EXPECT_FALSE(report.retryLater);
  EXPECT_TRUE(Spooled().empty());
  ExpectListedBy(1, names);
  ASSERT_EQ(report.lines.size(), 1u) << "the stopped instance is named once";
  EXPECT_NE(report.lines[0].find(cluster_.url(0) + ": no reply"), std::string::npos)
      << report.lines[0];

  cluster_.Kill(1);
  const time_t forwarded = RecordedTime(&env_, kLastForwardRecord);
  env_.PinTime((static_cast<uint64_t>(forwarded) + 60) * 1000000);
  names = Spool(5);
  report = Round(Settings(BothUrls()));
  EXPECT_EQ(report.sent, 0);
  EXPECT_TRUE(report.retryLater);
  EXPECT_NE(report.retryReason.find(cluster_.url(1)), std::string::npos) << report.retryReason;
  EXPECT_EQ(Spooled(), names);
  EXPECT_TRUE(ListDirectory(detail::SpoolDirectory() + "/rejected").empty());
  EXPECT_EQ(RecordedTime(&env_, kLastForwardRecord), forwarded);
}

TEST_F(AlertmanagerForwarderTest, AFileThatIsNoAlertGoesToRejectedAloneTheOthersArrive) {
  const std::vector<std::string> names = Spool(3);
  const std::string bad = names[1].substr(0, 20) + "-bad.alert";  // sorts among them
  std::ofstream(detail::SpoolDirectory() + "/" + bad) << "<spooledAlert";
  const ForwardReport report = Round(Settings(BothUrls()));
  EXPECT_EQ(report.sent, 3);
  EXPECT_EQ(report.rejected, 1);
  const std::string rejected = detail::SpoolDirectory() + "/rejected";
  EXPECT_EQ(ListDirectory(rejected), (std::vector<std::string>{bad, bad + ".reply"}));
  EXPECT_NE(ReadWhole(rejected + "/" + bad + ".reply").find("not a spooled alert"),
            std::string::npos);
  ExpectListedBy(0, names);
}

// An alert our checks would stop is slipped into a batch, so that the
// instances' own 400 must isolate it.
TEST_F(AlertmanagerForwarderTest, AnInstancesRefusalSplitsTheBatchDownToTheBadAlert) {
  std::vector<std::string> names = Spool(6);
  detail::SpoolRound round;
  ASSERT_YQ_OK(round.Open(&env_, false, true));
  detail::AlertmanagerInstances instances;
  AlertmanagerSettings settings = Settings(BothUrls()).alertmanager;
  ASSERT_YQ_OK(instances.SetUp(&env_, settings));
  detail::AlertNaming naming;
  std::vector<detail::PreparedAlert> alerts;
  for (const std::string& name : names) {
    detail::AlertmanagerAlert alert;
    std::string text, error;
    ASSERT_YQ_OK(round.Read(name, &text));
    ASSERT_TRUE(detail::MakeAlertmanagerAlert(name, text, naming, env_.NowMicros() / 1000, 3600,
                                              &alert, &error));
    alerts.push_back({name, ""});
    detail::AppendAlertmanagerJson(alert, &alerts.back().json);
  }
  const size_t at = alerts[3].json.find("\"labels\":{");
  ASSERT_NE(at, std::string::npos);
  alerts[3].json.insert(at + 10, "\"bad-name\":\"x\",");

  ForwardReport report;
  detail::AlertmanagerBatches batches(round, instances, &report);
  CYqError error;
  EXPECT_TRUE(batches.Send(alerts, 0, alerts.size(), &error));
  EXPECT_YQ_OK(error);
  EXPECT_EQ(round.Finish(), 5);
  EXPECT_EQ(report.rejected, 1);
  const std::string rejected = detail::SpoolDirectory() + "/rejected";
  EXPECT_EQ(ListDirectory(rejected), (std::vector<std::string>{names[3], names[3] + ".reply"}));
  const std::string reply = ReadWhole(rejected + "/" + names[3] + ".reply");
  EXPECT_NE(reply.find(cluster_.url(0) + ": HTTP 400"), std::string::npos) << reply;
  EXPECT_NE(reply.find(cluster_.url(1) + ": HTTP 400"), std::string::npos) << reply;
  names.erase(names.begin() + 3);
  EXPECT_EQ(Spooled(), std::vector<std::string>());
  ExpectListedBy(0, names);
  ExpectListedBy(1, names);
}

TEST_F(AlertmanagerForwarderTest, AForwarderKilledAtRandomMomentsLosesNothing) {
  env_.SetSetting("ALERTMANAGER_BATCH_SIZE", "8");
  const std::vector<std::string> names = Spool(200);
  const ForwarderSettings settings = Settings(BothUrls());
  std::mt19937 random(11);
  int kills = 0;
  for (int round = 0; round < 100 && !Spooled().empty(); ++round) {
    const pid_t child = ::fork();
    if (child == 0) {
      ForwardReport report;
      ::_exit(ForwardSpool(settings, nullptr, &report).IsError() ? 1 : 0);
    }
    ::usleep(std::uniform_int_distribution<int>(0, 20000)(random));
    if (::kill(child, SIGKILL) == 0) ++kills;
    ::waitpid(child, nullptr, 0);
  }
  EXPECT_GT(kills, 0);
  Round(settings);
  EXPECT_TRUE(Spooled().empty());
  ExpectListedBy(0, names);
  ExpectListedBy(1, names);
}

TEST_F(AlertmanagerForwarderTest, BesideTheXmlEndpointEachTargetGetsEveryAlertOnce) {
  std::string error;
  const test::TestCertificates* made = test::SharedTestCertificates(&error);
  ASSERT_NE(made, nullptr) << error;
  test::HttpsTestServer server;
  ASSERT_TRUE(server.Start(TARNALERT_SOURCE_DIR, env_.scratch_directory() + "/requests.log", *made,
                           {}, false, &error))
      << error;
  env_.SetSetting("SERVER_CA_FILE", made->caFile);
  const std::vector<std::string> names = Spool(4);

  // Alertmanager unreachable: the server has them, the spool keeps them.
  ForwardReport report = Round(Settings({"http://127.0.0.1:1"}, server.url()));
  EXPECT_TRUE(report.retryLater);
  EXPECT_EQ(report.sent, 0);
  EXPECT_EQ(Spooled(), names);
  EXPECT_EQ(server.Requests().size(), 4u);

  // Alertmanager back: it gets them, and the server gets none again.
  report = Round(Settings({cluster_.url(0)}, server.url()));
  EXPECT_FALSE(report.retryLater) << report.retryReason;
  EXPECT_EQ(report.sent, 4);
  EXPECT_TRUE(Spooled().empty());
  EXPECT_EQ(server.Requests().size(), 4u);
  ExpectListedBy(0, names);
  EXPECT_TRUE(ListDirectory(detail::SpoolDirectory() + "/sent-to-server").empty());
}

}  // namespace
}  // namespace tarnalert
