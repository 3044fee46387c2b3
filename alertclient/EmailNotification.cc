// The e-mail request of one matched rule: sender, recipients, subject, body
// and options, serialized, handed to the delivery hook and logged.
#include "alertclient/detail/RuleFields.h"
#include "alertclient/detail/TokenReplacement.h"
#include "tarnalert/alertclient/DeliveryOptions.h"
#include "tarnalert/alertclient/EvAlertProcessClient.h"
#include "tarnalert/alertclient/FailoverResult.h"
#include "tarnalert/alertclient/Notification.h"
#include "tarnalert/platform/env/Env.h"
#include "tarnalert/platform/event/EvEvent.h"
#include "tarnalert/platform/text/FXString.h"

namespace {

using tarnalert::kEmailNotification;
constexpr size_t kMaxRecipients = tarnalert::kRecipientLimit;

using tarnalert::kDeliveryOptionDefault;
using tarnalert::kDeliveryOptionFormatted;
using tarnalert::kDeliveryOptionImportant;

}  // namespace

namespace {

// The words of the outcome line.
const char* OutcomeWords(tarnalert::NotificationOutcome outcome) {
  switch (outcome) {
    case tarnalert::NotificationOutcome::kDelivered:
      return "delivered";
    case tarnalert::NotificationOutcome::kPartlyDelivered:
      return "partly delivered";
    case tarnalert::NotificationOutcome::kDeferred:
      return "deferred";
    case tarnalert::NotificationOutcome::kFailed:
      return "failed";
    case tarnalert::NotificationOutcome::kNoTransport:
      return "not sent (no mail transport)";
    case tarnalert::NotificationOutcome::kNotBuilt:
      break;
  }
  return "not built";
}

}  // namespace

void NTNotifRuleDetectedAlertProcessing::SendNotification() { SendNotification(nullptr); }

void NTNotifRuleDetectedAlertProcessing::SendNotification(tarnalert::NotificationResult* result) {
  using KTGui::AlertDetail;
  using KTGui::AlertNotifMsg;
  EvEvent log;
  App::EmailInfo request;
  int deliveryOptions = kDeliveryOptionDefault;
  int64_t resultCode = -1;
  std::wstring resultText;

  // The last e-mail entry of the rule wins.
  if (const HqMessageBase* entry = tarnalert::detail::EmailEntry(alertDetail)) {
    alertNotifMsg = KTGui::AlertNotifMsg(*entry);
  }
  if (tarnalert::detail::NotifType(alertNotifMsg) != kEmailNotification) {
    log.Error("SendNotification",
              "Alert does not have email notification configured. So not processing. ");
    if (result != nullptr) result->reason = "the rule has no e-mail notification configured";
    return;
  }

  const int messageFormat = tarnalert::detail::MessageFormat(alertNotifMsg);
  const int formatOptions = tarnalert::detail::FormatOptions(alertNotifMsg);
  if (messageFormat != 0 || (formatOptions & 1)) deliveryOptions |= kDeliveryOptionFormatted;
  if (formatOptions == 2) deliveryOptions &= ~kDeliveryOptionDefault;

  HqMessageBase& idName = tarnalert::detail::RuleIdName(alertDetail);
  const std::string& alertName = idName.get(KTGui::IdName::name);
  const int alertId = static_cast<int>(idName.get(KTGui::IdName::id));
  // A template that would grow past what a reader of the request takes
  // stops filling; such a notification could never be sent.
  auto tooLarge = [&](const std::string& what) {
    const std::string reason = what + " (a request may hold " +
                               std::to_string(tarnalert::detail::kXmlMaxDocumentSize) +
                               " bytes); the notification is not sent";
    log.Error("SendNotification", "notification of rule [%d:%s]: %s", alertId, alertName.c_str(),
              reason.c_str());
    if (result != nullptr) result->reason = reason;
  };

  client.fillStopped() = false;
  std::wstring subject;
  const std::wstring body = FormatMessage(subject);
  if (client.fillStopped()) {
    return tooLarge("the filled template would hold more than " +
                    std::to_string(tarnalert::detail::kLargestFill) + " characters");
  }
  if (lowestSeverity == 1) deliveryOptions |= kDeliveryOptionImportant;

  request.set(App::EmailInfo::usedEmbedded, messageFormat == 1 ? 1 : 0);
  request.set(App::EmailInfo::subject, FXString::ToString(subject));
  request.set(App::EmailInfo::body, FXString::ToString(body));

  const std::string& senderAddress = alertDetail.get(AlertDetail::senderAddress);
  if (!senderAddress.empty()) {
    App::Email sender;
    sender.set(App::Email::address, senderAddress);
    sender.set(App::Email::displayName, alertDetail.get(AlertDetail::senderName));
    request.setChild(App::EmailInfo::from, sender);
  }

  std::wstring toText, ccText, bccText;
  size_t recipientCount = 0;
  HqMessageList& recipients = alertDetail.list(AlertDetail::nonNebrixUsers);
  for (size_t i = 0;; ++i) {
    if (i >= recipients.size()) break;
    if (i >= kMaxRecipients) {
      log.Error("SendNotification", "No of recipients exceeded. So limiting recipient list");
      break;
    }
    HqMessageBase& user = recipients[i];
    App::Email email;
    const int type = tarnalert::detail::RecipientType(user);
    const std::wstring address =
        FXString::ToWstring(user.get(KTGui::NTNonNebrixUser::emailAddress));
    email.set(App::Email::address, FXString::ToString(address));
    if (type >= 0 && type <= 2) ++recipientCount;
    if (type == 0) {
      request.list(App::EmailInfo::toList).push_back(email);
      toText += address;
    } else if (type == 1) {
      request.list(App::EmailInfo::ccList).push_back(email);
      ccText += address;
    } else if (type == 2) {
      request.list(App::EmailInfo::bccList).push_back(email);
      bccText += address;
    }
  }

  const bool usedEmbedded = request.get(App::EmailInfo::usedEmbedded) != 0;
  if (usedEmbedded) request.set(App::EmailInfo::embeddedMode, 1);

  std::string emailRequestText;
  request.serialize(emailRequestText, false);
  if (emailRequestText.size() > tarnalert::detail::kXmlMaxDocumentSize) {
    return tooLarge("the e-mail request would take " + std::to_string(emailRequestText.size()) +
                    " bytes");
  }

  tarnalert::DeliveryResult delivery =
      tarnalert::Env::Current()->DeliverEmail(emailRequestText, deliveryOptions);
  resultCode = delivery.code;
  resultText = delivery.text;

  const tarnalert::NotificationOutcome outcome = tarnalert::OutcomeOf(delivery);
  // A positive trace too: one line per outcome at the default level.
  log.DebugLvl("SendNotification", 1,
               "notification of rule [%d:%s] %s: message <%s>, %zu recipient(s)%s%s", alertId,
               alertName.c_str(), OutcomeWords(outcome), delivery.messageId.c_str(), recipientCount,
               delivery.keptAs.empty() ? "" : ", waits as ", delivery.keptAs.c_str());
  const char* embedded = usedEmbedded ? "True" : "False";
  log.debugLvl(10,
               "EvAlertProcessClient(828): -Debug-: Sending Email Notification for Alert [%s ( "
               "%d )] EmailList[%ls] Cc Email List [%ls] Bcc Email List [%ls] DeliveryOptions[%d] "
               "UsedEmbedded[%s] Subject [%ls] Errorcode [%ld] ErrorStr [%ls]",
               alertName.c_str(), alertId, toText.c_str(), ccText.c_str(), bccText.c_str(),
               deliveryOptions, embedded, subject.c_str(), static_cast<long>(resultCode),
               resultText.c_str());
  if (resultCode != 0) {
    log.Error("SendNotification",
              "EvAlertProcessClient(837): -Debug-: Error :Sending Email Notification for Alert "
              "[%s ( %d )] EmailList[%ls] Cc Email List [%ls] Bcc Email List [%ls] "
              "DeliveryOptions[%d] UsedEmbedded[%s] Subject [%ls] Errorcode [%ld] ErrorStr [%ls]",
              alertName.c_str(), alertId, toText.c_str(), ccText.c_str(), bccText.c_str(),
              deliveryOptions, embedded, subject.c_str(), static_cast<long>(resultCode),
              resultText.c_str());
  }
  if (result != nullptr) {
    result->subject = request.get(App::EmailInfo::subject);
    result->request = std::move(emailRequestText);
    result->deliveryOptions = deliveryOptions;
    result->recipients = recipientCount;
    result->outcome = outcome;
    result->delivery = std::move(delivery);
  }
}
