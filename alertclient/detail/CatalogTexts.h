// Catalogue texts as the notification steps fetch them: rendered with no
// arguments into a buffer of the size the step names, widened, and for a
// token trimmed of trailing blanks. Every call asks the catalogue again, so a text changed
// meanwhile is seen at once. Any thread may call these.
#ifndef TARNALERT_ALERTCLIENT_DETAIL_CATALOGTEXTS_H_
#define TARNALERT_ALERTCLIENT_DETAIL_CATALOGTEXTS_H_

#include <string>

namespace tarnalert {
namespace detail {

// The text EvEvent::evPrintf renders for `messageId` in `localeId` into a
// buffer of `size` bytes (at most 2048), widened; empty when the catalogue
// has no such text.
std::wstring FetchCatalogText(unsigned long messageId, unsigned long size, unsigned long localeId);

// The same text as rendered (UTF-8).
std::string FetchCatalogNarrow(unsigned long messageId, unsigned long size, unsigned long localeId);

// `text` without its trailing spaces, line feeds, carriage returns and tabs.
void TrimTrailingBlanks(std::wstring& text);

// The text a template writes for the token `tokenId`: its catalogue text
// (2048-byte buffer) without trailing blanks.
std::wstring FetchTokenText(int tokenId, unsigned long localeId);

}  // namespace detail
}  // namespace tarnalert

#endif  // TARNALERT_ALERTCLIENT_DETAIL_CATALOGTEXTS_H_
