// The stored form of a mail message waiting for a retry, and the moves
// between the outbox directories (docs/delivery.md):
//
//   <state>/outbox/deferred/   messages to retry, one file each
//   <state>/outbox/failed/     messages given up, each with NAME.error beside
//
// The directories are opened by the trust rule (platform/files/Directory.h)
// and every step goes through their descriptors.
//
// A file holds a few header lines (envelope, subject, attempts, times, last
// error), an empty line, and the message exactly as it goes to the server;
// or, when the message could not be built (a setting to mend first), the
// e-mail request with its delivery options, from which the next try builds
// it. Files of format 1 (no request, no Message-ID line) are still read;
// this version writes format 2, which older readers leave alone.
// Every file is written with WriteFileDurably (temporary name, sync, rename,
// directory sync), so a reader never sees half of one and a kill or a power
// loss loses none. Names start with the time in microseconds, so sorting
// them gives the oldest first.
//
// Functions keep no state and may be called from any thread and process;
// only the flusher (one at a time, under the outbox lock) rewrites or moves
// a file that already exists.
#ifndef TARNALERT_DELIVERY_OUTBOXQUEUE_H_
#define TARNALERT_DELIVERY_OUTBOXQUEUE_H_

#include <cstdint>
#include <ctime>
#include <string>

#include "delivery/mail/MailRequest.h"
#include "platform/files/Directory.h"
#include "tarnalert/platform/env/Env.h"
#include "tarnalert/platform/files/CYqError.h"

namespace tarnalert {
namespace detail {

constexpr const char* kQueuedMailSuffix = ".mail";
constexpr time_t kDefaultGiveUpSeconds = 24 * 3600;

struct QueuedMail {
  MailEnvelope envelope;
  std::string subject;  // UTF-8, for listings
  time_t created = 0;   // when the first attempt failed
  int attempts = 0;
  time_t nextTry = 0;
  int64_t lastCode = 0;
  std::string lastError;    // one line
  std::string messageId;    // without angle brackets; empty for a request
  bool isRequest = false;   // `message` holds the e-mail request, not a message
  int deliveryOptions = 0;  // of the request
  std::string message;      // the whole message as sent, or the request
};

// <state>/outbox and its two directories, for messages.
std::string OutboxDirectory();
std::string DeferredDirectory();
std::string FailedDirectory();

// The outbox's directories, each held open by its descriptor.
struct Outbox {
  Directory root;  // <state>/outbox, which holds flush.lock
  Directory deferred;
  Directory failed;
};

// Opens the outbox's directories; with `create` they are made when missing.
// Without it a missing directory is left closed (nothing waits there).
// Fails with the refusal or the system's reason.
CYqError OpenOutbox(Env* env, bool create, Outbox* outbox);

// Removes what writers killed mid-write left, once it is older than an
// hour: temporary files (".NAME.mail.tmp") in both directories, and in
// failed/ a NAME.mail.error whose message never arrived beside it.
void RemoveStaleOutboxFiles(const Outbox& outbox);

// True for the results worth a retry: no connection, TLS or timeout (3), a
// setting, secret file or login to mend (2), the file outbox not writable
// (5), and the SMTP server's 4xx replies.
bool IsTemporaryFailure(int64_t code);

// TARNALERT_MAIL_GIVE_UP in seconds (default one day). False with a sentence
// in `error` for a value that is not a whole number from 1 to 2592000.
bool ReadGiveUpSeconds(Env* env, time_t* seconds, std::string* error);

std::string EncodeQueuedMail(const QueuedMail& mail);
// False when `text` is not a stored message.
bool DecodeQueuedMail(const std::string& text, QueuedMail* mail);

// Stores `mail` under a new name in deferred/ (made when missing); the
// name goes into `name`. Fails with the step and the system's reason.
CYqError DeferMail(Env* env, const QueuedMail& mail, std::string* name);

// Replaces the stored deferred/`name` with `mail` (after a failed retry).
CYqError RewriteDeferredMail(const Outbox& outbox, const std::string& name, const QueuedMail& mail);

// Stores `mail` under a new name in failed/ (made when missing), its last
// error beside it, written first; the name goes into `name`. The second
// form REQUIRES failed/ open.
CYqError RecordFailedMail(Env* env, const QueuedMail& mail, std::string* name);
CYqError RecordFailedMail(const Outbox& outbox, const QueuedMail& mail, std::string* name);

// Moves deferred/`name` into failed/, with its last error in
// failed/`name`.error written first, so a failed message always has its
// reason beside it. REQUIRES: both directories open.
CYqError MoveMailToFailed(const Outbox& outbox, const std::string& name, const QueuedMail& mail);

}  // namespace detail
}  // namespace tarnalert

#endif  // TARNALERT_DELIVERY_OUTBOXQUEUE_H_
