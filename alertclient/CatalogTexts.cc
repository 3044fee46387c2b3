// Catalogue texts as the notification steps fetch them (detail/CatalogTexts.h).
#include "alertclient/detail/CatalogTexts.h"

#include "tarnalert/platform/event/EvEvent.h"
#include "tarnalert/platform/text/FXString.h"

namespace tarnalert {
namespace detail {

std::wstring FetchCatalogText(unsigned long messageId, unsigned long size, unsigned long localeId) {
  // evPrintf always ends the text it writes, so only the first byte needs
  // clearing for nothing of an earlier look-up to carry over.
  char buffer[2048];
  buffer[0] = '\0';
  EvEvent().evPrintf(messageId, buffer, size < sizeof buffer ? size : sizeof buffer, localeId);
  return FXString::ToWstring(buffer);
}

void TrimTrailingBlanks(std::wstring& text) {
  size_t end = text.size();
  while (end > 0 && (text[end - 1] == L' ' || text[end - 1] == L'\n' || text[end - 1] == L'\r' ||
                     text[end - 1] == L'\t')) {
    --end;
  }
  text.erase(end);
}

std::wstring FetchTokenText(int tokenId, unsigned long localeId) {
  std::wstring text = FetchCatalogText(static_cast<unsigned long>(tokenId), 2048, localeId);
  TrimTrailingBlanks(text);
  return text;
}

}  // namespace detail
}  // namespace tarnalert
