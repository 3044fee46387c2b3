// AlertTokenHelper: the facts of one detected alert as token/value pairs.
//
// A token id is an event-catalogue message id (module byte 0x4A) whose text is
// the token's display name. Each Push appends one KTGui::TokenValueStruct (the
// token id and exactly one narrow value) to the tokenValues list of a
// KTGui::DetectedAlertsDataDetails and writes the pair to the debug log at
// level 8. The helper also answers name look-ups in the alert type catalogue
// of the cached configuration.
//
// The helper refers to, but does not own, the configuration; it is itself an
// EvEvent (catalogue look-ups and the debug log), so it belongs to one thread
// and lives on the stack of the call that collects the values.
#ifndef TARNALERT_ALERTCLIENT_ALERTTOKENHELPER_H_
#define TARNALERT_ALERTCLIENT_ALERTTOKENHELPER_H_

#include <ctime>
#include <string>

#include "tarnalert/alertclient/DbDatetime.h"
#include "tarnalert/platform/Export.h"
#include "tarnalert/platform/event/EvEvent.h"
#include "tarnalert/platform/message/Messages.h"

class EvAlertEx;

class TARNALERT_EXPORT AlertTokenHelper : public EvEvent {
 public:
  // Token ids of the values this helper pushes.
  static constexpr unsigned long kTarnholdNameToken = 0x4a000004;
  static constexpr unsigned long kDateTimeToken = 0x4a000007;
  static constexpr unsigned long kDateTimeUtcToken = 0x4a000008;
  static constexpr unsigned long kCriteriaToken = 0x4a00000e;
  static constexpr unsigned long kJobIdToken = 0x4a000023;
  static constexpr unsigned long kCommentToken = 0x4a00003f;
  static constexpr unsigned long kSeverityTextToken = 0x4a00051f;
  static constexpr unsigned long kSeverityToken = 0x4a000520;

  // `localeId` is passed to every catalogue look-up that renders notification
  // text (severity text, comments, alert type names).
  AlertTokenHelper(KTGui::GetAlertDetailForClientResp& alertConfig, int alertType,
                   unsigned long localeId);

  // --- Push family. `details` is a KTGui::DetectedAlertsDataDetails. None of
  // them fails: a value that cannot be formed is simply not pushed.
  // Appends the pair (tokenId, value); an empty value pushes nothing.
  void Push(HqMessageBase& details, unsigned long tokenId, std::string value);
  // Forwards when `pushEmpty` is set or the value is not empty.
  void Push(HqMessageBase& details, unsigned long tokenId, std::string value, bool pushEmpty);
  // Nothing for a null or empty text; otherwise the UTF-8 form of the text.
  void Push(HqMessageBase& details, unsigned long tokenId, const wchar_t* value);
  void Push(HqMessageBase& details, unsigned long tokenId, long long value);
  void Push(HqMessageBase& details, unsigned long tokenId, int value);
  // The 24-character date text of `record` (local time, or UTC when `utc` is
  // set); nothing when the record does not convert (an all-zero record).
  void Push(HqMessageBase& details, unsigned long tokenId, const tagTIMESTAMP_STRUCT& record,
            bool utc);

  // The catalogue id of the criteria's display name, 0 when the catalogue has
  // none.
  void PushCriteria(HqMessageBase& details, unsigned long criteria);
  // Only a job id above 0 is pushed.
  void PushJobId(HqMessageBase& details, long long jobId);
  // Nothing when the configuration names no installation.
  void PushTarnholdName(HqMessageBase& details);
  // `time` in seconds since the epoch, local time; 0 pushes nothing.
  void PushDateTime(HqMessageBase& details, time_t time);
  // The same in UTC.
  void PushDateTimeUTC(HqMessageBase& details, time_t time);
  // The text PushDateTime (utc false) or PushDateTimeUTC (utc true) pushes
  // for `time`; empty when they push nothing.
  static std::string DateTimeText(time_t time, bool utc);
  // The severity of `rule` (a KTGui::AlertDetail), or of `criteria` when the
  // rule's is 0, as a number and as catalogue text.
  void PushAlertSeverity(HqMessageBase& details, HqMessageBase& rule,
                         KTGui::AlertCriteria criteria);
  // One value per comment message of the alert, rendered with its arguments.
  void PushCommentToken(HqMessageBase& details, EvAlertEx& alert);

  // --- Look-ups in the alert type catalogue of the configuration.
  // nameMessageId of the criteria of this helper's alert type; 0 when none.
  unsigned long GetNameIdForCriteria(unsigned long criteria);
  // Display name of the category of `alertType`; empty when unknown.
  std::wstring getAlertCategoryName(int alertType);
  // Catalogue text of the name of `alertType`; empty when unknown.
  std::wstring getAlertTypeName(int alertType);

  // Logs "token: <token name> value: <value>" at level 8.
  void printToken(const char* functionTag, unsigned long tokenId, const char* value);

  KTGui::GetAlertDetailForClientResp& alertConfig;
  int alertType;
  unsigned long localeId;

 protected:
  // The catalogue text of `messageId` in this helper's locale, as evPrintf
  // renders it with no arguments into a zeroed buffer of `size` bytes (at
  // most 2048). The severity text and alert type names are looked up here;
  // a derived helper may answer them from a catalogue of its own.
  virtual std::string CatalogText(unsigned long messageId, unsigned long size);
};

#endif  // TARNALERT_ALERTCLIENT_ALERTTOKENHELPER_H_
