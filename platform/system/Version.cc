#include "tarnalert/version.h"

namespace tarnalert {

const char* LibraryVersion() { return TARNALERT_VERSION_STRING; }

}  // namespace tarnalert
