#include "delivery/MailDelivery.h"

#include "delivery/mail/MailResult.h"
#include "delivery/mail/MailSettings.h"
#include "delivery/mail/MailTransport.h"
#include "delivery/mail/PreparedMail.h"
#include "delivery/outbox/AttemptSplit.h"
#include "delivery/outbox/OutboxQueue.h"
#include "platform/files/TimeRecord.h"
#include "tarnalert/delivery/MailProbe.h"
#include "tarnalert/delivery/RetryDelay.h"
#include "tarnalert/platform/text/FXString.h"

namespace tarnalert {
namespace detail {

namespace {

// A file name for the file transport from the Message-ID: its local part,
// which is unique, with anything but letters, digits, dots and hyphens made
// '_'.
std::string FileName(time_t now, const std::string& messageId) {
  std::string name = std::to_string(static_cast<long long>(now)) + ".";
  for (char c : messageId.substr(0, messageId.find('@'))) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '.' || c == '-';
    name += plain ? c : '_';
  }
  return name;
}

std::string Joined(const std::vector<std::string>& items) {
  std::string text;
  for (const std::string& item : items) text += (text.empty() ? "" : ", ") + item;
  return text;
}

// `mail` as it waits in the outbox after its first attempt at `now`.
QueuedMail Queued(time_t now, int64_t code, const std::string& reason) {
  QueuedMail queued;
  queued.created = now;
  queued.attempts = 1;
  queued.nextTry = now + RetryDelay(1);
  queued.lastCode = code;
  queued.lastError = reason;
  return queued;
}

// Keeps `queued` in deferred/; the sentence for the result, and the path in
// `keptAs` when it was kept.
std::string Defer(Env* env, const QueuedMail& queued, std::string* keptAs) {
  std::string name;
  const CYqError error = DeferMail(env, queued, &name);
  if (error.IsError()) {
    return queued.lastError + "; the message could not be kept for a retry: " + error.Reason();
  }
  *keptAs = DeferredDirectory() + "/" + name;
  return "deferred for a retry as " + *keptAs + " (tarnalert outbox flush): " + queued.lastError;
}

// Records `queued` in failed/; the sentence for the result.
std::string RecordFailure(Env* env, const QueuedMail& queued) {
  std::string name;
  const CYqError error = RecordFailedMail(env, queued, &name);
  if (error.IsError()) return queued.lastError + "; it could not be recorded: " + error.Reason();
  return queued.lastError + " (recorded as " + FailedDirectory() + "/" + name + ")";
}

}  // namespace

DeliveryResult DeliverMail(Env* env, const std::string& request, int deliveryOptions, KeepMode mode,
                           std::vector<std::string>* conversation) {
  MailSettings settings;
  std::string settingsError;
  const bool settingsRead = ReadMailSettings(env, &settings, &settingsError);
  if (settingsRead && settings.transport == MailTransport::kNone) {
    return DeliveryResult{kMailNoTransport, L""};
  }
  const bool keep = mode == KeepMode::kKeep;
  const time_t now = env->Now();
  DeliveryResult result;
  PreparedMail mail;
  std::string error;
  const int64_t prepared =
      PrepareMail(settings, request, deliveryOptions, now, &mail, &result.notes, &error);
  if (prepared == kMailRequestUnusable) {
    result.code = kMailRequestUnusable;
    result.text = FXString::ToWstring(error);
    return result;
  }
  if (!settingsRead || prepared != kMailDelivered) {
    // A setting to mend on this client: the request waits until it is, and
    // its message is built then.
    result.code = kMailSettingsWrong;
    const std::string reason = settingsRead ? error : settingsError;
    if (!keep) {
      result.text = FXString::ToWstring(reason);
      return result;
    }
    QueuedMail queued = Queued(now, kMailSettingsWrong, reason);
    queued.envelope = mail.envelope;
    queued.subject = mail.content.subject;
    queued.isRequest = true;
    queued.deliveryOptions = deliveryOptions;
    queued.message = request;
    result.text = FXString::ToWstring(Defer(env, queued, &result.keptAs));
    return result;
  }

  result.messageId = mail.messageId;
  const Transmission sent = TransmitMail(env, settings, mail.envelope,
                                         FileName(now, mail.messageId), mail.message, conversation);
  const AttemptSplit split = SplitAttempt(mail.envelope.recipients, sent);
  result.deliveredTo = split.delivered;
  for (AddressNote note : split.notes) {
    note.role = RecipientRole(mail.content, note.address);
    result.notes.push_back(note);
  }
  // For the status report; a record that cannot be written loses no mail.
  if (!split.delivered.empty()) (void)RecordTime(env, kLastDeliveryRecord, now);
  if (split.retry.empty() && split.failed.empty()) {
    result.code = kMailDelivered;
    return result;
  }
  std::vector<std::string> parts;
  if (!split.delivered.empty()) parts.push_back("delivered to " + Joined(split.delivered));
  auto kept = [&](const std::vector<std::string>& recipients, int64_t code,
                  const std::string& reason) {
    QueuedMail queued = Queued(now, code, reason);
    queued.envelope = MailEnvelope{mail.envelope.sender, recipients};
    queued.subject = mail.content.subject;
    queued.messageId = mail.messageId;
    queued.message = mail.message;
    return queued;
  };
  if (!split.retry.empty()) {
    parts.push_back(
        keep ? Defer(env, kept(split.retry, split.retryCode, split.retryReason), &result.keptAs)
             : split.retryReason);
  }
  // The file transport refuses nothing for good; what the server refused
  // for good is recorded, so that the outbox lists it.
  if (!split.failed.empty()) {
    parts.push_back(
        keep ? RecordFailure(env, kept(split.failed, split.failedCode, split.failedReason))
             : split.failedReason);
  }
  result.code = split.retry.empty() ? split.failedCode : split.retryCode;
  std::string text;
  for (const std::string& part : parts) text += (text.empty() ? "" : "; ") + part;
  result.text = FXString::ToWstring(text);
  return result;
}

}  // namespace detail

DeliveryResult ProbeMail(const std::string& request, int deliveryOptions,
                         std::vector<std::string>* conversation) {
  return detail::DeliverMail(Env::Current(), request, deliveryOptions, detail::KeepMode::kOneShot,
                             conversation);
}

}  // namespace tarnalert
