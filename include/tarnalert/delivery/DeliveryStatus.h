// The status of this client's alert delivery, as monitoring reads it: the
// installed configuration, the mail transport and the forwarding targets
// configured, what waits in the spool and the outbox (and since when), the
// last delivery and the last forward that succeeded, and, when something
// needs a person, why (docs/alertmanager.md shows a status that monitoring
// collects).
//
// ReadDeliveryStatus only reads: settings and files through the Env in
// force. It may be called from any thread.
#ifndef TARNALERT_DELIVERY_DELIVERYSTATUS_H_
#define TARNALERT_DELIVERY_DELIVERYSTATUS_H_

#include <ctime>
#include <string>
#include <vector>

#include "tarnalert/platform/Export.h"

namespace tarnalert {

// Items waiting in one place.
struct WaitingItems {
  int count = 0;
  time_t oldest = 0;  // when the oldest was made; 0 when none (or unknown)
};

struct DeliveryStatus {
  time_t now = 0;      // when the status was read
  std::string client;  // this client's name

  std::string configPath;  // the installed configuration; empty when it has no path
  bool configInstalled = false;
  time_t configChanged = 0;  // when it was last installed
  int configRules = 0;       // its notification rules

  std::string mailTransport;                  // "smtp://host:port/", "file:///dir"; empty: none
  std::string serverUrl;                      // the XML endpoint; empty: none
  std::vector<std::string> alertmanagerUrls;  // empty: none

  WaitingItems spoolPending;    // alerts waiting for the forwarder
  WaitingItems spoolRejected;   // alerts a target refused
  WaitingItems outboxDeferred;  // mail waiting for a retry
  WaitingItems outboxFailed;    // mail given up

  time_t lastDelivery = 0;  // a mail message was last delivered; 0: never
  time_t lastForward = 0;   // spooled alerts were last forwarded; 0: never

  long maxWait = 3600;  // TARNALERT_STATUS_MAX_WAIT: seconds an item may wait
  // Why a person should look, one sentence each: failed mail, rejected
  // alerts, something waiting longer than maxWait, a setting that is wrong,
  // a place that cannot be read. Empty when all is well.
  std::vector<std::string> attention;
};

// Reads the status. A problem met on the way (a wrong setting, a directory
// that cannot be read) does not stop the reading: it becomes a sentence of
// `attention`, and what could be read is filled in.
TARNALERT_EXPORT void ReadDeliveryStatus(DeliveryStatus* status);

}  // namespace tarnalert

#endif  // TARNALERT_DELIVERY_DELIVERYSTATUS_H_
