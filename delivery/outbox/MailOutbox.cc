#include "tarnalert/delivery/MailOutbox.h"

#include <fcntl.h>

#include <cerrno>
#include <cstring>

#include "delivery/mail/MailSettings.h"
#include "delivery/mail/MailTransport.h"
#include "delivery/mail/PreparedMail.h"
#include "delivery/mail/SmtpTransport.h"
#include "delivery/outbox/AttemptSplit.h"
#include "delivery/outbox/OutboxQueue.h"
#include "platform/files/Directory.h"
#include "platform/files/File.h"
#include "platform/files/Paths.h"
#include "platform/files/TimeRecord.h"
#include "tarnalert/delivery/RetryDelay.h"
#include "tarnalert/platform/env/Env.h"
#include "tarnalert/platform/event/EvEvent.h"

namespace tarnalert {

namespace {

using detail::QueuedMail;

constexpr size_t kLargestStoredMail = 64u << 20;

FXCodeLocation FlushLocation(int line) { return FXCodeLocation("MailOutbox", "FlushOutbox", line); }

CYqError Refusal(int line, const std::string& text) {
  return FXErrorUtil::ErrorErrNo(FlushLocation(line), EINVAL, "%s", text.c_str());
}

// The outbox lock, held from Take to destruction: one flusher at a time.
class FlushLock {
 public:
  FlushLock() = default;
  ~FlushLock() {
    if (fd_ < 0) return;
    (void)env_->LockFile(fd_, false);  // closing releases it anyway
    (void)env_->CloseFile(fd_);
  }
  FlushLock(const FlushLock&) = delete;
  FlushLock& operator=(const FlushLock&) = delete;

  // Takes the lock of the outbox `root` without waiting; sets `*busy` when
  // another flusher holds it.
  CYqError Take(const Directory& root, bool* busy) {
    env_ = root.env();
    const std::string name = "flush.lock";
    const std::string path = root.PathOf(name);
    fd_ = env_->OpenFileAt(root.fd(), name, O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK, 0600);
    FileInfo info;
    if (fd_ >= 0 && env_->StatFile(fd_, &info) == 0 && !info.isRegular) errno = EINVAL;
    if (fd_ < 0 || !info.isRegular || env_->TryLockFile(fd_) != 0) {
      const int number = errno;
      *busy = number == EWOULDBLOCK;
      if (*busy) {
        return FXErrorUtil::ErrorErrNo(FlushLocation(__LINE__), number,
                                       "another flush of %s is running (it holds %s); this one "
                                       "ends without touching a message",
                                       root.path().c_str(), path.c_str());
      }
      return FXErrorUtil::ErrorErrNo(FlushLocation(__LINE__), number, "cannot lock %s: %s",
                                     path.c_str(), FXErrorUtil::ErrorText(number).c_str());
    }
    return CYqError();
  }

 private:
  Env* env_ = nullptr;
  int fd_ = -1;
};

std::string Joined(const std::vector<std::string>& items) {
  std::string text;
  for (const std::string& item : items) text += (text.empty() ? "" : ", ") + item;
  return text;
}

// The first error is the one reported; later ones go with it.
void Remember(CYqError* first, CYqError error) {
  if (!first->IsError()) *first = std::move(error);
}

class Flusher {
 public:
  Flusher(Env* env, const detail::Outbox& outbox, const detail::MailSettings& settings,
          time_t giveUp, bool all, OutboxFlushReport* report)
      : env_(env),
        outbox_(outbox),
        settings_(settings),
        giveUp_(giveUp),
        all_(all),
        report_(report) {}

  // Acts on the stored message `name`; the first problem goes into `problem`.
  void Flush(const std::string& name, CYqError* problem) {
    const std::string path = outbox_.deferred.PathOf(name);
    std::string text;
    CYqError read = ReadFileToString(outbox_.deferred, name, kLargestStoredMail, &text);
    QueuedMail mail;
    if (read.IsError() || !detail::DecodeQueuedMail(text, &mail)) {
      report_->lines.push_back(name + ": cannot be read; left as it is");
      Remember(problem,
               read.IsError() ? read : Refusal(__LINE__, path + " is not a stored message"));
      return;
    }
    if (GivenUp(mail)) {
      mail.lastError = GiveUpText(mail);
      ReportFailed(name, mail, problem);
      return;
    }
    if (!all_ && mail.nextTry > env_->Now()) {
      ++report_->notDue;
      return;
    }
    ++mail.attempts;
    if (mail.isRequest && !Build(&mail)) {
      if (detail::IsTemporaryFailure(mail.lastCode)) {
        ReportAgain(name, mail, problem);
      } else {
        ReportFailed(name, mail, problem);
      }
      return;
    }
    const std::string base = name.substr(0, name.size() - std::strlen(detail::kQueuedMailSuffix));
    const detail::AttemptSplit split = detail::SplitAttempt(
        mail.envelope.recipients, detail::TransmitMail(env_, settings_, mail.envelope, base,
                                                       mail.message, nullptr, &session_));

    std::string line = name + ":";
    if (!split.delivered.empty()) {
      ++report_->delivered;
      line += " delivered to " + Joined(split.delivered) + ";";
      Log(mail, "delivered to " + std::to_string(split.delivered.size()) + " recipient(s)");
    }
    if (!split.failed.empty()) {
      QueuedMail failed = mail;
      failed.envelope.recipients = split.failed;
      failed.lastCode = split.failedCode;
      failed.lastError = split.failedReason;
      if (split.retry.empty()) {
        line += " failed, moved to " + outbox_.failed.path() + ": " + failed.lastError + ";";
        MoveToFailed(failed, name, problem);
      } else {
        std::string failedName;
        Remember(problem, detail::RecordFailedMail(outbox_, failed, &failedName));
        line += " refused, recorded as " + outbox_.failed.path() + "/" + failedName + ": " +
                failed.lastError + ";";
        ++report_->failed;
        Log(failed, "failed for good (" + failedName + "): " + failed.lastError);
      }
    }
    if (!split.retry.empty()) {
      mail.envelope.recipients = split.retry;
      mail.lastCode = split.retryCode;
      mail.lastError = split.retryReason;
      if (GivenUp(mail)) {
        mail.lastError = GiveUpText(mail);
        line += " failed, moved to " + outbox_.failed.path() + ": " + mail.lastError + ";";
        MoveToFailed(mail, name, problem);
      } else {
        line += " deferred again (attempt " + std::to_string(mail.attempts) +
                "): " + mail.lastError + ";";
        DeferAgain(mail, name, problem);
      }
    }
    if (split.retry.empty() && split.failed.empty()) {
      // Should the removal fail, the next flush sends the message again:
      // twice rather than never. Finish makes the removals durable.
      CYqError removed = outbox_.deferred.Remove(name);
      if (removed.IsError()) {
        Remember(problem, removed.Push(FlushLocation(__LINE__),
                                       "the delivered %s stays for another attempt", path.c_str()));
      } else {
        ++removed_;
      }
    }
    line.pop_back();
    report_->lines.push_back(line);
  }

  // Makes the removals of the delivered messages durable together, with one
  // sync rather than one a message: a power loss before it sends them again,
  // never loses one.
  void Finish(CYqError* problem) {
    if (removed_ == 0) return;
    CYqError synced = outbox_.deferred.Sync();
    if (synced.IsError()) {
      Remember(problem, synced.Push(FlushLocation(__LINE__),
                                    "a power loss may bring delivered messages back"));
    }
  }

 private:
  bool GivenUp(const QueuedMail& mail) { return env_->Now() - mail.created >= giveUp_; }

  std::string GiveUpText(const QueuedMail& mail) {
    return "given up after " + std::to_string(mail.attempts) + " attempt(s) over " +
           std::to_string(static_cast<long long>(env_->Now() - mail.created)) +
           " s (TARNALERT_MAIL_GIVE_UP " + std::to_string(static_cast<long long>(giveUp_)) +
           " s); last error: " + mail.lastError;
  }

  // Builds the message of the request kept in `mail` with the settings in
  // force. False, with the reason in `mail`, when it still cannot be built.
  bool Build(QueuedMail* mail) {
    detail::PreparedMail prepared;
    std::vector<AddressNote> notes;
    std::string error;
    const int64_t code = detail::PrepareMail(settings_, mail->message, mail->deliveryOptions,
                                             mail->created, &prepared, &notes, &error);
    if (code != 0) {
      mail->lastCode = code;
      mail->lastError = error;
      return false;
    }
    mail->isRequest = false;
    mail->envelope = prepared.envelope;
    mail->subject = prepared.content.subject;
    mail->messageId = prepared.messageId;
    mail->message = std::move(prepared.message);
    return true;
  }

  // The debug line of one outcome of `mail`.
  void Log(const QueuedMail& mail, const std::string& outcome) {
    EvEvent().DebugLvl("FlushOutbox", 1, "message <%s> with %zu recipient(s): %s",
                       mail.messageId.c_str(), mail.envelope.recipients.size(), outcome.c_str());
  }

  // Keeps `mail` as deferred/`name` for its next try.
  void ReportAgain(const std::string& name, QueuedMail& mail, CYqError* problem) {
    report_->lines.push_back(name + ": deferred again (attempt " + std::to_string(mail.attempts) +
                             "): " + mail.lastError);
    DeferAgain(mail, name, problem);
  }
  void DeferAgain(QueuedMail& mail, const std::string& name, CYqError* problem) {
    mail.nextTry = env_->Now() + RetryDelay(mail.attempts);
    ++report_->deferred;
    Log(mail, "deferred again: " + mail.lastError);
    Remember(problem, detail::RewriteDeferredMail(outbox_, name, mail));
  }

  // Moves deferred/`name` with `mail` into failed/.
  void ReportFailed(const std::string& name, const QueuedMail& mail, CYqError* problem) {
    report_->lines.push_back(name + ": failed, moved to " + outbox_.failed.path() + ": " +
                             mail.lastError);
    MoveToFailed(mail, name, problem);
  }
  void MoveToFailed(const QueuedMail& mail, const std::string& name, CYqError* problem) {
    ++report_->failed;
    Log(mail, "failed, moved to " + outbox_.failed.path() + ": " + mail.lastError);
    Remember(problem, detail::MoveMailToFailed(outbox_, name, mail));
  }

  Env* env_;
  const detail::Outbox& outbox_;
  const detail::MailSettings& settings_;
  time_t giveUp_;
  bool all_;
  OutboxFlushReport* report_;
  detail::SmtpSession session_;  // the messages of a flush share a connection
  int removed_ = 0;              // delivered messages removed from deferred/
};

}  // namespace

CYqError FlushOutbox(bool all, OutboxFlushReport* report) {
  *report = OutboxFlushReport();
  Env* env = Env::Current();
  detail::MailSettings settings;
  std::string text;
  time_t giveUp = 0;
  if (!detail::ReadMailSettings(env, &settings, &text) ||
      !detail::ReadGiveUpSeconds(env, &giveUp, &text)) {
    return Refusal(__LINE__, text);
  }
  if (settings.transport == detail::MailTransport::kNone) {
    return Refusal(__LINE__,
                   "no mail transport is configured (TARNALERT_MAIL_URL); the messages stay in "
                   "the outbox");
  }
  // The directories are checked before anything in them is opened, the
  // lock included; and the lock is never waited for.
  detail::Outbox outbox;
  CYqError error = detail::OpenOutbox(env, true, &outbox);
  if (error.IsError()) return error;
  FlushLock lock;
  error = lock.Take(outbox.root, &report->anotherFlushRunning);
  if (error.IsError()) return error;
  detail::RemoveStaleOutboxFiles(outbox);
  std::vector<std::string> names;
  error = outbox.deferred.List(detail::kQueuedMailSuffix, &names);
  if (error.IsError()) return error;

  Flusher flusher(env, outbox, settings, giveUp, all, report);
  CYqError problem;
  for (const std::string& name : names) flusher.Flush(name, &problem);
  flusher.Finish(&problem);
  // For the status report; a record that cannot be written loses no mail.
  if (report->delivered > 0) (void)RecordTime(env, kLastDeliveryRecord, env->Now());
  return problem;
}

CYqError ListOutbox(std::vector<OutboxEntry>* entries) {
  entries->clear();
  detail::Outbox outbox;
  CYqError error = detail::OpenOutbox(Env::Current(), false, &outbox);
  if (error.IsError()) return error;
  for (const Directory* directory : {&outbox.deferred, &outbox.failed}) {
    if (!directory->is_open()) continue;  // nothing was ever kept there
    const bool failed = directory == &outbox.failed;
    std::vector<std::string> names;
    error = directory->List(detail::kQueuedMailSuffix, &names);
    if (error.IsError()) return error;
    for (const std::string& name : names) {
      std::string text;
      QueuedMail mail;
      if (ReadFileToString(*directory, name, kLargestStoredMail, &text).IsError() ||
          !detail::DecodeQueuedMail(text, &mail)) {
        continue;
      }
      OutboxEntry entry;
      entry.name = name;
      entry.failed = failed;
      entry.sender = mail.envelope.sender;
      entry.recipients = mail.envelope.recipients;
      entry.subject = mail.subject;
      entry.attempts = mail.attempts;
      entry.created = mail.created;
      entry.nextTry = failed ? 0 : mail.nextTry;
      entry.lastCode = mail.lastCode;
      entry.lastError = mail.lastError;
      entries->push_back(entry);
    }
  }
  return CYqError();
}

namespace {

FXCodeLocation ChangeLocation(const char* function, int line) {
  return FXCodeLocation("MailOutbox", function, line);
}

// Opens the outbox for a change a person asks for, and takes the flush lock.
// `name` must name a message file; with `create` the directories are made.
CYqError OpenForChange(const char* function, const std::string& name, bool create,
                       detail::Outbox* outbox, FlushLock* lock, bool* busy) {
  bool lockBusy = false;
  if (!IsQueueFileName(name, detail::kQueuedMailSuffix)) {
    return FXErrorUtil::ErrorErrNo(ChangeLocation(function, __LINE__), EINVAL,
                                   "\"%s\" is not the name of a message of the outbox (NAME%s, as "
                                   "outbox list shows it)",
                                   name.c_str(), detail::kQueuedMailSuffix);
  }
  CYqError error = detail::OpenOutbox(Env::Current(), create, outbox);
  if (!error.IsError() && !outbox->root.is_open()) {
    return FXErrorUtil::ErrorErrNo(ChangeLocation(function, __LINE__), ENOENT,
                                   "no message %s in the outbox: it is empty", name.c_str());
  }
  if (!error.IsError()) error = lock->Take(outbox->root, &lockBusy);
  if (busy != nullptr) *busy = lockBusy;
  return error;
}

CYqError NoSuchMessage(const char* function, int line, const char* kind, const std::string& name) {
  return FXErrorUtil::ErrorErrNo(ChangeLocation(function, line), ENOENT,
                                 "no %smessage %s in the outbox (outbox list shows what is kept)",
                                 kind, name.c_str());
}

}  // namespace

CYqError RemoveOutboxMessage(const std::string& name, bool* busy) {
  detail::Outbox outbox;
  FlushLock lock;
  CYqError error = OpenForChange(__func__, name, false, &outbox, &lock, busy);
  if (error.IsError()) return error;
  for (const Directory* directory : {&outbox.deferred, &outbox.failed}) {
    if (!directory->is_open()) continue;
    error = directory->Remove(name);
    if (error.Code() == -ENOENT) continue;
    if (error.IsError()) return error;
    // A failed message's error goes with it; one left behind is cleaned up
    // with the other stale files.
    if (directory == &outbox.failed) (void)directory->Remove(name + ".error");
    return directory->Sync();
  }
  return NoSuchMessage(__func__, __LINE__, "", name);
}

CYqError RetryOutboxMessage(const std::string& name, bool* busy) {
  detail::Outbox outbox;
  FlushLock lock;
  CYqError error = OpenForChange(__func__, name, true, &outbox, &lock, busy);
  if (error.IsError()) return error;
  std::string text;
  error = ReadFileToString(outbox.failed, name, kLargestStoredMail, &text);
  if (error.Code() == -ENOENT) return NoSuchMessage(__func__, __LINE__, "failed ", name);
  QueuedMail mail;
  if (!error.IsError() && !detail::DecodeQueuedMail(text, &mail)) {
    error =
        FXErrorUtil::ErrorErrNo(ChangeLocation(__func__, __LINE__), EINVAL,
                                "%s is not a stored message", outbox.failed.PathOf(name).c_str());
  }
  if (error.IsError()) return error;
  mail.attempts = 0;
  mail.created = mail.nextTry = Env::Current()->Now();
  // In deferred/ first: killed in between, the message is kept twice, never lost.
  error = WriteFileDurably(outbox.deferred, name, detail::EncodeQueuedMail(mail));
  if (error.IsError()) return error;
  (void)outbox.failed.Remove(name + ".error");
  error = outbox.failed.Remove(name);
  if (!error.IsError()) error = outbox.failed.Sync();
  if (error.IsError()) {
    error.Push(ChangeLocation(__func__, __LINE__), "%s waits in %s again but also stays in %s",
               name.c_str(), outbox.deferred.path().c_str(), outbox.failed.path().c_str());
  }
  return error;
}

}  // namespace tarnalert
