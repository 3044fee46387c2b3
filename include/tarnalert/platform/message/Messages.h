// The message classes of the library: the cached alert configuration, the
// token values of a detected alert, the e-mail request (namespace KTGui, module
// 1, and App, module 30) and the audit-trail form of an alert.
//
// Each class is a thin HqMessageBase of its (module, class number) with one
// descriptor per field; the descriptors carry field number, member index, keys
// and the XML element name. Classes are declared children first. Field numbers
// and member indexes are part of the stored format: never renumber them.
#ifndef TARNALERT_PLATFORM_MESSAGE_MESSAGES_H_
#define TARNALERT_PLATFORM_MESSAGE_MESSAGES_H_

#include "tarnalert/platform/message/HqMessageBase.h"

// Declares the class constants and constructor shared by every message class.
#define TARNALERT_MESSAGE_CLASS(Name, Module, Number)                          \
 public:                                                                       \
  static constexpr int kModule = Module;                                       \
  static constexpr int kClassNumber = Number;                                  \
  static constexpr uint32_t kTypeKey = tarnalert::MakeTypeKey(Module, Number); \
  Name() : HqMessageBase(Module, Number) {}                                    \
  explicit Name(const HqMessageBase& other) : HqMessageBase(other) {}

namespace KTGui {

using tarnalert::MakeChildField;
using tarnalert::MakeIntField;
using tarnalert::MakeListField;
using tarnalert::MakeTextField;
using tarnalert::MakeTextListField;

// An id with its display name.
class TARNALERT_EXPORT IdName : public HqMessageBase {
  TARNALERT_MESSAGE_CLASS(IdName, 1, 50)
  static constexpr tarnalert::IntField id = MakeIntField("id", kTypeKey, 1, 1);
  static constexpr tarnalert::TextField name = MakeTextField("name", kTypeKey, 2, 2);
  static constexpr tarnalert::FieldInfo kFields[] = {id.info, name.info};
};

// One token that notifications of a criteria can use.
class TARNALERT_EXPORT AlertNotifToken : public HqMessageBase {
  TARNALERT_MESSAGE_CLASS(AlertNotifToken, 1, 32)
  static constexpr tarnalert::IntField tokenId = MakeIntField("tokenId", kTypeKey, 1, 1);
  static constexpr tarnalert::IntField tokenFlags = MakeIntField("tokenFlags", kTypeKey, 6, 6);
  static constexpr tarnalert::FieldInfo kFields[] = {tokenId.info, tokenFlags.info};
};

// One criteria that alerts of a type can have.
class TARNALERT_EXPORT AlertAvailCriteria : public HqMessageBase {
  TARNALERT_MESSAGE_CLASS(AlertAvailCriteria, 1, 31)
  static constexpr tarnalert::IntField criteriaId = MakeIntField("criteriaId", kTypeKey, 1, 1);
  static constexpr tarnalert::ListField tokens = MakeListField(
      "tokens", kTypeKey, 5, 5, AlertNotifToken::kModule, AlertNotifToken::kClassNumber);
  static constexpr tarnalert::IntField nameMessageId =
      MakeIntField("nameMessageId", kTypeKey, 6, 6);
  static constexpr tarnalert::FieldInfo kFields[] = {criteriaId.info, tokens.info,
                                                     nameMessageId.info};
};

// One alert type known to the server.
class TARNALERT_EXPORT AlertTypeListItem : public HqMessageBase {
  TARNALERT_MESSAGE_CLASS(AlertTypeListItem, 1, 30)
  static constexpr tarnalert::IntField categoryId = MakeIntField("categoryId", kTypeKey, 1, 1);
  static constexpr tarnalert::IntField alertTypeId = MakeIntField("alertTypeId", kTypeKey, 2, 2);
  static constexpr tarnalert::ListField availCriteria =
      MakeListField("availCriteria", kTypeKey, 9, 15, AlertAvailCriteria::kModule,
                    AlertAvailCriteria::kClassNumber);
  static constexpr tarnalert::IntField nameMessageId =
      MakeIntField("nameMessageId", kTypeKey, 16, 16);
  static constexpr tarnalert::FieldInfo kFields[] = {categoryId.info, alertTypeId.info,
                                                     availCriteria.info, nameMessageId.info};
};

// Alert categories and alert types.
class TARNALERT_EXPORT AlertTypeCatalog : public HqMessageBase {
  TARNALERT_MESSAGE_CLASS(AlertTypeCatalog, 1, 29)
  static constexpr tarnalert::ListField alertCategories =
      MakeListField("alertCategories", kTypeKey, 1, 1, IdName::kModule, IdName::kClassNumber);
  static constexpr tarnalert::ListField alertTypes = MakeListField(
      "alertTypes", kTypeKey, 2, 2, AlertTypeListItem::kModule, AlertTypeListItem::kClassNumber);
  static constexpr tarnalert::FieldInfo kFields[] = {alertCategories.info, alertTypes.info};
};

// The alert definition of a rule.
class TARNALERT_EXPORT AlertInfo : public HqMessageBase {
  TARNALERT_MESSAGE_CLASS(AlertInfo, 1, 139)
  static constexpr tarnalert::ChildField alert =
      MakeChildField("alert", kTypeKey, 1, 1, IdName::kModule, IdName::kClassNumber);
  static constexpr tarnalert::ChildField alertType =
      MakeChildField("alertType", kTypeKey, 3, 3, IdName::kModule, IdName::kClassNumber);
  // Bit 0: disabled; bit 1: deleted.
  static constexpr tarnalert::IntField flags = MakeIntField("flags", kTypeKey, 12, 12);
  static constexpr tarnalert::FieldInfo kFields[] = {alert.info, alertType.info, flags.info};
};

// Locale of a rule's notifications.
class TARNALERT_EXPORT AlertLocale : public HqMessageBase {
  TARNALERT_MESSAGE_CLASS(AlertLocale, 1, 73)
  static constexpr tarnalert::IntField localeId = MakeIntField("localeId", kTypeKey, 1, 1);
  static constexpr tarnalert::FieldInfo kFields[] = {localeId.info};
};

// One parameter value of a selected criteria.
class TARNALERT_EXPORT AlertCriteriaParam : public HqMessageBase {
  TARNALERT_MESSAGE_CLASS(AlertCriteriaParam, 1, 141)
  static constexpr tarnalert::IntField value = MakeIntField("value", kTypeKey, 3, 3);
  static constexpr tarnalert::FieldInfo kFields[] = {value.info};
};

// One criteria selected in a rule.
class TARNALERT_EXPORT AlertCriteria : public HqMessageBase {
  TARNALERT_MESSAGE_CLASS(AlertCriteria, 1, 140)
  static constexpr tarnalert::IntField criteriaId = MakeIntField("criteriaId", kTypeKey, 1, 1);
  static constexpr tarnalert::ListField params = MakeListField(
      "params", kTypeKey, 9, 12, AlertCriteriaParam::kModule, AlertCriteriaParam::kClassNumber);
  static constexpr tarnalert::IntField severity = MakeIntField("severity", kTypeKey, 13, 13);
  static constexpr tarnalert::FieldInfo kFields[] = {criteriaId.info, params.info, severity.info};
};

// The settings of one notification kind of a rule.
class TARNALERT_EXPORT AlertNotifMsg : public HqMessageBase {
  TARNALERT_MESSAGE_CLASS(AlertNotifMsg, 1, 115)
  static constexpr tarnalert::IntField notifType = MakeIntField("notifType", kTypeKey, 1, 1);
  static constexpr tarnalert::IntField formatOptions =
      MakeIntField("formatOptions", kTypeKey, 4, 4);
  static constexpr tarnalert::TextField textTemplate =
      MakeTextField("textTemplate", kTypeKey, 5, 5);
  static constexpr tarnalert::TextField htmlTemplate =
      MakeTextField("htmlTemplate", kTypeKey, 6, 9);
  static constexpr tarnalert::IntField messageFormat =
      MakeIntField("messageFormat", kTypeKey, 15, 15);
  static constexpr tarnalert::FieldInfo kFields[] = {
      notifType.info, formatOptions.info, textTemplate.info, htmlTemplate.info, messageFormat.info};
};

// One recipient given by e-mail address.
class TARNALERT_EXPORT NTNonNebrixUser : public HqMessageBase {
  TARNALERT_MESSAGE_CLASS(NTNonNebrixUser, 1, 116)
  static constexpr tarnalert::TextField emailAddress =
      MakeTextField("emailAddress", kTypeKey, 1, 1);
  // 0 To, 1 Cc, 2 Bcc.
  static constexpr tarnalert::IntField recipientType =
      MakeIntField("recipientType", kTypeKey, 6, 6);
  static constexpr tarnalert::FieldInfo kFields[] = {emailAddress.info, recipientType.info};
};

// One notification rule.
class TARNALERT_EXPORT AlertDetail : public HqMessageBase {
  TARNALERT_MESSAGE_CLASS(AlertDetail, 1, 138)
  static constexpr tarnalert::ChildField alert =
      MakeChildField("alert", kTypeKey, 1, 1, AlertInfo::kModule, AlertInfo::kClassNumber);
  static constexpr tarnalert::ListField criteria = MakeListField(
      "criteria", kTypeKey, 7, 7, AlertCriteria::kModule, AlertCriteria::kClassNumber);
  static constexpr tarnalert::ListField notifMessages = MakeListField(
      "notifMessages", kTypeKey, 8, 8, AlertNotifMsg::kModule, AlertNotifMsg::kClassNumber);
  static constexpr tarnalert::ChildField localeInfo = MakeChildField(
      "localeInfo", kTypeKey, 10, 13, AlertLocale::kModule, AlertLocale::kClassNumber);
  static constexpr tarnalert::IntField severity = MakeIntField("severity", kTypeKey, 19, 19);
  static constexpr tarnalert::TextField senderAddress =
      MakeTextField("senderAddress", kTypeKey, 33, 45);
  static constexpr tarnalert::TextField senderName = MakeTextField("senderName", kTypeKey, 34, 49);
  static constexpr tarnalert::ListField nonNebrixUsers = MakeListField(
      "nonNebrixUsers", kTypeKey, 36, 57, NTNonNebrixUser::kModule, NTNonNebrixUser::kClassNumber);
  static constexpr tarnalert::FieldInfo kFields[] = {
      alert.info,    criteria.info,      notifMessages.info, localeInfo.info,
      severity.info, senderAddress.info, senderName.info,    nonNebrixUsers.info};
};

// The whole cached alert configuration of this client.
class TARNALERT_EXPORT GetAlertDetailForClientResp : public HqMessageBase {
  TARNALERT_MESSAGE_CLASS(GetAlertDetailForClientResp, 1, 243)
  static constexpr tarnalert::ListField alertDetails = MakeListField(
      "alertDetails", kTypeKey, 1, 1, AlertDetail::kModule, AlertDetail::kClassNumber);
  static constexpr tarnalert::ChildField alertTypeCatalog =
      MakeChildField("alertTypeCatalog", kTypeKey, 2, 2, AlertTypeCatalog::kModule,
                     AlertTypeCatalog::kClassNumber);
  static constexpr tarnalert::TextField tarnholdName =
      MakeTextField("tarnholdName", kTypeKey, 3, 3);
  static constexpr tarnalert::FieldInfo kFields[] = {alertDetails.info, alertTypeCatalog.info,
                                                     tarnholdName.info};
};

// One token id with its values.
class TARNALERT_EXPORT TokenValueStruct : public HqMessageBase {
  TARNALERT_MESSAGE_CLASS(TokenValueStruct, 1, 88)
  static constexpr tarnalert::IntField tokenId = MakeIntField("tokenId", kTypeKey, 1, 1);
  static constexpr tarnalert::TextListField values = MakeTextListField("values", kTypeKey, 2, 2);
  static constexpr tarnalert::FieldInfo kFields[] = {tokenId.info, values.info};
};

// The token values of one detected alert.
class TARNALERT_EXPORT DetectedAlertsDataDetails : public HqMessageBase {
  TARNALERT_MESSAGE_CLASS(DetectedAlertsDataDetails, 1, 124)
  static constexpr tarnalert::IntField sequenceNumber =
      MakeIntField("sequenceNumber", kTypeKey, 1, 1);
  static constexpr tarnalert::ListField tokenValues = MakeListField(
      "tokenValues", kTypeKey, 3, 3, TokenValueStruct::kModule, TokenValueStruct::kClassNumber);
  static constexpr tarnalert::FieldInfo kFields[] = {sequenceNumber.info, tokenValues.info};
};

// The detected alerts of one rule.
class TARNALERT_EXPORT DetectedAlertsData : public HqMessageBase {
  TARNALERT_MESSAGE_CLASS(DetectedAlertsData, 1, 11)
  static constexpr tarnalert::ListField details =
      MakeListField("details", kTypeKey, 1, 1, DetectedAlertsDataDetails::kModule,
                    DetectedAlertsDataDetails::kClassNumber);
  static constexpr tarnalert::FieldInfo kFields[] = {details.info};
};

}  // namespace KTGui

namespace App {

using tarnalert::MakeChildField;
using tarnalert::MakeIntField;
using tarnalert::MakeListField;
using tarnalert::MakeTextField;

// One e-mail address.
class TARNALERT_EXPORT Email : public HqMessageBase {
  TARNALERT_MESSAGE_CLASS(Email, 30, 2143)
  static constexpr tarnalert::TextField address = MakeTextField("address", kTypeKey, 1, 1);
  static constexpr tarnalert::TextField displayName = MakeTextField("displayName", kTypeKey, 2, 5);
  static constexpr tarnalert::FieldInfo kFields[] = {address.info, displayName.info};
};

// The e-mail request of one notification.
class TARNALERT_EXPORT EmailInfo : public HqMessageBase {
  TARNALERT_MESSAGE_CLASS(EmailInfo, 30, 2142)
  static constexpr tarnalert::ChildField from =
      MakeChildField("from", kTypeKey, 1, 1, Email::kModule, Email::kClassNumber);
  static constexpr tarnalert::TextField subject = MakeTextField("subject", kTypeKey, 2, 2);
  static constexpr tarnalert::TextField body = MakeTextField("body", kTypeKey, 3, 6);
  static constexpr tarnalert::ListField toList =
      MakeListField("toList", kTypeKey, 5, 11, Email::kModule, Email::kClassNumber);
  static constexpr tarnalert::ListField ccList =
      MakeListField("ccList", kTypeKey, 6, 12, Email::kModule, Email::kClassNumber);
  static constexpr tarnalert::ListField bccList =
      MakeListField("bccList", kTypeKey, 7, 13, Email::kModule, Email::kClassNumber);
  static constexpr tarnalert::IntField usedEmbedded =
      MakeIntField("usedEmbedded", kTypeKey, 12, 18);
  static constexpr tarnalert::IntField embeddedMode =
      MakeIntField("embeddedMode", kTypeKey, 15, 21);
  static constexpr tarnalert::FieldInfo kFields[] = {
      from.info,   subject.info, body.info,         toList.info,
      ccList.info, bccList.info, usedEmbedded.info, embeddedMode.info};
};

// Extra members of an alert's audit-trail form (module 18).
class TARNALERT_EXPORT EvAlertExExtra : public HqMessageBase {
  TARNALERT_MESSAGE_CLASS(EvAlertExExtra, 18, 46)
  static constexpr tarnalert::IntField auxNumber17 = MakeIntField("auxNumber17", kTypeKey, 65, 164);
  static constexpr tarnalert::FieldInfo kFields[] = {auxNumber17.info};
};

// The audit-trail form of an alert.
class TARNALERT_EXPORT EvAlertExMessage : public HqMessageBase {
  TARNALERT_MESSAGE_CLASS(EvAlertExMessage, 30, 536)
  static constexpr tarnalert::IntField auxNumber1 = MakeIntField("auxNumber1", kTypeKey, 1, 1);
  static constexpr tarnalert::IntField alertType = MakeIntField("alertType", kTypeKey, 2, 2);
  static constexpr tarnalert::IntField criteria = MakeIntField("criteria", kTypeKey, 3, 3);
  static constexpr tarnalert::IntField status = MakeIntField("status", kTypeKey, 4, 4);
  static constexpr tarnalert::IntField auxNumber6 = MakeIntField("auxNumber6", kTypeKey, 6, 6);
  static constexpr tarnalert::IntField auxNumber7 = MakeIntField("auxNumber7", kTypeKey, 7, 7);
  static constexpr tarnalert::IntField auxNumber8 = MakeIntField("auxNumber8", kTypeKey, 8, 8);
  static constexpr tarnalert::IntField auxNumber9 = MakeIntField("auxNumber9", kTypeKey, 9, 9);
  static constexpr tarnalert::IntField auxNumber10 = MakeIntField("auxNumber10", kTypeKey, 10, 10);
  static constexpr tarnalert::IntField auxNumber11 = MakeIntField("auxNumber11", kTypeKey, 11, 11);
  static constexpr tarnalert::IntField auxNumber12 = MakeIntField("auxNumber12", kTypeKey, 12, 12);
  static constexpr tarnalert::IntField auxNumber13 = MakeIntField("auxNumber13", kTypeKey, 13, 13);
  static constexpr tarnalert::TextField auxText14 = MakeTextField("auxText14", kTypeKey, 14, 14);
  static constexpr tarnalert::TextField auxText15 = MakeTextField("auxText15", kTypeKey, 15, 18);
  static constexpr tarnalert::TextField auxText16 = MakeTextField("auxText16", kTypeKey, 16, 22);
  static constexpr tarnalert::ChildField extra = MakeChildField(
      "extra", kTypeKey, 17, 26, EvAlertExExtra::kModule, EvAlertExExtra::kClassNumber);
  static constexpr tarnalert::IntField defaultStatus =
      MakeIntField("defaultStatus", kTypeKey, 18, 27);
  static constexpr tarnalert::FieldInfo kFields[] = {
      auxNumber1.info,  alertType.info,    criteria.info,   status.info,      auxNumber6.info,
      auxNumber7.info,  auxNumber8.info,   auxNumber9.info, auxNumber10.info, auxNumber11.info,
      auxNumber12.info, auxNumber13.info,  auxText14.info,  auxText15.info,   auxText16.info,
      extra.info,       defaultStatus.info};
};

}  // namespace App

#undef TARNALERT_MESSAGE_CLASS

#endif  // TARNALERT_PLATFORM_MESSAGE_MESSAGES_H_
