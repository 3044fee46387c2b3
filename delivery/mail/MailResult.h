// The result codes of one e-mail delivery, as DeliverEmail answers them and
// the (828)/(837) log lines show them (docs/delivery.md). A code that is none
// of these is the reply code of an SMTP server that refused the message
// (400 to 599).
#ifndef TARNALERT_DELIVERY_MAILRESULT_H_
#define TARNALERT_DELIVERY_MAILRESULT_H_

#include <cstdint>

namespace tarnalert {
namespace detail {

constexpr int64_t kMailDelivered = 0;
constexpr int64_t kMailNoTransport = -1;      // no transport configured
constexpr int64_t kMailRequestUnusable = 1;   // unreadable, no sender or no valid recipient
constexpr int64_t kMailSettingsWrong = 2;     // a TARNALERT_MAIL_* setting is wrong
constexpr int64_t kMailConnectionFailed = 3;  // no connection, TLS failure or timeout
constexpr int64_t kMailOutboxFailed = 5;      // the outbox file could not be written

}  // namespace detail
}  // namespace tarnalert

#endif  // TARNALERT_DELIVERY_MAILRESULT_H_
