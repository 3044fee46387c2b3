#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/testing/TestEnv.h"
#include "platform/testing/TestUtil.h"
#include "tarnalert/alert/EvAlertEx.h"
#include "tarnalert/alertclient/EvAlertProcessClient.h"

namespace {

using KTGui::AlertCriteria;
using KTGui::AlertDetail;
using KTGui::AlertInfo;
using Criteria = std::vector<std::pair<int, int>>;  // (criteriaId, severity) entries
using Pairs = std::vector<std::pair<int64_t, std::string>>;

// A rule of `alertType` selecting `criteria`; no criteria list at all when
// `criteria` is null, no alert definition at all when `alertType` is 0.
AlertDetail Rule(int alertType, const Criteria* criteria) {
  AlertDetail rule;
  if (alertType == 0) return rule;
  rule.child(AlertDetail::alert).child(AlertInfo::alertType).set(KTGui::IdName::id, alertType);
  if (criteria != nullptr) rule.list(AlertDetail::criteria).clear();  // set, even when empty
  for (auto [id, severity] : criteria ? *criteria : Criteria()) {
    HqMessageBase& entry = rule.list(AlertDetail::criteria).emplace_back(AlertCriteria());
    entry.set(AlertCriteria::criteriaId, id);
    entry.set(AlertCriteria::severity, severity);
  }
  return rule;
}

class RuleMatchingTest : public ::testing::Test {
 protected:
  tarnalert::test::ScopedTimeZone zone_{"EST5EDT,M3.2.0,M11.1.0"};
  tarnalert::test::TestEnv env_;
  tarnalert::ScopedEnv scoped_{&env_};
  EvAlertEx alert_;
};

TEST_F(RuleMatchingTest, RuleMatchesOnlyItsTypeWithASelectedCriteria) {
  const Criteria fiveAndSeven = {{5, 0}, {7, 0}}, none = {};
  // (what, alert type of the alert, of the rule, criteria of the alert, of the rule, match)
  const std::tuple<const char*, int, int, int, const Criteria*, bool> cases[] = {
      {"fits", 74, 74, 7, &fiveAndSeven, true},
      {"criteria not selected", 74, 74, 6, &fiveAndSeven, false},
      {"criteria list unset", 74, 74, 5, nullptr, false},
      {"criteria list empty", 74, 74, 5, &none, false},
      {"other rule type", 74, 75, 5, &fiveAndSeven, false},
      {"not a failover alert", 75, 75, 5, &fiveAndSeven, false},
      {"no alert definition", 74, 0, 5, &fiveAndSeven, false},
  };
  for (const auto& [what, alertType, ruleType, criteria, ruleCriteria, match] : cases) {
    for (int status : {0, 3}) {  // the status never counts
      NTAlertProcessClient client(alertType, criteria, status, alert_);
      AlertDetail rule = Rule(ruleType, ruleCriteria);
      NTNotifRuleDetectedAlertProcessing processing(rule, client);
      EXPECT_EQ(processing.MatchAlert(), match) << what << ", status " << status;
      auto& details = processing.detectedAlertsData.list(KTGui::DetectedAlertsData::details);
      EXPECT_EQ(details.size(), match ? 1u : 0u)
          << what << ", status " << status;  // the match's facts
    }
  }
}

TEST_F(RuleMatchingTest, MatchCollectsTheTokenValuesInOrder) {
  env_.SetCatalogText(0x3d00024a, "Major");
  env_.SetCatalogText(0x4a200001, "Failover to %1");
  NTAlertProcessClient client(74, 7, 0, alert_);
  client.createdAt = 2225016000;  // 2040-07-04 12:00:00 UTC, beyond 32 bits
  client.alertConfig.set(KTGui::GetAlertDetailForClientResp::tarnholdName, "Nord-Ost ✓");
  alert_.curEventCode = 0x4a00003f;
  alert_.curMessageId = 0x4a200001;
  alert_ << "Höhe 2";
  const Criteria criteria = {{5, 1}, {7, 2}, {7, 1}};  // of two entries for 7, the first counts
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
  // Installation, local and UTC time, criteria name id (none without a
  // catalogue), severity and its text, comment.
  EXPECT_EQ(pairs, (Pairs{{0x4a000004, "Nord-Ost ✓"},
                          {0x4a000007, "Wed Jul  4 08:00:00 2040"},
                          {0x4a000008, "Wed Jul  4 12:00:00 2040"},
                          {0x4a00000e, "0"},
                          {0x4a000520, "2"},
                          {0x4a00051f, "Major"},
                          {0x4a00003f, "Failover to Höhe 2"}}));
}

}  // namespace
