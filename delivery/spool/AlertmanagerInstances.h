// The Alertmanager instances of one round: one libcurl handle, and so one
// kept-alive connection (HTTP/2 where an https:// instance offers it), per
// instance. A batch goes to every instance at once and the round waits for
// all answers. An instance that gave no reply is left out for the rest of
// the round, so a stopped instance costs one failed connection per round,
// not one per batch.
//
// Belongs to the thread running the round; starts no thread of its own
// (libcurl resolves host names on a short-lived thread).
#ifndef TARNALERT_DELIVERY_SPOOL_ALERTMANAGERINSTANCES_H_
#define TARNALERT_DELIVERY_SPOOL_ALERTMANAGERINSTANCES_H_

#include <memory>
#include <string>
#include <vector>

#include "delivery/transfer/CurlTransfer.h"
#include "tarnalert/delivery/SpoolForwarder.h"
#include "tarnalert/platform/env/Env.h"
#include "tarnalert/platform/files/CYqError.h"

namespace tarnalert {
namespace detail {

// One instance's answer to one batch.
struct InstanceAnswer {
  std::string url;  // the instance's base URL
  bool replied = false;
  long status = 0;   // the HTTP status when it replied
  std::string text;  // the reply's body, or why there was none
};

class AlertmanagerInstances {
 public:
  AlertmanagerInstances();
  ~AlertmanagerInstances();
  AlertmanagerInstances(const AlertmanagerInstances&) = delete;
  AlertmanagerInstances& operator=(const AlertmanagerInstances&) = delete;

  // Prepares a handle per URL of `settings`. Fails when the CA file cannot
  // be used or libcurl cannot be set up.
  CYqError SetUp(Env* env, const AlertmanagerSettings& settings);

  // Posts the JSON array `body` to POST {url}/api/v2/alerts of every
  // instance still in the round; one answer per instance asked.
  std::vector<InstanceAnswer> Post(std::string body);
  // The same in two steps, so that the caller can work while the instances
  // do: Start sends what the connections take at once, Finish completes the
  // requests and waits for the answers. REQUIRES: nothing started.
  void Start(std::string body);
  std::vector<InstanceAnswer> Finish();

 private:
  struct Instance;
  CurlMultiHandle multi_;
  CurlList headers_;
  std::string ca_;
  std::vector<std::unique_ptr<Instance>> instances_;
  std::vector<Instance*> asked_;  // by the request in flight
  std::string body_;              // of the request in flight
};

}  // namespace detail
}  // namespace tarnalert

#endif  // TARNALERT_DELIVERY_SPOOL_ALERTMANAGERINSTANCES_H_
