// Hands a finished message to the transport that the mail settings name:
// the SMTP transport or the file transport. The first delivery, every retry
// from the outbox and a try of the settings go through here.
#ifndef TARNALERT_DELIVERY_MAIL_MAILTRANSPORT_H_
#define TARNALERT_DELIVERY_MAIL_MAILTRANSPORT_H_

#include <cstdint>
#include <string>
#include <vector>

#include "delivery/mail/MailRequest.h"
#include "delivery/mail/MailSettings.h"
#include "tarnalert/platform/env/Env.h"

namespace tarnalert {
namespace detail {

// A recipient the server refused on its own (its RCPT TO), with the reply.
struct RefusedRecipient {
  std::string address;
  int64_t code = 0;   // the reply code, 400 to 599
  std::string reply;  // the reply's last line
};

// What one hand-over did. With code 0 the message went to every recipient
// of the envelope but those in `refused`; otherwise it went to none, and
// `refused` still names those refused on their own before that.
struct Transmission {
  DeliveryResult result;
  std::vector<RefusedRecipient> refused;
};

class SmtpSession;

// Hands `message` to the transport of `settings` (which must name one);
// `name` is its unique file name for the file transport. With
// `conversation`, the SMTP commands and replies are added to it, one per
// line, "> " for those sent and "< " for those received, login data hidden.
// With `session`, the SMTP transport sends over the session's connection
// (see SmtpSession).
Transmission TransmitMail(Env* env, const MailSettings& settings, const MailEnvelope& envelope,
                          const std::string& name, const std::string& message,
                          std::vector<std::string>* conversation = nullptr,
                          SmtpSession* session = nullptr);

}  // namespace detail
}  // namespace tarnalert

#endif  // TARNALERT_DELIVERY_MAIL_MAILTRANSPORT_H_
