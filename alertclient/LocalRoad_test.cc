// The failover alert end to end: cached configuration in, e-mail requests and
// log lines out.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/testing/TestEnv.h"
#include "platform/testing/TestUtil.h"
#include "platform/testing/XmlCheck.h"
#include "tarnalert/alert/EvAlertEx.h"
#include "tarnalert/alertclient/EvAlertProcessClient.h"
#include "tarnalert/alertclient/FailoverResult.h"
#include "tarnalert/platform/message/Messages.h"
#include "tarnalert/platform/text/FXString.h"

namespace {

using tarnalert::DeliveryResult;
using tarnalert::ScopedEnv;
using tarnalert::test::TestEnv;

struct Delivery {
  std::string request;
  int options;
};

// Records every e-mail request built and answers with a chosen result.
class RecordingEnv : public TestEnv {
 public:
  DeliveryResult DeliverEmail(const std::string& request, int options) override {
    std::lock_guard<std::mutex> lock(mutex_);
    deliveries_.push_back({request, options});
    return result_;
  }
  uint64_t NowMicros() override { return 1700000000ULL * 1000000; }  // 2023-11-14 22:13:20 UTC

  std::vector<Delivery> deliveries() {
    std::lock_guard<std::mutex> lock(mutex_);
    return deliveries_;
  }
  void set_result(DeliveryResult result) { result_ = std::move(result); }

 private:
  std::mutex mutex_;
  std::vector<Delivery> deliveries_;
  DeliveryResult result_;
};

// A configuration in its XML form. Rule templates use the catalogue's token
// texts; the first line of a template is its subject.
const char kConfiguration[] = R"(<GetAlertDetailForClientResp>
  <tarnholdName>Tarnhold-Nord</tarnholdName>
  <alertTypeCatalog>
    <alertCategories><IdName><id>7</id><name>Client Protection</name></IdName></alertCategories>
    <alertTypes>
      <AlertTypeListItem>
        <categoryId>7</categoryId>
        <alertTypeId>74</alertTypeId>
        <availCriteria>
          <AlertAvailCriteria>
            <criteriaId>1</criteriaId>
            <tokens>
              <AlertNotifToken><tokenId>0x4a000004</tokenId></AlertNotifToken>
              <AlertNotifToken><tokenId>0x4a000008</tokenId></AlertNotifToken>
              <AlertNotifToken><tokenId>0x4a00000e</tokenId></AlertNotifToken>
              <AlertNotifToken><tokenId>0x4a000520</tokenId></AlertNotifToken>
              <AlertNotifToken><tokenId>0x4a00051f</tokenId></AlertNotifToken>
              <AlertNotifToken><tokenId>0x4a00003f</tokenId><tokenFlags>0x80</tokenFlags></AlertNotifToken>
              <AlertNotifToken><tokenId>0x4a00000d</tokenId></AlertNotifToken>
              <AlertNotifToken><tokenId>0x4a00000c</tokenId></AlertNotifToken>
              <AlertNotifToken><tokenId>0x4a000006</tokenId></AlertNotifToken>
              <AlertNotifToken><tokenId>0x4a000023</tokenId></AlertNotifToken>
            </tokens>
            <nameMessageId>0x4a000301</nameMessageId>
          </AlertAvailCriteria>
        </availCriteria>
        <nameMessageId>0x4a000310</nameMessageId>
      </AlertTypeListItem>
    </alertTypes>
  </alertTypeCatalog>
  <alertDetails>
    <AlertDetail>
      <alert>
        <alert><id>101</id><name>Nightly failover</name></alert>
        <alertType><id>74</id><name>Client Failover</name></alertType>
      </alert>
      <criteria><AlertCriteria><criteriaId>1</criteriaId><severity>1</severity></AlertCriteria></criteria>
      <notifMessages>
        <AlertNotifMsg>
          <notifType>1</notifType>
          <textTemplate>Failover of &lt;alert name&gt; on &lt;Tarnhold Name&gt;
Alert: &lt;Alert Name&gt; (&lt;Alert ID&gt;)MsgNewLine_Type: &lt;Alert Category - Type&gt;MsgNewLine_Criteria: &lt;Detected Criteria&gt;MsgNewLine_Severity: &lt;Severity&gt; (&lt;Severity Level&gt;)MsgNewLine_Time: &lt;Detected Time (UTC)&gt;MsgNewLine_Job: &lt;Job ID&gt;MsgNewLine_MsgTab_Comments: &lt;Comments&gt;</textTemplate>
        </AlertNotifMsg>
      </notifMessages>
      <senderAddress>alerts@tarnhold.example</senderAddress>
      <senderName>Tarnhold Alerts</senderName>
      <nonNebrixUsers>
        <NTNonNebrixUser><emailAddress>ops@example.com</emailAddress></NTNonNebrixUser>
        <NTNonNebrixUser><emailAddress>lead@example.com</emailAddress><recipientType>1</recipientType></NTNonNebrixUser>
        <NTNonNebrixUser><emailAddress>audit@example.com</emailAddress><recipientType>2</recipientType></NTNonNebrixUser>
        <NTNonNebrixUser><emailAddress>nobody@example.com</emailAddress><recipientType>3</recipientType></NTNonNebrixUser>
        <NTNonNebrixUser><emailAddress>oncall@example.com</emailAddress></NTNonNebrixUser>
      </nonNebrixUsers>
    </AlertDetail>
    <AlertDetail>
      <alert>
        <alert><id>102</id><name>Failover &amp; recovery</name></alert>
        <alertType><id>74</id></alertType>
      </alert>
      <criteria><AlertCriteria><criteriaId>1</criteriaId><severity>2</severity></AlertCriteria></criteria>
      <notifMessages>
        <AlertNotifMsg>
          <notifType>1</notifType>
          <messageFormat>1</messageFormat>
          <htmlTemplate>Subject: [&lt;Severity&gt;] &lt;Alert Name&gt; &amp; more
&lt;html&gt;&lt;body&gt;&lt;ul&gt;&lt;li&gt;Name: &amp;lt;Alert Name&amp;gt;&lt;/li&gt;&lt;li&gt;Job: &amp;lt;Job ID&amp;gt;&lt;/li&gt;&lt;li&gt;Comments: &amp;lt;Comments&amp;gt;&lt;/li&gt;&lt;/ul&gt;&lt;/body&gt;&lt;/html&gt;</htmlTemplate>
        </AlertNotifMsg>
      </notifMessages>
      <nonNebrixUsers>
        <NTNonNebrixUser><emailAddress>ops@example.com</emailAddress></NTNonNebrixUser>
      </nonNebrixUsers>
    </AlertDetail>
  </alertDetails>
</GetAlertDetailForClientResp>
)";

class LocalRoadTest : public ::testing::Test {
 protected:
  void SetUp() override { env_.SetLogLevel(10); }

  void Install(const std::string& configuration) {
    ASSERT_YQ_OK(NTAlertProcessClient::UpdateAlertConfig(configuration));
  }

  // A failover alert with one comment message.
  static EvAlertEx FailoverAlert(const char* operatorName = "operator") {
    EvAlertEx alert;
    alert.curEventCode = 0x4a00003f;
    alert.curMessageId = 0x4a000320;  // "Failover started by %1 on %2"
    alert << operatorName << "node-7";
    AlertEventMsg end;
    end.argType = kArgEndOfMessage;
    alert.getEventMsgList().push_back(end);
    return alert;
  }

  static App::EmailInfo Decode(const std::string& request) {
    App::EmailInfo info;
    EXPECT_EQ(info.unserialize(request), 0) << request;
    return info;
  }

  static std::vector<std::string> Addresses(App::EmailInfo& info, const tarnalert::ListField& f) {
    std::vector<std::string> addresses;
    for (HqMessageBase& email : info.list(f)) addresses.push_back(email.get(App::Email::address));
    return addresses;
  }

  tarnalert::test::ScopedTimeZone utc_{"UTC"};
  RecordingEnv env_;
  ScopedEnv scoped_{&env_};
};

TEST_F(LocalRoadTest, EveryMatchingRuleGetsItsRequestInListOrder) {
  Install(kConfiguration);
  EvAlertEx alert = FailoverAlert();
  EXPECT_EQ(alert.sendAlert(74, 1, 0), 1);

  std::vector<Delivery> deliveries = env_.deliveries();
  ASSERT_EQ(deliveries.size(), 2u);

  // Plain-text rule.
  App::EmailInfo text = Decode(deliveries[0].request);
  EXPECT_EQ(text.get(App::EmailInfo::subject), "Failover of Nightly failover on Tarnhold-Nord ");
  EXPECT_EQ(text.get(App::EmailInfo::body),
            "\nAlert: Nightly failover (101) \r\n"
            "Type: Client Protection - Client Failover \r\n"
            "Criteria: Client failed over to the standby management server \r\n"
            "Severity: Critical (1) \r\n"
            "Time: Tue Nov 14 22:13:20 2023 \r\n"
            "Job: Not Applicable \r\n"
            " \tComments: Failover started by operator on node-7 ");
  EXPECT_EQ(Addresses(text, App::EmailInfo::toList),
            (std::vector<std::string>{"ops@example.com", "oncall@example.com"}));
  EXPECT_EQ(Addresses(text, App::EmailInfo::ccList), std::vector<std::string>{"lead@example.com"});
  EXPECT_EQ(Addresses(text, App::EmailInfo::bccList),
            std::vector<std::string>{"audit@example.com"});
  HqMessageBase& from = text.child(App::EmailInfo::from);
  EXPECT_EQ(from.get(App::Email::address), "alerts@tarnhold.example");
  EXPECT_EQ(from.get(App::Email::displayName), "Tarnhold Alerts");
  EXPECT_EQ(text.get(App::EmailInfo::usedEmbedded), 0);
  EXPECT_FALSE(text.isSet(App::EmailInfo::embeddedMode));
  EXPECT_EQ(deliveries[0].options, 0x22);  // default option, lowest severity 1

  // HTML rule: the subject is plain text again, the body keeps its markup
  // and loses the item that only says "Not Applicable".
  App::EmailInfo html = Decode(deliveries[1].request);
  EXPECT_EQ(html.get(App::EmailInfo::subject), "[Major] Failover & recovery & more ");
  EXPECT_EQ(html.get(App::EmailInfo::body),
            "\n<html><body><ul><li>Name: Failover &amp; recovery</li>"
            "<li>Comments: Failover started by operator on node-7</li></ul></body></html> ");
  EXPECT_EQ(html.get(App::EmailInfo::usedEmbedded), 1);
  EXPECT_EQ(html.get(App::EmailInfo::embeddedMode), 1);
  EXPECT_FALSE(html.isSet(App::EmailInfo::from));
  EXPECT_EQ(deliveries[1].options, 0x12);
}

// The rules of one alert share what they look up (catalogue texts, token
// lists, where the tokens stand); each must still read as it would alone.
TEST_F(LocalRoadTest, RulesOfOneAlertReadAsEachWouldAlone) {
  const std::string config = kConfiguration;
  const size_t first = config.find("<AlertDetail>");
  const size_t second = config.find("<AlertDetail>", first + 1);
  const size_t end = config.find("</alertDetails>");
  const std::string rules[] = {config.substr(first, second - first),
                               config.substr(second, end - second)};
  auto deliver = [&](const std::vector<int>& order) {
    std::string text = config.substr(0, first);
    for (int k : order) text += rules[k];
    Install(text + config.substr(end));
    const size_t before = env_.deliveries().size();
    EvAlertEx alert = FailoverAlert();
    alert.sendAlert(74, 1, 0);
    const std::vector<Delivery> all = env_.deliveries();
    return std::vector<Delivery>(all.begin() + static_cast<long>(before), all.end());
  };
  const std::vector<Delivery> alone[] = {deliver({0}), deliver({1})};
  const std::vector<int> order = {1, 0, 0, 1, 1, 0};
  const std::vector<Delivery> together = deliver(order);
  ASSERT_EQ(together.size(), order.size());
  for (size_t i = 0; i < order.size(); ++i) {
    ASSERT_EQ(alone[order[i]].size(), 1u);
    EXPECT_EQ(together[i].request, alone[order[i]][0].request) << "rule " << i;
    EXPECT_EQ(together[i].options, alone[order[i]][0].options) << "rule " << i;
  }
}

// Changes to the configuration or the catalogue, made one after another:
// after each, a client that has already run a pass, and a rule object made
// after others on the same client, must read as a fresh alert does.
struct Change {
  const char* what;
  std::function<void(RecordingEnv& env, std::string& configuration)> apply;
};

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  text.replace(text.find(from), from.size(), to);
  return text;
}

// An operator whose name the comment escapes unless its flags say otherwise.
constexpr char kMarkupOperator[] = "<op>";

const Change kChanges[] = {
    {"category name",
     [](RecordingEnv&, std::string& c) { c = Replaced(c, "Client Protection", "Server Care"); }},
    {"token flags",
     [](RecordingEnv&, std::string& c) {
       c = Replaced(c, "<tokenId>0x4a00003f</tokenId><tokenFlags>0x80</tokenFlags>",
                    "<tokenId>0x4a00003f</tokenId><tokenFlags>0x4000</tokenFlags>");
     }},
    {"type name text",
     [](RecordingEnv& e, std::string&) { e.SetCatalogText(0x4a000310, "Takeover"); }},
    {"severity text",
     [](RecordingEnv& e, std::string&) { e.SetCatalogText(0x3d00024b, "Urgent"); }},
    {"not-applicable text",
     [](RecordingEnv& e, std::string&) { e.SetCatalogText(0x4a0000a5, "-"); }},
    {"token no longer offered",
     [](RecordingEnv&, std::string& c) {
       c = Replaced(c, "<AlertNotifToken><tokenId>0x4a000023</tokenId></AlertNotifToken>", "");
     }},
    {"token text", [](RecordingEnv& e, std::string&) { e.SetCatalogText(0x4a000004, "<Site>"); }},
};

TEST_F(LocalRoadTest, EachPassOfAClientReadsAsAFreshAlert) {
  std::string configuration = kConfiguration;
  Install(configuration);
  EvAlertEx alert = FailoverAlert(kMarkupOperator);
  NTAlertProcessClient reused(74, 1, 0, alert);
  // The requests one pass of `client` delivers.
  auto pass = [&](NTAlertProcessClient& client) {
    const size_t before = env_.deliveries().size();
    client.MatchAndSendAlert();
    std::vector<std::string> requests;
    for (const Delivery& delivery : env_.deliveries()) requests.push_back(delivery.request);
    return std::vector<std::string>(requests.begin() + static_cast<long>(before), requests.end());
  };
  std::vector<std::string> previous = pass(reused);
  ASSERT_EQ(previous.size(), 2u);
  for (const Change& change : kChanges) {
    SCOPED_TRACE(change.what);
    change.apply(env_, configuration);
    Install(configuration);
    const std::vector<std::string> later = pass(reused);
    EvAlertEx freshAlert = FailoverAlert(kMarkupOperator);
    NTAlertProcessClient fresh(74, 1, 0, freshAlert);
    EXPECT_EQ(later, pass(fresh));
    EXPECT_NE(later, previous);  // the change shows
    previous = later;
  }
}

TEST_F(LocalRoadTest, EachRuleObjectOfAClientReadsAsAFreshOne) {
  std::string configuration = kConfiguration;
  EvAlertEx alert = FailoverAlert(kMarkupOperator);
  // The request of the plain-text rule, built by a new rule object on `client`.
  auto send = [&](NTAlertProcessClient& client) {
    HqMessageBase& rule =
        client.alertConfig.list(KTGui::GetAlertDetailForClientResp::alertDetails).front();
    NTNotifRuleDetectedAlertProcessing processing(rule, client);
    EXPECT_TRUE(processing.MatchAlert());
    processing.SendNotification();
    return env_.deliveries().back().request;
  };
  NTAlertProcessClient reused(74, 1, 0, alert);
  ASSERT_EQ(reused.alertConfig.unserialize(configuration), 0);
  std::string previous = send(reused);
  for (const Change& change : kChanges) {
    SCOPED_TRACE(change.what);
    change.apply(env_, configuration);
    ASSERT_EQ(reused.alertConfig.unserialize(configuration), 0);
    const std::string later = send(reused);
    NTAlertProcessClient fresh(74, 1, 0, alert);
    ASSERT_EQ(fresh.alertConfig.unserialize(configuration), 0);
    EXPECT_EQ(later, send(fresh));
    EXPECT_NE(later, previous);
    previous = later;
  }
}

TEST_F(LocalRoadTest, LogShowsEachMatchAndEachDelivery) {
  Install(kConfiguration);
  EvAlertEx alert = FailoverAlert();
  alert.sendAlert(74, 1, 5);
  auto count = [&](const std::string& text) { return env_.CountLogLines(text); };
  EXPECT_EQ(count("ERROR 0 MatchAndSendAlert: Detected alert of type, criteria and status "
                  "[74:1:5] matched notification [101:Nightly failover]. Filling details for "
                  "notification"),
            1u);
  EXPECT_EQ(count("matched notification [102:Failover & recovery]"), 1u);
  EXPECT_EQ(count("token: <Tarnhold Name> value: Tarnhold-Nord"), 2u);  // one per matched rule
  EXPECT_EQ(count("DEBUG 10 EvAlertProcessClient(828): -Debug-: Sending Email Notification for "
                  "Alert [Nightly failover ( 101 )] EmailList[ops@example.comoncall@example.com] "
                  "Cc Email List [lead@example.com] Bcc Email List [audit@example.com] "
                  "DeliveryOptions[34] UsedEmbedded[False] Subject [Failover of Nightly failover "
                  "on Tarnhold-Nord ] Errorcode [-1] ErrorStr []"),
            1u);
  EXPECT_EQ(count("ERROR 0 SendNotification: EvAlertProcessClient(837): -Debug-: Error :Sending "
                  "Email Notification for Alert [Nightly failover ( 101 )]"),
            1u);
}

TEST_F(LocalRoadTest, DeliveredRequestWritesNoErrorLine) {
  Install(kConfiguration);
  env_.set_result({0, L""});
  EvAlertEx alert = FailoverAlert();
  alert.sendAlert(74, 1, 0);
  EXPECT_EQ(env_.CountLogLines("Errorcode [0] ErrorStr []"), 2u);
  EXPECT_EQ(env_.CountLogLines("(837)"), 0u);
}

TEST_F(LocalRoadTest, NonAsciiTextArrivesAsTheSameCharacters) {
  std::string configuration = kConfiguration;
  auto replace = [&](const std::string& from, const std::string& to) {
    configuration.replace(configuration.find(from), from.size(), to);
  };
  replace("Nightly failover",
          "N\xc3\xa4"
          "chtlicher Wechsel \xe2\x86\x92 \xe6\x97\xa5");
  replace("ops@example.com", "b\xc3\xbcro@\xc3\xa9xample.com");
  Install(configuration);
  EvAlertEx alert = FailoverAlert("J\xc3\xb6rg \xd0\x9f\xd0\xb5\xd1\x82\xd1\x80");
  alert.sendAlert(74, 1, 0);
  std::vector<Delivery> deliveries = env_.deliveries();
  ASSERT_EQ(deliveries.size(), 2u);
  App::EmailInfo text = Decode(deliveries[0].request);
  EXPECT_EQ(text.get(App::EmailInfo::subject),
            "Failover of N\xc3\xa4"
            "chtlicher Wechsel \xe2\x86\x92 \xe6\x97\xa5 on Tarnhold-Nord ");
  EXPECT_NE(text.get(App::EmailInfo::body)
                .find("Comments: Failover started by J\xc3\xb6rg \xd0\x9f\xd0\xb5\xd1\x82\xd1\x80 "
                      "on node-7"),
            std::string::npos);
  EXPECT_EQ(Addresses(text, App::EmailInfo::toList)[0], "b\xc3\xbcro@\xc3\xa9xample.com");
  // The (828) line and, with nothing delivered, the (837) line.
  EXPECT_EQ(env_.CountLogLines("EmailList[b\xc3\xbcro@\xc3\xa9xample.comoncall@example.com]"), 2u);
  EXPECT_EQ(env_.CountLogLines("Alert [N\xc3\xa4"
                               "chtlicher Wechsel \xe2\x86\x92 \xe6\x97\xa5 ( 101 )]"),
            2u);
}

// Control characters and invalid UTF-8 in an alert's texts reach the e-mail
// request as the characters the templates made of them, in conforming XML.
TEST_F(LocalRoadTest, HostileTextsGiveConformingRequests) {
  Install(kConfiguration);
  std::vector<tarnalert::test::LabelledText> documents;
  for (const char* name : {"\x1b[31mred\x1b[0m", "bell\x07 and \x01\x1f", "caf\xe9 \xC0\xAF",
                           "x\xEF\xBF\xBEy", "\xED\xA0\x80"}) {
    const size_t before = env_.deliveries().size();
    FailoverAlert(name).sendAlert(74, 1, 0);
    const std::vector<Delivery> deliveries = env_.deliveries();
    ASSERT_EQ(deliveries.size(), before + 2) << name;
    const std::string expected =
        "Failover started by " + FXString::ToString(FXString::ToWstring(name)) + " on node-7";
    EXPECT_NE(Decode(deliveries[before].request).get(App::EmailInfo::body).find(expected),
              std::string::npos)
        << name;
    for (size_t i = before; i < deliveries.size(); ++i) {
      documents.push_back({name, deliveries[i].request});
    }
  }
  EXPECT_TRUE(tarnalert::test::XmlLintAccepts(documents));
}

TEST_F(LocalRoadTest, RulesThatCannotBeSentAreSkippedWithTheirReason) {
  const std::string rules = R"(<GetAlertDetailForClientResp><alertDetails>
    <AlertDetail><alert><alert><id>1</id><name>no recipients</name></alert><alertType><id>74</id></alertType></alert>
      <criteria><AlertCriteria><criteriaId>1</criteriaId></AlertCriteria></criteria></AlertDetail>
    <AlertDetail><alert><alert><id>2</id><name>disabled</name></alert><alertType><id>74</id></alertType><flags>1</flags></alert>
      <nonNebrixUsers/></AlertDetail>
    <AlertDetail><alert><alert><id>3</id><name>deleted</name></alert><flags>2</flags></alert><nonNebrixUsers/></AlertDetail>
    <AlertDetail><alert><alert><id>0</id><name>no id</name></alert></alert><nonNebrixUsers/></AlertDetail>
    <AlertDetail><alert><alert><id>5</id></alert></alert><nonNebrixUsers/></AlertDetail>
    <AlertDetail><alert><flags>0</flags></alert><nonNebrixUsers/></AlertDetail>
    <AlertDetail><alert><alert><id>6</id><name>other type</name></alert><alertType><id>75</id></alertType><flags>4</flags></alert>
      <criteria><AlertCriteria><criteriaId>1</criteriaId></AlertCriteria></criteria><nonNebrixUsers/></AlertDetail>
    <AlertDetail><alert><alert><id>7</id><name>no e-mail</name></alert><alertType><id>74</id></alertType></alert>
      <criteria><AlertCriteria><criteriaId>1</criteriaId></AlertCriteria></criteria>
      <notifMessages><AlertNotifMsg><notifType>2</notifType></AlertNotifMsg></notifMessages><nonNebrixUsers/></AlertDetail>
  </alertDetails></GetAlertDetailForClientResp>)";
  Install(rules);
  std::vector<std::string> expected;
  for (const char* why :
       {"it does not have sufficient information.", "its disabled or deleted. ",
        "its disabled or deleted. ", "it does not have Id or name set. ",
        "it does not have Id or name set. ", "it does not have Id or name set. "}) {
    expected.push_back("DEBUG 5 MatchAndSendAlert: Skipping alert notification at index [" +
                       std::to_string(expected.size()) + "] since " + why);
  }
  expected.push_back(
      "ERROR 0 SendNotification: Alert does not have email notification configured. So not "
      "processing. ");
  // The lines of one pass.
  auto pass = [&](const std::function<void()>& run) {
    env_.ClearLog();
    run();
    std::vector<std::string> seen;
    for (const std::string& line : env_.LogMessages()) {
      if (line.find("Skipping") != std::string::npos ||
          line.find("SendNotification") != std::string::npos) {
        seen.push_back(line);
      }
    }
    return seen;
  };
  // A fresh alert decodes the file, the next reads the same decoding again,
  // and a client whose file is gone reads the rules its last pass left.
  EvAlertEx alert;
  EXPECT_EQ(pass([&] { EXPECT_EQ(alert.sendAlert(74, 1, 0), 1); }), expected);
  EXPECT_EQ(pass([&] { EXPECT_EQ(alert.sendAlert(74, 1, 0), 1); }), expected);
  NTAlertProcessClient client(74, 1, 0, alert);
  EXPECT_EQ(pass([&] { client.MatchAndSendAlert(); }), expected);
  // Reading the absent id and name of the sixth rule added them, as the
  // accessor does.
  const HqMessageBase& sixth =
      client.alertConfig.findList(KTGui::GetAlertDetailForClientResp::alertDetails)->at(5);
  EXPECT_NE(sixth.findChild(KTGui::AlertDetail::alert)->findChild(KTGui::AlertInfo::alert),
            nullptr);
  ASSERT_EQ(::unlink(NTAlertProcessClient::GetConfigFileName().c_str()), 0);
  EXPECT_EQ(pass([&] { client.MatchAndSendAlert(); }), expected);
  EXPECT_TRUE(env_.deliveries().empty());
}

TEST_F(LocalRoadTest, TheResultSaysWhatBecameOfEachMatchingRule) {
  Install(kConfiguration);
  DeliveryResult answer(0, L"");
  answer.messageId = "road.1@client";
  env_.set_result(answer);
  env_.SetLogLevel(1);  // the default
  EvAlertEx alert = FailoverAlert();
  const tarnalert::FailoverResult result = tarnalert::SendFailoverAlert(alert, 1, 5);
  EXPECT_EQ(alert.alertType, 74);
  EXPECT_EQ(alert.status, 5);
  EXPECT_EQ(result.stop, tarnalert::FailoverStop::kNone);
  EXPECT_EQ(result.rulesExamined, 2u);
  const std::vector<Delivery> deliveries = env_.deliveries();
  ASSERT_EQ(result.notifications.size(), 2u);
  ASSERT_EQ(deliveries.size(), 2u);
  const struct {
    int id;
    const char* name;
    const char* subject;
    size_t recipients;  // the entry of type 3 is no recipient
  } expected[] = {{101, "Nightly failover", "Failover of Nightly failover on Tarnhold-Nord ", 4},
                  {102, "Failover & recovery", "[Major] Failover & recovery & more ", 1}};
  for (size_t i = 0; i < 2; ++i) {
    const tarnalert::NotificationResult& notification = result.notifications[i];
    EXPECT_EQ(notification.ruleId, expected[i].id);
    EXPECT_EQ(notification.ruleName, expected[i].name);
    EXPECT_EQ(notification.subject, expected[i].subject);
    EXPECT_EQ(notification.recipients, expected[i].recipients);
    EXPECT_EQ(notification.request, deliveries[i].request);
    EXPECT_EQ(notification.deliveryOptions, deliveries[i].options);
    EXPECT_EQ(notification.outcome, tarnalert::NotificationOutcome::kDelivered);
    EXPECT_EQ(notification.delivery.messageId, "road.1@client");
  }
  // A positive trace at the default level, one line per notification.
  EXPECT_EQ(env_.CountLogLines("DEBUG 1 SendNotification: notification of rule [101:Nightly "
                               "failover] delivered: message <road.1@client>, 4 recipient(s)"),
            1u);
  EXPECT_EQ(env_.CountLogLines("notification of rule [102:Failover & recovery] delivered"), 1u);

  DeliveryResult deferred(3, L"deferred for a retry as /x/deferred/1.mail: no connection");
  deferred.keptAs = "/x/deferred/1.mail";
  env_.set_result(deferred);
  const tarnalert::FailoverResult later = tarnalert::SendFailoverAlert(alert, 1, 0);
  ASSERT_EQ(later.notifications.size(), 2u);
  EXPECT_EQ(later.notifications[0].outcome, tarnalert::NotificationOutcome::kDeferred);
  EXPECT_EQ(env_.CountLogLines("notification of rule [101:Nightly failover] deferred: message <>, "
                               "4 recipient(s), waits as /x/deferred/1.mail"),
            1u);
}

TEST_F(LocalRoadTest, TheResultSaysWhyNothingWasBuilt) {
  using tarnalert::FailoverStop;
  const std::string directory = env_.scratch_directory() + "/jobresults";
  EvAlertEx alert = FailoverAlert();
  EXPECT_EQ(alert.sendAlert(74, 1, 0), 1);  // an absent configuration is no failure
  EXPECT_EQ(env_.CountLogLines("Skipping") + env_.CountLogLines("matched notification"), 0u);
  tarnalert::FailoverResult result = tarnalert::SendFailoverAlert(alert, 1, 0);
  EXPECT_EQ(result.stop, FailoverStop::kNoConfiguration);
  EXPECT_EQ(result.reason, "no configuration is installed at " + directory + "/alert_config.xml");

  Install(kConfiguration);
  result = tarnalert::SendFailoverAlert(alert, 9, 0);
  EXPECT_EQ(result.stop, FailoverStop::kNoRuleMatched);
  EXPECT_NE(result.reason.find("none of the 2 rules"), std::string::npos) << result.reason;

  ASSERT_EQ(::chmod(directory.c_str(), 0777), 0);
  result = tarnalert::SendFailoverAlert(alert, 1, 0);
  ::chmod(directory.c_str(), 0700);
  EXPECT_EQ(result.stop, FailoverStop::kConfigurationRefused);
  EXPECT_NE(result.reason.find(directory), std::string::npos) << result.reason;

  std::ofstream(directory + "/alert_config.xml") << "not a configuration";
  result = tarnalert::SendFailoverAlert(alert, 1, 0);
  EXPECT_EQ(result.stop, FailoverStop::kConfigurationRefused);
  EXPECT_NE(result.reason.find("is not a configuration"), std::string::npos) << result.reason;
  EXPECT_TRUE(result.notifications.empty());
  EXPECT_TRUE(env_.deliveries().empty());
}

// Answers every hand-over to the server as `fail` says.
class ServerEnv : public TestEnv {
 public:
  int SendAlertToServer(const EvAlertEx& alert, std::string* error) override {
    last_status = alert.status;
    *error = "management server unreachable";
    return fail ? -1 : 0;
  }
  int last_status = 0;
  bool fail = true;
};

// The alert is stamped before either road; a failed hand-over returns 0 with
// a log line, a good one 1 without.
TEST(ServerRoadTest, AlertIsStampedAndTheHandOverReported) {
  ServerEnv env;
  ScopedEnv scoped(&env);
  EvAlertEx alert;
  alert.defaultStatus = 3;
  EXPECT_EQ(alert.sendAlert(5, 2, 0), 0);
  EXPECT_EQ(env.last_status, 3);  // the adapter saw the stamped status
  EXPECT_EQ(alert.criteria, 2);
  EXPECT_EQ(env.CountLogLines(
                "DEBUG 0 EvAlertEx::sendAlert(int, int, int): management server unreachable"),
            1u);
  env.fail = false;
  env.ClearLog();
  alert << "argument";
  EXPECT_EQ(alert.sendAlert(5, 2, 7), 1);
  EXPECT_EQ(env.last_status, 7);
  EXPECT_TRUE(env.LogLines().empty());
  alert.sendAlert(74, 9, 0);  // the local road
  EXPECT_EQ(alert.alertType, 74);
  EXPECT_EQ(alert.criteria, 9);
  EXPECT_EQ(alert.status, 3);
}

// The decoded rules are reused while the file's bytes stay the same; a file
// replaced by another writer takes effect at the next alert.
TEST_F(LocalRoadTest, EachAlertSeesTheFileAsItIsThen) {
  std::string second = kConfiguration;
  second.replace(second.find("Tarnhold-Nord"), 13, "Tarnhold-Sued");
  Install(kConfiguration);
  const std::string path = NTAlertProcessClient::GetConfigFileName();
  const std::string steps[] = {"Nord", "Nord", "Sued", "Sued", "Nord"};
  for (const std::string& step : steps) {
    const std::string text = step == "Nord" ? kConfiguration : second;
    if (&step != &steps[0]) std::ofstream(path, std::ios::trunc) << text;
    EvAlertEx alert = FailoverAlert();
    NTAlertProcessClient client(74, 1, 0, alert);
    client.MatchAndSendAlert();
    KTGui::GetAlertDetailForClientResp decoded;
    ASSERT_EQ(decoded.unserialize(text), 0);
    EXPECT_TRUE(client.alertConfig == decoded) << step;
    EXPECT_EQ(client.alertConfig.get(KTGui::GetAlertDetailForClientResp::tarnholdName),
              "Tarnhold-" + step);
    // What the caller does with its copy never reaches the next alert.
    client.alertConfig.list(KTGui::GetAlertDetailForClientResp::alertDetails).clear();
  }
  std::vector<Delivery> deliveries = env_.deliveries();
  ASSERT_EQ(deliveries.size(), 10u);
  for (size_t i = 0; i < deliveries.size(); i += 2) {
    EXPECT_EQ(Decode(deliveries[i].request).get(App::EmailInfo::subject),
              "Failover of Nightly failover on Tarnhold-" + steps[i / 2] + " ")
        << i;
  }
}

TEST_F(LocalRoadTest, ConcurrentAlertsSeeWholeConfigurations) {
  // Two configurations that differ in the installation name: every request
  // must come from one of them, never from a torn mixture.
  std::string second = kConfiguration;
  second.replace(second.find("Tarnhold-Nord"), 13, "Tarnhold-Sued");
  Install(kConfiguration);
  std::atomic<bool> stop{false};
  std::thread updater([&] {
    for (int i = 0; !stop; ++i) {
      EXPECT_FALSE(
          NTAlertProcessClient::UpdateAlertConfig(i % 2 ? kConfiguration : second).IsError());
    }
  });
  std::vector<std::thread> senders;
  for (int t = 0; t < 8; ++t) {
    senders.emplace_back([] {
      for (int i = 0; i < 10; ++i) {
        EvAlertEx alert = FailoverAlert();
        alert.sendAlert(74, 1, 0);
      }
    });
  }
  for (auto& sender : senders) sender.join();
  stop = true;
  updater.join();
  std::vector<Delivery> deliveries = env_.deliveries();
  ASSERT_EQ(deliveries.size(), 8u * 10u * 2u);
  std::set<std::string> subjects;
  for (const Delivery& delivery : deliveries) {
    subjects.insert(Decode(delivery.request).get(App::EmailInfo::subject));
  }
  std::set<std::string> allowed = {"Failover of Nightly failover on Tarnhold-Nord ",
                                   "Failover of Nightly failover on Tarnhold-Sued ",
                                   "[Major] Failover & recovery & more "};
  for (const std::string& subject : subjects) EXPECT_TRUE(allowed.count(subject)) << subject;
}

}  // namespace
