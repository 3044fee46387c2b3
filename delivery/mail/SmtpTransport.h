// Sends one finished message to an SMTP server with libcurl: smtp:// with
// STARTTLS as the settings require, or smtps://; certificates and host names
// always verified (a private CA may be named); AUTH when a user is set, and
// only over TLS; every recipient the server accepts gets the message, even
// when it refuses others; every wait, the closing QUIT included, bounded by
// the configured timeouts.
//
// A call makes its own connection and keeps nothing afterwards, unless it is
// given an SmtpSession: then the messages of the session share one
// connection for as long as the server keeps it open. Safe to call from any
// thread; libcurl is set up once for the process; a session belongs to one
// thread.
#ifndef TARNALERT_DELIVERY_SMTPTRANSPORT_H_
#define TARNALERT_DELIVERY_SMTPTRANSPORT_H_

#include <string>
#include <vector>

#include "delivery/mail/MailRequest.h"
#include "delivery/mail/MailSettings.h"
#include "delivery/mail/MailTransport.h"
#include "delivery/transfer/CurlTransfer.h"
#include "tarnalert/platform/env/Env.h"

namespace tarnalert {
namespace detail {

// One connection to the mail server kept across the messages sent with it,
// so that many messages to one server cost one greeting, one TLS handshake
// and one login. A message after a failure that closed the connection opens
// a new one. The end of the session (its destruction) says QUIT and waits
// for the reply no longer than the mail timeout of the last message sent.
// The CA and password files are read once, for the first message.
class SmtpSession {
 public:
  SmtpSession() = default;
  ~SmtpSession();
  SmtpSession(const SmtpSession&) = delete;
  SmtpSession& operator=(const SmtpSession&) = delete;

 private:
  friend Transmission SendBySmtp(Env*, const MailSettings&, const MailEnvelope&, const std::string&,
                                 std::vector<std::string>*, SmtpSession*);
  CurlHandle handle_;
  bool secretsRead_ = false;
  std::string caCertificates_;
  std::string password_;  // wiped at the end
};

// Sends `message` to the recipients of `envelope` that the server accepts
// (see Transmission). A failure has the server's reply code (4xx, 5xx) or a
// code of MailResult.h, with a text that names what failed and quotes the
// server's reply; a login the server refuses is a setting to mend (code 2).
// Never blocks longer than the configured timeouts. The password is read
// from the password file through `env` and appears in no text and no line
// of `conversation` (see TransmitMail). With `session` (may be null) the
// connection of the session is used and kept open.
Transmission SendBySmtp(Env* env, const MailSettings& settings, const MailEnvelope& envelope,
                        const std::string& message, std::vector<std::string>* conversation,
                        SmtpSession* session = nullptr);

}  // namespace detail
}  // namespace tarnalert

#endif  // TARNALERT_DELIVERY_SMTPTRANSPORT_H_
