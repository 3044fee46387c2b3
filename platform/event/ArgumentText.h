// The text form of one argument of a given type code, shared by the event
// catalogue's argument list and the alert record's streamed arguments.
#ifndef TARNALERT_PLATFORM_EVENT_ARGUMENTTEXT_H_
#define TARNALERT_PLATFORM_EVENT_ARGUMENTTEXT_H_

#include <string>

namespace tarnalert {
namespace detail {

// Renders the scalar of `typeCode` (1 to 10) read from `value` with that
// code's printf format, or the NUL-terminated text for code 11; any other code
// is read as an int. A null value renders as the empty text.
std::string RenderArgument(const void* value, int typeCode);

}  // namespace detail
}  // namespace tarnalert

#endif  // TARNALERT_PLATFORM_EVENT_ARGUMENTTEXT_H_
