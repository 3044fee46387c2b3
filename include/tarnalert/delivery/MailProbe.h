// A try of the mail settings: one e-mail request sent once through the
// transport that the TARNALERT_MAIL_* settings of the Env in force name,
// with nothing kept in the outbox whatever happens (docs/delivery.md).
// Runs on the caller's thread and starts nothing.
#ifndef TARNALERT_DELIVERY_MAILPROBE_H_
#define TARNALERT_DELIVERY_MAILPROBE_H_

#include <string>
#include <vector>

#include "tarnalert/platform/Export.h"
#include "tarnalert/platform/env/Env.h"

namespace tarnalert {

// Sends the serialized App::EmailInfo `request` with the delivery option
// bits `deliveryOptions` as Env::DeliverEmail of the default environment
// does, but keeps nothing for a retry: the result says what happened to
// each recipient, and a failure is only reported. With `conversation`, the
// SMTP commands and replies are added to it, one per line ("> " sent, "< "
// received), login data hidden.
TARNALERT_EXPORT DeliveryResult ProbeMail(const std::string& request, int deliveryOptions,
                                          std::vector<std::string>* conversation);

}  // namespace tarnalert

#endif  // TARNALERT_DELIVERY_MAILPROBE_H_
