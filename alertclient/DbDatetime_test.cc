#include "alertclient/DbDatetime.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <tuple>

namespace {

// Sets the process time zone for one test and restores the previous one.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* zone) {
    const char* old = std::getenv("TZ");
    had_ = old != nullptr;
    if (had_) old_ = old;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~ScopedTimeZone() {
    if (had_) {
      setenv("TZ", old_.c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

 private:
  bool had_;
  std::string old_;
};

constexpr const char* kNewYork = "EST5EDT,M3.2.0,M11.1.0";

auto Fields(const tagTIMESTAMP_STRUCT& r) {
  return std::make_tuple(r.year, r.month, r.day, r.hour, r.minute, r.second, r.fraction);
}

struct Case {
  long time;
  bool utc;
  std::tuple<int16_t, uint16_t, uint16_t, uint16_t, uint16_t, uint16_t, uint32_t> record;
  const char* text;
};

// Instants in New York: 2021-03-01 09:05:07 EST, 2021-07-01 09:00:00 EDT and
// 2040-07-04 08:00:00 EDT (beyond the 32-bit range).
const Case kCases[] = {
    {1614607507, false, {2021, 3, 1, 9, 5, 7, 0}, "Mon Mar  1 09:05:07 2021"},
    {1614607507, true, {2021, 3, 1, 14, 5, 7, 0}, "Mon Mar  1 14:05:07 2021"},
    {1625144400, false, {2021, 7, 1, 9, 0, 0, 0}, "Thu Jul  1 09:00:00 2021"},
    {1625144400, true, {2021, 7, 1, 13, 0, 0, 0}, "Thu Jul  1 13:00:00 2021"},
    {2225016000, false, {2040, 7, 4, 8, 0, 0, 0}, "Wed Jul  4 08:00:00 2040"},
    {2225016000, true, {2040, 7, 4, 12, 0, 0, 0}, "Wed Jul  4 12:00:00 2040"},
};

TEST(DbDatetimeTest, ConvertsBothWaysInLocalTimeAndUtc) {
  ScopedTimeZone zone(kNewYork);
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::to_string(c.time) + (c.utc ? " utc" : " local"));
    tagTIMESTAMP_STRUCT record;
    UlongTimeToDbDatetime(c.time, record, c.utc);
    EXPECT_EQ(Fields(record), c.record);
    char text[512] = {};
    EXPECT_EQ(DbDatetimeToUlongTime(text, record, c.utc), c.time);
    EXPECT_STREQ(text, c.text);
    EXPECT_EQ(DbDatetimeToUlongTime(nullptr, record, c.utc), c.time);
  }
}

TEST(DbDatetimeTest, TimeZeroMeansNoTime) {
  ScopedTimeZone zone(kNewYork);
  for (bool utc : {false, true}) {
    tagTIMESTAMP_STRUCT record;
    std::memset(&record, 0xff, sizeof record);
    UlongTimeToDbDatetime(0, record, utc);
    EXPECT_EQ(Fields(record), Fields(tagTIMESTAMP_STRUCT{}));
    char text[512] = {};
    EXPECT_LT(DbDatetimeToUlongTime(text, record, utc), 0);
    EXPECT_STREQ(text, "");
  }
}

TEST(DbDatetimeTest, YearBeyondTheRecordLeavesItZero) {
  tagTIMESTAMP_STRUCT record;
  UlongTimeToDbDatetime(1000000000000L, record, true);  // the year 33658
  EXPECT_EQ(Fields(record), Fields(tagTIMESTAMP_STRUCT{}));
  UlongTimeToDbDatetime(500000000000L, record, true);  // the year 17814 fits
  EXPECT_EQ(record.year, 17814);
}

}  // namespace
