// Readings of a notification rule (a KTGui::AlertDetail) that several steps of
// the local road share.
#ifndef TARNALERT_ALERTCLIENT_DETAIL_RULEFIELDS_H_
#define TARNALERT_ALERTCLIENT_DETAIL_RULEFIELDS_H_

#include <cstdint>
#include <vector>

#include "tarnalert/platform/message/Messages.h"

namespace tarnalert {
namespace detail {

// The locale of the rule's notifications (low 32 bits, unsigned); 0 when the
// rule names none. Reading does not change the rule.
inline unsigned long RuleLocale(HqMessageBase& rule) {
  if (!rule.isSet(KTGui::AlertDetail::localeInfo)) return 0;
  return static_cast<uint32_t>(
      rule.child(KTGui::AlertDetail::localeInfo).get(KTGui::AlertLocale::localeId));
}

// The id and name of the rule (the IdName inside its alert definition).
inline HqMessageBase& RuleIdName(HqMessageBase& rule) {
  return rule.child(KTGui::AlertDetail::alert).child(KTGui::AlertInfo::alert);
}

// The integer fields of a notification entry and a recipient are 32-bit:
// only the low 32 bits of what the text holds count.
inline int MessageFormat(const HqMessageBase& entry) {
  return static_cast<int32_t>(entry.get(KTGui::AlertNotifMsg::messageFormat));
}
inline int FormatOptions(const HqMessageBase& entry) {
  return static_cast<int32_t>(entry.get(KTGui::AlertNotifMsg::formatOptions));
}
inline int NotifType(const HqMessageBase& entry) {
  return static_cast<int32_t>(entry.get(KTGui::AlertNotifMsg::notifType));
}
inline int RecipientType(const HqMessageBase& user) {
  return static_cast<int32_t>(user.get(KTGui::NTNonNebrixUser::recipientType));
}

// The rule's e-mail entry: the last notification entry of notifType 1; null
// when it has none.
inline const HqMessageBase* EmailEntry(HqMessageBase& rule) {
  const HqMessageBase* found = nullptr;
  for (const HqMessageBase& entry : rule.list(KTGui::AlertDetail::notifMessages)) {
    if (NotifType(entry) == 1) found = &entry;
  }
  return found;
}

// The rule's entry for `criteria` when the rule is of `alertType` and selects
// that criteria; null otherwise. Reads the rule without changing it.
const HqMessageBase* SelectedCriteria(const HqMessageBase& rule, int alertType, int criteria);

// What SelectedCriteria reads of a rule, kept so that it can be asked without
// reaching the rule again: its alert type and its criteria ids in order.
struct RuleSelection {
  int alertType = 0;
  std::vector<int> criteria;
  bool Selects(int type, int criteriaId) const;  // as SelectedCriteria != null
};
RuleSelection SelectionOf(const HqMessageBase& rule);

}  // namespace detail
}  // namespace tarnalert

#endif  // TARNALERT_ALERTCLIENT_DETAIL_RULEFIELDS_H_
