#include "ctl/Wire.h"

#include <gtest/gtest.h>

namespace ctl {
namespace {

std::tm SampleTime() {
  std::tm time{};
  time.tm_year = 2026 - 1900;
  time.tm_mon = 11;
  time.tm_mday = 6;
  time.tm_hour = 22;
  time.tm_min = 30;
  time.tm_sec = 1;
  return time;
}

TEST(CallTest, TwoDigitsThenCallIsACall) {
  EXPECT_TRUE(IsCall("07Call"));
  EXPECT_TRUE(IsCall("30Call"));
}

TEST(CallTest, AnythingElseIsNot) {
  for (const char* text :
       {"Call", "7Call", "007Call", "07call", "07Call\r\n", " 07Call", "AACall", "07Cal", ""}) {
    EXPECT_FALSE(IsCall(text)) << text;
  }
}

TEST(ReceiptTest, CallLineHasTimeNumberAndSender) {
  EXPECT_EQ(ReceiptLine(SampleTime(), "07Call", "192.168.0.12:50123"),
            "2026-12-06 22:30:01  07  192.168.0.12:50123");
}

TEST(ReceiptTest, OtherDatagramsAreMarkedAsNotACall) {
  EXPECT_EQ(ReceiptLine(SampleTime(), "hello\r\n", "10.0.0.5:4000"),
            "2026-12-06 22:30:01  --  10.0.0.5:4000  not a call: \"hello\\r\\n\"");
}

}  // namespace
}  // namespace ctl
