// An e-mail request turned into the message that goes on the wire, with the
// settings in force: the sender the request or TARNALERT_MAIL_FROM gives,
// the client's name in the Message-ID. The first delivery and a retry of a
// request kept in the outbox both build their message here.
//
// Runs on the caller's thread and keeps no state.
#ifndef TARNALERT_DELIVERY_MAIL_PREPAREDMAIL_H_
#define TARNALERT_DELIVERY_MAIL_PREPAREDMAIL_H_

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "delivery/mail/MailMessage.h"
#include "delivery/mail/MailRequest.h"
#include "delivery/mail/MailSettings.h"
#include "tarnalert/platform/env/Env.h"

namespace tarnalert {
namespace detail {

struct PreparedMail {
  MailContent content;
  MailEnvelope envelope;
  std::string message;    // the whole message as sent
  std::string messageId;  // without angle brackets
};

// Builds the message of `request` dated `date`. Returns 0, or the code and
// reason of ReadMailRequest (1: the request cannot be sent; 2: no valid
// sender) in `error`, or 1 when the message cannot be written. Addresses
// left out and a replaced sender are added to `notes`.
int64_t PrepareMail(const MailSettings& settings, const std::string& request, int deliveryOptions,
                    time_t date, PreparedMail* mail, std::vector<AddressNote>* notes,
                    std::string* error);

}  // namespace detail
}  // namespace tarnalert

#endif  // TARNALERT_DELIVERY_MAIL_PREPAREDMAIL_H_
