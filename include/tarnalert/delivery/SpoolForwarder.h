// The spool forwarder: sends the alerts of the spool directory on, oldest
// first, to the XML endpoint of the management server, to Prometheus
// Alertmanager, or to both.
//
// XML endpoint (docs/spool.md): each alert as its XML in an HTTPS POST with
// the file's name as the Idempotency-Key header. A 2xx reply means it has
// arrived; a 4xx other than 408 and 429 moves it to rejected/ with the reply
// beside it; anything else (5xx, 408, 429, no connection, a TLS failure)
// leaves it in place and ends that target's part of the round.
//
// Alertmanager (docs/alertmanager.md): the alerts in batches to every
// instance of the cluster; a batch has arrived once one instance took it;
// invalid alerts are split off into rejected/; a batch no instance took
// ends that target's part of the round.
//
// A file leaves the spool only once every configured target has it, so a
// forwarder killed at any moment loses nothing and sends again at most what
// it was sending.
//
// Nothing here starts a thread or waits between rounds: the caller runs a
// round (ForwardSpool) when it wants, and may ask one to stop after the
// alert or batch in flight. Settings and files go through the Env in force.
// One forwarder per spool directory at a time.
#ifndef TARNALERT_DELIVERY_SPOOLFORWARDER_H_
#define TARNALERT_DELIVERY_SPOOLFORWARDER_H_

#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "tarnalert/platform/Export.h"
#include "tarnalert/platform/files/CYqError.h"

namespace tarnalert {

// The Alertmanager target: the instances of one cluster, each of which gets
// every alert (docs/alertmanager.md).
struct AlertmanagerSettings {
  std::vector<std::string> urls;  // base URLs, http:// or https://, no trailing '/'
  std::string caFile;             // CA certificates (PEM) instead of the system's
  long connectTimeout = 10;       // seconds to connect and shake hands
  long timeout = 30;              // seconds for one request
  long batchSize = 64;            // alerts per request
  long endsAfter = 3600;          // seconds from an alert's start to its end
};

// Where the spooled alerts go: the XML endpoint (`url`), Alertmanager, or
// both; an alert leaves the spool once every configured target has it.
struct ForwarderSettings {
  std::string url;                    // https://host[:port]/path; empty: no XML endpoint
  std::string caFile;                 // CA certificates (PEM) instead of the system's
  std::string certificateFile;        // client certificate (PEM); with keyFile
  std::string keyFile;                // its private key; group and others may not read it
  long connectTimeout = 10;           // seconds to connect and shake hands
  long timeout = 30;                  // seconds for one request
  long interval = 10;                 // seconds between rounds of a watching forwarder
  AlertmanagerSettings alertmanager;  // no urls: no Alertmanager
};

// Reads TARNALERT_SERVER_URL (unless `url` is given), SERVER_CA_FILE,
// SERVER_CERT, SERVER_KEY, SERVER_TIMEOUT, FORWARD_INTERVAL, and
// ALERTMANAGER_URLS (comma-separated; unless `alertmanagerUrls` is not
// empty), ALERTMANAGER_CA_FILE, ALERTMANAGER_TIMEOUT,
// ALERTMANAGER_BATCH_SIZE and ALERTMANAGER_ENDS_AFTER. Fails with a sentence
// naming the setting when one is wrong (no target at all, a server URL that
// is not https://, an Alertmanager URL that is not http:// or https://, a
// certificate without its key, a number out of its range).
TARNALERT_EXPORT CYqError ReadForwarderSettings(const std::string& url,
                                                const std::vector<std::string>& alertmanagerUrls,
                                                ForwarderSettings* settings);
// The same with the Alertmanager URLs of the setting.
TARNALERT_EXPORT CYqError ReadForwarderSettings(const std::string& url,
                                                ForwarderSettings* settings);

// What one round did.
struct ForwardReport {
  int sent = 0;                    // arrived at every target and removed
  int rejected = 0;                // moved to rejected/
  bool retryLater = false;         // a target stopped at an alert that must wait
  std::string retryReason;         // why, for a person
  bool stopped = false;            // `stopRequested` ended the round
  std::vector<std::string> lines;  // one sentence per rejected or waiting alert
                                   // and per Alertmanager instance in trouble
};

// One round: sends the spooled alerts oldest first to each configured target
// until it has them all, one must wait (retryLater) or `stopRequested` (asked
// before each alert or batch; may be empty) returns true. A target that must
// wait or cannot be used holds up no other. Fails when the client key,
// certificate or a CA file cannot be used (that target sends nothing) or the
// spool cannot be read; a file that cannot be removed or moved after its
// reply ends the round with that error (the alert is then sent again next
// round). The first error is returned.
TARNALERT_EXPORT CYqError ForwardSpool(const ForwarderSettings& settings,
                                       const std::function<bool()>& stopRequested,
                                       ForwardReport* report);

// The names of the spooled alerts, oldest first. A missing spool is empty.
TARNALERT_EXPORT CYqError ListSpool(std::vector<std::string>* names);

// One alert of the spool as a person looks at it: waiting to be sent, or
// rejected by the server for good (kept in rejected/ with the reply).
struct SpoolEntry {
  std::string name;
  bool rejected = false;
  int alertType = 0;   // 0 when the file cannot be read as an alert
  time_t spooled = 0;  // when the file was last written
  std::string reply;   // rejected: the reply's status and its first line
};

// The waiting alerts, oldest first, then the rejected ones. A missing spool
// is empty; a refused one fails (docs/settings.md).
TARNALERT_EXPORT CYqError ListSpoolEntries(std::vector<SpoolEntry>* entries);

// The text of the spooled alert `name`, waiting or rejected: a name that
// ListSpoolEntries gives, never a path (EINVAL), read through the checked
// spool directory. ENOENT when no alert has that name.
TARNALERT_EXPORT CYqError ReadSpooledAlert(const std::string& name, std::string* text);

// Puts the rejected alert `name` back in the spool for the next round and
// drops its reply. Fails as ReadSpooledAlert does (ENOENT when no rejected
// alert has that name).
TARNALERT_EXPORT CYqError RetrySpooledAlert(const std::string& name);

// Removes the alert `name`, waiting or rejected (with its reply). Fails as
// ReadSpooledAlert does. A forwarder sending that alert at the moment ends
// its round with an error: the alert is gone.
TARNALERT_EXPORT CYqError RemoveSpooledAlert(const std::string& name);

}  // namespace tarnalert

#endif  // TARNALERT_DELIVERY_SPOOLFORWARDER_H_
