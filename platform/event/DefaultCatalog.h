// The embedded default (English) event catalogue: a text for every message id
// the library renders. Per-locale catalogue files fall back to it.
//
// The table is constant data; the functions may be called from any thread.
#ifndef TARNALERT_PLATFORM_EVENT_DEFAULTCATALOG_H_
#define TARNALERT_PLATFORM_EVENT_DEFAULTCATALOG_H_

#include <cstddef>

namespace tarnalert {
namespace detail {

struct CatalogEntry {
  unsigned long id;
  const char* text;
};

// The text of `messageId` in the default catalogue, or null when it has none.
const char* DefaultCatalogText(unsigned long messageId);

// All entries, ordered by ascending id.
const CatalogEntry* DefaultCatalogEntries(size_t* count);

}  // namespace detail
}  // namespace tarnalert

#endif  // TARNALERT_PLATFORM_EVENT_DEFAULTCATALOG_H_
