#include "platform/system/KTTime.h"

#include <charconv>
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
  // "Www Mmm dd hh:mm:ss yyyy\n", put together by hand: no part of it depends
  // on the locale, and the names come from the tables above.
  char text[64];
  char* at = text;
  auto two = [&at](int value, char lead) {
    *at++ = value >= 10 ? static_cast<char>('0' + value / 10) : lead;
    *at++ = static_cast<char>('0' + value % 10);
  };
  std::memcpy(at, kWeekdays[fields->tm_wday], 3);
  at[3] = ' ';
  std::memcpy(at + 4, kMonths[fields->tm_mon], 3);
  at[7] = ' ';
  at += 8;
  two(fields->tm_mday, ' ');
  *at++ = ' ';
  two(fields->tm_hour, '0');
  *at++ = ':';
  two(fields->tm_min, '0');
  *at++ = ':';
  two(fields->tm_sec, '0');
  *at++ = ' ';
  at = std::to_chars(at, text + sizeof text, static_cast<long long>(fields->tm_year) + 1900).ptr;
  *at++ = '\n';
  const size_t length = static_cast<size_t>(at - text);
  if (length >= size) return nullptr;
  std::memcpy(buffer, text, length);
  buffer[length] = '\0';
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
