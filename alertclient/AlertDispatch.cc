// EvAlertEx::sendAlert: the one place where the two roads of an alert part.
// It lives above the record because the local road (NTAlertProcessClient)
// builds on the record, and the record must not know the road.
#include "platform/KTAlert.h"
#include "tarnalert/alert/EvAlertEx.h"
#include "tarnalert/alertclient/EvAlertProcessClient.h"
#include "tarnalert/alertclient/FailoverResult.h"

namespace {

// Type, criteria and status as the alert is sent (a status of 0 takes the
// alert's default).
void Stamp(EvAlertEx& alert, int alertType, int criteria, int status) {
  alert.alertType = alertType;
  alert.criteria = criteria;
  alert.status = status != 0 ? status : static_cast<int32_t>(alert.defaultStatus);
}

}  // namespace

tarnalert::FailoverResult tarnalert::SendFailoverAlert(EvAlertEx& alert, int criteria, int status) {
  Stamp(alert, kFailoverAlertType, criteria, status);
  NTAlertProcessClient client(kFailoverAlertType, criteria, status, alert);
  FailoverResult result;
  client.MatchAndSendAlert(&result);
  return result;
}

int EvAlertEx::sendAlert(int alertType, int criteria, int status) {
  EvEvent log;
  Stamp(*this, alertType, criteria, status);
  if (alertType == tarnalert::kFailoverAlertType) {
    // The local road sees the status exactly as the caller passed it.
    NTAlertProcessClient client(alertType, criteria, status, *this);
    client.MatchAndSendAlert();
    return 1;
  }
  std::string error;
  {
    KTAlert adapter;
    if (adapter.SendAlert(*this) == 0) return 1;
    error = adapter.getErrorString();
  }
  log.Debug("EvAlertEx::sendAlert(int, int, int)", "%s", error.c_str());
  return 0;
}
