#include "alertclient/EvAlertProcessClient.h"

#include "alert/EvAlertEx.h"
#include "platform/Env.h"

NTAlertProcessClient::NTAlertProcessClient(int alertType, int criteria, int status,
                                           EvAlertEx& alert)
    : alertType(alertType),
      criteria(criteria),
      status(status),
      alert(alert),
      createdAt(tarnalert::Env::Current()->Now()) {}

NTNotifRuleDetectedAlertProcessing::NTNotifRuleDetectedAlertProcessing(
    HqMessageBase& rule, NTAlertProcessClient& client)
    : lowestSeverity(-1),
      localeId(0),
      messageFormat(0),
      client(client),
      alertDetail(rule) {}
