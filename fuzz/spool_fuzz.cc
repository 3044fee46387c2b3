// Fuzz target: the spool reader of the forwarder.
//
// Whatever a spool file holds, reading it either fails with a reason or
// gives an alert that writes back to a document which reads into an alert
// that writes identically: the reader and the writer agree. And the
// Alertmanager form of every readable file is one that Alertmanager takes,
// written as JSON that reads back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include <nlohmann/json.hpp>

#include "delivery/spool/AlertSpool.h"
#include "delivery/spool/AlertmanagerAlert.h"
#include "tarnalert/alert/EvAlertEx.h"
#include "tarnalert/platform/env/Env.h"

namespace {

// The default environment with a fixed clock, so that two documents written
// for the same alert are the same bytes.
class FixedClockEnv : public tarnalert::EnvWrapper {
 public:
  FixedClockEnv() : EnvWrapper(tarnalert::Env::Default()) {}
  uint64_t NowMicros() override { return 1765000000000000; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static FixedClockEnv env;
  tarnalert::ScopedEnv scoped(&env);
  const std::string text(reinterpret_cast<const char*>(data), size);
  EvAlertEx alert;
  std::string error;
  if (!tarnalert::detail::ReadSpoolDocument(text, &alert, &error)) {
    if (error.empty()) std::abort();  // a refusal always says why
    return 0;
  }
  const std::string written = tarnalert::detail::SpoolDocument(alert);
  EvAlertEx again;
  if (!tarnalert::detail::ReadSpoolDocument(written, &again, &error)) std::abort();
  if (tarnalert::detail::SpoolDocument(again) != written) std::abort();

  tarnalert::detail::AlertNaming naming;  // no configuration: the fallback names
  tarnalert::detail::AlertmanagerAlert mapped;
  if (!tarnalert::detail::MakeAlertmanagerAlert("x.alert", text, naming, 1765000000000, 3600,
                                                &mapped, &error) ||
      !tarnalert::detail::CheckAlertmanagerAlert(mapped).empty()) {
    std::abort();
  }
  std::string json;
  tarnalert::detail::AppendAlertmanagerJson(mapped, &json);
  if (nlohmann::json::parse(json, nullptr, false).is_discarded()) std::abort();
  return 0;
}
