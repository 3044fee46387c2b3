// What the local road did with one failover alert (type 74): for each rule
// that matched, the notification built and what became of it; when nothing
// was built, why. MatchAndSendAlert(FailoverResult*) and SendFailoverAlert
// fill it as the road runs, so a caller learns the outcome from the return
// value rather than from the debug log.
//
// Plain values, owned by the caller.
#ifndef TARNALERT_ALERTCLIENT_FAILOVERRESULT_H_
#define TARNALERT_ALERTCLIENT_FAILOVERRESULT_H_

#include <cstddef>
#include <string>
#include <vector>

#include "tarnalert/platform/Export.h"
#include "tarnalert/platform/env/Env.h"

class EvAlertEx;

namespace tarnalert {

enum class NotificationOutcome {
  kDelivered,        // every recipient took it
  kPartlyDelivered,  // some took it; the server refused the others for good
  kDeferred,         // it, or the part for some recipients, waits in the outbox
  kFailed,           // nobody got it and nothing waits: the delivery text says why
  kNoTransport,      // no mail transport is configured: failover mail is off
  kNotBuilt,         // no e-mail was built; `reason` says why
};

// One rule that matched the alert, and its notification.
struct NotificationResult {
  int ruleId = 0;
  std::string ruleName;
  std::string subject;  // UTF-8, as the request holds it
  std::string request;  // the serialized App::EmailInfo; empty when not built
  int deliveryOptions = 0;
  size_t recipients = 0;  // entries in the request's To, Cc and Bcc lists
  NotificationOutcome outcome = NotificationOutcome::kNotBuilt;
  std::string reason;       // why it was not built (kNotBuilt)
  DeliveryResult delivery;  // what Env::DeliverEmail answered
};

// Why no notification was built, when none was.
enum class FailoverStop {
  kNone,                  // rules matched: see the notifications
  kNoConfiguration,       // no configuration is installed (or no place is known for one)
  kConfigurationRefused,  // the configuration or its directory could not be used
  kNoRuleMatched,         // no enabled, complete rule fits the alert
};

struct FailoverResult {
  std::string configFile;  // where the configuration was looked for; empty when unknown
  FailoverStop stop = FailoverStop::kNone;
  std::string reason;        // why nothing was built, in words; empty with kNone
  size_t rulesExamined = 0;  // rules of the configuration
  std::vector<NotificationResult> notifications;  // the matching rules, in rule order
};

// The outcome that the answer of a delivery hook stands for.
TARNALERT_EXPORT NotificationOutcome OutcomeOf(const DeliveryResult& delivery);

// What EvAlertEx::sendAlert(74, criteria, status) does, with its result:
// stamps type, criteria and status into `alert` as sendAlert does, then
// runs the local road.
TARNALERT_EXPORT FailoverResult SendFailoverAlert(EvAlertEx& alert, int criteria, int status);

}  // namespace tarnalert

#endif  // TARNALERT_ALERTCLIENT_FAILOVERRESULT_H_
