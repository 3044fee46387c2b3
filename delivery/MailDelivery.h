// The default e-mail delivery hook: reads the transport settings, turns the
// serialized request into a safe message and hands it to the transport
// (SMTP or the file outbox). Env::DeliverEmail of the default environment
// calls DeliverMail with the Env in force, whose settings therefore govern.
//
// Runs entirely on the caller's thread and starts nothing; what it keeps is
// a message to retry, in the outbox (OutboxQueue.h).
#ifndef TARNALERT_DELIVERY_MAILDELIVERY_H_
#define TARNALERT_DELIVERY_MAILDELIVERY_H_

#include <string>

#include "delivery/mail/MailRequest.h"
#include "delivery/mail/MailSettings.h"
#include "tarnalert/platform/env/Env.h"

namespace tarnalert {
namespace detail {

// Delivers the App::EmailInfo text `request` with the delivery option bits
// `deliveryOptions`. {-1, ""} when no transport is configured; 0 when the
// message was accepted for every recipient (or its file is in place);
// otherwise a code of MailResult.h or the SMTP server's reply code, with a
// text that says what failed. A temporary failure of an SMTP transport
// (IsTemporaryFailure) stores the message in the outbox for a retry; the
// code stays the transport's and the text says where the message waits.
DeliveryResult DeliverMail(Env* env, const std::string& request, int deliveryOptions);

}  // namespace detail
}  // namespace tarnalert

#endif  // TARNALERT_DELIVERY_MAILDELIVERY_H_
