// The readable text of the matched criteria: its catalogue text with each
// <placeholder> filled, in order, by the parameter values of the rule.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "alertclient/detail/CatalogTexts.h"
#include "tarnalert/alertclient/EvAlertProcessClient.h"
#include "tarnalert/platform/text/FXString.h"

std::wstring NTNotifRuleDetectedAlertProcessing::FormatAlertCriteria(int messageId) {
  std::wstring text =
      tarnalert::detail::FetchCatalogText(static_cast<unsigned long>(messageId), 2048, localeId);

  // The parameter values of the first criteria entry of the alert's criteria.
  std::vector<uint32_t> values;
  if (alertDetail.isSet(KTGui::AlertDetail::criteria)) {
    for (HqMessageBase& entry : alertDetail.list(KTGui::AlertDetail::criteria)) {
      if (static_cast<int>(entry.get(KTGui::AlertCriteria::criteriaId)) != client.criteria) {
        continue;
      }
      if (entry.isSet(KTGui::AlertCriteria::params)) {
        for (const HqMessageBase& param : entry.list(KTGui::AlertCriteria::params)) {
          values.push_back(static_cast<uint32_t>(param.get(KTGui::AlertCriteriaParam::value)));
        }
      }
      break;
    }
  }

  // A placeholder runs from the first "<" to the first ">" after it. Values
  // are decimal digits, so a filled placeholder is never found again.
  for (uint32_t value : values) {
    const size_t open = text.find(L'<');
    if (open == std::wstring::npos) break;
    const size_t close = text.find(L'>', open + 1);
    if (close == std::wstring::npos) break;
    char number[2048];
    std::memset(number, 0, sizeof number);
    std::snprintf(number, 2047, "%d", static_cast<int32_t>(value));
    text.replace(open, close - open + 1, FXString::ToWstring(number));
  }
  return text;
}
