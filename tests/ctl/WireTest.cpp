#include "ctl/Wire.h"

#include <gtest/gtest.h>

#include <iomanip>
#include <sstream>

namespace ctl {
namespace {

TEST(CallTest, IsTwoDigitsThenCallAndNothingElse) {
  for (const std::string text : {"07Call", "30Call"}) EXPECT_TRUE(IsCall(text)) << text;
  for (const std::string text :
       {"Call", "7Call", "007Call", "07call", "07Call\r\n", " 07Call", "AACall", "07Cal", ""}) {
    EXPECT_FALSE(IsCall(text)) << ::testing::PrintToString(text);
  }
}

TEST(ReceiptTest, HasTimeNumberAndSenderOrMarksTheTextAsNotACall) {
  std::tm time{};
  std::istringstream("2026-12-06 22:30:01") >> std::get_time(&time, "%Y-%m-%d %H:%M:%S");
  EXPECT_EQ(ReceiptLine(time, "07Call", "192.168.0.12:50123"),
            "2026-12-06 22:30:01  07  192.168.0.12:50123");
  EXPECT_EQ(ReceiptLine(time, "hello\r\n", "10.0.0.5:4000"),
            "2026-12-06 22:30:01  --  10.0.0.5:4000  not a call: \"hello\\r\\n\"");
}

}  // namespace
}  // namespace ctl
