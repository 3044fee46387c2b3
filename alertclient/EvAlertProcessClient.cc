#include "tarnalert/alertclient/EvAlertProcessClient.h"

#include "tarnalert/alert/EvAlertEx.h"
#include "tarnalert/alertclient/ConfigCheck.h"
#include "tarnalert/platform/env/Env.h"
#include "tarnalert/platform/event/EvEvent.h"
#include "tarnalert/platform/text/FXString.h"

NTAlertProcessClient::NTAlertProcessClient(int alertType, int criteria, int status,
                                           EvAlertEx& alert)
    : alertType(alertType),
      criteria(criteria),
      status(status),
      alert(alert),
      createdAt(tarnalert::Env::Current()->Now()) {}

NTNotifRuleDetectedAlertProcessing::NTNotifRuleDetectedAlertProcessing(HqMessageBase& rule,
                                                                       NTAlertProcessClient& client)
    : lowestSeverity(-1), localeId(0), messageFormat(0), client(client), alertDetail(rule) {}

void NTAlertProcessClient::MatchAndSendAlert() {
  using KTGui::AlertInfo;
  using KTGui::IdName;
  constexpr const char* kTag = "MatchAndSendAlert";
  EvEvent log;

  // An absent or unreadable file leaves the rule list empty.
  std::string text;
  RetrieveDetailsFromXML(text);
  if (!text.empty()) alertConfig.unserialize(text);

  HqMessageList& rules = alertConfig.list(KTGui::GetAlertDetailForClientResp::alertDetails);
  for (size_t i = 0; i < rules.size(); ++i) {
    HqMessageBase& rule = rules[i];
    switch (tarnalert::RuleSkipReason(rule)) {
      case tarnalert::RuleSkip::kNone:
        break;
      case tarnalert::RuleSkip::kNoAlertNoRecipients:
      case tarnalert::RuleSkip::kNoAlert:
      case tarnalert::RuleSkip::kNoRecipients:
        log.DebugLvl(kTag, 5,
                     "Skipping alert notification at index [%zu] since it does not have "
                     "sufficient information.",
                     i);
        continue;
      case tarnalert::RuleSkip::kDisabledOrDeleted:
        log.DebugLvl(kTag, 5,
                     "Skipping alert notification at index [%zu] since its disabled or deleted. ",
                     i);
        continue;
      case tarnalert::RuleSkip::kNoIdOrName:
        log.DebugLvl(kTag, 5,
                     "Skipping alert notification at index [%zu] since it does not have Id or "
                     "name set. ",
                     i);
        continue;
    }
    HqMessageBase& idName = rule.child(KTGui::AlertDetail::alert).child(AlertInfo::alert);
    const int ruleId = static_cast<int>(idName.get(IdName::id));
    const std::string& ruleName = idName.get(IdName::name);
    NTNotifRuleDetectedAlertProcessing processing(rule, *this);
    if (processing.MatchAlert()) {
      log.Error(kTag,
                "Detected alert of type, criteria and status [%d:%d:%d] matched notification "
                "[%d:%ls]. Filling details for notification",
                alertType, criteria, status, ruleId, FXString::ToWstring(ruleName).c_str());
      processing.SendNotification();
    }
  }
}
