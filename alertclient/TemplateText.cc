#include "tarnalert/alertclient/TemplateText.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <string_view>
#include <utility>
#include <vector>

#include "alertclient/detail/CatalogTexts.h"
#include "alertclient/detail/FillMemo.h"
#include "alertclient/detail/TokenReplacement.h"
#include "tarnalert/alertclient/EvAlertProcessClient.h"
#include "tarnalert/platform/event/EvEvent.h"
#include "tarnalert/platform/text/FXString.h"
#include "tarnalert/util/NTBasicLib.h"

namespace {

using tarnalert::detail::Replacement;
using tarnalert::detail::TokenPlaces;

constexpr size_t kNotFound = std::wstring::npos;
using tarnalert::detail::kLargestFill;

// Replaces in `text` every match by `with`: `next(from)` gives the position
// of the next match of `findSize` characters at or after `from`, reading only
// text at or after `from`. Matches are taken left to right and never overlap;
// scanning resumes after each match, which is where a search in the already
// replaced text would resume after the inserted text. `with` must not lie in
// `text` (the callers hold their own copy), so it cannot change while `text`
// does. False, with `text` unchanged, when the result would hold more than
// kLargestFill characters.
template <class Next>
bool ReplaceMatches(std::wstring& text, size_t findSize, const std::wstring& with, Next next) {
  using Traits = std::wstring::traits_type;
  if (findSize == 0) return true;
  size_t match = next(0);
  if (match == kNotFound) return true;
  if (with.size() <= findSize) {
    // The text does not grow: compact it in place. Writing stays behind
    // reading, so the part still to be searched is untouched.
    wchar_t* data = text.data();
    size_t written = match, copied = match;
    while (match != kNotFound) {
      Traits::move(data + written, data + copied, match - copied);
      written += match - copied;
      Traits::copy(data + written, with.data(), with.size());
      written += with.size();
      copied = match + findSize;
      match = next(copied);
    }
    Traits::move(data + written, data + copied, text.size() - copied);
    text.resize(written + text.size() - copied);
    return true;
  }
  // The text grows: build the result once, in a buffer sized for a few
  // matches more than the first, and never past the limit.
  std::wstring result;
  result.reserve(std::min(text.size() + 4 * (with.size() - findSize), kLargestFill));
  size_t copied = 0;
  while (match != kNotFound) {
    if (result.size() + (match - copied) + with.size() + (text.size() - match - findSize) >
        kLargestFill) {
      return false;
    }
    result.append(text, copied, match - copied);
    result.append(with);
    copied = match + findSize;
    match = next(copied);
  }
  result.append(text, copied, kNotFound);
  text.swap(result);
  return true;
}

// Exact matches of `find` (empty: none); false as ReplaceMatches.
bool ReplaceExact(std::wstring& text, const std::wstring& find, std::wstring with) {
  return ReplaceMatches(text, find.size(), with,
                        [&text, &find](size_t from) { return text.find(find, from); });
}

// A character beyond ASCII as FXString::ToLower maps it.
wchar_t LowerWide(wchar_t c) {
  std::wstring one(1, c);
  FXString::ToLower(one);
  return one[0];
}

// The character as FXString::ToLower maps it.
inline wchar_t LowerChar(wchar_t c) {
  if (c < 0x80) return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c + 32) : c;
  return LowerWide(c);
}

// True when no character of `text` is beyond ASCII. No early exit, so that
// the loop is vectorized.
bool IsAscii(std::wstring_view text) {
  uint32_t bits = 0;
  for (wchar_t c : text) bits |= static_cast<uint32_t>(c);
  return bits < 0x80;
}

// True when text[at...] starts with the first `count` characters of
// `lowered`, letter case aside.
bool StartsFolded(std::wstring_view text, size_t at, std::wstring_view lowered, size_t count) {
  if (text.size() - at < count) return false;
  for (size_t k = 0; k < count; ++k) {
    if (LowerChar(text[at + k]) != lowered[k]) return false;
  }
  return true;
}

// Position of the first match of `lowered` (non-empty, lower-cased) at or
// after `from`, letter case aside: the same as a search in a lowered copy,
// without making one. Only the places where the first character can stand
// are compared; a first character that is neither a letter nor beyond ASCII
// stands only for itself and is searched for directly, and so are the two
// forms of a letter when `ascii` says the text holds nothing beyond ASCII.
//
// Where those two forms next stand is kept in `forms` between searches that
// move forward through an unchanged text, so that a form that occurs rarely
// or never is not looked for again from every match.
struct LetterForms {
  size_t from = kNotFound;  // where the positions below were searched from
  size_t lower = kNotFound;
  size_t capital = kNotFound;
};
size_t FindFolded(std::wstring_view text, std::wstring_view lowered, size_t from, bool ascii,
                  LetterForms* forms) {
  const wchar_t first = lowered[0];
  const bool letter = first >= L'a' && first <= L'z';
  if (letter && ascii) {
    // Only the two ASCII forms of the first letter can start a match.
    const wchar_t upper = static_cast<wchar_t>(first - 32);
    const bool known = forms->from != kNotFound && forms->from <= from;
    size_t lower = known && (forms->lower == kNotFound || forms->lower >= from)
                       ? forms->lower
                       : text.find(first, from);
    size_t capital = known && (forms->capital == kNotFound || forms->capital >= from)
                         ? forms->capital
                         : text.find(upper, from);
    *forms = LetterForms{from, lower, capital};
    while (lower != kNotFound || capital != kNotFound) {
      const size_t at = std::min(lower, capital);
      if (text.size() - at < lowered.size()) return kNotFound;
      if (StartsFolded(text, at, lowered, lowered.size())) {
        *forms = LetterForms{from, lower, capital};
        return at;
      }
      if (at == lower) {
        lower = text.find(first, at + 1);
      } else {
        capital = text.find(upper, at + 1);
      }
    }
    *forms = LetterForms{from, lower, capital};
    return kNotFound;
  }
  const bool onlyItself = first < 0x80 && !letter;
  const wchar_t upper = letter ? static_cast<wchar_t>(first - 32) : first;
  for (size_t at = from; at < text.size() && text.size() - at >= lowered.size(); ++at) {
    const wchar_t c = text[at];
    if (onlyItself) {
      at = text.find(first, at);
      if (at == kNotFound || text.size() - at < lowered.size()) return kNotFound;
    } else if (c != first && c != upper && (c < 0x80 || LowerWide(c) != first)) {
      continue;
    }
    if (StartsFolded(text, at, lowered, lowered.size())) return at;
  }
  return kNotFound;
}

bool ReplaceFolded(std::wstring& text, const std::wstring& lowered, std::wstring with) {
  LetterForms forms;
  return ReplaceMatches(text, lowered.size(), with,
                        [&text, &lowered, ascii = IsAscii(text), &forms](size_t from) {
                          return FindFolded(text, lowered, from, ascii, &forms);
                        });
}

bool IsTokenStart(wchar_t c) { return c == L'<' || c == L'&'; }

// True when `text` holds a '<' or '&'.
bool HoldsTokenStart(std::wstring_view text) {
  return std::any_of(text.begin(), text.end(), IsTokenStart);
}

// The positions of '<' and '&' in a text, in order; each character is
// searched for on its own, which is quicker than testing every position.
class TokenStarts {
 public:
  explicit TokenStarts(std::wstring_view text)
      : text_(text), less_(text.find(L'<')), ampersand_(text.find(L'&')) {}

  // The next position, or kNotFound after the last.
  size_t Next() {
    const size_t at = std::min(less_, ampersand_);
    if (at == kNotFound) return kNotFound;
    if (at == less_) {
      less_ = text_.find(L'<', at + 1);
    } else {
      ampersand_ = text_.find(L'&', at + 1);
    }
    return at;
  }

 private:
  std::wstring_view text_;
  size_t less_, ampersand_;
};

// The search texts of a list of replacements as a tree of characters: the
// path from the root to a node spells the start of one or more of them.
class SearchTree {
 public:
  // Adds the search text `find` (lower-cased, not empty) of the entry at
  // `order` in its list. Where two search texts are the same, the one added
  // first is kept.
  void Add(std::wstring_view find, size_t order) {
    int32_t node = 0;
    for (wchar_t c : find) {
      int32_t child = Child(node, c);
      if (child < 0) {
        child = static_cast<int32_t>(nodes_.size());
        nodes_.push_back(Node{c, -1, nodes_[node].child, kNone});
        nodes_[node].child = child;
      }
      node = child;
    }
    if (nodes_[node].order == kNone) nodes_[node].order = order;
  }

  // Reads `text` from `at` along the tree, letter case aside. Returns the
  // order of the entry added first among those whose whole search text is
  // found there (kNone when none is), and in *reach the longest start of a
  // search text found there, short of a whole one.
  size_t Walk(std::wstring_view text, size_t at, size_t* reach) const {
    size_t match = kNone;
    int32_t node = 0;
    size_t depth = 0;
    for (; at + depth < text.size(); ++depth) {
      const int32_t child = Child(node, LowerChar(text[at + depth]));
      if (child < 0) break;
      node = child;
      match = std::min(match, nodes_[node].order);
    }
    // A node without children ends a search text that was found whole.
    *reach = nodes_[node].child >= 0 || depth == 0 ? depth : depth - 1;
    return match;
  }

  static constexpr size_t kNone = ~size_t{0};

 private:
  struct Node {
    wchar_t c;
    int32_t child;    // first child, or -1
    int32_t sibling;  // next child of the same parent, or -1
    size_t order;     // the entry whose search text ends here, or kNone
  };

  int32_t Child(int32_t node, wchar_t c) const {
    int32_t child = nodes_[node].child;
    while (child >= 0 && nodes_[child].c != c) child = nodes_[child].sibling;
    return child;
  }

  std::vector<Node> nodes_{Node{L'\0', -1, -1, kNone}};  // the root
};

// Works out where the search texts of `list` (lower-cased) are found in
// `message` for a fill in one pass, and whether that pass gives the text
// that replacing entry after entry gives, as far as the search texts tell:
// the values are looked at by ReplaceInOrder.
//
// One pass is taken only when every search text starts with '<' or '&' and
// no replacement holds either: then every match starts at one of those
// characters of the message itself (an anchor) and no inserted text can hold
// a match. What remains is a match that a replacement made before it would
// complete or destroy: a text from an anchor that could run into another
// anchor where something matches. So each anchor's reach is worked out (the
// longest start of a search text found there, short of a whole one), and an
// anchor with a match within another's reach sends the caller back to
// replacing entry by entry. Otherwise the matches of the message never touch
// one another's reach, and the entry listed first wins where several match.
TokenPlaces FindTokenPlaces(const std::wstring& message, const std::vector<Replacement>& list) {
  TokenPlaces places;
  SearchTree tree;
  for (size_t k = 0; k < list.size(); ++k) {
    const std::wstring_view find = list[k].find;
    if (find.empty()) continue;
    if (!IsTokenStart(find[0])) return places;
    tree.Add(find, k);
  }
  struct Anchor {
    size_t at;
    size_t match;  // the first entry that matches here, or kNone
    size_t reach;
  };
  // Only anchors that match or reach past themselves matter below.
  const std::wstring_view text(message);
  std::vector<Anchor> anchors;
  TokenStarts starts(text);
  for (size_t at = starts.Next(); at != kNotFound; at = starts.Next()) {
    Anchor anchor{at, SearchTree::kNone, 0};
    anchor.match = tree.Walk(text, at, &anchor.reach);
    if (anchor.match != SearchTree::kNone || anchor.reach > 0) anchors.push_back(anchor);
  }
  for (size_t k = 0; k < anchors.size(); ++k) {
    for (size_t next = k + 1;
         next < anchors.size() && anchors[next].at <= anchors[k].at + anchors[k].reach; ++next) {
      if (anchors[next].match != SearchTree::kNone) return places;
    }
  }
  places.onePass = true;
  for (const Anchor& anchor : anchors) {
    if (anchor.match != SearchTree::kNone) places.matches.push_back({anchor.at, anchor.match});
  }
  return places;
}

// Makes the replacements of `list` at the places found for it in `message`;
// false, with `message` unchanged, when it would grow past kLargestFill.
bool ReplaceAtPlaces(std::wstring& message, const std::vector<Replacement>& list,
                     const TokenPlaces& places) {
  if (places.matches.empty()) return true;
  size_t size = message.size();
  for (const TokenPlaces::Match& match : places.matches) {
    const Replacement& entry = list[match.entry];
    size = size - entry.find.size() + entry.with.size();
    if (size > kLargestFill) return false;
  }
  std::wstring result;
  result.reserve(message.size() + message.size() / 4);
  size_t copied = 0;
  for (const TokenPlaces::Match& match : places.matches) {
    const Replacement& entry = list[match.entry];
    result.append(message, copied, match.at - copied);
    result.append(entry.with);
    copied = match.at + entry.find.size();
  }
  result.append(message, copied, kNotFound);
  message.swap(result);
  return true;
}

// True when htmlEncode would change `text`.
bool HasMarkup(const std::wstring& text) {
  for (wchar_t c : text) {
    if (c == L'&' || c == L'<' || c == L'>') return true;
  }
  return false;
}

}  // namespace

size_t FindString(std::wstring text, size_t start, const wchar_t* find) {
  if (find == nullptr) return kNotFound;
  FXString::ToLower(text);
  return text.find(find, start);
}

std::wstring replaceWString(std::wstring& text, const std::wstring& find,
                            const std::wstring& with) {
  ReplaceExact(text, find, with);
  return text;
}

std::wstring DecodeNewLineForNotifMessage(std::wstring text, bool html) {
  static const std::wstring QNT = L"MsgNewLine_";
  static const std::wstring ANSI_NEWLIN = L" \r\n";
  static const std::wstring HTML_NEWLIN = L"<br>";
  ReplaceExact(text, QNT, html ? HTML_NEWLIN : ANSI_NEWLIN);
  return text;
}

std::wstring DecodeMsgTabForNotifMessage(std::wstring text, bool html) {
  (void)tarnalert::detail::DecodeMsgTabs(text, html);
  return text;
}

void TrimNotApplicableRowsFromHtmlBody(std::wstring& body, const wchar_t* openTag,
                                       const wchar_t* closeTag, const wchar_t* excludeTag,
                                       size_t maxSpan) {
  // Without both tags there is no element to find (and no way to advance).
  if (openTag == nullptr || closeTag == nullptr || *openTag == 0 || *closeTag == 0) return;
  static constexpr std::wstring_view kNotApplicable = L"Not Applicable";
  const std::wstring_view open(openTag), close(closeTag);
  const std::wstring_view exclude(excludeTag != nullptr ? excludeTag : L"");
  const std::wstring_view text(body);

  // Removed elements are skipped while the result is built, so every
  // character is copied once. Each search starts after the last removal: the
  // rest of the text reads the same as it would after erasing in place.
  std::wstring result;
  size_t copied = 0;  // text before this is in `result` or removed
  size_t start = text.find(open);
  while (start != kNotFound) {
    const size_t end = text.find(close, start);
    if (end == kNotFound) break;
    // Only an open tag that starts before the close tag counts.
    const std::wstring_view beforeClose = text.substr(0, end + open.size() - 1);
    const size_t next = beforeClose.find(open, start + open.size());
    if (next != kNotFound) start = next;

    // The element: from its open tag through the first character of the
    // close tag.
    const std::wstring_view element = text.substr(start, end - start + 1);
    // It starts with the open tag (`start` is one) and holds no other.
    const bool remove = end - start <= maxSpan && element.size() >= open.size() &&
                        element.find(open, 1) == kNotFound &&
                        element.find(kNotApplicable) != kNotFound &&
                        (exclude.empty() || element.find(exclude) == kNotFound);
    if (remove) {
      result.append(text, copied, start - copied);
      copied = end + close.size();
      start = text.find(open, copied);
    } else {
      size_t following = text.find(open, end);
      // A close tag that begins where its open tag does would find the same
      // element again.
      if (following == start) following = text.find(open, start + 1);
      start = following;
    }
  }
  if (copied == 0) return;  // nothing removed
  result.append(text, copied, kNotFound);
  body.swap(result);
}

void TrimNotApplicableRowsFromHtmlBody(std::wstring& body, int alertType) {
  if (alertType == 57) {
    TrimNotApplicableRowsFromHtmlBody(body, L"<tr", L"</tr>", L"", 150);
  } else {
    TrimNotApplicableRowsFromHtmlBody(body, L"<li", L"</li>", L"<tr", 250);
  }
}

void NTNotifRuleDetectedAlertProcessing::Replace(std::wstring& message, const wchar_t* find,
                                                 const wchar_t* with) {
  if (find == nullptr || with == nullptr || *find == 0) return;
  std::wstring search(find);
  FXString::ToLower(search);
  if (!ReplaceFolded(message, search, with)) client.fillStopped() = true;
}

void NTNotifRuleDetectedAlertProcessing::ReplaceTokenInMessage(std::wstring& message, int tokenId,
                                                               std::wstring value,
                                                               bool escapeValue) {
  tarnalert::detail::FillMemo::Use memo;
  tarnalert::detail::ReplacementTexts texts;
  const Replacement replacement =
      tarnalert::detail::TokenReplacement(*this, tokenId, value, escapeValue, memo.memo(), &texts);
  Replace(message, std::wstring(replacement.find).c_str(), std::wstring(replacement.with).c_str());
}

void NTNotifRuleDetectedAlertProcessing::ReplaceTokenInMessage(std::wstring& message, int tokenId,
                                                               int value) {
  ReplaceTokenInMessage(message, tokenId, tarnalert::detail::NumberText(value), false);
}

namespace tarnalert {
namespace detail {

std::wstring NumberText(int value) {
  char buffer[256] = {};
  std::snprintf(buffer, sizeof buffer, "%d", value);
  return FXString::ToWstring(buffer);
}

Replacement TokenReplacement(NTNotifRuleDetectedAlertProcessing& rule, int tokenId,
                             const std::wstring& value, bool escapeValue, FillMemo& memo,
                             ReplacementTexts* texts) {
  auto known = rule.tokenTexts.find(tokenId);
  if (known == rule.tokenTexts.end()) {
    known = rule.tokenTexts.emplace(tokenId, FetchTokenText(tokenId, rule.localeId)).first;
  }
  const bool html = rule.messageFormat == 1;
  Replacement replacement{memo.SearchText(known->second, html), value, true};
  if (html && escapeValue && HasMarkup(value)) {
    replacement.with = texts->emplace_back(NTBasicLib::htmlEncode(value.c_str()));
  }
  return replacement;
}

const TokenPlaces& TokenPlaceMemo::Find(const std::wstring& message,
                                        const std::vector<Replacement>& list) {
  auto sameFinds = [&list](const Kept& kept) {
    if (kept.finds.size() != list.size()) return false;
    for (size_t k = 0; k < list.size(); ++k) {
      if (kept.finds[k] != list[k].find) return false;
    }
    return true;
  };
  for (const Kept& kept : kept_) {
    if (kept.message == message && sameFinds(kept)) return kept.places;
  }
  if (message.size() > kLongestKept) {
    uncommon_ = FindTokenPlaces(message, list);
    return uncommon_;
  }
  Kept fresh{message, {}, FindTokenPlaces(message, list)};
  for (const Replacement& entry : list) fresh.finds.emplace_back(entry.find);
  if (kept_.size() < kCapacity) {
    kept_.push_back(std::move(fresh));
    return kept_.back().places;
  }
  Kept& replaced = kept_[next_];
  next_ = (next_ + 1) % kCapacity;
  replaced = std::move(fresh);
  return replaced.places;
}

bool DecodeMsgTabs(std::wstring& text, bool html) {
  static const std::wstring QNT = L"MsgTab_";
  static const std::wstring ANSI_TAB = L" \t";
  static const std::wstring HTML_TAB = L"&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;";
  return ReplaceExact(text, QNT, html ? HTML_TAB : ANSI_TAB);
}

bool ReplaceInOrder(std::wstring& message, std::vector<Replacement> list, TokenPlaceMemo* memo) {
  // Search texts are compared lower-cased; one that is not gets a lowered copy.
  std::deque<std::wstring> lowered;
  for (Replacement& entry : list) {
    if (entry.findLowered || std::all_of(entry.find.begin(), entry.find.end(),
                                         [](wchar_t c) { return LowerChar(c) == c; })) {
      continue;
    }
    std::wstring& copy = lowered.emplace_back(entry.find);
    FXString::ToLower(copy);
    entry.find = copy;
  }
  // No value may hold the start of a token (see FindTokenPlaces).
  bool plainValues = true;
  for (const Replacement& entry : list) {
    plainValues = plainValues && (entry.find.empty() || !HoldsTokenStart(entry.with));
  }
  if (plainValues) {
    TokenPlaces found;
    const TokenPlaces& places =
        memo != nullptr ? memo->Find(message, list) : (found = FindTokenPlaces(message, list));
    if (places.onePass) return ReplaceAtPlaces(message, list, places);
  }
  for (const Replacement& entry : list) {
    if (!ReplaceFolded(message, std::wstring(entry.find), std::wstring(entry.with))) return false;
  }
  return true;
}

}  // namespace detail
}  // namespace tarnalert

std::wstring NTNotifRuleDetectedAlertProcessing::GetHtmlEscapedString(std::wstring text) {
  return NTBasicLib::htmlEncode(text.c_str());
}
