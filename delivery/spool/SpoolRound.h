// The spool as one forwarder round sees it: the spool directory opened (and
// checked) once, the alerts waiting in it, and what becomes of an alert once
// a target has answered for it.
//
// With both targets configured (the XML endpoint and Alertmanager) an alert
// stays until each of them has it; which target already has it is kept as an
// empty file of its name in sent-to-server/ or sent-to-alertmanager/. Such a
// mark need not survive a power loss: both targets take an alert sent twice
// for one (the Idempotency-Key, the label set).
//
// Belongs to the thread running the round; one round per spool at a time.
#ifndef TARNALERT_DELIVERY_SPOOL_SPOOLROUND_H_
#define TARNALERT_DELIVERY_SPOOL_SPOOLROUND_H_

#include <set>
#include <string>
#include <vector>

#include "platform/files/Directory.h"
#include "tarnalert/platform/env/Env.h"
#include "tarnalert/platform/files/CYqError.h"

namespace tarnalert {
namespace detail {

// Opens the spool directory into `spool`; a missing one (nothing spooled
// yet) stays closed and is no error.
CYqError OpenSpool(Env* env, Directory* spool);

enum class SpoolTarget { kServer, kAlertmanager };

class SpoolRound {
 public:
  // Opens the spool directory and lists its alerts, oldest first; with
  // `server` and `alertmanager` (the targets configured) both set, also
  // what each target has. A missing spool holds nothing. Fails when the
  // spool cannot be used or read.
  CYqError Open(Env* env, bool server, bool alertmanager);

  const std::vector<std::string>& names() const { return names_; }
  const std::string& path() const { return spool_.path(); }

  // True when `target` has the alert `name` already.
  bool Has(SpoolTarget target, const std::string& name) const;
  // Reads the alert `name` (an error with code -ENOENT when it is gone).
  CYqError Read(const std::string& name, std::string* text) const;

  // `target` has accepted the alert `name`: it leaves the spool when every
  // configured target has it, otherwise it is marked as sent to `target`.
  CYqError Accepted(SpoolTarget target, const std::string& name);
  // Moves the alert `name` to rejected/, `reason` (why, with the reply)
  // written beside it as `name`.reply first.
  CYqError Rejected(const std::string& name, const std::string& reason);

  // Makes the removals of the round durable together: a power loss before
  // this sends the alerts of the round again, never loses one. Returns the
  // number of alerts that left the spool in the round.
  int Finish();

 private:
  CYqError OpenSub(const char* name, Directory* directory);
  void Unmark(const std::string& name);

  Env* env_ = nullptr;
  bool both_ = false;
  Directory spool_;
  Directory rejected_;
  Directory marks_[2];  // by SpoolTarget
  std::set<std::string> marked_[2];
  std::vector<std::string> names_;
  int removed_ = 0;
};

}  // namespace detail
}  // namespace tarnalert

#endif  // TARNALERT_DELIVERY_SPOOL_SPOOLROUND_H_
