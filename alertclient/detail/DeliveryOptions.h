// The delivery option bits of an e-mail request, set by the notification
// that builds it and read by the mail transport (docs/delivery.md).
#ifndef TARNALERT_ALERTCLIENT_DETAIL_DELIVERYOPTIONS_H_
#define TARNALERT_ALERTCLIENT_DETAIL_DELIVERYOPTIONS_H_

namespace tarnalert {
namespace detail {

constexpr int kOptionDefault = 0x02;            // removed by formatOptions 2
constexpr int kOptionFormatted = 0x10;          // HTML, or bit 0 of formatOptions
constexpr int kOptionLowestSeverityOne = 0x20;  // the message is marked important

}  // namespace detail
}  // namespace tarnalert

#endif  // TARNALERT_ALERTCLIENT_DETAIL_DELIVERYOPTIONS_H_
