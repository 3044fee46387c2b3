// Sends one finished message to an SMTP server with libcurl: smtp:// with
// STARTTLS as the settings require, or smtps://; certificates and host names
// always verified (a private CA may be named); AUTH when a user is set, and
// only over TLS; connect and total timeouts.
//
// Each call makes its own connection and keeps nothing afterwards. Safe to
// call from any thread; libcurl is set up once for the process.
#ifndef TARNALERT_DELIVERY_SMTPTRANSPORT_H_
#define TARNALERT_DELIVERY_SMTPTRANSPORT_H_

#include <string>

#include "delivery/mail/MailRequest.h"
#include "delivery/mail/MailSettings.h"
#include "tarnalert/platform/env/Env.h"

namespace tarnalert {
namespace detail {

// Sends `message` to every recipient of `envelope`. Code 0 when the server
// accepted it for all of them; otherwise the server's reply code (4xx, 5xx)
// or a code of MailResult.h, with a text that names what failed and quotes
// the server's reply. Never blocks longer than the configured timeouts. The
// password is read from the password file through `env` and never appears
// in a text.
DeliveryResult SendBySmtp(Env* env, const MailSettings& settings, const MailEnvelope& envelope,
                          const std::string& message);

}  // namespace detail
}  // namespace tarnalert

#endif  // TARNALERT_DELIVERY_SMTPTRANSPORT_H_
