#include "DeliveryText.h"

#include "ToolText.h"

namespace tarnalert_tool {

namespace {

std::string NoteLine(const tarnalert::AddressNote& note) {
  const std::string who = (note.role.empty() ? "" : note.role + " ") + OneLine(note.address);
  switch (note.kind) {
    case tarnalert::AddressNote::kLeftOut:
      return "left out " + note.role + " \"" + OneLine(note.address) + "\": " + note.reason;
    case tarnalert::AddressNote::kSenderReplaced:
      return "sender \"" + OneLine(note.address) + "\" replaced by " + note.replacedBy + ": " +
             note.reason;
    case tarnalert::AddressNote::kDeferred:
      return "deferred for " + who + ": " + OneLine(note.reason);
    case tarnalert::AddressNote::kRefused:
      break;
  }
  return "refused " + who + ": " + OneLine(note.reason);
}

}  // namespace

std::string DeliveryOutcome(const tarnalert::DeliveryResult& result) {
  std::string text;
  switch (tarnalert::OutcomeOf(result)) {
    case tarnalert::NotificationOutcome::kDelivered:
      text = "delivered.";
      break;
    case tarnalert::NotificationOutcome::kNoTransport:
      return "not delivered: no mail transport is configured (set TARNALERT_MAIL_URL; see "
             "docs/delivery.md).";
    case tarnalert::NotificationOutcome::kDeferred:
      text = "not delivered yet";
      break;
    case tarnalert::NotificationOutcome::kPartlyDelivered:
      text = "partly delivered";
      break;
    default:
      text = "failed";
      break;
  }
  if (result.code != 0) {
    text += " (code " + std::to_string(result.code) + "): " + FXString::ToString(result.text) + ".";
  }
  for (const tarnalert::AddressNote& note : result.notes) text += "\n  " + NoteLine(note);
  return text;
}

std::string DeliveryOptionsText(int options) {
  std::string text;
  for (const std::string& name : tarnalert::DeliveryOptionNames(options)) {
    text += (text.empty() ? "" : ", ") + name;
  }
  return (text.empty() ? "none" : text) + " (" + std::to_string(options) + ")";
}

}  // namespace tarnalert_tool
