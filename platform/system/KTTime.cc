#include "platform/system/KTTime.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr const char kWeekdays[7][4] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char kMonths[12][4] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

bool InRange(int value, int low, int high) { return value >= low && value <= high; }

}  // namespace

struct tm* KT_localtime(const time_t* time, struct tm* buffer) {
  thread_local struct tm own;
  if (time == nullptr) return nullptr;
  return localtime_r(time, buffer != nullptr ? buffer : &own);
}

struct tm* KT_gmtime(const time_t* time, struct tm* buffer) {
  thread_local struct tm own;
  if (time == nullptr) return nullptr;
  return gmtime_r(time, buffer != nullptr ? buffer : &own);
}

char* KT_asctime(const struct tm* fields, char* buffer, size_t size) {
  if (fields == nullptr || buffer == nullptr) return nullptr;
  if (!InRange(fields->tm_wday, 0, 6) || !InRange(fields->tm_mon, 0, 11) ||
      !InRange(fields->tm_mday, 1, 31) || !InRange(fields->tm_hour, 0, 23) ||
      !InRange(fields->tm_min, 0, 59) || !InRange(fields->tm_sec, 0, 60)) {
    return nullptr;
  }
  // Integer conversions of snprintf do not depend on the locale; the names
  // come from the tables above.
  char text[64];
  int length =
      std::snprintf(text, sizeof text, "%s %s%3d %02d:%02d:%02d %lld\n", kWeekdays[fields->tm_wday],
                    kMonths[fields->tm_mon], fields->tm_mday, fields->tm_hour, fields->tm_min,
                    fields->tm_sec, static_cast<long long>(fields->tm_year) + 1900);
  if (length < 0 || static_cast<size_t>(length) >= size) return nullptr;
  std::memcpy(buffer, text, static_cast<size_t>(length) + 1);
  return buffer;
}

char* KT_ctime(const time_t* time, char* buffer, size_t size) {
  struct tm fields;
  if (KT_localtime(time, &fields) == nullptr) return nullptr;
  return KT_asctime(&fields, buffer, size);
}

time_t KT_mktime(struct tm* fields) {
  if (fields == nullptr) return -1;
  return mktime(fields);
}

time_t KT_timegm(struct tm* fields) {
  if (fields == nullptr) return -1;
  return timegm(fields);
}
