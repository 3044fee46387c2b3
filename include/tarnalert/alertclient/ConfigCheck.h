// The check of an alert configuration text: rule by rule, what the local road
// would do with it (which rules it passes over and why) and what in it is a
// mistake. Errors are what loses or leaks mail (an unknown element, whose
// meaning is dropped: a misspelt recipient type turns a Bcc recipient into a
// visible To; a rule that reaches nobody; a sender the delivery refuses) and
// text that is not a configuration; warnings are what probably is not meant
// (tokens nothing fills, subjects that may be cut, recipients dropped, ...).
// Every finding says where in the text it stands.
//
// RuleSkipReason is the road's own decision whether to examine a rule, so the
// road and the check cannot disagree. CheckConfig reads the text with
// HqMessageBase::Parse and never touches the installed configuration; it
// looks up catalogue texts through the Env in force and logs nothing.
// Both may be called from any thread.
#ifndef TARNALERT_ALERTCLIENT_CONFIGCHECK_H_
#define TARNALERT_ALERTCLIENT_CONFIGCHECK_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tarnalert/platform/Export.h"
#include "tarnalert/platform/message/HqMessageBase.h"
#include "tarnalert/platform/message/ParseResult.h"

namespace tarnalert {

// Why the local road passes over a rule (a KTGui::AlertDetail), in the order
// the road decides.
enum class RuleSkip {
  kNone,                 // the road examines the rule
  kNoAlertNoRecipients,  // neither an alert definition nor a recipient list
  kNoAlert,              // no alert definition
  kNoRecipients,         // no recipient list
  kDisabledOrDeleted,    // flag bit 0 (disabled) or 1 (deleted) set
  kNoIdOrName,           // id 0 or an empty name
};

// The road's decision for `rule`. Reading may add empty children to it.
TARNALERT_EXPORT RuleSkip RuleSkipReason(const HqMessageBase& rule);

enum class Severity {
  kInfo,     // what the road does, not a mistake (a rule it passes over)
  kWarning,  // probably a mistake: the configuration works, but not as meant
  kError,    // mail is lost or leaks, or the text is not a configuration
};

// "info", "warning" or "error".
TARNALERT_EXPORT const char* SeverityName(Severity severity);

struct ConfigFinding {
  Severity severity = Severity::kWarning;
  std::string code;     // stable short name, e.g. "unknown-element"
  std::string message;  // a sentence for a person
  int ruleIndex = -1;   // position in alertDetails; -1 for the whole configuration
  int ruleId = 0;
  std::string ruleName;
  TextPosition where;  // the element or character at fault
};

// What the road reads of one rule.
struct RuleSummary {
  size_t index = 0;
  bool hasAlert = false;
  bool hasRecipients = false;
  int id = 0;
  std::string name;
  int type = 0;
  int64_t flags = 0;
  std::vector<int> criteriaIds;
  bool hasEmail = false;  // an entry of notifType 1
  bool html = false;      // the (last) e-mail entry is HTML
  size_t recipientCount = 0;
  RuleSkip skip = RuleSkip::kNone;
};

struct ConfigReport {
  ParseResult parse;  // when it failed, nothing else is filled but one error finding
  std::string installation;
  std::vector<RuleSummary> rules;
  // Those of the whole configuration first, then rule by rule.
  std::vector<ConfigFinding> findings;

  // Number of findings of `severity`.
  TARNALERT_EXPORT size_t Count(Severity severity) const;
};

// Reads `text` as a configuration and checks it. A text that is not one gives
// a report whose parse result says where and why, with one error finding.
TARNALERT_EXPORT ConfigReport CheckConfig(const std::string& text);

}  // namespace tarnalert

#endif  // TARNALERT_ALERTCLIENT_CONFIGCHECK_H_
