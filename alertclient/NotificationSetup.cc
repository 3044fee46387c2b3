// The per-rule formatting state of a matched rule (subject markers, token
// flags, token texts) and the preparation of a raw template for its format.
#include <cstdint>
#include <map>

#include "alertclient/detail/AlertMemo.h"
#include "alertclient/detail/RuleFields.h"
#include "tarnalert/alertclient/EvAlertProcessClient.h"
#include "tarnalert/alertclient/Notification.h"
#include "tarnalert/platform/event/EvEvent.h"
#include "tarnalert/platform/text/FXString.h"

namespace {

using tarnalert::IsMarkerToken;
using tarnalert::kSubjectEndMarkerId;
using tarnalert::kSubjectStartMarkerId;

bool IsTrailingBlank(wchar_t c) { return c == L' ' || c == L'\n' || c == L'\r' || c == L'\t'; }

HqMessageList* FindList(HqMessageBase& message, const tarnalert::ListField& field) {
  return message.isSet(field) ? &message.list(field) : nullptr;
}

}  // namespace

void NTNotifRuleDetectedAlertProcessing::InitializeNotification() {
  const unsigned long locale = tarnalert::detail::RuleLocale(alertDetail);

  tarnalert::detail::AlertMemo& catalog = client.memo();
  // The markers are kept as the catalogue gives them, blanks included.
  if (subjectStartMarker.empty()) {
    subjectStartMarker = catalog.Text(kSubjectStartMarkerId, 2047, locale);
  }
  if (subjectEndMarker.empty()) {
    subjectEndMarker = catalog.Text(kSubjectEndMarkerId, 2047, locale);
  }

  // Every criteria of the alert type offers its tokens, whatever the criteria
  // of the detected alert; the first occurrence of a token id wins.
  auto collect = [&](std::map<int, int>& flags, std::map<int, std::wstring>& texts) {
    KTGui::GetAlertDetailForClientResp& config = client.alertConfig;
    if (!config.isSet(KTGui::GetAlertDetailForClientResp::alertTypeCatalog)) return;
    HqMessageList* alertTypes =
        FindList(config.child(KTGui::GetAlertDetailForClientResp::alertTypeCatalog),
                 KTGui::AlertTypeCatalog::alertTypes);
    if (alertTypes == nullptr) return;
    for (HqMessageBase& alertTypeEntry : *alertTypes) {
      if (static_cast<int>(alertTypeEntry.get(KTGui::AlertTypeListItem::alertTypeId)) !=
          client.alertType) {
        continue;
      }
      HqMessageList* available = FindList(alertTypeEntry, KTGui::AlertTypeListItem::availCriteria);
      if (available == nullptr) continue;
      for (HqMessageBase& criteria : *available) {
        HqMessageList* tokens = FindList(criteria, KTGui::AlertAvailCriteria::tokens);
        if (tokens == nullptr) continue;
        for (const HqMessageBase& token : *tokens) {
          const int tokenId = static_cast<int>(token.get(KTGui::AlertNotifToken::tokenId));
          if (IsMarkerToken(tokenId)) continue;
          if (flags.count(tokenId) == 0) {
            flags[tokenId] = static_cast<int>(token.get(KTGui::AlertNotifToken::tokenFlags));
          }
          if (texts.count(tokenId) == 0) {
            std::wstring text = catalog.Text(static_cast<unsigned long>(tokenId), 2048, locale);
            size_t end = text.size();
            while (end > 0 && IsTrailingBlank(text[end - 1])) --end;
            text.erase(end);
            texts[tokenId] = std::move(text);
          }
        }
      }
    }
  };
  // A rule that starts with none gets what every rule of the alert in its
  // locale gets, collected once.
  if (tokenFlags.empty() && tokenTexts.empty()) {
    const tarnalert::detail::AlertMemo::Tokens& tokens = catalog.TokensOf(locale, [&] {
      tarnalert::detail::AlertMemo::Tokens collected;
      collect(collected.flags, collected.texts);
      return collected;
    });
    tokenFlags = tokens.flags;
    tokenTexts = tokens.texts;
    return;
  }
  collect(tokenFlags, tokenTexts);
}

std::wstring NTNotifRuleDetectedAlertProcessing::GetEncodedRawMessage(
    const std::wstring& rawMessage, int messageFormat) {
  std::wstring message = rawMessage;
  if (messageFormat != 1) return message;
  // Without an end marker text there is no subject part to prepare.
  if (subjectEndMarker.empty()) return message;
  const size_t end = message.find(subjectEndMarker);
  if (end == std::wstring::npos) return message;

  std::wstring subject = message.substr(0, end);
  if (!subjectStartMarker.empty()) {
    const size_t start = subject.find(subjectStartMarker);
    if (start != std::wstring::npos) subject.erase(0, start + subjectStartMarker.size());
  }
  return GetHtmlEscapedString(subject) + message.substr(end);
}
