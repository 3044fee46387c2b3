#include "tarnalert/alertclient/DbDatetime.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <tuple>

#include "platform/testing/TestUtil.h"

namespace {

// Runs in New York time, with its daylight-saving rules spelled out.
class DbDatetimeTest : public ::testing::Test {
 protected:
  tarnalert::test::ScopedTimeZone zone_{"EST5EDT,M3.2.0,M11.1.0"};
};

auto Fields(const tagTIMESTAMP_STRUCT& r) {
  return std::make_tuple(r.year, r.month, r.day, r.hour, r.minute, r.second, r.fraction);
}

TEST_F(DbDatetimeTest, ConvertsBothWaysInEitherZone) {
  struct Case {
    long time;
    bool utc;
    tagTIMESTAMP_STRUCT record;
    const char* text;  // empty: no time, so the record is all zero and converts to < 0
  } cases[] = {
      {1614607507, false, {2021, 3, 1, 9, 5, 7, 0}, "Mon Mar  1 09:05:07 2021"},  // standard
      {1614607507, true, {2021, 3, 1, 14, 5, 7, 0}, "Mon Mar  1 14:05:07 2021"},
      {1625144400, false, {2021, 7, 1, 9, 0, 0, 0}, "Thu Jul  1 09:00:00 2021"},  // daylight
      {2225016000, false, {2040, 7, 4, 8, 0, 0, 0}, "Wed Jul  4 08:00:00 2040"},  // > 32 bits
      {2225016000, true, {2040, 7, 4, 12, 0, 0, 0}, "Wed Jul  4 12:00:00 2040"},
      {500000000000, true, {17814, 5, 16, 0, 53, 20, 0}, "Mon May 16 00:53:20 17814"},
      {1000000000000, true, {}, ""},  // the year 33658 does not fit
      {0, false, {}, ""},
      {0, true, {}, ""},
  };
  for (const Case& c : cases) {
    tagTIMESTAMP_STRUCT record = {1, 1, 1, 1, 1, 1, 1};
    UlongTimeToDbDatetime(c.time, record, c.utc);
    const std::string label = std::to_string(c.time) + (c.utc ? " UTC" : " local");
    EXPECT_EQ(Fields(record), Fields(c.record)) << label;
    char text[30] = {};
    const long back = DbDatetimeToUlongTime(text, record, c.utc);
    EXPECT_EQ(std::max(back, -1L), *c.text ? c.time : -1) << label;
    EXPECT_STREQ(text, c.text) << label;
    EXPECT_EQ(DbDatetimeToUlongTime(nullptr, record, c.utc), back) << label;
  }
}

}  // namespace
