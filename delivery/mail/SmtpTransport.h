// Sends one finished message to an SMTP server with libcurl: smtp:// with
// STARTTLS as the settings require, or smtps://; certificates and host names
// always verified (a private CA may be named); AUTH when a user is set, and
// only over TLS; every recipient the server accepts gets the message, even
// when it refuses others; every wait, the closing QUIT included, bounded by
// the configured timeouts.
//
// Each call makes its own connection and keeps nothing afterwards. Safe to
// call from any thread; libcurl is set up once for the process.
#ifndef TARNALERT_DELIVERY_SMTPTRANSPORT_H_
#define TARNALERT_DELIVERY_SMTPTRANSPORT_H_

#include <string>
#include <vector>

#include "delivery/mail/MailRequest.h"
#include "delivery/mail/MailSettings.h"
#include "delivery/mail/MailTransport.h"
#include "tarnalert/platform/env/Env.h"

namespace tarnalert {
namespace detail {

// Sends `message` to the recipients of `envelope` that the server accepts
// (see Transmission). A failure has the server's reply code (4xx, 5xx) or a
// code of MailResult.h, with a text that names what failed and quotes the
// server's reply; a login the server refuses is a setting to mend (code 2).
// Never blocks longer than the configured timeouts. The password is read
// from the password file through `env` and appears in no text and no line
// of `conversation` (see TransmitMail).
Transmission SendBySmtp(Env* env, const MailSettings& settings, const MailEnvelope& envelope,
                        const std::string& message, std::vector<std::string>* conversation);

}  // namespace detail
}  // namespace tarnalert

#endif  // TARNALERT_DELIVERY_SMTPTRANSPORT_H_
