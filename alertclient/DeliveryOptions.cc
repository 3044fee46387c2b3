#include "tarnalert/alertclient/DeliveryOptions.h"

#include <cstdio>

namespace tarnalert {

std::vector<std::string> DeliveryOptionNames(int options) {
  std::vector<std::string> names;
  for (unsigned bit = 1; bit != 0; bit <<= 1) {
    if ((static_cast<unsigned>(options) & bit) == 0) continue;
    switch (static_cast<int>(bit)) {
      case kDeliveryOptionDefault:
        names.push_back("default");
        break;
      case kDeliveryOptionFormatted:
        names.push_back("formatted");
        break;
      case kDeliveryOptionImportant:
        names.push_back("important (Importance: high)");
        break;
      default: {
        char text[16];
        std::snprintf(text, sizeof text, "0x%x", bit);
        names.push_back(text);
      }
    }
  }
  return names;
}

}  // namespace tarnalert
