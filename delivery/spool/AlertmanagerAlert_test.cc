// What a spooled alert becomes for Alertmanager: labels from the installed
// configuration, texts a person reads, times that Alertmanager accepts, and
// the checks that keep a refused alert from being sent.
#include "delivery/spool/AlertmanagerAlert.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "platform/env/Settings.h"
#include "platform/testing/TestEnv.h"
#include "platform/testing/TestUtil.h"
#include "tarnalert/alert/EvAlertEx.h"
#include "tarnalert/alertclient/EvAlertProcessClient.h"

namespace tarnalert {
namespace detail {
namespace {

using test::ListDirectory;
using test::ReadWhole;

constexpr unsigned long kBackupName = 0x4a000777;
constexpr uint64_t kSpooledMicros = 1796551200000000;  // 2026-12-06T10:00:00Z
constexpr int64_t kSpooledMillis = kSpooledMicros / 1000;

// Type 5 has a name in the catalogue and a rule of severity 1 for criteria
// 2; type 6 a rule that leaves the severity to its criteria (2).
const char kConfig[] = R"(<GetAlertDetailForClientResp>
  <alertDetails>
    <AlertDetail>
      <alert><alert><id>1</id><name>Backups</name></alert><alertType><id>5</id></alertType></alert>
      <criteria><AlertCriteria><criteriaId>2</criteriaId></AlertCriteria></criteria>
      <severity>1</severity>
    </AlertDetail>
    <AlertDetail>
      <alert><alert><id>2</id><name>Media</name></alert><alertType><id>6</id></alertType></alert>
      <criteria><AlertCriteria><criteriaId>1</criteriaId><severity>2</severity></AlertCriteria></criteria>
    </AlertDetail>
  </alertDetails>
  <alertTypeCatalog><alertTypes>
    <AlertTypeListItem><alertTypeId>5</alertTypeId><nameMessageId>0x4a000777</nameMessageId></AlertTypeListItem>
  </alertTypes></alertTypeCatalog>
</GetAlertDetailForClientResp>
)";

class AlertmanagerAlertTest : public ::testing::Test {
 protected:
  void SetUp() override {
    env_.SetSetting("CLIENT_NAME", "web-07");
    env_.SetCatalogText(kBackupName, "Backup Failed");
    ASSERT_YQ_OK(NTAlertProcessClient::UpdateAlertConfig(kConfig));
    naming_.Load();
  }

  // Spools `alert` as type/criteria at kSpooledMicros (plus `later`) and
  // maps it as seen at `nowMillis`.
  AlertmanagerAlert Map(EvAlertEx alert, int type, int criteria, int64_t nowMillis,
                        uint64_t later = 0) {
    env_.PinTime(kSpooledMicros + later);
    EXPECT_EQ(alert.sendAlert(type, criteria, 0), 1);
    const std::string spool = SpoolDirectory();
    const std::vector<std::string> names = ListDirectory(spool);
    EXPECT_EQ(names.size(), 1u);
    AlertmanagerAlert result;
    std::string error;
    EXPECT_TRUE(MakeAlertmanagerAlert(names[0], ReadWhole(spool + "/" + names[0]), naming_,
                                      nowMillis, 3600, &result, &error))
        << error;
    ::unlink((spool + "/" + names[0]).c_str());
    name_ = names[0];
    return result;
  }

  test::TestEnv env_;
  ScopedEnv scoped_{&env_};
  AlertNaming naming_;
  std::string name_;
};

TEST_F(AlertmanagerAlertTest, LabelsNameTypeCriteriaClientSeverityAndSpoolFile) {
  struct Row {
    int type, criteria;
    std::string alertname, severity;  // empty severity: no label
  } rows[] = {
      {5, 2, "Backup Failed", "critical"},  // the rule's severity
      {6, 1, "Alert type 6", "major"},      // the criteria's, no name in the catalogue
      {5, 3, "Backup Failed", ""},          // no rule selects criteria 3
      {9, 2, "Alert type 9", ""},           // a type the configuration does not know
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.type * 10 + row.criteria);
    const AlertmanagerAlert alert = Map(EvAlertEx(), row.type, row.criteria, kSpooledMillis);
    std::map<std::string, std::string> expected = {{"alertname", row.alertname},
                                                   {"alert_type", std::to_string(row.type)},
                                                   {"criteria", std::to_string(row.criteria)},
                                                   {"client", "web-07"},
                                                   {"spool_id", name_}};
    if (!row.severity.empty()) expected["severity"] = row.severity;
    EXPECT_EQ(alert.labels, expected);
    EXPECT_EQ(CheckAlertmanagerAlert(alert), "");
  }
}

// The JSON sent reads back as the alert, control characters and all, with
// RFC 3339 times.
TEST_F(AlertmanagerAlertTest, SummaryIsOneLineOfRenderedMessagesDescriptionEveryTextDecoded) {
  env_.SetCatalogText(0x4a000888, "Backup of %1 failed: %2");
  EvAlertEx alert;
  alert.curEventCode = 0x4a000888;
  alert.curMessageId = 0x4a000888;
  alert << "/srv/data"
        << "disk\nfull";
  alert.getEventMsgList().push_back({0x4a000888, 0x4a000888, kArgEndOfMessage, 0, ""});
  alert.curMessageId = 0;
  alert << "caf\xe9"              // Latin-1: spooled as base64
        << "\x1b[31mred\x1b[0m";  // control characters: base64 too
  alert.fmtNewMsgString("free text");
  const AlertmanagerAlert mapped = Map(alert, 5, 2, kSpooledMillis + 1234);
  EXPECT_EQ(mapped.annotations.at("summary"),
            "Backup of /srv/data failed: disk full; caf\xef\xbf\xbd  [31mred [0m");
  EXPECT_EQ(mapped.annotations.at("description"),
            "/srv/data\ndisk\nfull\ncaf\xef\xbf\xbd\n\x1b[31mred\x1b[0m");
  std::string text;
  AppendAlertmanagerJson(mapped, &text);
  const nlohmann::json json = nlohmann::json::parse(text, nullptr, false);
  ASSERT_TRUE(json.is_object()) << text;
  using Pairs = std::map<std::string, std::string>;
  EXPECT_EQ(json["labels"].get<Pairs>(), mapped.labels);
  EXPECT_EQ(json["annotations"].get<Pairs>(), mapped.annotations);
  EXPECT_EQ(json["startsAt"], "2026-12-06T10:00:00.000Z");
  EXPECT_EQ(json["endsAt"], "2026-12-06T11:00:00.000Z");

  EvAlertEx plain;
  plain.fmtNewMsgString("only a message\ttext");
  EXPECT_EQ(Map(plain, 5, 2, kSpooledMillis).annotations,
            (std::map<std::string, std::string>{{"summary", "only a message text"},
                                                {"description", "only a message\ttext"}}));
}

TEST_F(AlertmanagerAlertTest, StartsNoLaterThanNowAndEndsAfterNow) {
  struct Row {
    const char* label;
    int64_t nowMillis;
    int64_t startsAt, endsAt;
  } rows[] = {
      {"sent soon", kSpooledMillis + 5000, kSpooledMillis, kSpooledMillis + 3600000},
      {"client clock ahead", kSpooledMillis - 60000, kSpooledMillis - 60000,
       kSpooledMillis + 3540000},
      {"waited two hours", kSpooledMillis + 7200000, kSpooledMillis, kSpooledMillis + 10800000},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    const AlertmanagerAlert alert = Map(EvAlertEx(), 5, 2, row.nowMillis);
    EXPECT_EQ(alert.startsAtMillis, row.startsAt);
    EXPECT_EQ(alert.endsAtMillis, row.endsAt);
    EXPECT_GT(alert.endsAtMillis, row.nowMillis);
  }
}

TEST(CheckAlertmanagerAlert, RefusesWhatAlertmanagerRefuses) {
  const AlertmanagerAlert good = {{{"alertname", "x"}, {"_a1", ""}}, {{"summary", "s"}}, 0, 1};
  struct Row {
    const char* label;
    void (*spoil)(AlertmanagerAlert&);
    const char* reason;  // a part of it
  } rows[] = {
      {"valid", [](AlertmanagerAlert&) {}, ""},
      {"no labels", [](AlertmanagerAlert& a) { a.labels.clear(); }, "no labels"},
      {"dash in a name", [](AlertmanagerAlert& a) { a.labels["bad-name"] = "v"; }, "bad-name"},
      {"digit first", [](AlertmanagerAlert& a) { a.labels["1st"] = "v"; }, "1st"},
      {"annotation name", [](AlertmanagerAlert& a) { a.annotations["a b"] = "v"; }, "a b"},
      {"value not UTF-8", [](AlertmanagerAlert& a) { a.labels["client"] = "caf\xe9"; },
       "not UTF-8"},
      {"ends at its start", [](AlertmanagerAlert& a) { a.endsAtMillis = a.startsAtMillis; },
       "endsAt"},
      {"year 10000", [](AlertmanagerAlert& a) { a.endsAtMillis = 253402300800000; }, "9999"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    AlertmanagerAlert alert = good;
    row.spoil(alert);
    const std::string reason = CheckAlertmanagerAlert(alert);
    if (row.reason[0] == '\0') {
      EXPECT_EQ(reason, "");
    } else {
      EXPECT_NE(reason.find(row.reason), std::string::npos) << reason;
    }
  }
}

}  // namespace
}  // namespace detail
}  // namespace tarnalert
