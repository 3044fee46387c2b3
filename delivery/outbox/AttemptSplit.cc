#include "delivery/outbox/AttemptSplit.h"

#include "delivery/outbox/OutboxQueue.h"
#include "tarnalert/platform/text/FXString.h"

namespace tarnalert {
namespace detail {

namespace {

// Adds `address` with `reason` to a group, whose first code is kept.
void Add(const std::string& address, int64_t code, const std::string& reason,
         std::vector<std::string>* group, int64_t* groupCode, std::string* groupReason) {
  if (group->empty()) *groupCode = code;
  group->push_back(address);
  if (groupReason->find(reason) == std::string::npos) {
    *groupReason += (groupReason->empty() ? "" : "; ") + reason;
  }
}

}  // namespace

AttemptSplit SplitAttempt(const std::vector<std::string>& recipients, const Transmission& sent) {
  AttemptSplit split;
  const std::string messageReason = FXString::ToString(sent.result.text);
  for (const std::string& address : recipients) {
    const RefusedRecipient* refused = nullptr;
    for (const RefusedRecipient& candidate : sent.refused) {
      if (candidate.address == address) refused = &candidate;
    }
    if (refused != nullptr) {
      const bool again = IsTemporaryFailure(refused->code);
      const std::string reason = address + ": " + refused->reply;
      if (again) {
        Add(address, refused->code, reason, &split.retry, &split.retryCode, &split.retryReason);
      } else {
        Add(address, refused->code, reason, &split.failed, &split.failedCode, &split.failedReason);
      }
      split.notes.push_back({again ? AddressNote::kDeferred : AddressNote::kRefused, "", address,
                             refused->reply, ""});
    } else if (sent.result.code == 0) {
      split.delivered.push_back(address);
    } else if (IsTemporaryFailure(sent.result.code)) {
      Add(address, sent.result.code, messageReason, &split.retry, &split.retryCode,
          &split.retryReason);
    } else {
      Add(address, sent.result.code, messageReason, &split.failed, &split.failedCode,
          &split.failedReason);
    }
  }
  return split;
}

}  // namespace detail
}  // namespace tarnalert
