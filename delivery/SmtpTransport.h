// Sends one finished message to an SMTP server with libcurl: smtp:// with
// STARTTLS as the settings require, or smtps://; certificates and host names
// always verified (a private CA may be named); AUTH when a user is set, and
// only over TLS; connect and total timeouts.
//
// Each call makes its own connection and keeps nothing afterwards. Safe to
// call from any thread; libcurl is set up once for the process.
#ifndef TARNALERT_DELIVERY_SMTPTRANSPORT_H_
#define TARNALERT_DELIVERY_SMTPTRANSPORT_H_

#include <curl/curl.h>

#include <string>

#include "delivery/MailRequest.h"
#include "delivery/MailSettings.h"
#include "tarnalert/platform/env/Env.h"

namespace tarnalert {
namespace detail {

// libcurl's process-wide set-up, done once; every transport calls it before
// its first handle.
void SetUpCurl();

// The options every transfer of ours shares: only `protocols`, no signals,
// libcurl's error text into `errorBuffer` (CURL_ERROR_SIZE bytes), the two
// timeouts in seconds, the peer's certificate and host name always verified,
// and, when `caCertificates` (PEM) is not empty, that CA in place of the
// system's store.
void SetVerifiedTransfer(CURL* handle, const char* protocols, char* errorBuffer,
                         long connectTimeout, long timeout, const std::string& caCertificates);

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
