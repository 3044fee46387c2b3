// The delivery option bits of an e-mail request: set by the notification
// that builds it, handed with the request to Env::DeliverEmail, and read by
// the mail delivery (docs/delivery.md), with their names for a person.
#ifndef TARNALERT_ALERTCLIENT_DELIVERYOPTIONS_H_
#define TARNALERT_ALERTCLIENT_DELIVERYOPTIONS_H_

#include <string>
#include <vector>

#include "tarnalert/platform/Export.h"

namespace tarnalert {

constexpr int kDeliveryOptionDefault = 0x02;    // removed by formatOptions 2
constexpr int kDeliveryOptionFormatted = 0x10;  // HTML, or bit 0 of formatOptions
constexpr int kDeliveryOptionImportant = 0x20;  // lowest severity 1: "Importance: high"

// The bits set in `options` as words, lowest bit first: "default",
// "formatted", "important (Importance: high)", and "0x.." for a bit that has
// no name.
TARNALERT_EXPORT std::vector<std::string> DeliveryOptionNames(int options);

}  // namespace tarnalert

#endif  // TARNALERT_ALERTCLIENT_DELIVERYOPTIONS_H_
