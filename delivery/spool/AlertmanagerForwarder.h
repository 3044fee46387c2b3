// The Alertmanager pass of a forwarder round (docs/alertmanager.md): the
// spooled alerts, oldest first, become Alertmanager alerts and go in batches
// to POST /api/v2/alerts of every instance of the cluster, as Prometheus
// sends to an HA pair. A batch that at least one instance accepted has
// arrived. One that no instance accepted ends the pass, its alerts kept for
// the next round. One refused as invalid (400, 422) by every instance that
// replied is split in halves until the bad alerts stand alone; those go to
// rejected/ with the replies. An alert that Alertmanager would refuse is
// never sent (a refused batch may still have been stored in part): it goes
// to rejected/ with the reason.
//
// Runs on the caller's thread; the round belongs to that thread.
#ifndef TARNALERT_DELIVERY_SPOOL_ALERTMANAGERFORWARDER_H_
#define TARNALERT_DELIVERY_SPOOL_ALERTMANAGERFORWARDER_H_

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "delivery/spool/AlertmanagerInstances.h"
#include "delivery/spool/SpoolRound.h"
#include "tarnalert/delivery/SpoolForwarder.h"
#include "tarnalert/platform/files/CYqError.h"

namespace tarnalert {
namespace detail {

// A spooled alert ready to send: its name and its JSON object.
struct PreparedAlert {
  std::string name;
  std::string json;
};

// The batches of one pass and what became of their alerts.
class AlertmanagerBatches {
 public:
  AlertmanagerBatches(SpoolRound& round, AlertmanagerInstances& instances, ForwardReport* report)
      : round_(round), instances_(instances), report_(report) {}

  // Sends alerts [begin, end) of `alerts` as one batch, split while the
  // instances find it invalid; accepted alerts leave the spool (or are
  // marked) and lone invalid ones go to rejected/. False when the pass must
  // end: no instance accepted (report says why), or a file could not be
  // removed or moved (`error` says why).
  bool Send(const std::vector<PreparedAlert>& alerts, size_t begin, size_t end, CYqError* error);
  // Send in two steps, so that the next batch can be prepared meanwhile:
  // Begin starts sending `alerts`, Complete finishes as Send does.
  void Begin(std::vector<PreparedAlert> alerts);
  bool Complete(CYqError* error);
  bool busy() const { return !inFlight_.empty(); }

  // Moves the alert `name` to rejected/ with `reason`. False, with `error`,
  // when it cannot be moved.
  bool Reject(const std::string& name, const std::string& reason, CYqError* error);

 private:
  // What the answers to alerts [begin, end) make of them (see Send).
  bool Settle(const std::vector<PreparedAlert>& alerts, size_t begin, size_t end,
              const std::vector<InstanceAnswer>& answers, CYqError* error);
  void Trouble(const InstanceAnswer& answer);
  std::string Troubles() const;

  SpoolRound& round_;
  AlertmanagerInstances& instances_;
  ForwardReport* report_;
  std::vector<PreparedAlert> inFlight_;          // the batch Begin started
  std::map<std::string, std::string> troubles_;  // by instance: why it took no batch
  std::set<std::string> told_;                   // instances already in report_->lines
};

// Sends the alerts of `round` that Alertmanager does not have yet, asking
// `stopRequested` (may be empty) before each batch. Counts and sentences go
// into `report`. Fails without sending when the CA file cannot be used; an
// alert that cannot be read, removed or moved ends the pass with that error.
CYqError ForwardToAlertmanager(const AlertmanagerSettings& settings, SpoolRound& round,
                               const std::function<bool()>& stopRequested, ForwardReport* report);

}  // namespace detail
}  // namespace tarnalert

#endif  // TARNALERT_DELIVERY_SPOOL_ALERTMANAGERFORWARDER_H_
