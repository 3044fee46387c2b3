// Turns a serialized e-mail request (App::EmailInfo) into a message that is
// safe to send: header values without control characters, addresses
// checked, blind copies in the envelope only, the delivery option bits
// applied (docs/delivery.md).
//
// Runs on the caller's thread and keeps no state.
#ifndef TARNALERT_DELIVERY_MAILREQUEST_H_
#define TARNALERT_DELIVERY_MAILREQUEST_H_

#include <string>
#include <vector>

#include "delivery/mail/MailMessage.h"

namespace tarnalert {
namespace detail {

// Who the message goes to on the wire: the sender and every recipient, blind
// copies included, each address once.
struct MailEnvelope {
  std::string sender;
  std::vector<std::string> recipients;
};

// True when `address` is a plain mailbox address (local@domain, ASCII).
bool IsValidMailAddress(const std::string& address);

// `text` with every control character (CR and LF included) turned into a
// space; `*changed` tells whether there was one.
std::string WithoutControlCharacters(const std::string& text, bool* changed);

// Reads `request` into `content` and `envelope`. `defaultSender` is used when
// the request names no valid sender. An invalid address is left out with an
// error line naming it; a cleaned header value gets a debug line. Returns
// false with a sentence in `error` when the request cannot be read or leaves
// no valid sender or recipient ("no valid recipient").
bool ReadMailRequest(const std::string& request, int deliveryOptions,
                     const std::string& defaultSender, MailContent* content, MailEnvelope* envelope,
                     std::string* error);

}  // namespace detail
}  // namespace tarnalert

#endif  // TARNALERT_DELIVERY_MAILREQUEST_H_
