#include "tarnalert/alertclient/EvAlertProcessClient.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "alertclient/detail/ConfigRead.h"
#include "alertclient/detail/PassMemo.h"
#include "alertclient/detail/RuleFields.h"
#include "platform/event/Catalog.h"
#include "platform/message/MessageFields.h"
#include "platform/message/XmlReader.h"
#include "tarnalert/alert/EvAlertEx.h"
#include "tarnalert/alertclient/ConfigCheck.h"
#include "tarnalert/alertclient/FailoverResult.h"
#include "tarnalert/platform/env/Env.h"
#include "tarnalert/platform/event/EvEvent.h"
#include "tarnalert/platform/text/FXString.h"

NTAlertProcessClient::NTAlertProcessClient(int alertType, int criteria, int status,
                                           EvAlertEx& alert)
    : alertType(alertType),
      criteria(criteria),
      status(status),
      alert(alert),
      createdAt(tarnalert::Env::Current()->Now()) {}

NTAlertProcessClient::~NTAlertProcessClient() = default;

NTNotifRuleDetectedAlertProcessing::NTNotifRuleDetectedAlertProcessing(HqMessageBase& rule,
                                                                       NTAlertProcessClient& client)
    : lowestSeverity(-1), localeId(0), messageFormat(0), client(client), alertDetail(rule) {}

namespace {

// The configuration text last decoded in this process with what it decoded
// to (frozen, so that copies share it) and the parts of the reading, which
// the decoding of a changed text takes over where that text repeats them.
// Never changed once published.
// What the road reads of each rule of a decoding before it reaches the rule
// itself, worked out once per decoding.
struct RuleFacts {
  tarnalert::RuleSkip skip = tarnalert::RuleSkip::kNone;
  bool idNameAbsent = false;  // the rule's alert holds no id and name at all
  tarnalert::detail::RuleSelection selection;
};

struct DecodedConfig {
  std::string text;
  KTGui::GetAlertDetailForClientResp config;
  tarnalert::detail::ReadParts parts;
  std::vector<RuleFacts> rules;  // one for each rule of `config`, in order
};

std::vector<RuleFacts> FactsOf(const KTGui::GetAlertDetailForClientResp& config) {
  std::vector<RuleFacts> facts;
  const HqMessageList* rules = config.findList(KTGui::GetAlertDetailForClientResp::alertDetails);
  if (rules == nullptr) return facts;
  facts.reserve(rules->size());
  for (const HqMessageBase& rule : *rules) {
    RuleFacts& fact = facts.emplace_back();
    fact.skip = tarnalert::RuleSkipReason(rule);
    fact.idNameAbsent =
        fact.skip == tarnalert::RuleSkip::kNoIdOrName &&
        rule.findChild(KTGui::AlertDetail::alert)->findChild(KTGui::AlertInfo::alert) == nullptr;
    fact.selection = tarnalert::detail::SelectionOf(rule);
  }
  return facts;
}

// The last decoded configuration; read and replaced under alertDetailsCS.
std::shared_ptr<const DecodedConfig>& LastDecoded() {
  static std::shared_ptr<const DecodedConfig> last;
  return last;
}

// Lets the rules decoded last go once another text is decoded (freed here,
// outside the lock, unless another alert still reads them or the new rules
// took them over). `last` is what the caller saw as decoded last; rules
// another alert published meanwhile are kept.
void LetGo(std::shared_ptr<const DecodedConfig> last) {
  if (last == nullptr) return;
  {
    KtCriticalSectionLock guard(&alertDetailsCS);
    if (LastDecoded() == last) LastDecoded().reset();
  }
  if (last.use_count() == 1) {
    // No other alert reads them: their text's memory becomes the next read's
    // buffer (the object was made mutable; only the pointer is to const).
    tarnalert::detail::HandBackReadBuffer(std::move(const_cast<DecodedConfig&>(*last).text));
  }
}

// Reads the cached configuration at `path` as RetrieveDetailsFromXML does,
// holding alertDetailsCS for the whole read and setting xmlDataForAlerts, and
// fills `config` from it as unserialize does. While the text read is the one
// decoded last, the rules decoded then are used again; another text is
// decoded after the lock is let go, taking over the rules (and other parts)
// it repeats byte for byte from the last decoding. A text that does not decode leaves
// `config` unchanged and is decoded (and reported) again next time. Returns
// what keeps the shared rules alive while the caller reads them; null when
// there are none. Why the file could not be read or decoded goes into
// *problem (empty for a missing file).
std::shared_ptr<const DecodedConfig> LoadConfig(KTGui::GetAlertDetailForClientResp& config,
                                                const std::string& path, std::string* problem) {
  if (path.empty()) return nullptr;
  std::shared_ptr<const DecodedConfig> last;
  std::string text;  // after the read: the buffer xmlDataForAlerts held before
  bool same = false;
  {
    KtCriticalSectionLock guard(&alertDetailsCS);
    std::string& cached = NTAlertProcessClient::xmlDataForAlerts;
    if (tarnalert::detail::ReadConfigFile(path, cached.size(), &text, problem) != 0) {
      return nullptr;
    }
    cached.swap(text);
    last = LastDecoded();
    same = last != nullptr && last->text == cached;
    if (!same) text = cached;  // to decode once the lock is let go
  }
  if (same) {
    tarnalert::detail::HandBackReadBuffer(std::move(text));
    config = last->config;
    return last;
  }
  if (text.empty()) return nullptr;
  auto decoded = std::make_shared<DecodedConfig>();
  tarnalert::detail::EarlierReading earlier{};
  if (last != nullptr) earlier = {last->text, &last->parts};
  const int read = tarnalert::detail::UnserializeFrozen(
      decoded->config, text, last != nullptr ? &earlier : nullptr, &decoded->parts);
  LetGo(std::move(last));
  if (read != 0) {
    *problem = path + " is not a configuration the library can read (see the debug log)";
    return nullptr;
  }
  decoded->text = std::move(text);
  decoded->rules = FactsOf(decoded->config);
  std::shared_ptr<const DecodedConfig> fresh = std::move(decoded);
  std::shared_ptr<const DecodedConfig> replaced = fresh;  // freed after the lock is let go
  {
    KtCriticalSectionLock guard(&alertDetailsCS);
    LastDecoded().swap(replaced);
  }
  config = fresh->config;
  return fresh;
}

// Why the road has no rule to examine, if so, for `result`: the file at
// `path` was missing, refused (`problem`) or held none.
void ExplainStart(const std::string& path, const std::string& problem, bool decoded,
                  const HqMessageList* rules, tarnalert::FailoverResult* result) {
  using tarnalert::FailoverStop;
  result->rulesExamined = rules != nullptr ? rules->size() : 0;
  if (path.empty()) {
    result->stop = FailoverStop::kNoConfiguration;
    result->reason =
        "no place is known for the configuration: the platform gives no client name or job "
        "results directory";
  } else if (!problem.empty()) {
    result->stop = FailoverStop::kConfigurationRefused;
    result->reason = problem;
  } else if (!decoded && result->rulesExamined == 0) {
    result->stop = FailoverStop::kNoConfiguration;
    result->reason = "no configuration is installed at " + path;
  } else if (rules == nullptr) {
    result->stop = FailoverStop::kConfigurationRefused;
    result->reason = "the rules of " + path + " are not a list";
  }
}

}  // namespace

void NTAlertProcessClient::MatchAndSendAlert() { MatchAndSendAlert(nullptr); }

void NTAlertProcessClient::MatchAndSendAlert(tarnalert::FailoverResult* result) {
  using KTGui::AlertInfo;
  using KTGui::GetAlertDetailForClientResp;
  using KTGui::IdName;
  constexpr const char* kTag = "MatchAndSendAlert";
  EvEvent log;
  // The rules of the alert look up many catalogue texts.
  const tarnalert::detail::CatalogScope catalogScope;
  // What the rules of this pass share lives as long as the pass.
  tarnalert::detail::PassMemo memo;
  struct PassScope {
    tarnalert::detail::PassMemo*& slot;
    tarnalert::detail::PassMemo* outer;
    ~PassScope() { slot = outer; }
  } passScope{pass_, std::exchange(pass_, &memo)};

  // An absent or unreadable file leaves the rule list empty.
  const std::string path = GetConfigFileName();
  std::string problem;
  const std::shared_ptr<const DecodedConfig> decoded = LoadConfig(alertConfig, path, &problem);
  if (result != nullptr) {
    *result = tarnalert::FailoverResult();
    result->configFile = path;
  }

  // The rules are read through the shared, read-only view; only a rule that
  // fits the alert is reached for change (and so copied) below.
  if (!alertConfig.isSet(GetAlertDetailForClientResp::alertDetails)) {
    alertConfig.list(GetAlertDetailForClientResp::alertDetails);  // reads as an empty list
  }
  const HqMessageList* rules = alertConfig.findList(GetAlertDetailForClientResp::alertDetails);
  if (result != nullptr) {
    ExplainStart(path, problem, decoded != nullptr, rules, result);
  }
  if (rules == nullptr) return;  // the field holds something else
  HqMessageList* changeableRules = nullptr;
  auto changeableRule = [&](size_t i) -> HqMessageBase& {
    if (changeableRules == nullptr) {
      changeableRules = &alertConfig.list(GetAlertDetailForClientResp::alertDetails);
      rules = changeableRules;
    }
    return (*changeableRules)[i];
  };
  // While the rules are those of the decoding, what it worked out of them
  // stands for reading them again; a rule reached for change below is read
  // no further.
  const std::vector<RuleFacts>* facts =
      decoded != nullptr &&
              rules == decoded->config.findList(GetAlertDetailForClientResp::alertDetails) &&
              decoded->rules.size() == rules->size()
          ? &decoded->rules
          : nullptr;
  for (size_t i = 0; i < rules->size(); ++i) {
    const RuleFacts* fact = facts != nullptr ? &(*facts)[i] : nullptr;
    const tarnalert::RuleSkip skip =
        fact != nullptr ? fact->skip : tarnalert::RuleSkipReason((*rules)[i]);
    if (skip == tarnalert::RuleSkip::kNoIdOrName &&
        (fact != nullptr
             ? fact->idNameAbsent
             : (*rules)[i].findChild(KTGui::AlertDetail::alert)->findChild(AlertInfo::alert) ==
                   nullptr)) {
      // Reading an absent id and name adds them empty, as the accessor does.
      (void)changeableRule(i).child(KTGui::AlertDetail::alert).child(AlertInfo::alert);
    }
    switch (skip) {
      case tarnalert::RuleSkip::kNone:
        break;
      case tarnalert::RuleSkip::kNoAlertNoRecipients:
      case tarnalert::RuleSkip::kNoAlert:
      case tarnalert::RuleSkip::kNoRecipients:
        log.DebugLvl(kTag, 5,
                     "Skipping alert notification at index [%zu] since it does not have "
                     "sufficient information.",
                     i);
        continue;
      case tarnalert::RuleSkip::kDisabledOrDeleted:
        log.DebugLvl(kTag, 5,
                     "Skipping alert notification at index [%zu] since its disabled or deleted. ",
                     i);
        continue;
      case tarnalert::RuleSkip::kNoIdOrName:
        log.DebugLvl(kTag, 5,
                     "Skipping alert notification at index [%zu] since it does not have Id or "
                     "name set. ",
                     i);
        continue;
    }
    // A rule that does not fit is passed over unchanged, as MatchAlert would.
    if (alertType != tarnalert::kFailoverAlertType ||
        !(fact != nullptr
              ? fact->selection.Selects(alertType, criteria)
              : tarnalert::detail::SelectedCriteria((*rules)[i], alertType, criteria) != nullptr)) {
      continue;
    }
    HqMessageBase& rule = changeableRule(i);
    const HqMessageBase& idName =
        *rule.findChild(KTGui::AlertDetail::alert)->findChild(AlertInfo::alert);
    const int ruleId = static_cast<int>(idName.get(IdName::id));
    const std::string& ruleName = idName.get(IdName::name);
    NTNotifRuleDetectedAlertProcessing processing(rule, *this);
    if (processing.MatchAlert()) {
      log.Error(kTag,
                "Detected alert of type, criteria and status [%d:%d:%d] matched notification "
                "[%d:%ls]. Filling details for notification",
                alertType, criteria, status, ruleId, FXString::ToWstring(ruleName).c_str());
      if (result == nullptr) {
        processing.SendNotification();
        continue;
      }
      tarnalert::NotificationResult& notification = result->notifications.emplace_back();
      notification.ruleId = ruleId;
      notification.ruleName = ruleName;
      processing.SendNotification(&notification);
    }
  }
  if (result != nullptr && result->notifications.empty() &&
      result->stop == tarnalert::FailoverStop::kNone) {
    result->stop = tarnalert::FailoverStop::kNoRuleMatched;
    result->reason = "none of the " + std::to_string(rules->size()) +
                     " rules of the configuration is enabled, complete and fits alert type " +
                     std::to_string(alertType) + ", criteria " + std::to_string(criteria);
  }
}
