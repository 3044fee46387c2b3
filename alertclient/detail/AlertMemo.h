// What the rules one alert matches have in common, worked out once per alert:
// catalogue texts (subject markers, token texts, "not applicable"), the alert
// type's category and type names, the tokens it offers, the texts of the
// detection time, and where the tokens are in the templates filled. It
// belongs to the NTAlertProcessClient of the alert and, like it, to one
// thread.
#ifndef TARNALERT_ALERTCLIENT_DETAIL_ALERTMEMO_H_
#define TARNALERT_ALERTCLIENT_DETAIL_ALERTMEMO_H_

#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <unordered_map>
#include <utility>

#include "alertclient/detail/TokenReplacement.h"

namespace tarnalert {
namespace detail {

class AlertMemo {
 public:
  // The text EvEvent::evPrintf renders for `messageId` in `localeId` into a
  // zeroed buffer of `size` bytes (size 1..2048), with no arguments; empty
  // when the catalogue has no such text.
  const std::wstring& Text(unsigned long messageId, unsigned long size, unsigned long localeId);
  // The same text, as rendered (UTF-8).
  const std::string& NarrowText(unsigned long messageId, unsigned long size,
                                unsigned long localeId);

  // The alert's category and type names in `localeId`: `find()` gives them
  // the first time.
  template <class Find>
  const std::pair<std::wstring, std::wstring>& AlertNames(unsigned long localeId, Find find) {
    auto [entry, added] = names_.try_emplace(localeId);
    if (added) entry->second = find();
    return entry->second;
  }

  // The text of the detection time in local time or UTC: `make()` gives it
  // the first time.
  template <class Make>
  const std::string& TimeText(bool utc, Make make) {
    std::optional<std::string>& text = times_[utc ? 1 : 0];
    if (!text) text = make();
    return *text;
  }

  // The flags and texts of the tokens the alert type offers in `localeId`:
  // `collect()` gives them the first time.
  struct Tokens {
    std::map<int, int> flags;
    std::map<int, std::wstring> texts;
  };
  template <class Collect>
  const Tokens& TokensOf(unsigned long localeId, Collect collect) {
    auto [entry, added] = tokens_.try_emplace(localeId);
    if (added) entry->second = collect();
    return entry->second;
  }

  // What a token text is searched for as: lower-cased, and HTML-escaped
  // first when `html`; made once per alert.
  const std::wstring& SearchText(const std::wstring& tokenText, bool html);

  TokenPlaceMemo& tokenPlaces() { return tokenPlaces_; }

  // Set by a fill of the notification being built that stopped at
  // kLargestFill; that notification clears it before it fills and reads it
  // after.
  bool fillStopped = false;

 private:
  struct Rendered {
    std::string narrow;
    std::wstring wide;
  };
  const Rendered& Render(unsigned long messageId, unsigned long size, unsigned long localeId);

  std::map<std::tuple<unsigned long, unsigned long, unsigned long>, Rendered> texts_;
  std::map<unsigned long, std::pair<std::wstring, std::wstring>> names_;
  std::optional<std::string> times_[2];
  std::map<unsigned long, Tokens> tokens_;
  std::unordered_map<std::wstring, std::wstring> searchTexts_[2];  // plain, HTML
  TokenPlaceMemo tokenPlaces_;
};

}  // namespace detail
}  // namespace tarnalert

#endif  // TARNALERT_ALERTCLIENT_DETAIL_ALERTMEMO_H_
