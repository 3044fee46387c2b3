#include "tarnalert/alertclient/ConfigCheck.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <map>
#include <set>
#include <utility>

#include "alertclient/detail/RuleFields.h"
#include "platform/message/XmlLocator.h"
#include "platform/text/MailAddress.h"
#include "tarnalert/alert/EvAlertEx.h"
#include "tarnalert/alertclient/Notification.h"
#include "tarnalert/platform/event/EvEvent.h"
#include "tarnalert/platform/message/Messages.h"
#include "tarnalert/platform/text/FXString.h"
#include "tarnalert/util/NTBasicLib.h"

namespace tarnalert {

namespace {

using KTGui::AlertDetail;
using KTGui::AlertInfo;
using KTGui::AlertNotifMsg;
using KTGui::GetAlertDetailForClientResp;
using KTGui::IdName;
using KTGui::NTNonNebrixUser;

// Longer spans between angle brackets are not taken for tokens.
constexpr size_t kLongestTokenText = 80;

std::wstring Lower(std::wstring text) {
  FXString::ToLower(text);
  return text;
}

std::string Quoted(const std::wstring& text) { return "\"" + FXString::ToString(text) + "\""; }

// The catalogue text of `id` in `locale`, with trailing blanks removed when
// `trim` is set.
std::wstring CatalogText(unsigned long id, unsigned long locale, bool trim) {
  char buffer[2048] = {};
  EvEvent().evPrintf(id, buffer, sizeof buffer, locale);
  std::wstring text = FXString::ToWstring(buffer);
  if (trim) {
    const size_t last = text.find_last_not_of(L" \n\r\t");
    text.erase(last == std::wstring::npos ? 0 : last + 1);
  }
  return text;
}

// A token span of a template: where it starts, as written, and as compared.
struct Span {
  size_t at;
  std::wstring written;
};

// Every span from `open` to the nearest following `close` (both included),
// taken without regard to letter case. A span that holds a line break or is
// very long is not a token and is left out.
std::vector<Span> Spans(const std::wstring& text, const std::wstring& open,
                        const std::wstring& close) {
  std::vector<Span> spans;
  const std::wstring lowered = Lower(text);
  size_t start = lowered.find(open);
  while (start != std::wstring::npos) {
    const size_t end = lowered.find(close, start + open.size());
    if (end == std::wstring::npos) break;
    // An opening nearer to the close starts the span instead.
    const size_t nearer = lowered.rfind(open, end);
    if (nearer != std::wstring::npos && nearer > start) start = nearer;
    std::wstring span = text.substr(start, end + close.size() - start);
    if (span.size() <= kLongestTokenText && span.find_first_of(L"\r\n") == std::wstring::npos) {
      spans.push_back({start, std::move(span)});
    }
    start = lowered.find(open, end + close.size());
  }
  return spans;
}

// True when `at` in the HTML `text` lies inside a tag (after a '<' that no
// '>' closed yet), that is in an attribute.
bool InsideTag(const std::wstring& text, size_t at) {
  const size_t open = text.rfind(L'<', at == 0 ? 0 : at - 1);
  if (open == std::wstring::npos || at == 0) return false;
  const size_t close = text.rfind(L'>', at - 1);
  return close == std::wstring::npos || close < open;
}

// Bytes of UTF-8 that the first `count` characters of `text` take: the
// place of a character of a template in the text as read.
size_t Utf8Length(const std::wstring& text, size_t count) {
  size_t bytes = 0;
  for (size_t i = 0; i < count && i < text.size(); ++i) {
    const auto c = static_cast<uint32_t>(text[i]);
    bytes += c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
  }
  return bytes;
}

// A way from the root element of a configuration to one of its elements.
using Path = std::vector<XmlPathStep>;

Path Below(Path path, const FieldInfo& field) {
  path.push_back({field.name, 0});
  return path;
}

// The `index`th entry of the list `field` below `path`.
Path Entry(Path path, const FieldInfo& field, size_t index) {
  path.push_back({field.name, 0});
  path.push_back({"", index});
  return path;
}

bool IsControl(wchar_t c, bool lineBreaksAllowed) {
  if (lineBreaksAllowed && (c == L'\t' || c == L'\n' || c == L'\r')) return false;
  return c < 0x20 || (c >= 0x7f && c <= 0x9f);
}

// The first control character of `text` as "U+XXXX" (empty when there is
// none), with its byte offset in `at`.
std::string FirstControl(const std::string& text, bool lineBreaksAllowed, size_t* at) {
  const std::wstring wide = FXString::ToWstring(text);
  for (size_t i = 0; i < wide.size(); ++i) {
    if (!IsControl(wide[i], lineBreaksAllowed)) continue;
    char code[16];
    std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(wide[i]));
    *at = Utf8Length(wide, i);
    return code;
  }
  return "";
}

// An address as the delivery takes it: one mailbox, with or without a
// display name.
bool IsValidAddress(const std::string& text) {
  tarnalert::detail::MailAddress mailbox;
  return tarnalert::detail::ReadMailbox(text, &mailbox);
}

class Checker {
 public:
  Checker(ConfigReport* report, const std::string& text) : report_(report), locator_(text) {}

  void Check(GetAlertDetailForClientResp& config) {
    report_->installation = config.get(GetAlertDetailForClientResp::tarnholdName);
    const Path name = Below({}, GetAlertDetailForClientResp::tarnholdName.info);
    if (report_->installation.empty()) {
      Add(-1, "empty-installation-name",
          "the installation name is empty: the <Tarnhold Name> token gets no value",
          Severity::kWarning, locator_.Element(name));
    }
    CheckControls(-1, "installation name", report_->installation, false, name);
    // The unknown elements by the rule that holds them (-1: none).
    for (const UnknownElement& element : report_->parse.unknownElements) {
      const bool inRule = element.path.size() > 2 && element.path[0].element == "alertDetails" &&
                          element.path[1].element == "AlertDetail";
      unknown_[inRule ? static_cast<int>(element.path[1].position) : -1].push_back(&element);
    }
    UnknownElements(-1);
    HqMessageList& details = config.list(GetAlertDetailForClientResp::alertDetails);
    for (size_t i = 0; i < details.size(); ++i) {
      report_->rules.push_back(Summarize(details[i], i));
      CheckRule(config, details[i], report_->rules.back(),
                Entry({}, GetAlertDetailForClientResp::alertDetails.info, i));
    }
  }

 private:
  void Add(int rule, const char* code, std::string message, Severity severity, TextPosition where) {
    ConfigFinding finding;
    finding.severity = severity;
    finding.code = code;
    finding.message = std::move(message);
    finding.ruleIndex = rule;
    if (rule >= 0) {
      finding.ruleId = report_->rules[static_cast<size_t>(rule)].id;
      finding.ruleName = report_->rules[static_cast<size_t>(rule)].name;
    }
    finding.where = where;
    report_->findings.push_back(std::move(finding));
  }

  // The unknown elements inside rule `rule` (-1: outside every rule). Each is
  // an error: what it should have said (a recipient's type, a flag) is lost,
  // and the rule may do something else than was meant (a Bcc recipient
  // becomes a visible To recipient).
  void UnknownElements(int rule) {
    auto found = unknown_.find(rule);
    if (found == unknown_.end()) return;
    for (const UnknownElement* element : found->second) {
      const std::string container = element->container();
      Add(rule, "unknown-element",
          "unknown element <" + element->name() + ">" +
              (container.empty() ? "" : " in <" + container + ">") + ": it is ignored (misspelt?)",
          Severity::kError, element->where);
    }
  }

  // A control character in the text of the element at `path`.
  void CheckControls(int rule, const std::string& what, const std::string& text,
                     bool lineBreaksAllowed, const Path& path) {
    size_t at = 0;
    const std::string control = FirstControl(text, lineBreaksAllowed, &at);
    if (control.empty()) return;
    Add(rule, "control-character",
        "the " + what + " holds the control character " + control +
            ": mail readers show it garbled or drop the text",
        Severity::kWarning, locator_.InText(path, at));
  }

  static RuleSummary Summarize(HqMessageBase& detail, size_t index) {
    RuleSummary rule;
    rule.index = index;
    rule.skip = RuleSkipReason(detail);  // before reading below adds empty children
    rule.hasAlert = detail.isSet(AlertDetail::alert);
    rule.hasRecipients = detail.isSet(AlertDetail::nonNebrixUsers);
    HqMessageBase& info = detail.child(AlertDetail::alert);
    HqMessageBase& idName = info.child(AlertInfo::alert);
    rule.id = static_cast<int32_t>(idName.get(IdName::id));
    rule.name = idName.get(IdName::name);
    rule.type = static_cast<int32_t>(info.child(AlertInfo::alertType).get(IdName::id));
    rule.flags = info.get(AlertInfo::flags);
    for (const HqMessageBase& criteria : detail.list(AlertDetail::criteria)) {
      rule.criteriaIds.push_back(
          static_cast<int32_t>(criteria.get(KTGui::AlertCriteria::criteriaId)));
    }
    if (const HqMessageBase* email = detail::EmailEntry(detail)) {
      rule.hasEmail = true;
      rule.html = detail::MessageFormat(*email) == kHtmlMessageFormat;
    }
    rule.recipientCount = detail.list(AlertDetail::nonNebrixUsers).size();
    return rule;
  }

  void CheckRule(GetAlertDetailForClientResp& config, HqMessageBase& detail,
                 const RuleSummary& rule, const Path& path) {
    const int index = static_cast<int>(rule.index);
    const Path alert = Below(path, AlertDetail::alert.info);
    UnknownElements(index);
    CheckControls(index, "rule name", rule.name, false,
                  Below(Below(alert, AlertInfo::alert.info), IdName::name.info));
    if (rule.skip != RuleSkip::kNone) {
      Add(index, "rule-skipped", "skipped: " + SkipText(rule), Severity::kInfo,
          locator_.Element(path));
      return;
    }
    if (rule.type != kFailoverAlertType) {
      Add(index, "type-not-evaluated",
          "alert type " + std::to_string(rule.type) +
              " is not evaluated on this client (only type " + std::to_string(kFailoverAlertType) +
              " is): the rule never matches here",
          Severity::kWarning, locator_.Element(Below(alert, AlertInfo::alertType.info)));
    }
    if (!detail.isSet(AlertDetail::criteria) || rule.criteriaIds.empty()) {
      Add(index, "no-criteria", "it selects no criteria: it never matches", Severity::kWarning,
          locator_.Element(Below(path, AlertDetail::criteria.info)));
    }
    const HqMessageBase* email = detail::EmailEntry(detail);
    if (email == nullptr) {
      Add(index, "no-email-entry",
          "no e-mail notification entry (notifType 1): nothing is built when it matches",
          Severity::kWarning, locator_.Element(Below(path, AlertDetail::notifMessages.info)));
      return;
    }
    const HqMessageList& entries = detail.list(AlertDetail::notifMessages);
    const size_t entry = static_cast<size_t>(email - &entries[0]);
    CheckTemplate(
        config, detail, *email, rule,
        Below(Entry(path, AlertDetail::notifMessages.info, entry),
              rule.html ? AlertNotifMsg::htmlTemplate.info : AlertNotifMsg::textTemplate.info));
    CheckRecipients(detail, rule, path);
  }

  static std::string SkipText(const RuleSummary& rule) {
    switch (rule.skip) {
      case RuleSkip::kNoAlertNoRecipients:
        return "it does not have sufficient information (no alert definition, no recipient "
               "list)";
      case RuleSkip::kNoAlert:
        return "it does not have sufficient information (no alert definition)";
      case RuleSkip::kNoRecipients:
        return "it does not have sufficient information (no recipient list)";
      case RuleSkip::kDisabledOrDeleted:
        return "it is disabled or deleted (flags " + std::to_string(rule.flags) + ")";
      case RuleSkip::kNoIdOrName:
        return "it does not have an id or a name";
      case RuleSkip::kNone:
        break;
    }
    return "";
  }

  // The lower-cased texts of the tokens a notification of `rule` fills: those
  // its alert type offers in the configuration's catalogue, and the fixed
  // ones. Rules of one type and locale share one set.
  const std::set<std::wstring>& TokenTexts(GetAlertDetailForClientResp& config,
                                           const RuleSummary& rule, unsigned long locale) {
    const auto key = std::make_pair(rule.type, locale);
    auto found = tokenTexts_.find(key);
    if (found != tokenTexts_.end()) return found->second;
    std::set<int> ids(std::begin(kFixedTokenIds), std::end(kFixedTokenIds));
    HqMessageBase& catalog = config.child(GetAlertDetailForClientResp::alertTypeCatalog);
    for (HqMessageBase& type : catalog.list(KTGui::AlertTypeCatalog::alertTypes)) {
      if (static_cast<int32_t>(type.get(KTGui::AlertTypeListItem::alertTypeId)) != rule.type) {
        continue;
      }
      for (HqMessageBase& criteria : type.list(KTGui::AlertTypeListItem::availCriteria)) {
        for (const HqMessageBase& token : criteria.list(KTGui::AlertAvailCriteria::tokens)) {
          ids.insert(static_cast<int32_t>(token.get(KTGui::AlertNotifToken::tokenId)));
        }
      }
    }
    std::set<std::wstring> texts;
    for (int id : ids) {
      if (IsMarkerToken(id)) continue;
      const std::wstring text = CatalogText(static_cast<uint32_t>(id), locale, true);
      if (!text.empty()) texts.insert(Lower(text));
    }
    return tokenTexts_[key] = std::move(texts);
  }

  // The template of an e-mail rule, at `path`: its subject line, tokens
  // nothing fills, tokens where their values are not escaped, control
  // characters.
  void CheckTemplate(GetAlertDetailForClientResp& config, HqMessageBase& detail,
                     const HqMessageBase& email, const RuleSummary& rule, const Path& path) {
    const int index = static_cast<int>(rule.index);
    const bool html = rule.html;
    const std::string& raw =
        email.get(html ? AlertNotifMsg::htmlTemplate : AlertNotifMsg::textTemplate);
    const std::string kind = html ? "HTML template" : "plain-text template";
    if (raw.empty()) {
      Add(index, "empty-template",
          "the " + kind + " is empty: the e-mail has no subject and no body", Severity::kWarning,
          locator_.Element(path));
      return;
    }
    CheckControls(index, kind, raw, true, path);
    const std::wstring text = FXString::ToWstring(raw);
    const unsigned long locale = detail::RuleLocale(detail);
    // The place of character `at` of the template.
    const auto place = [&](size_t at) { return locator_.InText(path, Utf8Length(text, at)); };

    // Subject and body as the road splits them; `subjectStart` is where the
    // subject begins in the template.
    const std::wstring endMarker = CatalogText(kSubjectEndMarkerId, locale, false);
    const std::wstring startMarker = CatalogText(kSubjectStartMarkerId, locale, false);
    const size_t split = endMarker.empty() ? std::wstring::npos : text.find(endMarker);
    std::wstring subject = split == std::wstring::npos ? L"" : text.substr(0, split);
    size_t subjectStart = 0;
    const size_t bodyStart = split == std::wstring::npos ? 0 : split;
    const std::wstring body = text.substr(bodyStart);
    if (html && !startMarker.empty()) {
      const size_t start = subject.find(startMarker);
      if (start != std::wstring::npos) {
        subjectStart = start + startMarker.size();
        subject.erase(0, subjectStart);
      }
    }
    if (subject.find_first_not_of(L" \t\r") == std::wstring::npos) {
      Add(index, "no-subject",
          "the " + kind + " has no subject line (the text before the first " +
              (endMarker == L"\n" ? std::string("line break") : Quoted(endMarker)) +
              "): the e-mail goes out with an empty subject",
          Severity::kWarning, locator_.Element(path));
    } else if (subject.size() > kSubjectLimit) {
      Add(index, "long-subject",
          "the subject has " + std::to_string(subject.size()) +
              " characters before its tokens are filled: it may exceed " +
              std::to_string(kSubjectLimit) + " characters and be cut",
          Severity::kWarning, place(subjectStart));
    }

    // Spans that look like tokens. In HTML the body holds tokens escaped
    // (their angle brackets as entities) and its own tags unescaped. Each
    // candidate as written, as compared (lowered, entities undone), where it
    // stands and whether it stands inside a tag of the body.
    struct Candidate {
      std::wstring written, key;
      size_t at;
      bool inTag;
    };
    std::vector<Candidate> candidates;
    if (html) {
      for (const Span& span : Spans(subject, L"<", L">")) {
        candidates.push_back({span.written, Lower(span.written), subjectStart + span.at, false});
      }
      for (const Span& span : Spans(body, L"&lt;", L"&gt;")) {
        candidates.push_back({span.written, NTBasicLib::htmlDecode(Lower(span.written).c_str()),
                              bodyStart + span.at, InsideTag(body, span.at)});
      }
    } else {
      for (const Span& span : Spans(text, L"<", L">")) {
        candidates.push_back({span.written, Lower(span.written), span.at, false});
      }
    }
    const std::set<std::wstring>& tokens = TokenTexts(config, rule, locale);
    // A token written with its angle brackets as entities in the subject:
    // the subject is plain text, so the entities stay as written.
    for (const Span& span : Spans(subject, L"&lt;", L"&gt;")) {
      const std::wstring token = NTBasicLib::htmlDecode(span.written.c_str());
      if (tokens.count(Lower(token)) == 0) continue;
      Add(index, "escaped-token-in-subject",
          Quoted(span.written) +
              " in the subject is HTML-escaped: the subject is plain text, so it is not replaced "
              "there (write it as " +
              Quoted(token) + ")",
          Severity::kWarning, place(subjectStart + span.at));
    }
    if (html) {
      // A token written unescaped in the body reads as a tag and stays.
      for (const Span& span : Spans(body, L"<", L">")) {
        if (tokens.count(Lower(span.written)) == 0) continue;
        Add(index, "unescaped-token",
            Quoted(span.written) +
                " is written unescaped in the HTML body: it is not replaced there (write it as " +
                Quoted(NTBasicLib::htmlEncode(span.written.c_str())) + ")",
            Severity::kWarning, place(bodyStart + span.at));
      }
    }
    std::set<std::wstring> reported;
    for (const Candidate& candidate : candidates) {
      const bool known = tokens.count(candidate.key) != 0;
      if (known && candidate.inTag) {
        Add(index, "token-in-attribute",
            Quoted(candidate.written) +
                " stands inside an HTML tag: its value is not escaped for quotes there, so a "
                "value with a quote breaks the markup",
            Severity::kWarning, place(candidate.at));
      }
      if (known || !reported.insert(candidate.key).second) continue;
      Add(index, "unknown-token",
          Quoted(candidate.written) + " in the template matches no token of alert type " +
              std::to_string(rule.type) + ": it stays in the e-mail as written",
          Severity::kWarning, place(candidate.at));
    }
  }

  // The sender and the recipients of the rule at `path`. A rule that can
  // reach nobody, or whose sender the delivery refuses, fails the check: its
  // notification would never arrive.
  void CheckRecipients(HqMessageBase& detail, const RuleSummary& rule, const Path& path) {
    const int index = static_cast<int>(rule.index);
    const std::string& sender = detail.get(AlertDetail::senderAddress);
    const Path senderPath = Below(path, AlertDetail::senderAddress.info);
    if (sender.empty()) {
      Add(index, "no-sender",
          "no sender address: the e-mail goes out from TARNALERT_MAIL_FROM (see "
          "docs/settings.md)",
          Severity::kWarning, locator_.Element(senderPath));
    } else if (!IsValidAddress(sender)) {
      Add(index, "invalid-sender",
          "the sender address " + Quoted(FXString::ToWstring(sender)) +
              " is not a valid e-mail address: the delivery refuses the e-mail",
          Severity::kError, locator_.Element(senderPath));
    }
    CheckControls(index, "sender name", detail.get(AlertDetail::senderName), false,
                  Below(path, AlertDetail::senderName.info));
    const HqMessageList& recipients = detail.list(AlertDetail::nonNebrixUsers);
    const Path list = Below(path, AlertDetail::nonNebrixUsers.info);
    if (recipients.size() > kRecipientLimit) {
      Add(index, "too-many-recipients",
          std::to_string(recipients.size()) + " recipients: only the first " +
              std::to_string(kRecipientLimit) + " are used",
          Severity::kWarning, locator_.Element(list));
    }
    size_t usable = 0;
    const size_t examined = std::min(recipients.size(), kRecipientLimit);
    for (size_t i = 0; i < examined; ++i) {
      const std::string& address = recipients[i].get(NTNonNebrixUser::emailAddress);
      const int type = detail::RecipientType(recipients[i]);
      const Path recipient = Entry(path, AlertDetail::nonNebrixUsers.info, i);
      const std::string which =
          "recipient " + std::to_string(i + 1) + (address.empty() ? "" : " (" + address + ")");
      if (type < 0 || type > 2) {
        Add(index, "unknown-recipient-type",
            which + " has the unknown type " + std::to_string(type) +
                " (0 To, 1 Cc, 2 Bcc): it is dropped",
            Severity::kWarning,
            locator_.Element(Below(recipient, NTNonNebrixUser::recipientType.info)));
      } else if (address.empty()) {
        Add(index, "no-address", which + " has no address: it is dropped", Severity::kWarning,
            locator_.Element(recipient));
      } else if (!IsValidAddress(address)) {
        Add(index, "invalid-address", which + " is not a valid e-mail address: it is dropped",
            Severity::kWarning,
            locator_.Element(Below(recipient, NTNonNebrixUser::emailAddress.info)));
      } else {
        ++usable;
      }
    }
    if (usable == 0) {
      Add(index, "no-valid-recipient",
          recipients.empty() ? "the recipient list is empty: the e-mail reaches nobody"
                             : "no recipient has a valid address and type: the e-mail reaches "
                               "nobody",
          Severity::kError, locator_.Element(list));
    }
  }

  ConfigReport* report_;
  detail::XmlLocator locator_;
  std::map<int, std::vector<const UnknownElement*>> unknown_;
  std::map<std::pair<int, unsigned long>, std::set<std::wstring>> tokenTexts_;
};

}  // namespace

RuleSkip RuleSkipReason(const HqMessageBase& rule) {
  const HqMessageBase* info = rule.findChild(AlertDetail::alert);
  const bool hasRecipients = rule.isSet(AlertDetail::nonNebrixUsers);
  if (info == nullptr && !hasRecipients) return RuleSkip::kNoAlertNoRecipients;
  if (info == nullptr) return RuleSkip::kNoAlert;
  if (!hasRecipients) return RuleSkip::kNoRecipients;
  if ((info->get(AlertInfo::flags) & 3) != 0) return RuleSkip::kDisabledOrDeleted;
  const HqMessageBase* idName = info->findChild(AlertInfo::alert);
  if (idName == nullptr || static_cast<int>(idName->get(IdName::id)) == 0 ||
      idName->get(IdName::name).empty()) {
    return RuleSkip::kNoIdOrName;
  }
  return RuleSkip::kNone;
}

const char* SeverityName(Severity severity) {
  switch (severity) {
    case Severity::kInfo:
      return "info";
    case Severity::kWarning:
      return "warning";
    case Severity::kError:
      return "error";
  }
  return "";
}

size_t ConfigReport::Count(Severity severity) const {
  return static_cast<size_t>(
      std::count_if(findings.begin(), findings.end(),
                    [severity](const ConfigFinding& f) { return f.severity == severity; }));
}

ConfigReport CheckConfig(const std::string& text) {
  ConfigReport report;
  GetAlertDetailForClientResp config;
  report.parse = config.Parse(text);
  if (!report.parse.ok()) {
    ConfigFinding finding;
    finding.severity = Severity::kError;
    finding.code = "parse-error";
    finding.message = "not an alert configuration: " + report.parse.Description();
    finding.where = report.parse.where;
    report.findings.push_back(std::move(finding));
    return report;
  }
  Checker(&report, text).Check(config);
  return report;
}

}  // namespace tarnalert
