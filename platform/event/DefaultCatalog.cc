#include "platform/event/DefaultCatalog.h"

#include <algorithm>
#include <iterator>

namespace tarnalert {
namespace detail {

namespace {

// Ordered by id: looked up by binary search. Templates match the token texts
// (0x4a...) literally, so changing one breaks every template that uses it.
constexpr CatalogEntry kEntries[] = {
    // Severity texts.
    {0x3d000249, "Informational"},
    {0x3d00024a, "Major"},
    {0x3d00024b, "Critical"},
    // Subject markers: the first line of a template is its subject.
    {0x4a000001, "\n"},
    {0x4a000002, "Subject: "},
    // Tokens.
    {0x4a000004, "<Tarnhold Name>"},
    {0x4a000006, "<Alert Category - Type>"},
    {0x4a000007, "<Detected Time>"},
    {0x4a000008, "<Detected Time (UTC)>"},
    {0x4a00000a, "<Alert Description>"},
    {0x4a00000c, "<Alert ID>"},
    {0x4a00000d, "<Alert Name>"},
    {0x4a00000e, "<Detected Criteria>"},
    {0x4a000016, "<User Name>"},
    {0x4a000023, "<Job ID>"},
    {0x4a00003f, "<Comments>"},
    // The value of a token that received none.
    {0x4a0000a5, "Not Applicable"},
    // Criteria names; <...> stands for a configured parameter value.
    {0x4a000301, "Client failed over to the standby management server"},
    {0x4a000302, "Management server unreachable for more than <minutes> minutes"},
    {0x4a000303, "Failover after <count> missed heartbeats in <minutes> minutes"},
    // Alert type names.
    {0x4a000310, "Client Failover"},
    // Comment and event messages.
    {0x4a000320, "Failover started by %1 on %2"},
    {0x4a000321, "%1"},
    {0x4a000322, "Job %1 finished with status %2"},
    // Link tokens.
    {0x4a0003b6, "<Console Link>"},
    {0x4a0003b9, "<Report Link>"},
    // Severity tokens: the text, then the number.
    {0x4a00051f, "<Severity>"},
    {0x4a000520, "<Severity Level>"},
};

constexpr bool IsOrdered() {
  for (size_t i = 1; i < std::size(kEntries); ++i) {
    if (kEntries[i - 1].id >= kEntries[i].id) return false;
  }
  return true;
}
static_assert(IsOrdered(), "catalogue entries must be in ascending id order, without repeats");

}  // namespace

const char* DefaultCatalogText(unsigned long messageId) {
  const CatalogEntry* end = kEntries + std::size(kEntries);
  const CatalogEntry* found =
      std::lower_bound(kEntries, end, messageId,
                       [](const CatalogEntry& entry, unsigned long id) { return entry.id < id; });
  return found != end && found->id == messageId ? found->text : nullptr;
}

const CatalogEntry* DefaultCatalogEntries(size_t* count) {
  *count = std::size(kEntries);
  return kEntries;
}

}  // namespace detail
}  // namespace tarnalert
