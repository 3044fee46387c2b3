// The delivery option bits of an e-mail request: set by the notification
// that builds it, handed with the request to Env::DeliverEmail, and read by
// the mail delivery (docs/delivery.md). Constants only.
#ifndef TARNALERT_ALERTCLIENT_DELIVERYOPTIONS_H_
#define TARNALERT_ALERTCLIENT_DELIVERYOPTIONS_H_

namespace tarnalert {

constexpr int kDeliveryOptionDefault = 0x02;    // removed by formatOptions 2
constexpr int kDeliveryOptionFormatted = 0x10;  // HTML, or bit 0 of formatOptions
constexpr int kDeliveryOptionImportant = 0x20;  // lowest severity 1: "Importance: high"

}  // namespace tarnalert

#endif  // TARNALERT_ALERTCLIENT_DELIVERYOPTIONS_H_
