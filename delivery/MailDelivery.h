// The default e-mail delivery hook: reads the transport settings, turns the
// serialized request into a safe message and hands it to the transport
// (SMTP or the file outbox). Env::DeliverEmail of the default environment
// calls DeliverMail with the Env in force, whose settings therefore govern.
//
// Runs entirely on the caller's thread and starts nothing; what it keeps is
// what could not go out yet, in the outbox (OutboxQueue.h).
#ifndef TARNALERT_DELIVERY_MAILDELIVERY_H_
#define TARNALERT_DELIVERY_MAILDELIVERY_H_

#include <string>
#include <vector>

#include "tarnalert/platform/env/Env.h"

namespace tarnalert {
namespace detail {

enum class KeepMode {
  kKeep,     // what cannot go out now waits in the outbox
  kOneShot,  // nothing is kept: a try of the settings
};

// Delivers the App::EmailInfo text `request` with the delivery option bits
// `deliveryOptions` to every valid recipient the server accepts. {-1, ""}
// when no transport is configured; 0 when every recipient took the message
// (or its file is in place); otherwise a code of MailResult.h or the SMTP
// server's reply code, with a text that says what failed. With kKeep, a
// message that could not go out for a reason that may pass (a setting or
// secret file to mend, no connection, a 4xx reply) waits in the outbox's
// deferred/, for the recipients concerned alone (and, when the settings
// stopped it from being built, as the request); one refused for good is
// recorded in failed/; the text and `keptAs` say where. `conversation` as
// in TransmitMail.
DeliveryResult DeliverMail(Env* env, const std::string& request, int deliveryOptions, KeepMode mode,
                           std::vector<std::string>* conversation = nullptr);

}  // namespace detail
}  // namespace tarnalert

#endif  // TARNALERT_DELIVERY_MAILDELIVERY_H_
