// Turns a serialized e-mail request (App::EmailInfo) into a message that is
// safe to send: header values without control characters, addresses read
// by the one mailbox rule (platform/text/MailAddress.h), blind copies in the
// envelope only, the delivery option bits applied (docs/delivery.md).
//
// Runs on the caller's thread and keeps no state.
#ifndef TARNALERT_DELIVERY_MAILREQUEST_H_
#define TARNALERT_DELIVERY_MAILREQUEST_H_

#include <string>
#include <vector>

#include "delivery/mail/MailMessage.h"
#include "tarnalert/platform/env/Env.h"

namespace tarnalert {
namespace detail {

// Who the message goes to on the wire: the sender and every recipient, blind
// copies included, each address once.
struct MailEnvelope {
  std::string sender;
  std::vector<std::string> recipients;
};

// `text` with every control character (CR and LF included) turned into a
// space; `*changed` tells whether there was one.
std::string WithoutControlCharacters(const std::string& text, bool* changed);

// Reads `request` into `content` and `envelope`. `defaultSender` (a mailbox,
// TARNALERT_MAIL_FROM) is used when the request names no valid sender. An
// invalid address is left out, and a replaced sender noted, in `notes` and
// with an error line; a cleaned header value gets a debug line. Returns 0
// when the message can be built; 1 (kMailRequestUnusable) when the request
// cannot be read or leaves no valid recipient ("no valid recipient"); 2
// (kMailSettingsWrong) when neither the request nor `defaultSender` gives a
// valid sender. The reason goes into `error`.
int64_t ReadMailRequest(const std::string& request, int deliveryOptions,
                        const std::string& defaultSender, MailContent* content,
                        MailEnvelope* envelope, std::vector<AddressNote>* notes,
                        std::string* error);

// "To", "Cc" or "Bcc": where the envelope recipient `address` of `content`
// came from.
std::string RecipientRole(const MailContent& content, const std::string& address);

}  // namespace detail
}  // namespace tarnalert

#endif  // TARNALERT_DELIVERY_MAILREQUEST_H_
