#include "tarnalert/alertclient/AlertTokenHelper.h"

#include <cstdint>
#include <cstdio>
#include <utility>
#include <vector>

#include "alertclient/detail/CatalogTexts.h"
#include "tarnalert/alert/EvAlertEx.h"
#include "tarnalert/platform/text/FXString.h"

namespace {

using KTGui::AlertAvailCriteria;
using KTGui::AlertTypeCatalog;
using KTGui::AlertTypeListItem;
using KTGui::GetAlertDetailForClientResp;
using KTGui::IdName;

// Catalogue ids of the severity texts.
constexpr unsigned long kSeverityCriticalText = 0x3d00024b;  // severity 1
constexpr unsigned long kSeverityMajorText = 0x3d00024a;     // severity 2
constexpr unsigned long kSeverityOtherText = 0x3d000249;     // any other severity

// The list `field` of the configuration's alert type catalogue, or null while
// either is unset. Reading never adds anything to the configuration.
const HqMessageList* FindCatalogList(const GetAlertDetailForClientResp& config,
                                     const tarnalert::ListField& field) {
  const HqMessageBase* catalog = config.findChild(GetAlertDetailForClientResp::alertTypeCatalog);
  return catalog != nullptr ? catalog->findList(field) : nullptr;
}

// The alert types of the configuration's catalogue, or null when there are none.
const HqMessageList* FindAlertTypes(const GetAlertDetailForClientResp& config) {
  return FindCatalogList(config, AlertTypeCatalog::alertTypes);
}

int AlertTypeOf(const HqMessageBase& alertTypeEntry) {
  return static_cast<int>(alertTypeEntry.get(AlertTypeListItem::alertTypeId));
}

}  // namespace

AlertTokenHelper::AlertTokenHelper(KTGui::GetAlertDetailForClientResp& alertConfig, int alertType,
                                   unsigned long localeId)
    : EvEvent(), alertConfig(alertConfig), alertType(alertType), localeId(localeId) {}

void AlertTokenHelper::Push(HqMessageBase& details, unsigned long tokenId, std::string value) {
  if (value.empty()) return;
  printToken("AlertTokenHelper::Push", tokenId, value.c_str());
  KTGui::TokenValueStruct pair;
  pair.set(KTGui::TokenValueStruct::tokenId, static_cast<int64_t>(tokenId));
  pair.list(KTGui::TokenValueStruct::values).push_back(std::move(value));
  details.list(KTGui::DetectedAlertsDataDetails::tokenValues).push_back(std::move(pair));
}

void AlertTokenHelper::Push(HqMessageBase& details, unsigned long tokenId, std::string value,
                            bool pushEmpty) {
  // The narrow form still drops an empty value; the flag only lets it that far.
  if (pushEmpty || !value.empty()) Push(details, tokenId, std::move(value));
}

void AlertTokenHelper::Push(HqMessageBase& details, unsigned long tokenId, const wchar_t* value) {
  if (value == nullptr || *value == L'\0') return;
  Push(details, tokenId, FXString::ToString(value));
}

void AlertTokenHelper::Push(HqMessageBase& details, unsigned long tokenId, long long value) {
  char buffer[64] = {};
  std::snprintf(buffer, sizeof buffer, "%lld", value);
  Push(details, tokenId, std::string(buffer));
}

void AlertTokenHelper::Push(HqMessageBase& details, unsigned long tokenId, int value) {
  char buffer[64] = {};
  std::snprintf(buffer, sizeof buffer, "%d", value);
  Push(details, tokenId, std::string(buffer));
}

void AlertTokenHelper::Push(HqMessageBase& details, unsigned long tokenId,
                            const tagTIMESTAMP_STRUCT& record, bool utc) {
  tagTIMESTAMP_STRUCT copy = record;
  char text[512] = {};
  DbDatetimeToUlongTime(text, copy, utc);
  if (text[0] != '\0') Push(details, tokenId, std::string(text));
}

void AlertTokenHelper::PushCriteria(HqMessageBase& details, unsigned long criteria) {
  Push(details, kCriteriaToken, static_cast<long long>(GetNameIdForCriteria(criteria)));
}

void AlertTokenHelper::PushJobId(HqMessageBase& details, long long jobId) {
  if (jobId > 0) Push(details, kJobIdToken, jobId);
}

void AlertTokenHelper::PushTarnholdName(HqMessageBase& details) {
  const std::string& name = alertConfig.get(GetAlertDetailForClientResp::tarnholdName);
  if (!name.empty()) Push(details, kTarnholdNameToken, std::string(name));
}

std::string AlertTokenHelper::DateTimeText(time_t time, bool utc) {
  tagTIMESTAMP_STRUCT record;
  UlongTimeToDbDatetime(static_cast<long>(time), record, utc);
  char text[512] = {};
  DbDatetimeToUlongTime(text, record, utc);
  return text;
}

void AlertTokenHelper::PushDateTime(HqMessageBase& details, time_t time) {
  Push(details, kDateTimeToken, DateTimeText(time, false));
}

void AlertTokenHelper::PushDateTimeUTC(HqMessageBase& details, time_t time) {
  Push(details, kDateTimeUtcToken, DateTimeText(time, true));
}

void AlertTokenHelper::PushAlertSeverity(HqMessageBase& details, HqMessageBase& rule,
                                         KTGui::AlertCriteria criteria) {
  int severity = static_cast<int>(rule.get(KTGui::AlertDetail::severity));
  if (severity == 0) severity = static_cast<int>(criteria.get(KTGui::AlertCriteria::severity));
  const unsigned long textId = severity == 1   ? kSeverityCriticalText
                               : severity == 2 ? kSeverityMajorText
                                               : kSeverityOtherText;
  Push(details, kSeverityToken, severity);
  Push(details, kSeverityTextToken, CatalogText(textId, 1023));
}

std::string AlertTokenHelper::CatalogText(unsigned long messageId, unsigned long size) {
  // Without arguments streamed in, the text is the catalogue's alone.
  if (argumentCount() == 0) return tarnalert::detail::FetchCatalogNarrow(messageId, size, localeId);
  // evPrintf always ends what it writes: nothing of the buffer's past shows.
  char text[2048];
  text[0] = '\0';
  evPrintf(messageId, text, size < sizeof text ? size : sizeof text, localeId);
  return text;
}

void AlertTokenHelper::PushCommentToken(HqMessageBase& details, EvAlertEx& alert) {
  const std::vector<AlertEventMsg>& messages = alert.getEventMsgList();
  // Arguments of the message being walked. They are streamed into this
  // EvEvent only when the message is rendered, so that the arguments of a
  // message that is not a comment never fill the placeholders of a later one.
  std::vector<const std::string*> arguments;
  auto render = [&](uint64_t messageId) {
    for (const std::string* argument : arguments) *this << argument->c_str();
    arguments.clear();
    char text[2048] = {};
    evPrintf(static_cast<unsigned long>(messageId), text, 2047, localeId);
    Push(details, kCommentToken, std::string(text));
  };

  bool lastEndedRenderedComment = false;
  for (size_t i = 0; i < messages.size(); ++i) {
    lastEndedRenderedComment = false;
    if (messages[i].argType != kArgEndOfMessage) {
      arguments.push_back(&messages[i].text);
      continue;
    }
    if (i > 0 && messages[i - 1].eventCode == kCommentToken) {
      render(messages[i - 1].messageId);
      lastEndedRenderedComment = true;
    }
    arguments.clear();  // the message ends here
  }
  // A comment message that was not ended by a type-14 entry. One that was
  // ended and rendered above is not rendered a second time.
  if (!messages.empty() && messages.back().eventCode == kCommentToken &&
      !lastEndedRenderedComment) {
    render(messages.back().messageId);
  }
}

unsigned long AlertTokenHelper::GetNameIdForCriteria(unsigned long criteria) {
  const HqMessageList* alertTypes = FindAlertTypes(alertConfig);
  if (alertTypes == nullptr) return 0;
  // Several entries may carry the same alert type: all of them are searched.
  for (const HqMessageBase& entry : *alertTypes) {
    if (AlertTypeOf(entry) != alertType) continue;
    const HqMessageList* available = entry.findList(AlertTypeListItem::availCriteria);
    if (available == nullptr) continue;
    for (const HqMessageBase& candidate : *available) {
      if (static_cast<uint32_t>(candidate.get(AlertAvailCriteria::criteriaId)) == criteria) {
        return static_cast<uint32_t>(candidate.get(AlertAvailCriteria::nameMessageId));
      }
    }
  }
  return 0;
}

std::wstring AlertTokenHelper::getAlertCategoryName(int alertType) {
  // Without alert types (or without a match) the category id stays 0, and a
  // category of id 0 still gives its name.
  int categoryId = 0;
  if (const HqMessageList* alertTypes = FindAlertTypes(alertConfig)) {
    for (const HqMessageBase& entry : *alertTypes) {  // the last entry of the type wins
      if (AlertTypeOf(entry) == alertType) {
        categoryId = static_cast<int>(entry.get(AlertTypeListItem::categoryId));
      }
    }
  }
  const HqMessageList* categories = FindCatalogList(alertConfig, AlertTypeCatalog::alertCategories);
  if (categories == nullptr) return std::wstring();
  for (const HqMessageBase& category : *categories) {
    if (static_cast<int>(category.get(IdName::id)) == categoryId) {
      return FXString::ToWstring(category.get(IdName::name));
    }
  }
  return std::wstring();
}

std::wstring AlertTokenHelper::getAlertTypeName(int alertType) {
  const HqMessageList* alertTypes = FindAlertTypes(alertConfig);
  if (alertTypes == nullptr) return std::wstring();
  for (const HqMessageBase& entry : *alertTypes) {  // the first entry of the type wins
    if (AlertTypeOf(entry) != alertType) continue;
    return FXString::ToWstring(
        CatalogText(static_cast<uint32_t>(entry.get(AlertTypeListItem::nameMessageId)), 1023));
  }
  return std::wstring();
}

void AlertTokenHelper::printToken(const char* functionTag, unsigned long tokenId,
                                  const char* value) {
  constexpr int kLevel = 8;
  if (!IsLogged(kLevel)) return;  // the token's name is looked up for the line only
  char name[2048] = {};
  evPrintf(tokenId, name, 2048, 0UL);
  DebugLvl(functionTag, kLevel, "token: %s value: %s", name, value);
}
