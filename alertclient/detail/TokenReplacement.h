// The token replacements of one rule, gathered so that a template is filled
// in one pass: what is searched for and what is put in, in the order the
// template is filled.
#ifndef TARNALERT_ALERTCLIENT_DETAIL_TOKENREPLACEMENT_H_
#define TARNALERT_ALERTCLIENT_DETAIL_TOKENREPLACEMENT_H_

#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "platform/message/XmlStatus.h"
#include "tarnalert/alertclient/EvAlertProcessClient.h"

namespace tarnalert {
namespace detail {

// The most characters a filled template may hold: a request's reader takes
// no more bytes than this, so a larger fill could never be sent. A fill that
// would pass it stops and leaves its text as it was, so that a template of
// many tokens cannot take gigabytes.
constexpr size_t kLargestFill = kXmlMaxDocumentSize;

class FillMemo;

// One replacement of a fill. It points at its texts; whoever lists it keeps
// them alive until the fill is made.
struct Replacement {
  std::wstring_view find;  // matched regardless of letter case; empty matches nothing
  std::wstring_view with;
  bool findLowered = false;  // `find` is known to be lower-cased already
};

// Texts made for the replacements of one fill. A deque, so that adding one
// never moves those already pointed at.
using ReplacementTexts = std::deque<std::wstring>;

// What ReplaceTokenInMessage searches for and puts in for this token: the
// rule's token text (fetched and cached in tokenTexts when missing), escaped
// in HTML format and lower-cased (kept by `memo`, whose Use the caller holds
// until the fill is made), and `value`, escaped when asked in HTML format.
// `value` must outlive the replacement; a text made here is kept in *texts.
Replacement TokenReplacement(NTNotifRuleDetectedAlertProcessing& rule, int tokenId,
                             const std::wstring& value, bool escapeValue, FillMemo& memo,
                             ReplacementTexts* texts);

// The decimal text of `value`, as the int overload of ReplaceTokenInMessage
// puts it in.
std::wstring NumberText(int value);

// Where the search texts of a list of replacements are found in a message,
// for a fill in one pass (FindTokenPlaces in TemplateText.cc): what the
// values put in do not change.
struct TokenPlaces {
  struct Match {
    size_t at;     // where in the message
    size_t entry;  // which entry of the list, the first listed that matches there
  };
  bool onePass = false;  // false: the message must be filled entry by entry
  std::vector<Match> matches;
};

// The token places of the last few messages and lists of search texts
// filled, so that fills of the same template with the same tokens find them
// once. Messages longer than kLongestKept are not kept. Belongs to one
// thread.
class TokenPlaceMemo {
 public:
  // The places for `message` and the search texts (lower-cased) of `list`.
  const TokenPlaces& Find(const std::wstring& message, const std::vector<Replacement>& list);

 private:
  static constexpr size_t kCapacity = 8;
  static constexpr size_t kLongestKept = 64 * 1024;
  struct Kept {
    std::wstring message;
    std::vector<std::wstring> finds;
    TokenPlaces places;
  };
  std::vector<Kept> kept_;
  size_t next_ = 0;       // the one replaced next once full
  TokenPlaces uncommon_;  // the places of the last message too long to keep
};

// The text that NTNotifRuleDetectedAlertProcessing::Replace called for each
// entry in turn gives, made in one pass over `message` when that is sure to
// give the same, else entry by entry. `memo`, when given, keeps the places
// found for later fills. False when the fill stopped at kLargestFill
// (`message` then holds what was filled before).
bool ReplaceInOrder(std::wstring& message, std::vector<Replacement> list,
                    TokenPlaceMemo* memo = nullptr);

// DecodeMsgTabForNotifMessage in place; false, `text` unchanged, when the
// result would pass kLargestFill.
bool DecodeMsgTabs(std::wstring& text, bool html);

}  // namespace detail
}  // namespace tarnalert

#endif  // TARNALERT_ALERTCLIENT_DETAIL_TOKENREPLACEMENT_H_
