// The token replacements of one rule, gathered so that a template is filled
// in one pass: what is searched for and what is put in, in the order the
// template is filled.
#ifndef TARNALERT_ALERTCLIENT_DETAIL_TOKENREPLACEMENT_H_
#define TARNALERT_ALERTCLIENT_DETAIL_TOKENREPLACEMENT_H_

#include <string>
#include <vector>

#include "tarnalert/alertclient/EvAlertProcessClient.h"

namespace tarnalert {
namespace detail {

struct Replacement {
  std::wstring find;  // matched regardless of letter case; empty matches nothing
  std::wstring with;
};

// What ReplaceTokenInMessage searches for and puts in for this token: the
// rule's token text (fetched and cached in tokenTexts when missing), escaped
// in HTML format, and the value, escaped when asked in HTML format.
Replacement TokenReplacement(NTNotifRuleDetectedAlertProcessing& rule, int tokenId,
                             std::wstring value, bool escapeValue);

// The decimal text of `value`, as the int overload of ReplaceTokenInMessage
// puts it in.
std::wstring NumberText(int value);

// The text that NTNotifRuleDetectedAlertProcessing::Replace called for each
// entry in turn gives, made in one pass over `message` when that is sure to
// give the same (see ReplaceInOnePass in TemplateText.cc), else entry by entry.
void ReplaceInOrder(std::wstring& message, std::vector<Replacement> list);

}  // namespace detail
}  // namespace tarnalert

#endif  // TARNALERT_ALERTCLIENT_DETAIL_TOKENREPLACEMENT_H_
