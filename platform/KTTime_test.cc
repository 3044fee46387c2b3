#include "platform/KTTime.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

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

struct tm Fields(int year, int month, int day, int hour, int minute, int second, int weekday) {
  struct tm fields;
  std::memset(&fields, 0, sizeof fields);
  fields.tm_year = year - 1900;
  fields.tm_mon = month - 1;
  fields.tm_mday = day;
  fields.tm_hour = hour;
  fields.tm_min = minute;
  fields.tm_sec = second;
  fields.tm_wday = weekday;
  return fields;
}

TEST(KTTimeTest, AsctimeWritesTheFixedForm) {
  struct Case {
    struct tm fields;
    const char* text;
  } cases[] = {
      {Fields(2021, 3, 1, 9, 5, 7, 1), "Mon Mar  1 09:05:07 2021\n"},
      {Fields(1999, 12, 31, 23, 59, 60, 5), "Fri Dec 31 23:59:60 1999\n"},
      {Fields(2040, 7, 4, 0, 0, 0, 3), "Wed Jul  4 00:00:00 2040\n"},
  };
  for (const Case& c : cases) {
    char buffer[30];
    EXPECT_EQ(KT_asctime(&c.fields, buffer, sizeof buffer), buffer);
    EXPECT_STREQ(buffer, c.text);
  }
}

TEST(KTTimeTest, AsctimeNeverWritesPastTheBuffer) {
  struct tm fields = Fields(2021, 3, 1, 9, 5, 7, 1);
  char buffer[40];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(KT_asctime(&fields, buffer, 26), buffer);  // 25 characters and NUL fit
  EXPECT_EQ(std::strlen(buffer), 25u);
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(KT_asctime(&fields, buffer, 25), nullptr);
  EXPECT_EQ(KT_asctime(&fields, buffer, 0), nullptr);
  EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(sizeof buffer, 'x'));
}

TEST(KTTimeTest, AsctimeRejectsFieldsOutOfRange) {
  struct tm bad[] = {Fields(2021, 13, 1, 0, 0, 0, 1), Fields(2021, 0, 1, 0, 0, 0, 1),
                     Fields(2021, 1, 1, 0, 0, 0, 7),  Fields(2021, 1, 1, 0, 0, 0, -1),
                     Fields(2021, 1, 0, 0, 0, 0, 1),  Fields(2021, 1, 1, 24, 0, 0, 1),
                     Fields(2021, 1, 1, 0, 60, 0, 1)};
  char buffer[30] = "unchanged";
  for (const struct tm& fields : bad) {
    EXPECT_EQ(KT_asctime(&fields, buffer, sizeof buffer), nullptr);
    EXPECT_STREQ(buffer, "unchanged");
  }
  EXPECT_EQ(KT_asctime(nullptr, buffer, sizeof buffer), nullptr);
}

TEST(KTTimeTest, BreaksDownUtcAndLocalTimeBeyond2038) {
  ScopedTimeZone zone(kNewYork);
  const time_t time = 2225016000;  // 2040-07-04 12:00:00 UTC, 08:00 daylight time
  struct tm utc, local;
  ASSERT_EQ(KT_gmtime(&time, &utc), &utc);
  ASSERT_EQ(KT_localtime(&time, &local), &local);
  EXPECT_EQ(utc.tm_year + 1900, 2040);
  EXPECT_EQ(utc.tm_hour, 12);
  EXPECT_EQ(local.tm_hour, 8);
  EXPECT_EQ(KT_timegm(&utc), time);
  local.tm_isdst = -1;
  EXPECT_EQ(KT_mktime(&local), time);
  char text[30];
  EXPECT_STREQ(KT_ctime(&time, text, sizeof text), "Wed Jul  4 08:00:00 2040\n");
  EXPECT_EQ(KT_gmtime(nullptr, &utc), nullptr);
  EXPECT_EQ(KT_ctime(nullptr, text, sizeof text), nullptr);
  EXPECT_EQ(KT_timegm(nullptr), -1);
}

TEST(KTTimeTest, NullBufferGivesStorageOfTheCallingThread) {
  const time_t early = 0, late = 2225016000;
  struct tm* mine = KT_gmtime(&early, nullptr);
  ASSERT_NE(mine, nullptr);
  struct tm* theirs = nullptr;
  int their_year = 0;
  std::thread other([&] {
    theirs = KT_gmtime(&late, nullptr);
    their_year = theirs->tm_year + 1900;
  });
  other.join();
  EXPECT_NE(mine, theirs);
  EXPECT_EQ(mine->tm_year + 1900, 1970);  // not overwritten by the other thread
  EXPECT_EQ(their_year, 2040);
  EXPECT_NE(KT_localtime(&early, nullptr), nullptr);
}

}  // namespace
