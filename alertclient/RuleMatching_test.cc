#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "alert/EvAlertEx.h"
#include "alertclient/EvAlertProcessClient.h"
#include "platform/testing/TestEnv.h"

namespace {

using KTGui::AlertCriteria;
using KTGui::AlertDetail;
using Pairs = std::vector<std::pair<int64_t, std::string>>;

// A rule of `alertType` selecting the criteria (criteriaId, severity); no
// criteria list at all when `criteria` is null.
AlertDetail Rule(int alertType, const std::vector<std::pair<int, int>>* criteria) {
  AlertDetail rule;
  rule.child(AlertDetail::alert)
      .child(KTGui::AlertInfo::alertType)
      .set(KTGui::IdName::id, alertType);
  if (criteria == nullptr) return rule;
  rule.list(AlertDetail::criteria).clear();
  for (auto [id, severity] : *criteria) {
    AlertCriteria entry;
    entry.set(AlertCriteria::criteriaId, id);
    entry.set(AlertCriteria::severity, severity);
    rule.list(AlertDetail::criteria).push_back(entry);
  }
  return rule;
}

class RuleMatchingTest : public ::testing::Test {
 protected:
  RuleMatchingTest() {
    const char* old = std::getenv("TZ");
    if (old) savedZone_ = old;
    hadZone_ = old != nullptr;
    setenv("TZ", "EST5EDT,M3.2.0,M11.1.0", 1);
    tzset();
    env_.SetCatalogText(0x3d00024a, "Major");
    env_.SetCatalogText(0x4a200001, "Failover to %1");
  }
  ~RuleMatchingTest() override {
    hadZone_ ? setenv("TZ", savedZone_.c_str(), 1) : unsetenv("TZ");
    tzset();
  }

  tarnalert::testing::TestEnv env_;
  tarnalert::testing::ScopedEnv scoped_{&env_};
  EvAlertEx alert_;
  bool hadZone_;
  std::string savedZone_;
};

TEST_F(RuleMatchingTest, RuleMustHaveTheAlertTypeAndSelectTheCriteria) {
  const std::vector<std::pair<int, int>> fiveAndSeven = {{5, 0}, {7, 0}}, none = {};
  struct Case {
    const char* what;
    int clientType, ruleType, criteria;
    const std::vector<std::pair<int, int>>* ruleCriteria;
    bool match;
  } cases[] = {
      {"fits", 74, 74, 7, &fiveAndSeven, true},
      {"criteria not selected", 74, 74, 6, &fiveAndSeven, false},
      {"criteria list unset", 74, 74, 5, nullptr, false},
      {"criteria list empty", 74, 74, 5, &none, false},
      {"other rule type", 74, 75, 5, &fiveAndSeven, false},
      {"not a failover alert", 75, 75, 5, &fiveAndSeven, false},
  };
  for (const Case& c : cases) {
    for (int status : {0, 3}) {  // the status never counts
      SCOPED_TRACE(std::string(c.what) + " status " + std::to_string(status));
      NTAlertProcessClient client(c.clientType, c.criteria, status, alert_);
      AlertDetail rule = Rule(c.ruleType, c.ruleCriteria);
      NTNotifRuleDetectedAlertProcessing processing(rule, client);
      EXPECT_EQ(processing.MatchAlert(), c.match);
      EXPECT_EQ(processing.detectedAlertsData.list(KTGui::DetectedAlertsData::details).size(),
                c.match ? 1u : 0u);
    }
  }
  NTAlertProcessClient client(74, 5, 0, alert_);
  AlertDetail bare;  // no alert definition
  NTNotifRuleDetectedAlertProcessing processing(bare, client);
  EXPECT_FALSE(processing.MatchAlert());
}

TEST_F(RuleMatchingTest, MatchCollectsTheTokenValuesInOrder) {
  NTAlertProcessClient client(74, 7, 0, alert_);
  client.createdAt = 2225016000;  // 2040-07-04 12:00:00 UTC, beyond 32 bits
  client.alertConfig.set(KTGui::GetAlertDetailForClientResp::tarnholdName, "Nord-Ost ✓");
  alert_.curEventCode = 0x4a00003f;
  alert_.curMessageId = 0x4a200001;
  alert_ << "Höhe 2";
  // Two entries of criteria 7: the first one's severity counts.
  const std::vector<std::pair<int, int>> criteria = {{5, 1}, {7, 2}, {7, 1}};
  AlertDetail rule = Rule(74, &criteria);
  NTNotifRuleDetectedAlertProcessing processing(rule, client);
  ASSERT_TRUE(processing.MatchAlert());

  auto& details = processing.detectedAlertsData.list(KTGui::DetectedAlertsData::details);
  ASSERT_EQ(details.size(), 1u);
  EXPECT_EQ(details[0].get(KTGui::DetectedAlertsDataDetails::sequenceNumber), 1);
  Pairs pairs;
  for (auto& pair : details[0].list(KTGui::DetectedAlertsDataDetails::tokenValues)) {
    pairs.emplace_back(pair.get(KTGui::TokenValueStruct::tokenId),
                       pair.list(KTGui::TokenValueStruct::values).at(0));
  }
  EXPECT_EQ(pairs, (Pairs{{0x4a000004, "Nord-Ost ✓"},
                          {0x4a000007, "Wed Jul  4 08:00:00 2040"},
                          {0x4a000008, "Wed Jul  4 12:00:00 2040"},
                          {0x4a00000e, "0"},
                          {0x4a000520, "2"},
                          {0x4a00051f, "Major"},
                          {0x4a00003f, "Failover to Höhe 2"}}));
}

}  // namespace
