#include "tarnalert/alertclient/DbDatetime.h"

#include <cstring>
#include <ctime>
#include <limits>

#include "platform/system/KTTime.h"

namespace {

// Room the callers give the display text.
constexpr size_t kTextSize = 30;

}  // namespace

void UlongTimeToDbDatetime(long time, tagTIMESTAMP_STRUCT& record, bool utc) {
  std::memset(&record, 0, sizeof record);
  if (time == 0) return;
  const time_t value = time;
  struct tm fields;
  struct tm* broken = utc ? KT_gmtime(&value, &fields) : KT_localtime(&value, &fields);
  if (broken == nullptr) return;
  // A year the record cannot hold would come out wrapped; keep "no time".
  const long long year = static_cast<long long>(broken->tm_year) + 1900;
  if (year < std::numeric_limits<int16_t>::min() || year > std::numeric_limits<int16_t>::max()) {
    return;
  }
  record.year = static_cast<int16_t>(year);
  record.month = static_cast<uint16_t>(broken->tm_mon + 1);
  record.day = static_cast<uint16_t>(broken->tm_mday);
  record.hour = static_cast<uint16_t>(broken->tm_hour);
  record.minute = static_cast<uint16_t>(broken->tm_min);
  record.second = static_cast<uint16_t>(broken->tm_sec);
  record.fraction = 0;
}

long DbDatetimeToUlongTime(char* text, tagTIMESTAMP_STRUCT& record, bool utc) {
  struct tm fields;
  std::memset(&fields, 0, sizeof fields);
  fields.tm_year = record.year - 1900;
  fields.tm_mon = record.month - 1;
  fields.tm_mday = record.day;
  fields.tm_hour = record.hour;
  fields.tm_min = record.minute;
  fields.tm_sec = record.second;
  fields.tm_isdst = -1;
  const time_t value = utc ? KT_timegm(&fields) : KT_mktime(&fields);
  if (value < 0) return value;
  if (text == nullptr) return value;
  bool written;
  if (utc) {
    struct tm* broken = KT_gmtime(&value, nullptr);
    written = broken != nullptr && KT_asctime(broken, text, kTextSize) != nullptr;
  } else {
    written = KT_ctime(&value, text, kTextSize) != nullptr;
  }
  // Drop the newline of the display form (position 24 for a four-digit year).
  if (written) *std::strchr(text, '\n') = '\0';
  return value;
}
