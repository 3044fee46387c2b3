// The memo of what the rules of one alert share (detail/AlertMemo.h).
#include "alertclient/detail/AlertMemo.h"

#include <cstring>

#include "tarnalert/platform/event/EvEvent.h"
#include "tarnalert/platform/text/FXString.h"
#include "tarnalert/util/NTBasicLib.h"

namespace tarnalert {
namespace detail {

const AlertMemo::Rendered& AlertMemo::Render(unsigned long messageId, unsigned long size,
                                             unsigned long localeId) {
  auto [entry, added] = texts_.try_emplace({messageId, size, localeId});
  if (added) {
    // A freshly zeroed buffer, so that nothing of an earlier look-up carries over.
    char buffer[2048];
    std::memset(buffer, 0, sizeof buffer);
    EvEvent().evPrintf(messageId, buffer, size < sizeof buffer ? size : sizeof buffer, localeId);
    entry->second.narrow = buffer;
    entry->second.wide = FXString::ToWstring(buffer);
  }
  return entry->second;
}

const std::wstring& AlertMemo::Text(unsigned long messageId, unsigned long size,
                                    unsigned long localeId) {
  return Render(messageId, size, localeId).wide;
}

const std::string& AlertMemo::NarrowText(unsigned long messageId, unsigned long size,
                                         unsigned long localeId) {
  return Render(messageId, size, localeId).narrow;
}

const std::wstring& AlertMemo::SearchText(const std::wstring& tokenText, bool html) {
  auto [entry, added] = searchTexts_[html ? 1 : 0].try_emplace(tokenText);
  if (added) {
    entry->second = html ? NTBasicLib::htmlEncode(tokenText.c_str()) : tokenText;
    FXString::ToLower(entry->second);
  }
  return entry->second;
}

}  // namespace detail
}  // namespace tarnalert
