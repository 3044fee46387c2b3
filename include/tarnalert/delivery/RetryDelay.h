// The back-off shared by the mail outbox and the spool forwarder: one
// minute after the first failure, doubling with each failure after it, at
// most one hour.
#ifndef TARNALERT_DELIVERY_RETRYDELAY_H_
#define TARNALERT_DELIVERY_RETRYDELAY_H_

#include <ctime>

namespace tarnalert {

constexpr time_t kFirstRetryDelay = 60;
constexpr time_t kLongestRetryDelay = 3600;

// Seconds to wait after `failures` failures in a row (0 or less: none).
constexpr time_t RetryDelay(int failures) {
  if (failures <= 0) return 0;
  time_t delay = kFirstRetryDelay;
  for (int n = 1; n < failures && delay < kLongestRetryDelay; ++n) delay *= 2;
  return delay < kLongestRetryDelay ? delay : kLongestRetryDelay;
}

}  // namespace tarnalert

#endif  // TARNALERT_DELIVERY_RETRYDELAY_H_
