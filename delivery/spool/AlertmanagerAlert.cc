#include "delivery/spool/AlertmanagerAlert.h"

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <vector>

#include "alertclient/detail/RuleFields.h"
#include "delivery/spool/AlertSpool.h"
#include "platform/system/KTTime.h"
#include "tarnalert/alert/EvAlertEx.h"
#include "tarnalert/alertclient/AlertTokenHelper.h"
#include "tarnalert/alertclient/EvAlertProcessClient.h"
#include "tarnalert/platform/text/FXString.h"

namespace tarnalert {
namespace detail {

namespace {

// Years Alertmanager's time format can carry: 0001 to 9999.
constexpr int64_t kFirstMillis = -62135596800000;  // 0001-01-01T00:00:00Z
constexpr int64_t kLastMillis = 253402300799999;   // 9999-12-31T23:59:59.999Z

std::string ValidUtf8(const std::string& text) {
  if (FXString::IsValidUtf8(text.data(), text.size())) return text;
  return FXString::ToString(FXString::ToWstring(text));  // bad bytes become U+FFFD
}

// `text` on one line: every control character becomes a blank.
std::string OneLine(std::string text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
  }
  return text;
}

void AppendPart(std::string* text, const char* separator, const std::string& part) {
  if (part.empty()) return;
  if (!text->empty()) *text += separator;
  *text += part;
}

// The event messages of `alert`, each rendered through the catalogue with
// its arguments (or, for an id the catalogue lacks, its arguments as they
// are), separated by "; ".
std::string RenderedMessages(const EvAlertEx& alert) {
  std::string result;
  std::vector<const std::string*> arguments;
  auto render = [&](uint64_t messageId) {
    EvEvent event;
    std::string plain;
    for (const std::string* argument : arguments) {
      event << argument->c_str();
      AppendPart(&plain, " ", *argument);
    }
    char text[2048] = {};
    if (messageId != 0) event.evPrintf(static_cast<unsigned long>(messageId), text, 2047, 0UL);
    AppendPart(&result, "; ", text[0] != '\0' ? std::string(text) : plain);
    arguments.clear();
  };
  const std::vector<AlertEventMsg>& messages = alert.eventMsgList;
  for (size_t i = 0; i < messages.size(); ++i) {
    if (messages[i].argType == kArgEndOfMessage) {
      render(messages[i].messageId);
    } else {
      arguments.push_back(&messages[i].text);
    }
  }
  if (!arguments.empty()) render(messages.back().messageId);
  return result;
}

bool IsLabelName(const std::string& name) {
  if (name.empty() || (name[0] >= '0' && name[0] <= '9')) return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
  });
}

std::string CheckPairs(const std::map<std::string, std::string>& pairs, const char* what) {
  for (const auto& [name, value] : pairs) {
    if (!IsLabelName(name)) return std::string(what) + " name \"" + name + "\" is not valid";
    if (!FXString::IsValidUtf8(value.data(), value.size())) {
      return std::string(what) + " " + name + " is not UTF-8";
    }
  }
  return "";
}

// 2026-12-06T10:00:00.123Z
std::string TimeText(int64_t millis) {
  const int64_t remainder = ((millis % 1000) + 1000) % 1000;
  const time_t seconds = static_cast<time_t>((millis - remainder) / 1000);
  struct tm utc = {};
  if (KT_gmtime(&seconds, &utc) == nullptr) return "";
  char text[96];  // room for any int the fields may hold
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                static_cast<int>(remainder));
  return text;
}

}  // namespace

void AlertNaming::Load() {
  config_ = KTGui::GetAlertDetailForClientResp();
  names_.clear();
  std::string text;
  if (NTAlertProcessClient::RetrieveDetailsFromXML(text) != 0 || !config_.Parse(text)) {
    config_ = KTGui::GetAlertDetailForClientResp();
  }
}

std::string AlertNaming::AlertName(int alertType) {
  auto found = names_.find(alertType);
  if (found != names_.end()) return found->second;
  AlertTokenHelper helper(config_, alertType, 0);
  std::string name = OneLine(FXString::ToString(helper.getAlertTypeName(alertType)));
  if (name.find_first_not_of(' ') == std::string::npos) {
    name = "Alert type " + std::to_string(alertType);
  }
  return names_.emplace(alertType, name).first->second;
}

std::string AlertNaming::Severity(int alertType, int criteria) {
  for (const HqMessageBase& rule : config_.list(KTGui::GetAlertDetailForClientResp::alertDetails)) {
    const HqMessageBase* selected = SelectedCriteria(rule, alertType, criteria);
    if (selected == nullptr) continue;
    int64_t severity = rule.get(KTGui::AlertDetail::severity);
    if (severity == 0) severity = selected->get(KTGui::AlertCriteria::severity);
    return severity == 1 ? "critical" : severity == 2 ? "major" : "informational";
  }
  return "";
}

bool MakeAlertmanagerAlert(const std::string& name, const std::string& text, AlertNaming& naming,
                           int64_t nowMillis, long endsAfterSeconds, AlertmanagerAlert* alert,
                           std::string* error) {
  EvAlertEx record;
  SpoolOrigin origin;
  if (!ReadSpoolDocument(text, &record, error, &origin)) return false;
  AlertmanagerAlert result;
  result.labels["alertname"] = naming.AlertName(record.alertType);
  result.labels["alert_type"] = std::to_string(record.alertType);
  result.labels["criteria"] = std::to_string(record.criteria);
  result.labels["spool_id"] = ValidUtf8(name);
  const std::string client = OneLine(ValidUtf8(origin.client));
  if (!client.empty()) result.labels["client"] = client;  // Alertmanager drops empty values
  const std::string severity = naming.Severity(record.alertType, record.criteria);
  if (!severity.empty()) result.labels["severity"] = severity;

  std::string summary = RenderedMessages(record);
  if (summary.empty()) summary = record.msgString;
  if (summary.empty()) summary = result.labels["alertname"];
  result.annotations["summary"] = OneLine(ValidUtf8(summary));
  std::string description;
  for (const AlertEventMsg& argument : record.eventMsgList) {
    if (argument.argType == kArgText) AppendPart(&description, "\n", argument.text);
  }
  if (description.empty()) description = record.msgString;
  if (!description.empty()) result.annotations["description"] = ValidUtf8(description);

  // A client whose clock runs ahead must not date an alert in the future:
  // Alertmanager refuses a batch holding one.
  const int64_t spooled = static_cast<int64_t>(origin.spooledAt) * 1000;
  result.startsAtMillis = origin.spooledAt > 0 ? std::min(spooled, nowMillis) : nowMillis;
  const int64_t endsAfter = static_cast<int64_t>(endsAfterSeconds) * 1000;
  result.endsAtMillis = result.startsAtMillis + endsAfter;
  // An alert that waited in the spool longer than that still shows for as
  // long once it arrives, rather than arriving resolved.
  if (result.endsAtMillis <= nowMillis) result.endsAtMillis = nowMillis + endsAfter;
  *alert = std::move(result);
  return true;
}

std::string CheckAlertmanagerAlert(const AlertmanagerAlert& alert) {
  if (alert.labels.empty()) return "it has no labels";
  std::string problem = CheckPairs(alert.labels, "label");
  if (problem.empty()) problem = CheckPairs(alert.annotations, "annotation");
  if (!problem.empty()) return problem;
  for (int64_t time : {alert.startsAtMillis, alert.endsAtMillis}) {
    if (time < kFirstMillis || time > kLastMillis) {
      return "its time " + std::to_string(time) + " ms lies outside the years 1 to 9999";
    }
  }
  if (alert.endsAtMillis <= alert.startsAtMillis) return "its endsAt is not after its startsAt";
  return "";
}

void AppendAlertmanagerJson(const AlertmanagerAlert& alert, std::string* out) {
  const nlohmann::json object = {{"labels", alert.labels},
                                 {"annotations", alert.annotations},
                                 {"startsAt", TimeText(alert.startsAtMillis)},
                                 {"endsAt", TimeText(alert.endsAtMillis)}};
  // Values are checked UTF-8; should one slip through, it is replaced rather
  // than thrown on.
  *out += object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace detail
}  // namespace tarnalert
