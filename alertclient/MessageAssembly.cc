// Filling a rule's template with the detected alert's values and turning the
// result into the subject and body of its notification.
#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

#include "alertclient/detail/CatalogTexts.h"
#include "alertclient/detail/FillMemo.h"
#include "alertclient/detail/RuleFields.h"
#include "alertclient/detail/TokenReplacement.h"
#include "platform/event/Catalog.h"
#include "tarnalert/alertclient/AlertTokenHelper.h"
#include "tarnalert/alertclient/EvAlertProcessClient.h"
#include "tarnalert/alertclient/Notification.h"
#include "tarnalert/alertclient/TemplateText.h"
#include "tarnalert/platform/event/EvEvent.h"
#include "tarnalert/platform/text/FXString.h"

namespace {

// Token ids the template language gives a fixed meaning.
constexpr int kTokenAlertName = tarnalert::kAlertNameTokenId;
constexpr int kTokenAlertDescription = tarnalert::kAlertDescriptionTokenId;
constexpr int kTokenAlertId = tarnalert::kAlertIdTokenId;
constexpr int kTokenUserName = tarnalert::kUserNameTokenId;
constexpr int kTokenCategoryAndType = tarnalert::kCategoryAndTypeTokenId;
constexpr int kTokenCriteria = AlertTokenHelper::kCriteriaToken;
constexpr int kTokenComment = AlertTokenHelper::kCommentToken;
constexpr int kTokenSeverityLevel = AlertTokenHelper::kSeverityToken;

using tarnalert::IsMarkerToken;
using tarnalert::kNotApplicableTextId;
using tarnalert::kSubjectLimit;
using tarnalert::detail::NumberText;
using tarnalert::detail::ReplaceInOrder;
using tarnalert::detail::Replacement;
using tarnalert::detail::RuleIdName;
using tarnalert::detail::RuleLocale;
using tarnalert::detail::TokenReplacement;

// Token flag bits.
constexpr int kJoinWithoutSeparator = 0x1000;
constexpr int kJoinWithCommaLines = 0x80;
constexpr int kValueIsHtml = 0x4000;

// The fill of `message`, whose "MsgHrzSep" markers are expanded, for `rule`
// with the values of `details` (GenerateMessageForDetectedDataAlert less its
// first step).
std::wstring FillTokens(NTNotifRuleDetectedAlertProcessing& rule, HqMessageBase& details,
                        std::wstring message) {
  rule.localeId = RuleLocale(rule.alertDetail);
  const std::wstring notApplicableText =
      tarnalert::detail::FetchCatalogText(kNotApplicableTextId, 2048, rule.localeId);

  // The token replacements are gathered in the order they apply and then made
  // in one pass over the message.
  // Each replacement points at its texts: values that live as long as the
  // fill, or texts kept in `texts`.
  std::vector<Replacement> replacements;
  replacements.reserve(4 + 2 * details.list(KTGui::DetectedAlertsDataDetails::tokenValues).size() +
                       rule.tokenFlags.size());
  tarnalert::detail::FillMemo::Use memo;  // holds the search texts until the fill is made
  tarnalert::detail::ReplacementTexts texts;
  auto replaceTokenWith = [&](int id, const std::wstring& lastingValue, bool escape) {
    replacements.push_back(TokenReplacement(rule, id, lastingValue, escape, memo.memo(), &texts));
  };
  auto replaceToken = [&](int id, std::wstring value, bool escape) {
    replaceTokenWith(id, texts.emplace_back(std::move(value)), escape);
  };
  HqMessageBase& idName = RuleIdName(rule.alertDetail);
  replaceToken(kTokenAlertName, FXString::ToWstring(idName.get(KTGui::IdName::name)), true);
  replaceToken(kTokenAlertDescription, L"", true);
  replaceToken(kTokenAlertId, NumberText(static_cast<int>(idName.get(KTGui::IdName::id))), false);
  replaceToken(kTokenUserName, L"", true);

  // Collect the values of each token, joined as its flags say.
  std::map<int, std::wstring> collectedTexts;
  std::vector<int> presentIds;
  for (HqMessageBase& pair : details.list(KTGui::DetectedAlertsDataDetails::tokenValues)) {
    const int id = static_cast<int>(pair.get(KTGui::TokenValueStruct::tokenId));
    const std::vector<std::string>& values = pair.list(KTGui::TokenValueStruct::values);
    if (values.empty()) continue;
    std::wstring& collected = collectedTexts[id];
    presentIds.push_back(id);
    auto flagsEntry = rule.tokenFlags.find(id);
    if (flagsEntry == rule.tokenFlags.end()) continue;
    const int flags = flagsEntry->second;

    std::wstring joined;
    std::wstring separator;
    for (const std::string& value : values) {
      std::wstring wide = FXString::ToWstring(value);
      joined += separator;
      joined += wide;
      if (!(flags & kJoinWithoutSeparator)) separator = L",";
      if (flags & kJoinWithCommaLines) separator = rule.messageFormat == 0 ? L",\r\n\t" : L",";
      if (id == kTokenSeverityLevel && wide != notApplicableText) {
        int severity = FXString::ToInt32(value.c_str());
        if (rule.lowestSeverity == -1 || severity < rule.lowestSeverity)
          rule.lowestSeverity = severity;
      }
    }
    if (!collected.empty() && !joined.empty()) joined.insert(0, separator);
    collected += joined;
  }

  // In plain text the comment is escaped unless its flags say it is markup.
  auto commentFlags = rule.tokenFlags.find(kTokenComment);
  auto comment = collectedTexts.find(kTokenComment);
  if (commentFlags != rule.tokenFlags.end() && !(commentFlags->second & kValueIsHtml) &&
      rule.messageFormat == 0 && comment != collectedTexts.end()) {
    comment->second = rule.GetHtmlEscapedString(comment->second);
  }

  std::optional<Replacement> categoryAndType;  // made the first time it is needed
  for (const auto& [id, text] : collectedTexts) {
    auto flagsEntry = rule.tokenFlags.find(id);
    if (flagsEntry == rule.tokenFlags.end()) continue;
    if (id == kTokenCriteria) {
      int criteriaMessageId = FXString::ToInt32(FXString::ToString(text).c_str());
      replaceToken(kTokenCriteria, rule.FormatAlertCriteria(criteriaMessageId), false);
      continue;
    }
    // The category token is listed again before each value, so that a value
    // holding its text reads as before; the one pass replaces it only once.
    if (!categoryAndType) {
      categoryAndType =
          TokenReplacement(rule, kTokenCategoryAndType,
                           texts.emplace_back(rule.alertCategoryName + L" - " + rule.alertTypeName),
                           true, memo.memo(), &texts);
    }
    replacements.push_back(*categoryAndType);
    const bool escape = id != kTokenComment && !(flagsEntry->second & kValueIsHtml);
    replaceTokenWith(id, text, escape);
  }

  // Every token the rule knows that got no value reads "not applicable".
  std::sort(presentIds.begin(), presentIds.end());
  for (const auto& entry : rule.tokenFlags) {
    const int id = entry.first;
    if (IsMarkerToken(id)) continue;
    if (!std::binary_search(presentIds.begin(), presentIds.end(), id)) {
      replaceTokenWith(id, notApplicableText, true);
    }
  }
  if (!ReplaceInOrder(message, std::move(replacements), &memo.memo().tokenPlaces())) {
    rule.client.fillStopped() = true;
  }
  return message;
}

}  // namespace

std::wstring NTNotifRuleDetectedAlertProcessing::GenerateMessageForDetectedDataAlert(
    HqMessageBase& details, std::wstring message) {
  Replace(message, L"MsgHrzSep", horizontalSeparator.c_str());
  return FillTokens(*this, details, std::move(message));
}

std::wstring NTNotifRuleDetectedAlertProcessing::FormatMessage(std::wstring& subject) {
  EvEvent log;
  const tarnalert::detail::CatalogScope catalogScope;  // the fill looks up many texts
  HqMessageList& details = detectedAlertsData.list(KTGui::DetectedAlertsData::details);
  if (details.empty()) {
    log.Error("FormatMessage", "Not formatting message since no tokens are passed.");
    return L"";
  }
  const int format = static_cast<int>(alertNotifMsg.get(KTGui::AlertNotifMsg::messageFormat));
  const bool html = format == 1;
  const std::string& rawTemplate = alertNotifMsg.get(html ? KTGui::AlertNotifMsg::htmlTemplate
                                                          : KTGui::AlertNotifMsg::textTemplate);

  AlertTokenHelper tokenHelper(client.alertConfig, client.alertType, RuleLocale(alertDetail));
  InitializeNotification();
  static const std::wstring kSeparator = L"MsgNewLine_ " + std::wstring(65, L'=') + L"MsgNewLine_ ";
  // The template prepared for its format, with its "MsgHrzSep" markers
  // expanded: the same template with the same markers comes out the same.
  // (A template short enough to be kept cannot grow past the largest fill
  // here; a longer one is prepared, and may stop, every time.)
  std::wstring prepared = tarnalert::detail::FillMemo::Use().memo().PreparedTemplate(
      rawTemplate, format, subjectStartMarker, subjectEndMarker, [&] {
        std::wstring text = GetEncodedRawMessage(FXString::ToWstring(rawTemplate), format);
        Replace(text, L"MsgHrzSep", kSeparator.c_str());
        return text;
      });
  alertCategoryName = tokenHelper.getAlertCategoryName(client.alertType);
  alertTypeName = tokenHelper.getAlertTypeName(client.alertType);
  messageFormat = format;
  horizontalSeparator = kSeparator;

  std::wstring body = FillTokens(*this, details.front(), std::move(prepared));

  // The subject ends where the subject end marker begins; the body keeps it.
  subject.clear();
  const size_t split = body.find(subjectEndMarker);
  if (split != std::wstring::npos) {
    subject.assign(body, 0, split);
    body.erase(0, split);
  }

  if (html) {  // the subject was escaped with the template; it is plain text
    Replace(subject, L"&lt;", L"<");
    Replace(subject, L"&gt;", L">");
    Replace(subject, L"&amp;", L"&");
  }

  if (subject.size() > kSubjectLimit) {
    HqMessageBase& idName = RuleIdName(alertDetail);
    const std::wstring alertName = FXString::ToWstring(idName.get(KTGui::IdName::name));
    log.debugLvl(1,
                 "EvAlertProcessClient(983): -Debug-: Notification[%ls(%d)] Force subject line "
                 "truncation[%ld to %d]",
                 alertName.c_str(), static_cast<int>(idName.get(KTGui::IdName::id)),
                 static_cast<long>(subject.size()), static_cast<int>(kSubjectLimit));
    subject.resize(kSubjectLimit);
  }

  subject += L' ';
  subject =
      DecodeMsgTabForNotifMessage(DecodeNewLineForNotifMessage(std::move(subject), html), html);
  body += L' ';
  body = DecodeNewLineForNotifMessage(std::move(body), html);
  if (!tarnalert::detail::DecodeMsgTabs(body, html)) client.fillStopped() = true;
  if (html) TrimNotApplicableRowsFromHtmlBody(body, client.alertType);
  return body;
}
