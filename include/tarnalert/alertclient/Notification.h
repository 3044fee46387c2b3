// Fixed facts of a notification that the local road and the tools built on it
// share: the catalogue ids with a fixed meaning in templates, the alert type
// the road evaluates, and the limits it applies to a rule's e-mail.
//
// Constants only; nothing here has state.
#ifndef TARNALERT_ALERTCLIENT_NOTIFICATION_H_
#define TARNALERT_ALERTCLIENT_NOTIFICATION_H_

#include <cstddef>

namespace tarnalert {

// The texts that close and open the subject of a template.
constexpr int kSubjectEndMarkerId = 0x4a000001;
constexpr int kSubjectStartMarkerId = 0x4a000002;
// Ids that link rather than carry a value.
constexpr int kLinkTokenIds[] = {0x4a0003b6, 0x4a0003b9};

// Tokens every notification fills, whatever its alert type offers.
constexpr int kAlertNameTokenId = 0x4a00000d;
constexpr int kAlertDescriptionTokenId = 0x4a00000a;
constexpr int kAlertIdTokenId = 0x4a00000c;
constexpr int kUserNameTokenId = 0x4a000016;
constexpr int kFixedTokenIds[] = {kAlertNameTokenId, kAlertDescriptionTokenId, kAlertIdTokenId,
                                  kUserNameTokenId};
// "<Alert Category - Type>".
constexpr int kCategoryAndTypeTokenId = 0x4a000006;
// The text a token without a value shows.
constexpr unsigned long kNotApplicableTextId = 0x4a0000a5;

// Ids that mark or link rather than carry a value: they never get flags or a
// text of their own, and are never given the not-applicable text.
constexpr bool IsMarkerToken(int id) {
  return id == kSubjectEndMarkerId || id == kSubjectStartMarkerId || id == kLinkTokenIds[0] ||
         id == kLinkTokenIds[1];
}

// notifType of the e-mail entry of a rule, and messageFormat of HTML.
constexpr int kEmailNotification = 1;
constexpr int kHtmlMessageFormat = 1;
// A subject longer than this (after its tokens are filled) is cut.
constexpr size_t kSubjectLimit = 256;
// Recipients after this many are not used.
constexpr size_t kRecipientLimit = 100;

}  // namespace tarnalert

#endif  // TARNALERT_ALERTCLIENT_NOTIFICATION_H_
