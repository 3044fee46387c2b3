// The default event catalogue: the per-locale catalogue file first, then the
// embedded default catalogue (DefaultCatalog.h). Files are read through the
// Env in force once per (directory, locale) and kept for the life of the
// process; their problems go to the debug log. See docs/templates.md for
// their format. Safe to call from any thread.
#ifndef TARNALERT_PLATFORM_EVENT_CATALOG_H_
#define TARNALERT_PLATFORM_EVENT_CATALOG_H_

#include <cstdint>
#include <string>
#include <unordered_map>

namespace tarnalert {
namespace detail {

// Puts the text of `messageId` for `localeId` (0: the default language) into
// `text` and returns true; false, text untouched, for an unknown id.
bool LookUpCatalog(unsigned long messageId, unsigned long localeId, std::string* text);

// The generation (Env::CatalogGeneration) of the texts LookUpCatalog gives
// now: one for each catalogue directory, whose files, once read, never
// change.
uint64_t CatalogGeneration();

// While one of these lives on a thread, the catalogue look-ups of that thread
// work out the catalogue directory from the settings once (per Env in force)
// rather than on every look-up: a caller that looks up many texts at once,
// such as an alert filling its rules, opens one around them. Scopes nest; the
// outermost one ends what they kept.
class CatalogScope {
 public:
  CatalogScope();
  ~CatalogScope();
  CatalogScope(const CatalogScope&) = delete;
  CatalogScope& operator=(const CatalogScope&) = delete;
};

// The texts of the catalogue file text `content` by message id (a byte order
// mark, comments and blank lines skipped; a later line for an id wins). A
// line that is not well formed is skipped and logged with its number and
// `path`.
std::unordered_map<unsigned long, std::string> ParseCatalogFile(std::string content,
                                                                const std::string& path);

}  // namespace detail
}  // namespace tarnalert

#endif  // TARNALERT_PLATFORM_EVENT_CATALOG_H_
