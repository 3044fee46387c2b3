// Text operations that turn a notification template into the subject and
// body of one e-mail: finding and replacing text, expanding the layout
// markers "MsgNewLine_" and "MsgTab_", and dropping HTML table rows or list
// items that only report "Not Applicable". The token replacements that use a
// rule's token texts are members of NTNotifRuleDetectedAlertProcessing
// (ReplaceTokenInMessage, Replace, GetHtmlEscapedString in
// EvAlertProcessClient.h) and are built on the same scanning.
//
// All text is wide (UTF-32). Every operation takes time linear in the size of
// its text: it scans the text at most twice and moves each character once.
// The functions keep no state besides the decoders' constant texts, which are
// built once, safely under concurrency; they may be called from any thread.
#ifndef TARNALERT_ALERTCLIENT_TEMPLATETEXT_H_
#define TARNALERT_ALERTCLIENT_TEMPLATETEXT_H_

#include <cstddef>
#include <string>

#include "tarnalert/platform/Export.h"

// Position of the first occurrence of `find` at or after `start` in `text`
// lower-cased (FXString::ToLower); `find` itself is taken as given, so callers
// pass it lower-cased. std::wstring::npos when there is none or `find` is
// null.
TARNALERT_EXPORT size_t FindString(std::wstring text, size_t start, const wchar_t* find);

// Replaces, in `text`, every occurrence of `find` (exact case, left to right,
// never inside text already inserted) by `with`, and returns a copy of the
// result. An empty `find` matches nothing.
TARNALERT_EXPORT std::wstring replaceWString(std::wstring& text, const std::wstring& find,
                                             const std::wstring& with);

// `text` with every "MsgNewLine_" written as "<br>" (html) or space CR LF.
TARNALERT_EXPORT std::wstring DecodeNewLineForNotifMessage(std::wstring text, bool html);

// `text` with every "MsgTab_" written as five "&nbsp;" (html) or space TAB.
TARNALERT_EXPORT std::wstring DecodeMsgTabForNotifMessage(std::wstring text, bool html);

// Removes from `body` every element that only reports "Not Applicable". From
// each `openTag` the element runs to the first character of the next
// `closeTag`; when another `openTag` starts before that close tag, the element
// starts there instead (one step, not to the innermost). The element is
// removed, through the end of its close tag, when it contains "Not
// Applicable", does not contain `excludeTag` (null or empty: no exclusion),
// holds no further `openTag` and its close tag starts at most `maxSpan`
// characters after its open tag. Matching is exact and case-sensitive. A
// missing close tag ends the trimming; the rest stays. Null or empty tags
// leave the body as it is.
TARNALERT_EXPORT void TrimNotApplicableRowsFromHtmlBody(std::wstring& body, const wchar_t* openTag,
                                                        const wchar_t* closeTag,
                                                        const wchar_t* excludeTag, size_t maxSpan);

// The trimming above with the tags of `alertType`: for 57 the table rows
// "<tr" ... "</tr>" within 150 characters; for any other type the list items
// "<li" ... "</li>" within 250 characters that hold no "<tr".
TARNALERT_EXPORT void TrimNotApplicableRowsFromHtmlBody(std::wstring& body, int alertType);

#endif  // TARNALERT_ALERTCLIENT_TEMPLATETEXT_H_
