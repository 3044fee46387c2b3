// The catalogue texts looked up while one alert is processed. Every rule the
// alert matches asks for the same subject markers, token texts, "not
// applicable" text and alert category and type names; the memo works each out
// once per alert. It belongs to the NTAlertProcessClient of the alert and,
// like it, to one thread.
#ifndef TARNALERT_ALERTCLIENT_DETAIL_CATALOGMEMO_H_
#define TARNALERT_ALERTCLIENT_DETAIL_CATALOGMEMO_H_

#include <map>
#include <string>
#include <tuple>
#include <utility>

namespace tarnalert {
namespace detail {

class CatalogMemo {
 public:
  // The text EvEvent::evPrintf renders for `messageId` in `localeId` into a
  // zeroed buffer of `size` bytes (size 1..2048), with no arguments; empty
  // when the catalogue has no such text.
  const std::wstring& Text(unsigned long messageId, unsigned long size, unsigned long localeId);

  // The alert's category and type names in `localeId`: `find()` gives them
  // the first time.
  template <class Find>
  const std::pair<std::wstring, std::wstring>& AlertNames(unsigned long localeId, Find find) {
    auto [entry, added] = names_.try_emplace(localeId);
    if (added) entry->second = find();
    return entry->second;
  }

 private:
  std::map<std::tuple<unsigned long, unsigned long, unsigned long>, std::wstring> texts_;
  std::map<unsigned long, std::pair<std::wstring, std::wstring>> names_;
};

}  // namespace detail
}  // namespace tarnalert

#endif  // TARNALERT_ALERTCLIENT_DETAIL_CATALOGMEMO_H_
