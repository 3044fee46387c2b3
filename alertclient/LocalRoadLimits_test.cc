// Configurations of absurd sizes are processed or skipped as the road says,
// without a crash and in bounded time and memory.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/testing/TestEnv.h"
#include "platform/testing/TestUtil.h"
#include "tarnalert/alert/EvAlertEx.h"
#include "tarnalert/alertclient/EvAlertProcessClient.h"
#include "tarnalert/alertclient/FailoverResult.h"
#include "tarnalert/platform/message/Messages.h"

namespace {

using tarnalert::DeliveryResult;
using tarnalert::ScopedEnv;
using tarnalert::test::TestEnv;

class CollectingEnv : public TestEnv {
 public:
  DeliveryResult DeliverEmail(const std::string& request, int) override {
    requests.push_back(request);
    return DeliveryResult{};
  }
  std::vector<std::string> requests;
};

// One rule for alert type 74, criteria 1, with the given template, tokens
// and recipients (XML fragments).
std::string Configuration(const std::string& textTemplate, const std::string& tokens,
                          const std::string& recipients) {
  return "<GetAlertDetailForClientResp><alertTypeCatalog><alertTypes><AlertTypeListItem>"
         "<alertTypeId>74</alertTypeId><availCriteria><AlertAvailCriteria>"
         "<criteriaId>1</criteriaId><tokens>" +
         tokens +
         "</tokens></AlertAvailCriteria></availCriteria></AlertTypeListItem></alertTypes>"
         "</alertTypeCatalog><alertDetails><AlertDetail><alert><alert><id>9</id>"
         "<name>big</name></alert><alertType><id>74</id></alertType></alert>"
         "<criteria><AlertCriteria><criteriaId>1</criteriaId></AlertCriteria></criteria>"
         "<notifMessages><AlertNotifMsg><notifType>1</notifType><textTemplate>" +
         textTemplate + "</textTemplate></AlertNotifMsg></notifMessages><nonNebrixUsers>" +
         recipients +
         "</nonNebrixUsers></AlertDetail></alertDetails>"
         "</GetAlertDetailForClientResp>";
}

using tarnalert::test::Repeat;

const char kRecipient[] =
    "<NTNonNebrixUser><emailAddress>a@example.com</emailAddress></NTNonNebrixUser>";

class LocalRoadLimitsTest : public ::testing::Test {
 protected:
  // Installs `configuration`, raises one alert and decodes its only request.
  App::EmailInfo SendAndDecodeOnlyRequest(const std::string& configuration) {
    EXPECT_YQ_OK(NTAlertProcessClient::UpdateAlertConfig(configuration));
    EvAlertEx alert;
    EXPECT_EQ(alert.sendAlert(74, 1, 0), 1);
    App::EmailInfo request;
    EXPECT_EQ(env_.requests.size(), 1u);
    if (env_.requests.size() == 1) {
      EXPECT_EQ(request.unserialize(env_.requests[0]), 0);
    }
    return request;
  }

  CollectingEnv env_;
  ScopedEnv scoped_{&env_};
};

TEST_F(LocalRoadLimitsTest, MillionRecipientsAreCutToTheFirstHundred) {
  App::EmailInfo request = SendAndDecodeOnlyRequest(
      Configuration("subject\nbody", "", Repeat("<NTNonNebrixUser/>", 1000000)));
  EXPECT_EQ(request.list(App::EmailInfo::toList).size(), 100u);
  EXPECT_EQ(env_.CountLogLines("No of recipients exceeded. So limiting recipient list"), 1u);
}

TEST_F(LocalRoadLimitsTest, TenMegabyteTemplateIsFilledWhole) {
  // A token every 100 characters.
  const std::string piece = "&lt;Alert Name&gt;" + std::string(82, 'x');
  App::EmailInfo request = SendAndDecodeOnlyRequest(Configuration(
      "subject\n" + Repeat(piece, 100000),
      "<AlertNotifToken><tokenId>0x4a00000d</tokenId></AlertNotifToken>", kRecipient));
  const std::string& filled = request.get(App::EmailInfo::body);
  EXPECT_EQ(filled.size(), 1 + 100000 * (3 + 82) + 1);  // "\n", "big" per token, " "
  EXPECT_EQ(filled.find("<Alert Name>"), std::string::npos);
  EXPECT_EQ(filled.substr(0, 8), "\nbigxxxx");
}

// A fill stops where a request could no longer be read, in memory bounded by
// that limit, and the notification fails with the reason.
TEST_F(LocalRoadLimitsTest, AFillPastWhatARequestMayHoldStopsAndFailsTheNotification) {
  const std::string commentToken =
      "<AlertNotifToken><tokenId>0x4a00003f</tokenId></AlertNotifToken>";
  const struct {
    const char* label;
    std::string configuration;
  } cases[] = {
      // 120 000 comments of 330 characters: 40 million.
      {"many comment tokens",
       Configuration("subject\n" + Repeat("&lt;Comments&gt;", 120000), commentToken, kRecipient)},
      // 400 000 separators of 87 characters: 35 million.
      {"many separators", Configuration("subject\n" + Repeat("MsgHrzSep", 400000), "", kRecipient)},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.label);
    env_.requests.clear();
    env_.ClearLog();
    ASSERT_YQ_OK(NTAlertProcessClient::UpdateAlertConfig(row.configuration));
    EvAlertEx alert;
    alert.curEventCode = 0x4a00003f;
    alert.curMessageId = 0x4a000320;  // "Failover started by %1 on %2"
    alert << std::string(300, 'o').c_str() << "node-7";
    AlertEventMsg end;
    end.argType = kArgEndOfMessage;
    alert.getEventMsgList().push_back(end);
    const tarnalert::FailoverResult result = tarnalert::SendFailoverAlert(alert, 1, 0);
    EXPECT_TRUE(env_.requests.empty());
    ASSERT_EQ(result.notifications.size(), 1u);
    EXPECT_EQ(result.notifications[0].outcome, tarnalert::NotificationOutcome::kNotBuilt);
    const std::string reason = "the filled template would hold more than 33554432 characters";
    EXPECT_EQ(result.notifications[0].reason.find(reason), 0u) << result.notifications[0].reason;
    EXPECT_EQ(env_.CountLogLines("notification of rule [9:big]: " + reason), 1u);
  }
}

TEST_F(LocalRoadLimitsTest, TenThousandTokensAreEachGivenTheNotApplicableText) {
  std::string tokens;
  std::string text;
  for (int i = 0; i < 10000; ++i) {
    const unsigned long id = 0x4b000000ul + static_cast<unsigned long>(i);
    env_.SetCatalogText(id, "{t" + std::to_string(i) + "}");
    tokens += "<AlertNotifToken><tokenId>" + std::to_string(id) + "</tokenId></AlertNotifToken>";
    if (i % 1000 == 0) text += "{T" + std::to_string(i) + "};";
  }
  App::EmailInfo request =
      SendAndDecodeOnlyRequest(Configuration("subject\n" + text, tokens, kRecipient));
  EXPECT_EQ(request.get(App::EmailInfo::body), "\n" + Repeat("Not Applicable;", 10) + " ");
}

TEST_F(LocalRoadLimitsTest, RuleWithFieldsOfTheWrongKindIsRefusedWhole) {
  // A number given as text, a list given as text, a text given as elements,
  // a number beyond 64 bits: the configuration is refused, never misread.
  const std::vector<std::string> rules = {
      "<AlertDetail><alert><alert><id>x</id></alert></alert></AlertDetail>",
      "<AlertDetail><nonNebrixUsers>ops@example.com</nonNebrixUsers></AlertDetail>",
      "<AlertDetail><notifMessages><AlertNotifMsg><textTemplate><b>t</b></textTemplate>"
      "</AlertNotifMsg></notifMessages></AlertDetail>",
      "<AlertDetail><severity>99999999999999999999</severity></AlertDetail>",
  };
  for (const std::string& rule : rules) {
    CYqError error = NTAlertProcessClient::UpdateAlertConfig(
        "<GetAlertDetailForClientResp><alertDetails>" + rule +
        "</alertDetails></GetAlertDetailForClientResp>");
    EXPECT_TRUE(error.IsError()) << rule;
    EXPECT_NE(error.LastMessage().find("Invalid xml"), std::string::npos) << rule;
  }
  EvAlertEx alert;
  EXPECT_EQ(alert.sendAlert(74, 1, 0), 1);
  EXPECT_TRUE(env_.requests.empty());
}

// notifType, messageFormat, formatOptions and recipientType are 32-bit: a
// value beyond that range counts by its low 32 bits, in every step alike.
TEST_F(LocalRoadLimitsTest, NotificationFieldsCountByTheirLow32Bits) {
  const std::string configuration =
      "<GetAlertDetailForClientResp><alertDetails><AlertDetail><alert><alert><id>9</id>"
      "<name>wide</name></alert><alertType><id>74</id></alertType></alert>"
      "<criteria><AlertCriteria><criteriaId>1</criteriaId></AlertCriteria></criteria>"
      "<notifMessages><AlertNotifMsg><notifType>4294967297</notifType>"
      "<messageFormat>4294967297</messageFormat><formatOptions>4294967298</formatOptions>"
      "<htmlTemplate>Subject: s\n&lt;p&gt;b&lt;/p&gt;</htmlTemplate></AlertNotifMsg>"
      "</notifMessages><nonNebrixUsers><NTNonNebrixUser><emailAddress>a@example.com"
      "</emailAddress><recipientType>4294967298</recipientType></NTNonNebrixUser>"
      "</nonNebrixUsers></AlertDetail></alertDetails></GetAlertDetailForClientResp>";
  App::EmailInfo request = SendAndDecodeOnlyRequest(configuration);  // notifType 1: e-mail
  EXPECT_EQ(request.get(App::EmailInfo::usedEmbedded), 1);           // messageFormat 1: HTML
  EXPECT_NE(request.get(App::EmailInfo::body).find("<p>b</p>"), std::string::npos)
      << request.get(App::EmailInfo::body);
  EXPECT_EQ(request.list(App::EmailInfo::bccList).size(), 1u);  // recipientType 2
  // formatOptions 2: no default bit; in the request line and its failure line.
  EXPECT_EQ(env_.CountLogLines("DeliveryOptions[16] UsedEmbedded[True]"), 2u);
}

}  // namespace
