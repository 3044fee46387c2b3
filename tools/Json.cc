#include "Json.h"

#include <iostream>

namespace tarnalert_tool {

std::string JsonText(const Json& value) {
  return value.dump(2, ' ', false, Json::error_handler_t::replace);
}

void PrintJson(const Json& value) { std::cout << JsonText(value) << "\n"; }

}  // namespace tarnalert_tool
