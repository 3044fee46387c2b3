// What a spooled alert becomes in Prometheus Alertmanager's v2 API
// (docs/alertmanager.md): its labels, annotations and times, the checks
// Alertmanager applies to them, and their JSON form.
//
// Alertmanager takes alerts with equal labels for one alert. The label
// `spool_id` (the spool file's name) keeps every event its own, and an alert
// sent again after a kill gets the same labels, so it is not counted twice.
//
// AlertNaming reads the installed configuration once and belongs to one
// thread; the free functions keep no state.
#ifndef TARNALERT_DELIVERY_SPOOL_ALERTMANAGERALERT_H_
#define TARNALERT_DELIVERY_SPOOL_ALERTMANAGERALERT_H_

#include <cstdint>
#include <map>
#include <string>

#include "tarnalert/platform/message/Messages.h"

namespace tarnalert {
namespace detail {

struct AlertmanagerAlert {
  std::map<std::string, std::string> labels;
  std::map<std::string, std::string> annotations;
  int64_t startsAtMillis = 0;  // since 1970, UTC
  int64_t endsAtMillis = 0;
};

// The names Alertmanager sees for alert types and their severities, from the
// installed configuration as it was when Load ran.
class AlertNaming {
 public:
  // Reads the installed configuration; without one (or with one that does
  // not decode) only the fallbacks are known.
  void Load();

  // The type's name in the configuration's alert type catalogue, rendered
  // through the message catalogue; "Alert type N" when it has none.
  std::string AlertName(int alertType);
  // "critical", "major" or "informational", from the first rule that selects
  // this type and criteria (the rule's severity, else the criteria's), as
  // the local road reads it; empty when no rule selects them.
  std::string Severity(int alertType, int criteria);

 private:
  KTGui::GetAlertDetailForClientResp config_;
  std::map<int, std::string> names_;  // looked up once per type
};

// Builds the alert of the spool file `name` holding `text`, as seen at
// `nowMillis`: startsAt is the spool time, never later than now; endsAt is
// `endsAfterSeconds` after startsAt, or after now when that has passed.
// False, with the reason in `error`, when `text` is not a spooled alert.
bool MakeAlertmanagerAlert(const std::string& name, const std::string& text, AlertNaming& naming,
                           int64_t nowMillis, long endsAfterSeconds, AlertmanagerAlert* alert,
                           std::string* error);

// Empty when Alertmanager would take `alert`; otherwise why it would not:
// no labels, a label or annotation name outside [a-zA-Z_][a-zA-Z0-9_]*, a
// value that is not UTF-8, a time outside the years 1 to 9999, or endsAt not
// after startsAt.
std::string CheckAlertmanagerAlert(const AlertmanagerAlert& alert);

// Appends the JSON object of `alert` to `out`.
void AppendAlertmanagerJson(const AlertmanagerAlert& alert, std::string* out);

}  // namespace detail
}  // namespace tarnalert

#endif  // TARNALERT_DELIVERY_SPOOL_ALERTMANAGERALERT_H_
