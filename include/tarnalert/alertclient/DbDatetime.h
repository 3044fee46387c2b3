// Conversions between a time value (seconds since the epoch, 64 bits) and the
// broken-down timestamp record that database interfaces exchange, as local
// time or as UTC. The date tokens of a notification take their display text
// from DbDatetimeToUlongTime.
//
// The functions keep no state and may be called from any thread; local time
// follows the process's time zone.
#ifndef TARNALERT_ALERTCLIENT_DBDATETIME_H_
#define TARNALERT_ALERTCLIENT_DBDATETIME_H_

#include <cstdint>

#include "tarnalert/platform/Export.h"

// A database timestamp: full year, month 1-12, day 1-31, hour, minute, second
// and the fraction in billionths of a second. All zero means "no time".
struct TARNALERT_EXPORT tagTIMESTAMP_STRUCT {
  int16_t year;
  uint16_t month;
  uint16_t day;
  uint16_t hour;
  uint16_t minute;
  uint16_t second;
  uint32_t fraction;
};
static_assert(sizeof(tagTIMESTAMP_STRUCT) == 16, "the timestamp record is 16 bytes");

// Fills `record` with `time` broken down as UTC (`utc` true) or local time;
// the fraction is 0. The record is left all zero for a time of 0, and for a
// time that cannot be broken down or whose year does not fit the record.
TARNALERT_EXPORT void UlongTimeToDbDatetime(long time, tagTIMESTAMP_STRUCT& record, bool utc);

// Converts `record`, read as UTC (`utc` true) or local time (daylight saving
// decided by the time zone), to a time value and returns it. Out-of-range
// fields are normalised as the C library does. A negative result (an all-zero
// record gives one) is returned at once and nothing is written. Otherwise,
// when `text` is not null, the 24-character display form of the time in the
// same zone ("Mon Mar  1 09:05:07 2021") is written to it, NUL-terminated;
// `text` must hold 30 bytes. When no display form can be made, `text` is left
// as it was and the time is still returned.
TARNALERT_EXPORT long DbDatetimeToUlongTime(char* text, tagTIMESTAMP_STRUCT& record, bool utc);

#endif  // TARNALERT_ALERTCLIENT_DBDATETIME_H_
