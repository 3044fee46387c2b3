// The local road of the failover alert (type 74).
//
// NTAlertProcessClient holds one detected alert (type, criteria, status, the
// alert record and the time of detection) with the client's cached alert
// configuration; EvAlertEx::sendAlert builds one on its stack and calls
// MatchAndSendAlert, which walks the notification rules. For each rule it
// builds an NTNotifRuleDetectedAlertProcessing, the state of one rule applied
// to the alert: MatchAlert decides whether the rule fits and collects the
// token values, SendNotification fills the rule's template and builds,
// serializes and logs the e-mail request.
//
// The static members keep the cached configuration file (alert_config.xml in
// the client's job results directory): UpdateAlertConfig replaces it through a
// temporary file and a rename, RetrieveDetailsFromXML reads it back; both hold
// alertDetailsCS, and UpdateAlertConfig also excludes writers of other
// processes. They may be called from any thread.
//
// Neither object owns what it refers to; both live on the stack of one call.
#ifndef TARNALERT_ALERTCLIENT_EVALERTPROCESSCLIENT_H_
#define TARNALERT_ALERTCLIENT_EVALERTPROCESSCLIENT_H_

#include <ctime>
#include <map>
#include <string>

#include "tarnalert/platform/Export.h"
#include "tarnalert/platform/files/CYqError.h"
#include "tarnalert/platform/message/Messages.h"
#include "tarnalert/util/KtCriticalSection.h"

class EvAlertEx;
namespace tarnalert {
struct FailoverResult;
struct NotificationResult;
namespace detail {
class PassMemo;
}  // namespace detail
}  // namespace tarnalert

// Serializes the replacement and the reading of the cached configuration and
// the updates of NTAlertProcessClient::xmlDataForAlerts.
TARNALERT_EXPORT extern KtCriticalSection alertDetailsCS;

class TARNALERT_EXPORT NTAlertProcessClient {
 public:
  // Stores the arguments and takes the detection time.
  NTAlertProcessClient(int alertType, int criteria, int status, EvAlertEx& alert);
  ~NTAlertProcessClient();
  NTAlertProcessClient(const NTAlertProcessClient&) = delete;
  NTAlertProcessClient& operator=(const NTAlertProcessClient&) = delete;

  // Reads the cached configuration and builds the notification of every
  // enabled, complete rule that fits the alert. Reports only to the debug log.
  void MatchAndSendAlert();
  // The same, and fills `result` (FailoverResult.h; null: none) with what
  // became of each matching rule, or why no rule was examined or matched.
  void MatchAndSendAlert(tarnalert::FailoverResult* result);

  // Full path of the cached configuration, or empty (with a log line) when
  // the platform knows no client name or job results directory.
  static std::string GetConfigFileName();
  // Validates `xml` as a configuration and stores it atomically in place of
  // the old one. On failure the old file stays and the error says why.
  static CYqError UpdateAlertConfig(std::string xml);
  // 0 with the file's whole content in `out`; 1 (out untouched) when there is
  // no path, no file, or the file cannot be read whole.
  static int RetrieveDetailsFromXML(std::string& out);

  // The last configuration text written or read in this process.
  static std::string xmlDataForAlerts;

  int alertType;
  int criteria;
  int status;
  EvAlertEx& alert;
  KTGui::GetAlertDetailForClientResp alertConfig;
  time_t createdAt;  // detection time, seconds since the epoch

  // What the rules of the running pass of MatchAndSendAlert share; null
  // outside a pass (internal).
  tarnalert::detail::PassMemo* pass() { return pass_; }
  // Set by a fill of the notification being built that stopped at the
  // largest fill; that notification clears it before it fills and reads it
  // after (internal).
  bool& fillStopped() { return fillStopped_; }

 private:
  tarnalert::detail::PassMemo* pass_ = nullptr;
  bool fillStopped_ = false;
};

class TARNALERT_EXPORT NTNotifRuleDetectedAlertProcessing {
 public:
  // `rule` is a KTGui::AlertDetail (a list element of the configuration).
  NTNotifRuleDetectedAlertProcessing(HqMessageBase& rule, NTAlertProcessClient& client);
  NTNotifRuleDetectedAlertProcessing(const NTNotifRuleDetectedAlertProcessing&) = delete;
  NTNotifRuleDetectedAlertProcessing& operator=(const NTNotifRuleDetectedAlertProcessing&) = delete;

  // --- Matching
  // True when the rule is of the alert's type and selects its criteria; the
  // alert's token values have then been collected into detectedAlertsData.
  bool MatchAlert();
  // Collects the token values of the alert for the matched criteria; true.
  bool ProcessFailoverAlert(KTGui::AlertCriteria criteria);

  // --- Notification set-up
  // Fills the subject markers, tokenFlags and tokenTexts; adds only what is
  // missing.
  void InitializeNotification();
  // The template prepared for `messageFormat`: in HTML its subject part is
  // HTML-escaped and cut after the subject start marker.
  std::wstring GetEncodedRawMessage(const std::wstring& rawMessage, int messageFormat);
  // "&", "<" and ">" written as entities.
  std::wstring GetHtmlEscapedString(std::wstring text);

  // --- Template operations
  // Puts `value` in place of every occurrence of the token's text, ignoring
  // letter case; in HTML the escaped token text is searched and the value is
  // escaped when `escapeValue` is set.
  void ReplaceTokenInMessage(std::wstring& message, int tokenId, std::wstring value,
                             bool escapeValue);
  void ReplaceTokenInMessage(std::wstring& message, int tokenId, int value);
  // Replaces every occurrence of `find`, ignoring letter case, by `with`; the
  // inserted text is never searched again. Nothing happens for a null or
  // empty `find` or a null `with`.
  void Replace(std::wstring& message, const wchar_t* find, const wchar_t* with);

  // --- Message generation
  // The criteria text of `messageId` with its <placeholders> filled by the
  // rule's parameter values for the alert's criteria.
  std::wstring FormatAlertCriteria(int messageId);
  // `message` filled with the values of `details`, joined by the token flags.
  // `details` is a KTGui::DetectedAlertsDataDetails.
  std::wstring GenerateMessageForDetectedDataAlert(HqMessageBase& details, std::wstring message);
  // The rule's body, with the subject written into `subject`.
  std::wstring FormatMessage(std::wstring& subject);
  // Builds, serializes, delivers and logs the rule's e-mail request.
  void SendNotification();
  // The same, and fills `result` (FailoverResult.h; null: none) with the
  // request and what the delivery made of it.
  void SendNotification(tarnalert::NotificationResult* result);

  // --- State of the rule applied to the alert
  int lowestSeverity;  // -1 until a severity value is seen
  std::wstring subjectStartMarker;
  std::wstring subjectEndMarker;
  std::map<int, int> tokenFlags;
  std::map<int, std::wstring> tokenTexts;
  std::wstring horizontalSeparator;
  unsigned long localeId;
  int messageFormat;  // 1 HTML, 0 plain text
  std::wstring alertCategoryName;
  std::wstring alertTypeName;
  NTAlertProcessClient& client;
  HqMessageBase& alertDetail;  // the rule, a KTGui::AlertDetail
  KTGui::DetectedAlertsData detectedAlertsData;
  KTGui::AlertNotifMsg alertNotifMsg;
};

#endif  // TARNALERT_ALERTCLIENT_EVALERTPROCESSCLIENT_H_
