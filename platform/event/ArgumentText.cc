#include "platform/event/ArgumentText.h"

#include <cstdio>
#include <cstring>

#include "tarnalert/platform/event/EvEvent.h"

namespace {

// Reads a scalar of type T from the (possibly unaligned) `value`.
template <typename T>
T Read(const void* value) {
  T scalar;
  std::memcpy(&scalar, value, sizeof scalar);
  return scalar;
}

}  // namespace

namespace tarnalert {
namespace detail {

// A NUL character renders as the empty text, as the buffer it is printed into
// would read.
std::string RenderArgument(const void* value, int typeCode) {
  if (value == nullptr) return std::string();
  if (typeCode == kArgText) return static_cast<const char*>(value);
  char text[64] = {};
  switch (typeCode) {
    case kArgChar:
      std::snprintf(text, sizeof text, "%c", Read<char>(value));
      break;
    case kArgUnsignedChar:
      std::snprintf(text, sizeof text, "%c", Read<unsigned char>(value));
      break;
    case kArgShort:
      std::snprintf(text, sizeof text, "%hd", Read<short>(value));
      break;
    case kArgUnsignedShort:
      std::snprintf(text, sizeof text, "%hu", Read<unsigned short>(value));
      break;
    case kArgUnsignedInt:
      std::snprintf(text, sizeof text, "%u", Read<unsigned>(value));
      break;
    case kArgLong:
      std::snprintf(text, sizeof text, "%ld", Read<long>(value));
      break;
    case kArgUnsignedLong:
      std::snprintf(text, sizeof text, "%lu", Read<unsigned long>(value));
      break;
    case kArgLongLong:
      std::snprintf(text, sizeof text, "%lld", Read<long long>(value));
      break;
    case kArgUnsignedLongLong:
      std::snprintf(text, sizeof text, "%llu", Read<unsigned long long>(value));
      break;
    default:  // int, and every code without a type of its own
      std::snprintf(text, sizeof text, "%d", Read<int>(value));
      break;
  }
  return text;
}

}  // namespace detail
}  // namespace tarnalert
