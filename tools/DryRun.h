// An environment for the tool that records every e-mail request the local
// road builds instead of delivering it.
#ifndef TARNALERT_TOOLS_DRYRUN_H_
#define TARNALERT_TOOLS_DRYRUN_H_

#include <string>
#include <vector>

#include "tarnalert.h"

namespace tarnalert_tool {

struct RecordedRequest {
  std::string request;  // the serialized App::EmailInfo
  int deliveryOptions;
};

class DryRunEnv : public tarnalert::EnvWrapper {
 public:
  DryRunEnv() : EnvWrapper(tarnalert::Env::Default()) {}

  // Nothing is delivered: the answer is the one of a missing transport.
  tarnalert::DeliveryResult DeliverEmail(const std::string& request, int options) override {
    requests_.push_back({request, options});
    return tarnalert::DeliveryResult{};
  }
  const std::vector<RecordedRequest>& requests() const { return requests_; }

 private:
  std::vector<RecordedRequest> requests_;
};

}  // namespace tarnalert_tool

#endif  // TARNALERT_TOOLS_DRYRUN_H_
