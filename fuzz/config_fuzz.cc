// Fuzz target: a configuration as a pushed update takes it, then a failover
// alert evaluated against it.
//
// The first byte picks the alert's criteria; the rest is the configuration
// text. Whatever the text, the configuration check reports on it and points
// into it, the update either refuses it or stores it, and the local road then
// reads, matches, fills and builds requests without fault.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tarnalert/alert/EvAlertEx.h"
#include "tarnalert/alertclient/ConfigCheck.h"
#include "tarnalert/alertclient/EvAlertProcessClient.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // A private state directory and a log that exercises every line.
  static char directory[] = "/tmp/tarnalert-fuzz-XXXXXX";
  if (mkdtemp(directory) == nullptr) std::abort();
  setenv("TARNALERT_STATE_DIR", directory, 1);
  setenv("TARNALERT_CLIENT_NAME", "fuzz-client", 1);
  setenv("TARNALERT_LOG_FILE", "/dev/null", 1);
  setenv("TARNALERT_LOG_LEVEL", "10", 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const int criteria = data[0] % 8;
  std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  const tarnalert::ConfigReport report = tarnalert::CheckConfig(text);
  for (const tarnalert::ConfigFinding& finding : report.findings) {
    if (finding.where.offset > text.size()) std::abort();  // a place outside the text
  }
  CYqError error = NTAlertProcessClient::UpdateAlertConfig(text);
  if (error.IsError()) return 0;
  std::string stored;
  if (NTAlertProcessClient::RetrieveDetailsFromXML(stored) != 0 || stored != text) std::abort();

  EvAlertEx alert;
  alert << "fuzz comment" << 4711;
  if (alert.sendAlert(tarnalert::kFailoverAlertType, criteria, 0) != 1) std::abort();
  return 0;
}
