// The buffer NTAlertProcessClient::RetrieveDetailsFromXML reads into, handed
// back by a caller that is done with the text so that the next read fills the
// same memory: a configuration file read on every alert then costs neither an
// allocation nor clearing fresh pages.
#ifndef TARNALERT_ALERTCLIENT_DETAIL_READBUFFER_H_
#define TARNALERT_ALERTCLIENT_DETAIL_READBUFFER_H_

#include <string>

namespace tarnalert {
namespace detail {

// Keeps `buffer` (its content no longer needed) for the next read, in place
// of any buffer kept before. Takes alertDetailsCS; any thread may call it.
void HandBackReadBuffer(std::string&& buffer);

}  // namespace detail
}  // namespace tarnalert

#endif  // TARNALERT_ALERTCLIENT_DETAIL_READBUFFER_H_
