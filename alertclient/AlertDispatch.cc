// EvAlertEx::sendAlert: the one place where the two roads of an alert part.
// It lives above the record because the local road (NTAlertProcessClient)
// builds on the record, and the record must not know the road.
#include "platform/KTAlert.h"
#include "tarnalert/alert/EvAlertEx.h"
#include "tarnalert/alertclient/EvAlertProcessClient.h"

int EvAlertEx::sendAlert(int alertType, int criteria, int status) {
  EvEvent log;
  this->alertType = alertType;
  this->criteria = criteria;
  this->status = status != 0 ? status : static_cast<int32_t>(defaultStatus);
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
