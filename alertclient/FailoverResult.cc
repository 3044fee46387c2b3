#include "tarnalert/alertclient/FailoverResult.h"

namespace tarnalert {

NotificationOutcome OutcomeOf(const DeliveryResult& delivery) {
  if (delivery.code == 0) return NotificationOutcome::kDelivered;
  if (delivery.code == -1 && delivery.text.empty()) return NotificationOutcome::kNoTransport;
  if (!delivery.keptAs.empty()) return NotificationOutcome::kDeferred;
  if (!delivery.deliveredTo.empty()) return NotificationOutcome::kPartlyDelivered;
  return NotificationOutcome::kFailed;
}

}  // namespace tarnalert
