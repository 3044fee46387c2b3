// Hands a finished message to the transport that the mail settings name:
// the SMTP transport or the file transport. The first delivery and every
// retry from the outbox go through here.
#ifndef TARNALERT_DELIVERY_MAIL_MAILTRANSPORT_H_
#define TARNALERT_DELIVERY_MAIL_MAILTRANSPORT_H_

#include <string>

#include "delivery/mail/MailRequest.h"
#include "delivery/mail/MailSettings.h"
#include "tarnalert/platform/env/Env.h"

namespace tarnalert {
namespace detail {

// Hands `message` to the transport of `settings` (which must name one);
// `name` is its unique file name for the file transport. The transport's
// result, unchanged.
DeliveryResult TransmitMail(Env* env, const MailSettings& settings, const MailEnvelope& envelope,
                            const std::string& name, const std::string& message);

}  // namespace detail
}  // namespace tarnalert

#endif  // TARNALERT_DELIVERY_MAIL_MAILTRANSPORT_H_
