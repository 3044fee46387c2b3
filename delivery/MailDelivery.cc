#include "delivery/MailDelivery.h"

#include "delivery/mail/MailMessage.h"
#include "delivery/mail/MailRequest.h"
#include "delivery/mail/MailResult.h"
#include "delivery/mail/MailSettings.h"
#include "delivery/mail/MailTransport.h"
#include "delivery/outbox/OutboxQueue.h"
#include "tarnalert/delivery/RetryDelay.h"
#include "tarnalert/platform/event/EvEvent.h"
#include "tarnalert/platform/text/FXString.h"

namespace tarnalert {
namespace detail {

namespace {

DeliveryResult Failure(int64_t code, const std::string& text) {
  return DeliveryResult{code, FXString::ToWstring(text)};
}

// A file name from the Message-ID: its local part, which is unique, with
// anything but letters, digits, dots and hyphens made '_'.
std::string OutboxName(time_t now, const std::string& messageId) {
  std::string name = std::to_string(static_cast<long long>(now)) + ".";
  for (char c : messageId.substr(0, messageId.find('@'))) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '.' || c == '-';
    name += plain ? c : '_';
  }
  return name;
}

// Keeps the message for a retry after the temporary failure `result`.
DeliveryResult Defer(Env* env, const MailContent& content, const MailEnvelope& envelope,
                     const std::string& message, const DeliveryResult& result) {
  QueuedMail mail;
  mail.envelope = envelope;
  mail.subject = content.subject;
  mail.created = content.date;
  mail.attempts = 1;
  mail.nextTry = content.date + RetryDelay(1);
  mail.lastCode = result.code;
  mail.lastError = FXString::ToString(result.text);
  mail.message = message;
  std::string name;
  CYqError error = DeferMail(env, mail, &name);
  if (error.IsError()) {
    std::string reason;
    for (const CYqError::Message& step : error.Messages()) {
      reason = reason.empty() ? step.text : step.text + ": " + reason;
    }
    return Failure(result.code,
                   mail.lastError + "; the message could not be kept for a retry: " + reason);
  }
  return Failure(result.code, "deferred for a retry as " + DeferredDirectory() + "/" + name +
                                  " (tarnalert outbox flush): " + mail.lastError);
}

}  // namespace

DeliveryResult DeliverMail(Env* env, const std::string& request, int deliveryOptions) {
  MailSettings settings;
  std::string error;
  if (!ReadMailSettings(env, &settings, &error)) return Failure(kMailSettingsWrong, error);
  if (settings.transport == MailTransport::kNone) return DeliveryResult{kMailNoTransport, L""};

  MailContent content;
  MailEnvelope envelope;
  if (!ReadMailRequest(request, deliveryOptions, settings.from, &content, &envelope, &error)) {
    return Failure(kMailRequestUnusable, error);
  }
  content.hostName = settings.hostName;
  content.date = env->Now();
  std::string message, messageId;
  if (!BuildMailMessage(content, &message, &messageId)) {
    return Failure(kMailRequestUnusable, "the message could not be built");
  }

  DeliveryResult result =
      TransmitMail(env, settings, envelope, OutboxName(content.date, messageId), message);
  if (settings.transport != MailTransport::kFile && IsTemporaryFailure(result.code)) {
    return Defer(env, content, envelope, message, result);
  }
  if (result.code == kMailDelivered) {
    EvEvent().DebugLvl("DeliverEmail", 10, "message <%s> to %zu recipient(s) delivered to %s",
                       messageId.c_str(), envelope.recipients.size(),
                       settings.transport == MailTransport::kFile ? settings.directory.c_str()
                                                                  : settings.server.c_str());
  }
  return result;
}

}  // namespace detail

}  // namespace tarnalert
