// The default back-end of the server alert adapter: a spool directory in
// which each alert handed over becomes one XML file (docs/spool.md). A file
// is written under a temporary name, flushed and renamed into place, so a
// forwarder never sees half an alert; names never collide across threads and
// processes.
#ifndef TARNALERT_DELIVERY_ALERTSPOOL_H_
#define TARNALERT_DELIVERY_ALERTSPOOL_H_

#include <string>

class EvAlertEx;

namespace tarnalert {
namespace detail {

// Writes `alert` into the spool directory. 0 when the file is in place;
// otherwise -1 with the reason in `errorText`.
int SpoolAlert(const EvAlertEx& alert, std::string* errorText);

// The text of the spool file of `alert`.
std::string SpoolDocument(const EvAlertEx& alert);

// Reads a spool file's text back into `alert`. False, with the reason in
// `error`, when the text is not a spooled alert.
bool ReadSpoolDocument(const std::string& text, EvAlertEx* alert, std::string* error);

}  // namespace detail
}  // namespace tarnalert

#endif  // TARNALERT_DELIVERY_ALERTSPOOL_H_
