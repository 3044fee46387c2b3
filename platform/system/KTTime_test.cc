#include "platform/system/KTTime.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

namespace {

TEST(KTTimeTest, AsctimeWritesTheFixedFormWithinTheBuffer) {
  struct tm fields = {};
  fields.tm_year = 121, fields.tm_mon = 2, fields.tm_mday = 1, fields.tm_wday = 1;
  fields.tm_hour = 9, fields.tm_min = 5, fields.tm_sec = 7;
  char buffer[32];
  EXPECT_EQ(KT_asctime(&fields, buffer, 26), buffer);  // 25 characters and NUL
  EXPECT_STREQ(buffer, "Mon Mar  1 09:05:07 2021\n");

  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(KT_asctime(&fields, buffer, 25), nullptr);
  EXPECT_EQ(KT_asctime(nullptr, buffer, sizeof buffer), nullptr);
  for (int tm::*field : {&tm::tm_mon, &tm::tm_wday, &tm::tm_hour}) {
    struct tm wrong = fields;
    wrong.*field = -1;  // out of range: no name or text to write
    EXPECT_EQ(KT_asctime(&wrong, buffer, sizeof buffer), nullptr);
  }
  EXPECT_EQ(buffer[0], 'x');
}

TEST(KTTimeTest, GmtimeBeyond2038WithStorageOfTheCallingThread) {
  const time_t late = 2225016000, zero = 0;  // 2040-07-04 12:00:00 UTC
  struct tm* mine = KT_gmtime(&late, nullptr);
  ASSERT_NE(mine, nullptr);
  struct tm* theirs = nullptr;
  std::thread([&] { theirs = KT_gmtime(&zero, nullptr); }).join();
  EXPECT_NE(theirs, mine);
  char text[30];
  EXPECT_STREQ(KT_asctime(mine, text, sizeof text), "Wed Jul  4 12:00:00 2040\n");
  EXPECT_EQ(KT_timegm(mine), late);
  EXPECT_EQ(KT_gmtime(nullptr, mine), nullptr);
}

}  // namespace
