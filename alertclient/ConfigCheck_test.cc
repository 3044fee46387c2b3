// The configuration check: the findings a user meets for common mistakes,
// and the road's skip decision that the check shares.
#include "tarnalert/alertclient/ConfigCheck.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/testing/TestEnv.h"
#include "tarnalert/platform/message/Messages.h"

namespace {

using tarnalert::CheckConfig;
using tarnalert::ConfigFinding;
using tarnalert::ConfigReport;
using tarnalert::RuleSkip;
using tarnalert::Severity;

// One rule of type 74 selecting criteria 1, with `body` spliced into the
// AlertDetail (template, recipients, ...).
std::string Config(const std::string& body) {
  return "<GetAlertDetailForClientResp><tarnholdName>North</tarnholdName><alertDetails>\n"
         "<AlertDetail><alert><alert><id>7</id><name>Rule</name></alert>"
         "<alertType><id>74</id></alertType></alert>"
         "<criteria><AlertCriteria><criteriaId>1</criteriaId></AlertCriteria></criteria>\n" +
         body + "</AlertDetail></alertDetails></GetAlertDetailForClientResp>";
}

std::string Email(const std::string& format, const std::string& templateText) {
  const char* field = format == "1" ? "htmlTemplate" : "textTemplate";
  return std::string("<notifMessages><AlertNotifMsg><notifType>1</notifType><messageFormat>") +
         format + "</messageFormat><" + field + ">" + templateText + "</" + field +
         "></AlertNotifMsg></notifMessages>";
}

const char kGoodRecipients[] =
    "<senderAddress>alerts@example.com</senderAddress><nonNebrixUsers><NTNonNebrixUser>"
    "<emailAddress>ops@example.com</emailAddress></NTNonNebrixUser></nonNebrixUsers>";

// `text` as XML character data.
std::string Escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    out += c == '<' ? "&lt;" : c == '>' ? "&gt;" : c == '&' ? "&amp;" : std::string(1, c);
  }
  return out;
}

const ConfigFinding* Find(const ConfigReport& report, const std::string& code) {
  for (const ConfigFinding& finding : report.findings) {
    if (finding.code == code) return &finding;
  }
  return nullptr;
}

class ConfigCheckTest : public ::testing::Test {
 protected:
  tarnalert::test::TestEnv env_;
  tarnalert::ScopedEnv scoped_{&env_};
};

TEST_F(ConfigCheckTest, CleanRuleHasNoFinding) {
  const ConfigReport report =
      CheckConfig(Config(Email("0", "Failover of &lt;Alert Name&gt;\nBody") + kGoodRecipients));
  ASSERT_TRUE(report.parse) << report.parse.Description();
  EXPECT_TRUE(report.findings.empty()) << report.findings.front().message;
  ASSERT_EQ(report.rules.size(), 1u);
  EXPECT_EQ(report.rules[0].id, 7);
  EXPECT_EQ(report.rules[0].skip, RuleSkip::kNone);
}

// Each mistake is reported under its code and severity, at the line and
// column where the text `at` begins in the file.
TEST_F(ConfigCheckTest, EachMistakeIsFoundWhereItStands) {
  struct Case {
    const char* code;
    Severity severity;
    std::string body;
    std::string at;
    size_t findings = 1;
  };
  const std::string recipient =
      "<nonNebrixUsers><NTNonNebrixUser><emailAddress>b@example.com"
      "</emailAddress></NTNonNebrixUser></nonNebrixUsers>";
  const Case cases[] = {
      // A misspelt recipientType: the Bcc recipient would become a To recipient.
      {"unknown-element", Severity::kError,
       Email("0", "S\nB") +
           "<senderAddress>a@example.com</senderAddress>\n<nonNebrixUsers><NTNonNebrixUser>"
           "<emailAddress>b@example.com</emailAddress><recipentType>2</recipentType>"
           "</NTNonNebrixUser></nonNebrixUsers>",
       "<recipentType>"},
      {"no-subject", Severity::kWarning, Email("0", "no line break at all") + kGoodRecipients,
       "<textTemplate>"},
      {"token-in-attribute", Severity::kWarning,
       Email("1",
             "Subject: S\n&lt;a href=\"http://x/?&amp;lt;Alert Name&amp;gt;\"&gt;x&lt;/a&gt;") +
           kGoodRecipients,
       "&amp;lt;Alert"},
      {"control-character", Severity::kWarning,
       Email("0", "S\nbell \xC2\x87 here") + kGoodRecipients, "\xC2\x87"},
      {"invalid-address", Severity::kWarning,
       Email("0", "S\nB") +
           "<senderAddress>a@example.com</senderAddress>\n<nonNebrixUsers><NTNonNebrixUser>"
           "<emailAddress>ops at example.com</emailAddress></NTNonNebrixUser><NTNonNebrixUser>"
           "<emailAddress>b@example.com</emailAddress></NTNonNebrixUser></nonNebrixUsers>",
       "<emailAddress>ops"},
      {"invalid-sender", Severity::kError,
       Email("0", "S\nB") + "\n <senderAddress>alerts@@example.com</senderAddress>" + recipient,
       "<senderAddress>"},
      {"no-valid-recipient", Severity::kError,
       Email("0", "S\nB") +
           "<senderAddress>a@example.com</senderAddress>\n<nonNebrixUsers><NTNonNebrixUser>"
           "<emailAddress>ops at example.com</emailAddress></NTNonNebrixUser></nonNebrixUsers>",
       "<nonNebrixUsers>", 2},  // and the invalid address itself
      {"unknown-token", Severity::kWarning,
       Email("0", "S &lt;No Such Token&gt;\nB") + kGoodRecipients, "&lt;No Such"},
      // Escaped as the body of an HTML template is: the subject is plain text.
      {"escaped-token-in-subject", Severity::kWarning,
       Email("1", "Subject: &amp;lt;Alert Name&amp;gt; failed\nB") + kGoodRecipients,
       "&amp;lt;Alert"},
      // Nothing to point at but the rule.
      {"no-sender", Severity::kWarning, Email("0", "S\nB") + recipient, "<AlertDetail>"},
  };
  for (const Case& c : cases) {
    const std::string text = Config(c.body);
    const ConfigReport report = CheckConfig(text);
    ASSERT_TRUE(report.parse) << c.code << ": " << report.parse.Description();
    const ConfigFinding* finding = Find(report, c.code);
    ASSERT_NE(finding, nullptr) << c.code << " missing in: " << c.body;
    EXPECT_EQ(finding->severity, c.severity) << c.code;
    EXPECT_EQ(finding->ruleIndex, 0) << c.code;
    EXPECT_EQ(finding->ruleId, 7) << c.code;
    EXPECT_EQ(report.findings.size(), c.findings)
        << c.code << ": " << report.findings.back().message;
    const tarnalert::TextPosition expected = tarnalert::PositionInText(text, text.find(c.at));
    EXPECT_EQ(finding->where.line, expected.line) << c.code;
    EXPECT_EQ(finding->where.column, expected.column) << c.code;
  }
}

// The check takes an address exactly when the delivery does.
TEST_F(ConfigCheckTest, AddressesAreJudgedByTheDeliverysRule) {
  const struct {
    const char* sender;
    const char* recipient;
    bool valid;
  } cases[] = {
      {"Alerts <alerts@example.com>", "Oncall Team <oncall@example.com>", true},
      {"alerts@example.com", "\"Ops, Nord\" <ops@example.com>", true},
      {"alerts@example.com", "rémi@example.fr", false},
      {"alerts@example.com", "a@b_c.example", false},
      {"alerts@example.com", "a.@example.com", false},
      {"alerts@example.com", "a@-x.example", false},
      {"Alerts alerts@example.com", "ops@example.com", false},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(std::string(row.sender) + " / " + row.recipient);
    const ConfigReport report = CheckConfig(
        Config(Email("0", "S\nB") + "<senderAddress>" + Escaped(row.sender) +
               "</senderAddress><nonNebrixUsers><NTNonNebrixUser><emailAddress>" +
               Escaped(row.recipient) + "</emailAddress></NTNonNebrixUser></nonNebrixUsers>"));
    ASSERT_TRUE(report.parse) << report.parse.Description();
    const bool refused =
        Find(report, "invalid-address") != nullptr || Find(report, "invalid-sender") != nullptr;
    EXPECT_EQ(refused, !row.valid);
  }
}

// The suggested fix of an escaped subject token is the token itself.
TEST_F(ConfigCheckTest, EscapedSubjectTokenNamesTheFix) {
  const ConfigReport report =
      CheckConfig(Config(Email("1", "Subject: &amp;lt;Alert Name&amp;gt;\nB") + kGoodRecipients));
  const ConfigFinding* finding = Find(report, "escaped-token-in-subject");
  ASSERT_NE(finding, nullptr);
  EXPECT_NE(finding->message.find("(write it as \"<Alert Name>\")"), std::string::npos)
      << finding->message;
}

TEST_F(ConfigCheckTest, UnknownElementFindingSaysWhereItStands) {
  const ConfigReport report =
      CheckConfig(Config(Email("0", "S\nB") + kGoodRecipients + "\n  <severty>3</severty>"));
  const ConfigFinding* finding = Find(report, "unknown-element");
  ASSERT_NE(finding, nullptr);
  EXPECT_NE(finding->message.find("<severty> in <AlertDetail>"), std::string::npos)
      << finding->message;
  EXPECT_EQ(finding->where.line, 5u);  // the template holds a line break
  EXPECT_EQ(finding->where.column, 3u);
}

TEST_F(ConfigCheckTest, ParseErrorFindingGivesItsPosition) {
  const ConfigReport report = CheckConfig("<GetAlertDetailForClientResp>\n  <tarnholdName>x");
  ASSERT_FALSE(report.parse);
  ASSERT_EQ(report.findings.size(), 1u);
  EXPECT_EQ(report.findings[0].severity, Severity::kError);
  EXPECT_EQ(report.findings[0].where.line, 2u);
  EXPECT_NE(report.findings[0].message.find("line 2, column"), std::string::npos)
      << report.findings[0].message;
}

TEST_F(ConfigCheckTest, EmptyInstallationNameIsCountedAsAWarning) {
  std::string text = Config(Email("0", "S\nB") + kGoodRecipients);
  text.replace(text.find("North"), 5, "");
  const ConfigReport report = CheckConfig(text);
  ASSERT_NE(Find(report, "empty-installation-name"), nullptr);
  EXPECT_EQ(report.Count(Severity::kWarning), 1u);
}

// The road's order: sufficient information, then the flags, then id and name.
TEST_F(ConfigCheckTest, SkipReasonFollowsTheRoadsOrder) {
  struct Case {
    const char* label;
    const char* rule;
    RuleSkip expected;
  };
  const Case cases[] = {
      {"empty rule", "<AlertDetail/>", RuleSkip::kNoAlertNoRecipients},
      {"no alert", "<AlertDetail><nonNebrixUsers/></AlertDetail>", RuleSkip::kNoAlert},
      {"no recipients", "<AlertDetail><alert/></AlertDetail>", RuleSkip::kNoRecipients},
      {"deleted without id",
       "<AlertDetail><alert><flags>2</flags></alert><nonNebrixUsers/></AlertDetail>",
       RuleSkip::kDisabledOrDeleted},
      {"no name",
       "<AlertDetail><alert><alert><id>3</id></alert></alert><nonNebrixUsers/></AlertDetail>",
       RuleSkip::kNoIdOrName},
      {"complete",
       "<AlertDetail><alert><alert><id>3</id><name>n</name></alert></alert><nonNebrixUsers/>"
       "</AlertDetail>",
       RuleSkip::kNone},
  };
  for (const Case& c : cases) {
    KTGui::AlertDetail rule;
    ASSERT_EQ(rule.unserialize(c.rule), 0) << c.label;
    EXPECT_EQ(tarnalert::RuleSkipReason(rule), c.expected) << c.label;
  }
}

}  // namespace
