// Fuzz target: the audit-trail decode.
//
// Text that is read into an alert must write back to a text that reads into
// the same members and writes identically again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tarnalert/alert/EvAlertEx.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  EvAlertEx alert;
  if (alert.unserializeForAuditTrail(text) != 0) return 0;
  std::string written;
  if (alert.serializeForAuditTrail(written) != 0) std::abort();
  EvAlertEx again;
  if (again.unserializeForAuditTrail(written) != 0) std::abort();
  std::string rewritten;
  if (again.serializeForAuditTrail(rewritten) != 0 || rewritten != written) std::abort();
  return 0;
}
