// The default event catalogue: the per-locale catalogue file first, then the
// embedded default catalogue (DefaultCatalog.h). Files are read through the
// Env in force once per (directory, locale) and kept for the life of the
// process; their problems go to the debug log. See docs/templates.md for
// their format. Safe to call from any thread.
#ifndef TARNALERT_PLATFORM_EVENT_CATALOG_H_
#define TARNALERT_PLATFORM_EVENT_CATALOG_H_

#include <string>

namespace tarnalert {
namespace detail {

// Puts the text of `messageId` for `localeId` (0: the default language) into
// `text` and returns true; false, text untouched, for an unknown id.
bool LookUpCatalog(unsigned long messageId, unsigned long localeId, std::string* text);

}  // namespace detail
}  // namespace tarnalert

#endif  // TARNALERT_PLATFORM_EVENT_CATALOG_H_
