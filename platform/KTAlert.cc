#include "platform/Env.h"

namespace tarnalert {

int Env::SendAlertToServer(const EvAlertEx&, std::string* errorText) {
  *errorText = "no server alert adapter";
  return -1;
}

}  // namespace tarnalert
