// What one attempt to send a message did for each of its recipients, sorted
// by what happens next: delivered, to be tried again (kept together in the
// outbox's deferred/), or given up (recorded in failed/). The first delivery
// and every retry of the outbox sort the same way.
//
// Plain data and a function without state.
#ifndef TARNALERT_DELIVERY_OUTBOX_ATTEMPTSPLIT_H_
#define TARNALERT_DELIVERY_OUTBOX_ATTEMPTSPLIT_H_

#include <cstdint>
#include <string>
#include <vector>

#include "delivery/mail/MailTransport.h"
#include "tarnalert/platform/env/Env.h"

namespace tarnalert {
namespace detail {

struct AttemptSplit {
  std::vector<std::string> delivered;
  std::vector<std::string> retry;   // refused for now, or the whole message failed for now
  std::vector<std::string> failed;  // refused for good
  int64_t retryCode = 0;            // the first reason of each group: a code and one line
  std::string retryReason;
  int64_t failedCode = 0;
  std::string failedReason;
  // Each recipient the server refused on its own (kDeferred or kRefused),
  // with its reply; `role` is left for the caller.
  std::vector<AddressNote> notes;
};

// Sorts `recipients` by the outcome `sent` of one hand-over of their
// message. A recipient refused on its own goes by its reply (4xx again,
// 5xx given up); the others go with the message: delivered when it went,
// else again or given up as IsTemporaryFailure says of its code.
AttemptSplit SplitAttempt(const std::vector<std::string>& recipients, const Transmission& sent);

}  // namespace detail
}  // namespace tarnalert

#endif  // TARNALERT_DELIVERY_OUTBOX_ATTEMPTSPLIT_H_
