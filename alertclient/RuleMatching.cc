// Matching of one notification rule against the detected failover alert, and
// the collection of the alert's token values for a rule that fits.
#include <cstdint>

#include "alertclient/detail/RuleFields.h"
#include "tarnalert/alert/EvAlertEx.h"
#include "tarnalert/alertclient/AlertTokenHelper.h"
#include "tarnalert/alertclient/EvAlertProcessClient.h"

namespace {

using tarnalert::detail::RuleLocale;

// The alert type of the rule: the id of the alertType inside its alert; 0
// when either is missing (the rule is not changed by reading it).
int RuleAlertType(HqMessageBase& rule) {
  if (!rule.isSet(KTGui::AlertDetail::alert)) return 0;
  HqMessageBase& info = rule.child(KTGui::AlertDetail::alert);
  if (!info.isSet(KTGui::AlertInfo::alertType)) return 0;
  return static_cast<int>(info.child(KTGui::AlertInfo::alertType).get(KTGui::IdName::id));
}

}  // namespace

bool NTNotifRuleDetectedAlertProcessing::MatchAlert() {
  if (client.alertType != tarnalert::kFailoverAlertType) return false;
  if (RuleAlertType(alertDetail) != client.alertType) return false;
  if (!alertDetail.isSet(KTGui::AlertDetail::criteria)) return false;
  // The status of the alert takes no part: only its type and criteria count.
  for (const HqMessageBase& entry : alertDetail.list(KTGui::AlertDetail::criteria)) {
    if (static_cast<int>(entry.get(KTGui::AlertCriteria::criteriaId)) == client.criteria) {
      ProcessFailoverAlert(KTGui::AlertCriteria(entry));
      return true;
    }
  }
  return false;
}

bool NTNotifRuleDetectedAlertProcessing::ProcessFailoverAlert(KTGui::AlertCriteria criteria) {
  KTGui::DetectedAlertsDataDetails details;
  details.list(KTGui::DetectedAlertsDataDetails::tokenValues).clear();

  AlertTokenHelper helper(client.alertConfig, client.alertType, RuleLocale(alertDetail));
  helper.PushTarnholdName(details);
  helper.PushDateTime(details, client.createdAt);
  helper.PushDateTimeUTC(details, client.createdAt);
  helper.PushCriteria(details, static_cast<unsigned long>(static_cast<long>(client.criteria)));
  helper.PushAlertSeverity(details, alertDetail, criteria);

  HqMessageList& entries = detectedAlertsData.list(KTGui::DetectedAlertsData::details);
  details.set(KTGui::DetectedAlertsDataDetails::sequenceNumber,
              static_cast<int64_t>(entries.size()) + 1);
  helper.PushCommentToken(details, client.alert);
  entries.push_back(details);
  return true;
}
