// platform/system: what the host says (time, platform information). Depends
// on platform/env only.
//
// Time helpers of the platform: breaking a time value down into calendar
// fields, turning calendar fields back into a time value, and the fixed
// 24-character display form of a time ("Mon Mar  1 09:05:07 2021").
//
// Time values are seconds since the epoch in 64 bits (time_t). Local time
// follows the process's time zone (the TZ setting of the C library). The text
// form is built here, independent of the process locale, and is always
// bounded by the caller's buffer size.
//
// Every function is safe to call from any thread: results go to the caller's
// buffer, or, where a function accepts a null buffer, to storage that belongs
// to the calling thread and is overwritten by that thread's next call.
#ifndef TARNALERT_PLATFORM_SYSTEM_KTTIME_H_
#define TARNALERT_PLATFORM_SYSTEM_KTTIME_H_

#include <cstddef>
#include <ctime>

// Breaks `time` down as local time into `buffer`, or into thread-local storage
// when `buffer` is null. Returns the broken-down time, or null when `time` is
// null or cannot be represented (year out of range).
struct tm* KT_localtime(const time_t* time, struct tm* buffer);

// The same as UTC.
struct tm* KT_gmtime(const time_t* time, struct tm* buffer);

// Writes the fixed display form of `fields`: weekday and month as three
// English letters, the day padded with a blank to two places, hh:mm:ss and the
// year, single blanks between, then a newline ("Mon Mar  1 09:05:07 2021\n",
// 25 characters for a four-digit year). At most `size` bytes are written,
// terminator included. Returns `buffer`, or null, leaving the buffer as it
// was, when an argument is null, `size` is too small for the whole text, or a
// field is out of its range (weekday 0-6, month 0-11, day 1-31, hour 0-23,
// minute 0-59, second 0-60).
char* KT_asctime(const struct tm* fields, char* buffer, size_t size);

// KT_asctime of the local time of `time`. Returns `buffer`, or null (buffer
// untouched) on the failures of KT_localtime or KT_asctime.
char* KT_ctime(const time_t* time, char* buffer, size_t size);

// Converts local calendar fields to a time value; fields out of range are
// normalised and `fields` is updated as the C library's mktime does; a
// negative tm_isdst lets the time zone decide daylight saving. Returns -1 when
// `fields` is null or the time cannot be represented.
time_t KT_mktime(struct tm* fields);

// The same for UTC calendar fields (daylight saving does not apply).
time_t KT_timegm(struct tm* fields);

#endif  // TARNALERT_PLATFORM_SYSTEM_KTTIME_H_
