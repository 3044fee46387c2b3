// `tarnalert config install | show | check`: the cached alert configuration.
// install stores a file the way the management server's push does, show lists
// the rules of the installed configuration, and check reads a file without
// installing it and tells, rule by rule, what the local road would do with it.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <iostream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "Commands.h"
#include "ToolText.h"

namespace tarnalert_tool {

namespace {

using KTGui::AlertCriteria;
using KTGui::AlertDetail;
using KTGui::AlertInfo;
using KTGui::AlertLocale;
using KTGui::AlertNotifMsg;
using KTGui::GetAlertDetailForClientResp;
using KTGui::IdName;
using KTGui::NTNonNebrixUser;

constexpr int kEmailNotification = 1;
constexpr int kHtmlFormat = 1;
constexpr size_t kSubjectLimit = 256;
constexpr size_t kRecipientLimit = 100;
// Error messages that quote the refused text are cut to this many bytes.
constexpr size_t kQuotedTextLimit = 300;
constexpr unsigned long kSubjectEndMarker = 0x4a000001;
constexpr unsigned long kSubjectStartMarker = 0x4a000002;
// Tokens that every notification fills, whatever its alert type offers.
constexpr int kFixedTokens[] = {0x4a00000d, 0x4a00000a, 0x4a00000c, 0x4a000016};
// Ids that never become tokens of a rule: the markers and the link tokens.
constexpr int kExcludedTokens[] = {0x4a000001, 0x4a000002, 0x4a0003b6, 0x4a0003b9};
// Longer spans between angle brackets are not taken for tokens.
constexpr size_t kLongestTokenText = 80;

// What the local road reads of one notification rule.
struct Rule {
  size_t index = 0;
  bool hasAlert = false;
  bool hasRecipients = false;
  int id = 0;
  std::string name;
  int type = 0;
  int64_t flags = 0;
  bool hasCriteria = false;
  std::vector<int> criteriaIds;
  unsigned long localeId = 0;
  bool hasEmail = false;  // an entry of notifType 1
  AlertNotifMsg email;    // the last such entry
  std::string senderAddress;
  std::vector<std::pair<std::string, int64_t>> recipients;  // address, type
};

Rule ReadRule(HqMessageBase detail, size_t index) {
  Rule rule;
  rule.index = index;
  rule.hasAlert = detail.isSet(AlertDetail::alert);
  rule.hasRecipients = detail.isSet(AlertDetail::nonNebrixUsers);
  HqMessageBase& info = detail.child(AlertDetail::alert);
  HqMessageBase& idName = info.child(AlertInfo::alert);
  rule.id = static_cast<int32_t>(idName.get(IdName::id));
  rule.name = idName.get(IdName::name);
  rule.type = static_cast<int32_t>(info.child(AlertInfo::alertType).get(IdName::id));
  rule.flags = info.get(AlertInfo::flags);
  rule.hasCriteria = detail.isSet(AlertDetail::criteria);
  for (const HqMessageBase& criteria : detail.list(AlertDetail::criteria)) {
    rule.criteriaIds.push_back(static_cast<int32_t>(criteria.get(AlertCriteria::criteriaId)));
  }
  rule.localeId =
      static_cast<uint32_t>(detail.child(AlertDetail::localeInfo).get(AlertLocale::localeId));
  for (const HqMessageBase& message : detail.list(AlertDetail::notifMessages)) {
    if (message.get(AlertNotifMsg::notifType) == kEmailNotification) {
      rule.hasEmail = true;
      rule.email = AlertNotifMsg(message);
    }
  }
  rule.senderAddress = detail.get(AlertDetail::senderAddress);
  for (const HqMessageBase& user : detail.list(AlertDetail::nonNebrixUsers)) {
    rule.recipients.emplace_back(user.get(NTNonNebrixUser::emailAddress),
                                 user.get(NTNonNebrixUser::recipientType));
  }
  return rule;
}

std::vector<Rule> ReadRules(GetAlertDetailForClientResp& config) {
  std::vector<Rule> rules;
  const HqMessageList& details = config.list(GetAlertDetailForClientResp::alertDetails);
  for (size_t i = 0; i < details.size(); ++i) rules.push_back(ReadRule(details[i], i));
  return rules;
}

// Why the local road passes over the rule, checked in the road's own order;
// empty when it examines the rule.
std::string SkipReason(const Rule& rule) {
  if (!rule.hasAlert && !rule.hasRecipients) {
    return "it does not have sufficient information (no alert definition, no recipient list)";
  }
  if (!rule.hasAlert) return "it does not have sufficient information (no alert definition)";
  if (!rule.hasRecipients) return "it does not have sufficient information (no recipient list)";
  if ((rule.flags & 3) != 0) {
    return "it is disabled or deleted (flags " + std::to_string(rule.flags) + ")";
  }
  if (rule.id == 0 || rule.name.empty()) return "it does not have an id or a name";
  return "";
}

std::string Format(const Rule& rule) {
  if (!rule.hasEmail) return "-";
  return rule.email.get(AlertNotifMsg::messageFormat) == kHtmlFormat ? "HTML" : "text";
}

std::string Enabled(const Rule& rule) {
  const bool disabled = (rule.flags & 1) != 0;
  const bool deleted = (rule.flags & 2) != 0;
  if (disabled && deleted) return "no (disabled, deleted)";
  if (disabled) return "no (disabled)";
  if (deleted) return "no (deleted)";
  return "yes";
}

std::string JoinIds(const std::vector<int>& ids) {
  if (ids.empty()) return "-";
  std::string text;
  for (int id : ids) text += (text.empty() ? "" : ",") + std::to_string(id);
  return text;
}

// Reads a configuration file; on failure prints why and returns false.
bool LoadConfiguration(const std::string& command, const std::string& path,
                       GetAlertDetailForClientResp* config) {
  std::string text, error;
  if (!ReadInput(path, &text, &error)) {
    PrintError(command, error);
    return false;
  }
  std::string why;
  if (!DecodeMessage(text, config, &why)) {
    PrintError(command, path + " is not an alert configuration: " + why);
    return false;
  }
  return true;
}

// --- install -------------------------------------------------------------------------

int RunInstall(const std::string& file) {
  std::string text, error;
  if (!ReadInput(file, &text, &error)) {
    PrintError("config install", error);
    return kFailed;
  }
  LogCapture capture(tarnalert::Env::Current(), true);  // the log keeps its lines
  CYqError result;
  {
    tarnalert::ScopedEnv installed(&capture);
    result = NTAlertProcessClient::UpdateAlertConfig(text);
  }
  if (result.IsError()) {
    const std::vector<CYqError::Message> messages = result.Messages();
    PrintError("config install", file + " was not installed:");
    // Every message with its code location, most recent first. A message
    // that quotes the whole file is shortened.
    for (auto it = messages.rbegin(); it != messages.rend(); ++it) {
      std::cerr << "  " << it->source << "(" << it->line << "): " << it->function << ": "
                << Shorten(it->text, kQuotedTextLimit) << "\n";
    }
    // Why the text was refused, or else what the library logged on the way.
    GetAlertDetailForClientResp config;
    std::string why;
    if (!DecodeMessage(text, &config, &why)) {
      std::cerr << "  reason: " << why << "\n";
    } else {
      for (const std::string& line : capture.ErrorMessages())
        std::cerr << "  log: " << line << "\n";
    }
    return kFailed;
  }
  std::cout << "Installed " << file << " as " << NTAlertProcessClient::GetConfigFileName() << "\n";
  return kSuccess;
}

// --- show ----------------------------------------------------------------------------

int RunShow() {
  const std::string path = NTAlertProcessClient::GetConfigFileName();
  if (path.empty()) {
    PrintError("config show",
               "the configuration has no path: the platform knows no client name or job "
               "results directory (see the debug log " +
                   DebugLogPath() + ")");
    return kFailed;
  }
  std::cout << "Configuration: " << path << "\n";
  if (::access(path.c_str(), F_OK) != 0 && errno == ENOENT) {
    PrintError("config show",
               "no configuration is installed; install one with `tarnalert config "
               "install FILE`");
    return kFailed;
  }
  GetAlertDetailForClientResp config;
  if (!LoadConfiguration("config show", path, &config)) return kFailed;
  std::cout << "Installation: " << config.get(GetAlertDetailForClientResp::tarnholdName) << "\n";
  std::vector<std::vector<std::string>> rows = {
      {"ID", "NAME", "TYPE", "CRITERIA", "ENABLED", "RECIPIENTS", "FORMAT"}};
  for (const Rule& rule : ReadRules(config)) {
    rows.push_back(
        {rule.hasAlert ? std::to_string(rule.id) : "-", rule.name.empty() ? "-" : rule.name,
         rule.hasAlert ? std::to_string(rule.type) : "-", JoinIds(rule.criteriaIds), Enabled(rule),
         rule.hasRecipients ? std::to_string(rule.recipients.size()) : "-", Format(rule)});
  }
  std::cout << "Rules: " << rows.size() - 1 << "\n" << FormatTable(rows);
  return kSuccess;
}

// --- check ---------------------------------------------------------------------------

std::wstring Lower(std::wstring text) {
  FXString::ToLower(text);
  return text;
}

// Every span from `open` to the nearest following `close` (both included),
// taken without regard to letter case. A span that holds a line break or is
// very long is not a token and is left out.
std::vector<std::wstring> Spans(const std::wstring& text, const std::wstring& open,
                                const std::wstring& close) {
  std::vector<std::wstring> spans;
  const std::wstring lowered = Lower(text);
  size_t start = lowered.find(open);
  while (start != std::wstring::npos) {
    const size_t end = lowered.find(close, start + open.size());
    if (end == std::wstring::npos) break;
    // An opening nearer to the close starts the span instead.
    const size_t nearer = lowered.rfind(open, end);
    if (nearer != std::wstring::npos && nearer > start) start = nearer;
    const std::wstring span = text.substr(start, end + close.size() - start);
    if (span.size() <= kLongestTokenText && span.find_first_of(L"\r\n") == std::wstring::npos) {
      spans.push_back(span);
    }
    start = lowered.find(open, end + close.size());
  }
  return spans;
}

// Lower-cased token texts by alert type and locale, so that rules sharing
// both share one set of catalogue look-ups.
using TokenTextCache = std::map<std::pair<int, unsigned long>, std::set<std::wstring>>;

// The texts of the tokens a notification of `rule` fills: those the alert
// type offers in the configuration's catalogue, and the fixed ones.
std::set<std::wstring> TokenTexts(GetAlertDetailForClientResp& config, const Rule& rule) {
  std::set<int> ids(std::begin(kFixedTokens), std::end(kFixedTokens));
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
  for (int excluded : kExcludedTokens) ids.erase(excluded);
  std::set<std::wstring> texts;
  for (int id : ids) {
    const std::wstring text =
        FXString::ToWstring(CatalogText(static_cast<uint32_t>(id), rule.localeId, true));
    if (!text.empty()) texts.insert(Lower(text));
  }
  return texts;
}

// Warnings about the template of an e-mail rule: tokens nothing fills, and a
// subject that may be cut.
void CheckTemplate(GetAlertDetailForClientResp& config, const Rule& rule, TokenTextCache* cache,
                   std::vector<std::string>* warnings) {
  const bool html = rule.email.get(AlertNotifMsg::messageFormat) == kHtmlFormat;
  const std::wstring text = FXString::ToWstring(
      rule.email.get(html ? AlertNotifMsg::htmlTemplate : AlertNotifMsg::textTemplate));
  const std::string kind = html ? "HTML template" : "plain-text template";
  if (text.empty()) {
    warnings->push_back("the " + kind + " is empty: the e-mail has no subject and no body");
    return;
  }
  // Subject and body as the road splits them.
  const std::wstring endMarker =
      FXString::ToWstring(CatalogText(kSubjectEndMarker, rule.localeId, false));
  const std::wstring startMarker =
      FXString::ToWstring(CatalogText(kSubjectStartMarker, rule.localeId, false));
  const size_t split = endMarker.empty() ? std::wstring::npos : text.find(endMarker);
  std::wstring subject = split == std::wstring::npos ? L"" : text.substr(0, split);
  const std::wstring body = split == std::wstring::npos ? text : text.substr(split);
  if (html && !startMarker.empty()) {
    const size_t start = subject.find(startMarker);
    if (start != std::wstring::npos) subject.erase(0, start + startMarker.size());
  }
  if (subject.size() > kSubjectLimit) {
    warnings->push_back("the subject has " + std::to_string(subject.size()) +
                        " characters before its tokens are filled: it may exceed " +
                        std::to_string(kSubjectLimit) + " characters and be cut");
  }
  // Spans that look like tokens. In HTML the body holds tokens escaped (their
  // angle brackets as entities) and its own tags unescaped.
  // Each candidate as written and as compared (lowered, entities undone).
  std::vector<std::pair<std::wstring, std::wstring>> candidates;
  if (html) {
    for (const std::wstring& span : Spans(subject, L"<", L">")) {
      candidates.emplace_back(span, Lower(span));
    }
    for (const std::wstring& span : Spans(body, L"&lt;", L"&gt;")) {
      candidates.emplace_back(span, NTBasicLib::htmlDecode(Lower(span).c_str()));
    }
  } else {
    for (const std::wstring& span : Spans(text, L"<", L">")) {
      candidates.emplace_back(span, Lower(span));
    }
  }
  const auto key = std::make_pair(rule.type, rule.localeId);
  if (cache->count(key) == 0) (*cache)[key] = TokenTexts(config, rule);
  const std::set<std::wstring>& tokens = (*cache)[key];
  if (html) {
    // A token written unescaped in the body reads as a tag and stays.
    for (const std::wstring& span : Spans(body, L"<", L">")) {
      if (tokens.count(Lower(span)) == 0) continue;
      warnings->push_back("\"" + FXString::ToString(span) +
                          "\" is written unescaped in the HTML body: it is not replaced there "
                          "(write it as \"" +
                          FXString::ToString(NTBasicLib::htmlEncode(span.c_str())) + "\")");
    }
  }
  std::set<std::wstring> reported;
  for (const auto& [written, key] : candidates) {
    if (tokens.count(key) != 0 || !reported.insert(key).second) continue;
    warnings->push_back("\"" + FXString::ToString(written) +
                        "\" in the template matches no token of alert type " +
                        std::to_string(rule.type) + ": it stays in the e-mail as written");
  }
}

void CheckRecipients(const Rule& rule, std::vector<std::string>* warnings) {
  if (rule.senderAddress.empty()) {
    warnings->push_back("no sender address: the e-mail request has no sender");
  }
  if (rule.recipients.size() > kRecipientLimit) {
    warnings->push_back(std::to_string(rule.recipients.size()) + " recipients: only the first " +
                        std::to_string(kRecipientLimit) + " are used");
  }
  size_t used = 0;
  const size_t examined = std::min(rule.recipients.size(), kRecipientLimit);
  for (size_t i = 0; i < examined; ++i) {
    const auto& [address, type] = rule.recipients[i];
    const std::string which =
        "recipient " + std::to_string(i + 1) + (address.empty() ? "" : " (" + address + ")");
    if (type < 0 || type > 2) {
      warnings->push_back(which + " has the unknown type " + std::to_string(type) +
                          " (0 To, 1 Cc, 2 Bcc): it is dropped");
      continue;
    }
    ++used;
    if (address.empty()) warnings->push_back(which + " has no address");
  }
  if (used == 0) warnings->push_back("no recipient is used: the e-mail has no addressee");
}

std::string Describe(const Rule& rule) {
  std::string text = "Rule [" + std::to_string(rule.index) + "]";
  if (rule.hasAlert) text += " id " + std::to_string(rule.id) + " \"" + rule.name + "\"";
  if (rule.hasEmail) {
    text += ": " + Format(rule) + " e-mail to " + std::to_string(rule.recipients.size()) +
            (rule.recipients.size() == 1 ? " recipient" : " recipients");
  }
  return text;
}

int RunCheck(const std::string& file) {
  GetAlertDetailForClientResp config;
  if (!LoadConfiguration("config check", file, &config)) return kFailed;
  const std::vector<Rule> rules = ReadRules(config);
  const std::string installation = config.get(GetAlertDetailForClientResp::tarnholdName);
  std::cout << file << ": " << rules.size() << (rules.size() == 1 ? " rule" : " rules")
            << ", installation \"" << installation << "\"\n";
  if (installation.empty()) {
    std::cout << "warning: the installation name is empty: the <Tarnhold Name> token gets no "
                 "value\n";
  }
  size_t skipped = 0, warningCount = 0;
  TokenTextCache tokenTexts;
  for (const Rule& rule : rules) {
    std::cout << "\n" << Describe(rule) << "\n";
    const std::string reason = SkipReason(rule);
    if (!reason.empty()) {
      std::cout << "  skipped: " << reason << "\n";
      ++skipped;
      continue;
    }
    std::vector<std::string> warnings;
    if (rule.type != tarnalert::kFailoverAlertType) {
      warnings.push_back("alert type " + std::to_string(rule.type) +
                         " is not evaluated on this client (only type 74 is): the rule never "
                         "matches here");
    }
    if (!rule.hasCriteria || rule.criteriaIds.empty()) {
      warnings.push_back("it selects no criteria: it never matches");
    }
    if (!rule.hasEmail) {
      warnings.push_back(
          "no e-mail notification entry (notifType 1): nothing is built when it matches");
    } else {
      CheckTemplate(config, rule, &tokenTexts, &warnings);
      CheckRecipients(rule, &warnings);
    }
    if (warnings.empty()) std::cout << "  ok\n";
    for (const std::string& warning : warnings) std::cout << "  warning: " << warning << "\n";
    warningCount += warnings.size();
  }
  std::cout << "\nSummary: " << rules.size() - skipped << " examined by the local road, " << skipped
            << " skipped, " << warningCount << (warningCount == 1 ? " warning" : " warnings")
            << "\n";
  return kSuccess;
}

}  // namespace

void AddConfigCommand(CLI::App& app, int& exitCode) {
  CLI::App* config = app.add_subcommand("config", "Install, show and check alert configurations");
  config->require_subcommand(1);

  auto installFile = std::make_shared<std::string>();
  CLI::App* install = config->add_subcommand(
      "install", "Install an alert configuration file as the cached configuration of this client");
  install->add_option("FILE", *installFile, "The configuration (XML); - reads standard input")
      ->required();
  install->footer(
      "Exit codes: 0 installed, 1 not installed (every message of the error on "
      "standard error), 2 bad usage.");
  install->callback([installFile, &exitCode] { exitCode = RunInstall(*installFile); });

  CLI::App* show = config->add_subcommand(
      "show", "Print the path of the installed configuration and a table of its rules");
  show->footer("Exit codes: 0 shown, 1 no configuration installed or unreadable, 2 bad usage.");
  show->callback([&exitCode] { exitCode = RunShow(); });

  auto checkFile = std::make_shared<std::string>();
  CLI::App* check = config->add_subcommand(
      "check",
      "Read a configuration without installing it and tell, rule by rule, what the local road "
      "would do: skipped rules and why, tokens nothing fills, subjects that may be cut, "
      "recipients and sender");
  check->add_option("FILE", *checkFile, "The configuration (XML); - reads standard input")
      ->required();
  check->footer(
      "Exit codes: 0 the file is a configuration (warnings do not fail), 1 it is not, "
      "2 bad usage.");
  check->callback([checkFile, &exitCode] { exitCode = RunCheck(*checkFile); });
}

}  // namespace tarnalert_tool
