// The per-rule formatting state of a matched rule (subject markers, token
// flags, token texts) and the preparation of a raw template for its format.
#include <algorithm>
#include <cstdint>
#include <unordered_set>
#include <vector>

#include "alertclient/detail/CatalogTexts.h"
#include "alertclient/detail/PassMemo.h"
#include "alertclient/detail/RuleFields.h"
#include "tarnalert/alertclient/EvAlertProcessClient.h"
#include "tarnalert/alertclient/Notification.h"

namespace {

using tarnalert::IsMarkerToken;
using tarnalert::kSubjectEndMarkerId;
using tarnalert::kSubjectStartMarkerId;
using tarnalert::detail::OfferedToken;

// The tokens every criteria of every entry of the alert's type offers,
// whatever the criteria of the detected alert, markers and links left out:
// each id once, with the flags of its first occurrence.
std::vector<OfferedToken> CollectOfferedTokens(const NTAlertProcessClient& client) {
  std::vector<OfferedToken> offered;
  const HqMessageBase* catalog =
      client.alertConfig.findChild(KTGui::GetAlertDetailForClientResp::alertTypeCatalog);
  const HqMessageList* alertTypes =
      catalog != nullptr ? catalog->findList(KTGui::AlertTypeCatalog::alertTypes) : nullptr;
  if (alertTypes == nullptr) return offered;
  // An alert type offers a few dozen tokens: looking through those found
  // costs less than a set, which takes over only when there are many.
  constexpr size_t kFewTokens = 32;
  std::unordered_set<int> many;
  auto known = [&](int tokenId) {
    if (offered.size() < kFewTokens) {
      return std::any_of(offered.begin(), offered.end(),
                         [tokenId](const OfferedToken& token) { return token.id == tokenId; });
    }
    if (many.empty()) {
      for (const OfferedToken& token : offered) many.insert(token.id);
    }
    return many.count(tokenId) != 0;
  };
  for (const HqMessageBase& alertTypeEntry : *alertTypes) {
    if (static_cast<int>(alertTypeEntry.get(KTGui::AlertTypeListItem::alertTypeId)) !=
        client.alertType) {
      continue;
    }
    const HqMessageList* available =
        alertTypeEntry.findList(KTGui::AlertTypeListItem::availCriteria);
    if (available == nullptr) continue;
    for (const HqMessageBase& criteria : *available) {
      const HqMessageList* tokens = criteria.findList(KTGui::AlertAvailCriteria::tokens);
      if (tokens == nullptr) continue;
      for (const HqMessageBase& token : *tokens) {
        const int tokenId = static_cast<int>(token.get(KTGui::AlertNotifToken::tokenId));
        if (IsMarkerToken(tokenId) || known(tokenId)) continue;
        offered.push_back(
            {tokenId, static_cast<int>(token.get(KTGui::AlertNotifToken::tokenFlags))});
        if (!many.empty()) many.insert(tokenId);
      }
    }
  }
  return offered;
}

}  // namespace

void NTNotifRuleDetectedAlertProcessing::InitializeNotification() {
  using tarnalert::detail::FetchCatalogText;
  const unsigned long locale = tarnalert::detail::RuleLocale(alertDetail);

  // The markers are kept as the catalogue gives them, blanks included; one
  // that came back empty is asked for again by a later call.
  if (subjectStartMarker.empty()) {
    subjectStartMarker = FetchCatalogText(kSubjectStartMarkerId, 2047, locale);
  }
  if (subjectEndMarker.empty()) {
    subjectEndMarker = FetchCatalogText(kSubjectEndMarkerId, 2047, locale);
  }

  // A token already known keeps its flags and its text.
  std::vector<OfferedToken> collected;
  tarnalert::detail::PassMemo* pass = client.pass();
  const std::vector<OfferedToken>& offered =
      pass != nullptr ? pass->OfferedTokens([&] { return CollectOfferedTokens(client); })
                      : (collected = CollectOfferedTokens(client));
  for (const OfferedToken& token : offered) {
    tokenFlags.try_emplace(token.id, token.flags);
    if (tokenTexts.count(token.id) == 0) {
      tokenTexts.emplace(token.id, tarnalert::detail::FetchTokenText(token.id, locale));
    }
  }
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
