// The default back-end of the server alert adapter: a spool directory in
// which each alert handed over becomes one XML file (docs/spool.md). A file
// is written durably (WriteFileDurably: temporary name, sync, rename,
// directory sync), so a forwarder never sees half an alert and an alert
// reported as spooled survives a power loss; names never collide across
// threads and processes.
#ifndef TARNALERT_DELIVERY_ALERTSPOOL_H_
#define TARNALERT_DELIVERY_ALERTSPOOL_H_

#include <ctime>
#include <string>

#include "tarnalert/platform/files/CYqError.h"

class EvAlertEx;

namespace tarnalert {
namespace detail {

// The name ending of an alert's file; rejected alerts keep theirs in
// rejected/, with NAME.reply beside them.
constexpr const char* kSpoolFileSuffix = ".alert";
constexpr const char* kRejectedDirectory = "rejected";

// Writes `alert` into the spool directory (made when missing). Success when
// the file is in place and durable; otherwise an error saying why, and no
// file of the alert is left in place.
CYqError SpoolAlert(const EvAlertEx& alert);

// When the spool file `name` was written, from its name; 0 for a name that
// does not start with a spool time.
time_t SpooledTime(const std::string& name);

// The text of the spool file of `alert`.
std::string SpoolDocument(const EvAlertEx& alert);

// Where and when a spool file was written, from its root element.
struct SpoolOrigin {
  std::string client;    // the client name (base64 decoded); empty when absent
  time_t spooledAt = 0;  // seconds since 1970; 0 when absent or unreadable
};

// Reads a spool file's text back into `alert` and, when `origin` is given,
// its client and time. False, with the reason in `error`, when the text is
// not a spooled alert.
bool ReadSpoolDocument(const std::string& text, EvAlertEx* alert, std::string* error,
                       SpoolOrigin* origin = nullptr);

}  // namespace detail
}  // namespace tarnalert

#endif  // TARNALERT_DELIVERY_ALERTSPOOL_H_
