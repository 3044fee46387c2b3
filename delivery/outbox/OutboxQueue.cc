#include "delivery/outbox/OutboxQueue.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "platform/env/Settings.h"
#include "platform/files/File.h"

namespace tarnalert {
namespace detail {

namespace {

constexpr const char* kFormatLine = "tarnalert-outbox 2";
constexpr const char* kFirstFormatLine = "tarnalert-outbox 1";
constexpr time_t kLongestGiveUp = 30 * 24 * 3600;

FXCodeLocation OutboxLocation(const char* function, int line) {
  return FXCodeLocation("OutboxQueue", function, line);
}

// `text` on one line: line breaks and tabs become blanks.
std::string OneLine(const std::string& text) {
  std::string line = text;
  for (char& c : line) {
    if (c == '\r' || c == '\n' || c == '\t') c = ' ';
  }
  return line;
}

// A name no other writer of this host uses, sorting by time.
std::string NewName(Env* env) {
  static std::atomic<uint64_t> counter{0};
  char name[96];
  std::snprintf(name, sizeof name, "%016" PRIu64 "-%ld-%" PRIu64 "%s", env->NowMicros(),
                static_cast<long>(::getpid()), counter.fetch_add(1), kQueuedMailSuffix);
  return name;
}

bool ReadNumber(const std::string& text, long long* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  *value = std::strtoll(text.c_str(), &end, 10);
  return errno == 0 && *end == '\0';
}

}  // namespace

std::string OutboxDirectory() { return StateDirectory() + "/outbox"; }
std::string DeferredDirectory() { return OutboxDirectory() + "/deferred"; }
std::string FailedDirectory() { return OutboxDirectory() + "/failed"; }

bool IsTemporaryFailure(int64_t code) {
  return code == 2 || code == 3 || code == 5 || (code >= 400 && code <= 499);
}

bool ReadGiveUpSeconds(Env* env, time_t* seconds, std::string* error) {
  const std::string text = env->GetSetting("MAIL_GIVE_UP");
  *seconds = kDefaultGiveUpSeconds;
  if (text.empty()) return true;
  long long value = 0;
  if (text.find_first_not_of("0123456789") != std::string::npos || !ReadNumber(text, &value) ||
      value < 1 || value > kLongestGiveUp) {
    *error = "TARNALERT_MAIL_GIVE_UP is \"" + text +
             "\"; it must be a whole number of seconds from 1 to 2592000";
    return false;
  }
  *seconds = static_cast<time_t>(value);
  return true;
}

std::string EncodeQueuedMail(const QueuedMail& mail) {
  std::string text = std::string(kFormatLine) + "\n";
  text += "created " + std::to_string(static_cast<long long>(mail.created)) + "\n";
  text += "attempts " + std::to_string(mail.attempts) + "\n";
  text += "next-try " + std::to_string(static_cast<long long>(mail.nextTry)) + "\n";
  text += "sender " + OneLine(mail.envelope.sender) + "\n";
  for (const std::string& recipient : mail.envelope.recipients) {
    text += "recipient " + OneLine(recipient) + "\n";
  }
  text += "subject " + OneLine(mail.subject) + "\n";
  text += "last-code " + std::to_string(static_cast<long long>(mail.lastCode)) + "\n";
  text += "last-error " + OneLine(mail.lastError) + "\n";
  if (!mail.messageId.empty()) text += "message-id " + OneLine(mail.messageId) + "\n";
  if (mail.isRequest) {
    text += "form request\n";
    text += "delivery-options " + std::to_string(mail.deliveryOptions) + "\n";
  }
  return text + "\n" + mail.message;
}

bool DecodeQueuedMail(const std::string& text, QueuedMail* mail) {
  *mail = QueuedMail();
  const size_t end = text.find("\n\n");
  const size_t formatEnd = text.find('\n');
  const std::string format = text.substr(0, formatEnd);
  if (end == std::string::npos || (format != kFormatLine && format != kFirstFormatLine)) {
    return false;
  }
  const bool second = format == kFormatLine;
  std::istringstream lines(text.substr(0, end));
  std::string line;
  std::getline(lines, line);  // the format line
  while (std::getline(lines, line)) {
    const size_t space = line.find(' ');
    const std::string key = line.substr(0, space);
    const std::string value = space == std::string::npos ? "" : line.substr(space + 1);
    long long number = 0;
    if (key == "created" && ReadNumber(value, &number)) {
      mail->created = static_cast<time_t>(number);
    } else if (key == "attempts" && ReadNumber(value, &number)) {
      mail->attempts = static_cast<int>(number);
    } else if (key == "next-try" && ReadNumber(value, &number)) {
      mail->nextTry = static_cast<time_t>(number);
    } else if (key == "last-code" && ReadNumber(value, &number)) {
      mail->lastCode = number;
    } else if (key == "sender") {
      mail->envelope.sender = value;
    } else if (key == "recipient") {
      mail->envelope.recipients.push_back(value);
    } else if (key == "subject") {
      mail->subject = value;
    } else if (key == "last-error") {
      mail->lastError = value;
    } else if (second && key == "message-id") {
      mail->messageId = value;
    } else if (second && key == "form" && (value == "request" || value == "message")) {
      mail->isRequest = value == "request";
    } else if (second && key == "delivery-options" && ReadNumber(value, &number)) {
      mail->deliveryOptions = static_cast<int>(number);
    } else {
      return false;
    }
  }
  mail->message = text.substr(end + 2);
  return mail->created > 0 && !mail->envelope.recipients.empty();
}

CYqError OpenOutbox(Env* env, bool create, Outbox* outbox) {
  CYqError error = Directory::Open(env, OutboxDirectory(), create, &outbox->root);
  if (error.IsError()) return !create && error.Code() == -ENOENT ? CYqError() : error;
  for (auto [name, directory] :
       {std::make_pair("deferred", &outbox->deferred), std::make_pair("failed", &outbox->failed)}) {
    error = outbox->root.OpenDirectory(name, create, directory);
    if (error.IsError() && (create || error.Code() != -ENOENT)) return error;
  }
  return CYqError();
}

namespace {

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

void RemoveStaleOutboxFiles(const Outbox& outbox) {
  if (outbox.deferred.is_open()) {
    outbox.deferred.RemoveStaleTemporaries(IsDurableWriteTemporary, kStaleTemporaryAge);
  }
  if (!outbox.failed.is_open()) return;
  const std::string error = ".error";
  outbox.failed.RemoveStaleTemporaries(
      [&](const std::string& name) {
        if (IsDurableWriteTemporary(name)) return true;
        if (!EndsWith(name, std::string(kQueuedMailSuffix) + error)) return false;
        // An error without its message: the move that was to follow it
        // never happened.
        FileInfo message;
        return outbox.failed.env()->StatFileAt(
                   outbox.failed.fd(), name.substr(0, name.size() - error.size()), &message) != 0 &&
               errno == ENOENT;
      },
      kStaleTemporaryAge);
}

CYqError DeferMail(Env* env, const QueuedMail& mail, std::string* name) {
  Directory root, deferred;
  CYqError error = Directory::Open(env, OutboxDirectory(), true, &root);
  if (!error.IsError()) error = root.OpenDirectory("deferred", true, &deferred);
  if (error.IsError()) {
    return error.Push(OutboxLocation("DeferMail", __LINE__), "cannot use the outbox directory %s",
                      DeferredDirectory().c_str());
  }
  *name = NewName(env);
  return WriteFileDurably(deferred, *name, EncodeQueuedMail(mail));
}

CYqError RewriteDeferredMail(const Outbox& outbox, const std::string& name,
                             const QueuedMail& mail) {
  return WriteFileDurably(outbox.deferred, name, EncodeQueuedMail(mail));
}

CYqError RecordFailedMail(const Outbox& outbox, const QueuedMail& mail, std::string* name) {
  *name = NewName(outbox.failed.env());
  CYqError error = WriteFileDurably(outbox.failed, *name + ".error", mail.lastError + "\n");
  if (!error.IsError()) error = WriteFileDurably(outbox.failed, *name, EncodeQueuedMail(mail));
  return error;
}

CYqError RecordFailedMail(Env* env, const QueuedMail& mail, std::string* name) {
  Outbox outbox;
  CYqError error = Directory::Open(env, OutboxDirectory(), true, &outbox.root);
  if (!error.IsError()) error = outbox.root.OpenDirectory("failed", true, &outbox.failed);
  if (error.IsError()) {
    return error.Push(OutboxLocation("RecordFailedMail", __LINE__),
                      "cannot use the outbox directory %s", FailedDirectory().c_str());
  }
  return RecordFailedMail(outbox, mail, name);
}

CYqError MoveMailToFailed(const Outbox& outbox, const std::string& name, const QueuedMail& mail) {
  CYqError error = WriteFileDurably(outbox.failed, name + ".error", mail.lastError + "\n");
  // The stored copy gets the last attempt too, so failed/ lists it truly.
  if (!error.IsError()) error = RewriteDeferredMail(outbox, name, mail);
  if (!error.IsError()) error = outbox.deferred.Move(name, outbox.failed, name);
  if (error.IsError()) return error;
  // Failing to make the move durable at worst brings the message back for
  // one more attempt.
  (void)outbox.failed.Sync();
  (void)outbox.deferred.Sync();
  return CYqError();
}

}  // namespace detail
}  // namespace tarnalert
