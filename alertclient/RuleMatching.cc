// Matching of one notification rule against the detected failover alert, and
// the collection of the alert's token values for a rule that fits.
#include <algorithm>
#include <cstdint>

#include "alertclient/detail/PassMemo.h"
#include "alertclient/detail/RuleFields.h"
#include "tarnalert/alert/EvAlertEx.h"
#include "tarnalert/alertclient/AlertTokenHelper.h"
#include "tarnalert/alertclient/EvAlertProcessClient.h"

namespace {

using tarnalert::detail::RuleLocale;

}  // namespace

namespace tarnalert {
namespace detail {

namespace {

// The rule's alert type: the id of the alertType inside its alert.
int RuleAlertType(const HqMessageBase& rule) {
  const HqMessageBase* info = rule.findChild(KTGui::AlertDetail::alert);
  const HqMessageBase* type = info ? info->findChild(KTGui::AlertInfo::alertType) : nullptr;
  return type ? static_cast<int>(type->get(KTGui::IdName::id)) : 0;
}

}  // namespace

RuleSelection SelectionOf(const HqMessageBase& rule) {
  RuleSelection selection;
  selection.alertType = RuleAlertType(rule);
  if (const HqMessageList* entries = rule.findList(KTGui::AlertDetail::criteria)) {
    for (const HqMessageBase& entry : *entries) {
      selection.criteria.push_back(static_cast<int>(entry.get(KTGui::AlertCriteria::criteriaId)));
    }
  }
  return selection;
}

bool RuleSelection::Selects(int type, int criteriaId) const {
  return alertType == type &&
         std::find(criteria.begin(), criteria.end(), criteriaId) != criteria.end();
}

const HqMessageBase* SelectedCriteria(const HqMessageBase& rule, int alertType, int criteria) {
  if (RuleAlertType(rule) != alertType) return nullptr;
  const HqMessageList* entries = rule.findList(KTGui::AlertDetail::criteria);
  if (entries == nullptr) return nullptr;
  // The status of the alert takes no part: only its type and criteria count.
  for (const HqMessageBase& entry : *entries) {
    if (static_cast<int>(entry.get(KTGui::AlertCriteria::criteriaId)) == criteria) return &entry;
  }
  return nullptr;
}

}  // namespace detail
}  // namespace tarnalert

bool NTNotifRuleDetectedAlertProcessing::MatchAlert() {
  if (client.alertType != tarnalert::kFailoverAlertType) return false;
  const HqMessageBase* entry =
      tarnalert::detail::SelectedCriteria(alertDetail, client.alertType, client.criteria);
  if (entry == nullptr) return false;
  ProcessFailoverAlert(KTGui::AlertCriteria(*entry));
  return true;
}

bool NTNotifRuleDetectedAlertProcessing::ProcessFailoverAlert(KTGui::AlertCriteria criteria) {
  KTGui::DetectedAlertsDataDetails details;
  details.list(KTGui::DetectedAlertsDataDetails::tokenValues).clear();

  AlertTokenHelper helper(client.alertConfig, client.alertType, RuleLocale(alertDetail));
  helper.PushTarnholdName(details);
  // The detection time reads the same for every rule of a pass.
  auto timeText = [&](bool utc) {
    const time_t detected = client.createdAt;
    auto make = [=] { return AlertTokenHelper::DateTimeText(detected, utc); };
    return client.pass() != nullptr ? client.pass()->TimeText(utc, make) : make();
  };
  helper.Push(details, AlertTokenHelper::kDateTimeToken, timeText(false));
  helper.Push(details, AlertTokenHelper::kDateTimeUtcToken, timeText(true));
  helper.PushCriteria(details, static_cast<unsigned long>(static_cast<long>(client.criteria)));
  helper.PushAlertSeverity(details, alertDetail, criteria);

  HqMessageList& entries = detectedAlertsData.list(KTGui::DetectedAlertsData::details);
  details.set(KTGui::DetectedAlertsDataDetails::sequenceNumber,
              static_cast<int64_t>(entries.size()) + 1);
  helper.PushCommentToken(details, client.alert);
  entries.push_back(std::move(details));
  return true;
}
