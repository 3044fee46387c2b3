// Matching of one notification rule against the detected failover alert, and
// the collection of the alert's token values for a rule that fits.
#include <cstdint>

#include "alertclient/detail/AlertMemo.h"
#include "alertclient/detail/RuleFields.h"
#include "tarnalert/alert/EvAlertEx.h"
#include "tarnalert/alertclient/AlertTokenHelper.h"
#include "tarnalert/alertclient/EvAlertProcessClient.h"

namespace {

using tarnalert::detail::RuleLocale;

}  // namespace

namespace tarnalert {
namespace detail {

const HqMessageBase* SelectedCriteria(const HqMessageBase& rule, int alertType, int criteria) {
  // The rule's alert type is the id of the alertType inside its alert.
  const HqMessageBase* info = rule.findChild(KTGui::AlertDetail::alert);
  const HqMessageBase* type = info ? info->findChild(KTGui::AlertInfo::alertType) : nullptr;
  const int ruleType = type ? static_cast<int>(type->get(KTGui::IdName::id)) : 0;
  if (ruleType != alertType) return nullptr;
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

namespace {

// A token helper whose catalogue look-ups the alert's memo answers: every
// rule of the alert looks up the same severity texts.
class MemoTokenHelper : public AlertTokenHelper {
 public:
  MemoTokenHelper(NTAlertProcessClient& client, unsigned long localeId)
      : AlertTokenHelper(client.alertConfig, client.alertType, localeId), memo_(client.memo()) {}

 protected:
  std::string CatalogText(unsigned long messageId, unsigned long size) override {
    return memo_.NarrowText(messageId, size, localeId);
  }

 private:
  tarnalert::detail::AlertMemo& memo_;
};

}  // namespace

bool NTNotifRuleDetectedAlertProcessing::ProcessFailoverAlert(KTGui::AlertCriteria criteria) {
  KTGui::DetectedAlertsDataDetails details;
  details.list(KTGui::DetectedAlertsDataDetails::tokenValues).clear();

  MemoTokenHelper helper(client, RuleLocale(alertDetail));
  helper.PushTarnholdName(details);
  // The detection time reads the same for every rule of the alert.
  const time_t detected = client.createdAt;
  helper.Push(details, AlertTokenHelper::kDateTimeToken, client.memo().TimeText(false, [=] {
    return AlertTokenHelper::DateTimeText(detected, false);
  }));
  helper.Push(details, AlertTokenHelper::kDateTimeUtcToken, client.memo().TimeText(true, [=] {
    return AlertTokenHelper::DateTimeText(detected, true);
  }));
  helper.PushCriteria(details, static_cast<unsigned long>(static_cast<long>(client.criteria)));
  helper.PushAlertSeverity(details, alertDetail, criteria);

  HqMessageList& entries = detectedAlertsData.list(KTGui::DetectedAlertsData::details);
  details.set(KTGui::DetectedAlertsDataDetails::sequenceNumber,
              static_cast<int64_t>(entries.size()) + 1);
  helper.PushCommentToken(details, client.alert);
  entries.push_back(std::move(details));
  return true;
}
