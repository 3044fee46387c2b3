// The mail outbox: messages whose delivery failed for a temporary reason
// wait in <state>/outbox/deferred/ until a flush sends them; messages given
// up (a 5xx reply, or older than TARNALERT_MAIL_GIVE_UP) move to
// <state>/outbox/failed/ with their last error beside them
// (docs/delivery.md).
//
// FlushOutbox is the retry: one flusher at a time per outbox (a lock file,
// taken without waiting: a second flusher ends at once), while deliveries in
// any process keep adding messages. Nothing here starts a thread; the caller (the
// tarnalert tool, a timer) decides when to flush. Both calls work with the
// Env in force and its settings.
#ifndef TARNALERT_DELIVERY_MAILOUTBOX_H_
#define TARNALERT_DELIVERY_MAILOUTBOX_H_

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "tarnalert/platform/Export.h"
#include "tarnalert/platform/files/CYqError.h"

namespace tarnalert {

// One message of the outbox, as the listing shows it.
struct OutboxEntry {
  std::string name;  // file name in deferred/ or failed/
  bool failed = false;
  std::string sender;
  std::vector<std::string> recipients;  // the envelope: To, Cc and Bcc
  std::string subject;
  int attempts = 0;
  time_t created = 0;  // first failed attempt
  time_t nextTry = 0;  // deferred messages only
  int64_t lastCode = 0;
  std::string lastError;
};

// What one flush did.
struct OutboxFlushReport {
  int delivered = 0;                 // sent and removed
  int deferred = 0;                  // failed again; wait for their next try
  int failed = 0;                    // moved to failed/ now
  int notDue = 0;                    // left alone: their next try is later
  bool anotherFlushRunning = false;  // another flusher held the lock: nothing was done
  std::vector<std::string> lines;    // one sentence per message acted on
};

// Retries the deferred messages that are due (all of them with `all`),
// oldest first, through the transport configured now. A message the server
// accepts is removed; a temporary failure sets its next try (one minute,
// doubling per attempt, at most an hour); a permanent one, or a message
// older than the give-up time, moves to failed/. Fails without touching a
// message when the settings are wrong, no transport is configured, the
// outbox's directories are refused (docs/settings.md) or cannot be read, or
// another flush holds the lock (then anotherFlushRunning is set; the lock is
// never waited for). A message whose file cannot be updated stays as it was
// and the error says so. Files left by writers killed mid-write, older than
// an hour, are removed.
TARNALERT_EXPORT CYqError FlushOutbox(bool all, OutboxFlushReport* report);

// The messages of deferred/ and then failed/, each oldest first. Fails when
// a directory is refused or cannot be read (a missing one holds nothing);
// unreadable files are left out.
TARNALERT_EXPORT CYqError ListOutbox(std::vector<OutboxEntry>* entries);

// Takes the message `name` (a name ListOutbox gives) out of the outbox, from
// deferred/ or from failed/ with its error. Takes the flush lock without
// waiting, so no flush is sending the message meanwhile. Fails, touching
// nothing, when `name` is not the name of a message file (EINVAL: never a
// path), no such message is kept (ENOENT), or a flush is running (then
// `*busy`, when given, is set).
TARNALERT_EXPORT CYqError RemoveOutboxMessage(const std::string& name, bool* busy = nullptr);

// Moves the failed message `name` back to deferred/, due at once and counted
// as new (no attempts yet; its give-up time starts again), so that the next
// flush sends it. Fails as RemoveOutboxMessage does, ENOENT when no failed
// message has that name. Killed midway, the message is left in both
// directories (sent once more at worst), never in neither.
TARNALERT_EXPORT CYqError RetryOutboxMessage(const std::string& name, bool* busy = nullptr);

}  // namespace tarnalert

#endif  // TARNALERT_DELIVERY_MAILOUTBOX_H_
