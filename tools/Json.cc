#include "Json.h"

#include <iostream>

namespace tarnalert_tool {

std::string JsonText(const Json& value) {
  // Every character past ASCII as \uXXXX: a name that holds a C1 control or
  // a right-to-left override cannot steer the terminal that shows the output.
  return value.dump(2, ' ', true, Json::error_handler_t::replace);
}

void PrintJson(const Json& value) { std::cout << JsonText(value) << "\n"; }

}  // namespace tarnalert_tool
