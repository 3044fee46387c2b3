// The audit-trail form of an alert: the XML text of one App::EvAlertExMessage
// carrying the record's numbers and texts (not its arguments or message text).
#include "tarnalert/alert/EvAlertEx.h"
#include "tarnalert/platform/message/Messages.h"

namespace {

// A 32-bit member travels as a 64-bit integer sign-extended from its low bits.
int64_t Widen32(int64_t value) { return static_cast<int32_t>(value); }

}  // namespace

int EvAlertEx::serializeForAuditTrail(std::string& text) {
  using Message = App::EvAlertExMessage;
  Message message;
  message.set(Message::auxNumber6, auxNumber6);
  message.set(Message::auxNumber7, auxNumber7);
  message.set(Message::auxNumber8, auxNumber8);
  message.set(Message::auxNumber11, auxNumber11);
  message.set(Message::auxNumber12, auxNumber12);
  message.set(Message::auxNumber10, auxNumber10);
  message.set(Message::auxNumber9, auxNumber9);
  message.set(Message::auxNumber13, auxNumber13);
  message.set(Message::alertType, Widen32(alertType));
  message.set(Message::criteria, Widen32(criteria));
  message.set(Message::status, Widen32(status));
  message.set(Message::auxNumber1, Widen32(auxNumber1));
  message.set(Message::auxText15, auxText15);
  message.set(Message::auxText14, auxText14);
  message.set(Message::auxText16, auxText16);
  message.child(Message::extra).set(App::EvAlertExExtra::auxNumber17, Widen32(auxNumber17));
  message.set(Message::defaultStatus, Widen32(defaultStatus));
  return message.serialize(text, false);
}

int EvAlertEx::unserializeForAuditTrail(std::string text) {
  using Message = App::EvAlertExMessage;
  Message message;
  int result = message.unserialize(text);
  if (result != 0) return result;
  auxNumber6 = message.get(Message::auxNumber6);
  auxNumber7 = message.get(Message::auxNumber7);
  auxNumber8 = message.get(Message::auxNumber8);
  auxNumber11 = message.get(Message::auxNumber11);
  auxNumber12 = message.get(Message::auxNumber12);
  auxNumber10 = message.get(Message::auxNumber10);
  auxNumber9 = message.get(Message::auxNumber9);
  auxNumber13 = message.get(Message::auxNumber13);
  alertType = static_cast<int32_t>(message.get(Message::alertType));
  criteria = static_cast<int32_t>(message.get(Message::criteria));
  status = static_cast<int32_t>(message.get(Message::status));
  auxNumber1 = Widen32(message.get(Message::auxNumber1));
  auxText15 = message.get(Message::auxText15);
  auxText14 = message.get(Message::auxText14);
  auxText16 = message.get(Message::auxText16);
  defaultStatus = Widen32(message.get(Message::defaultStatus));
  auxNumber17 =
      static_cast<int32_t>(message.child(Message::extra).get(App::EvAlertExExtra::auxNumber17));
  return 0;
}
