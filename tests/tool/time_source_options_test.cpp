// zeltograb's time source options and the time code it decodes for frames.csv.
#include <gtest/gtest.h>

#include "frame_stats.h"
#include "options.h"
#include "time_source_options.h"

namespace zelto::grab {
namespace {

ParseResult Parse(std::vector<std::string> args) { return ParseCommandLine(args, true, true); }

TEST(TimeSourceOptionsTest, GrabAndTimesourceTakeTheFourValues) {
  for (const char* command : {"grab", "timesource"}) {
    ParseResult r = Parse({command, "--time-source", "System", "--time-offset", "-1",
                           "--ltc-offset", "-128", "--ltc-mode", "2"});
    ASSERT_TRUE(r.ok) << command << ": " << r.error;
    EXPECT_EQ(r.options.time_source.dll, "System");
    EXPECT_EQ(r.options.time_source.offset_us, -1);
    EXPECT_EQ(r.options.time_source.ltc_offset, -128);
    EXPECT_EQ(r.options.time_source.ltc_mode, 2u);
  }
  ParseResult r = Parse({"timesource", "--time-offset", "1000000"});
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.options.command, Command::kTimeSource);
  EXPECT_FALSE(r.options.time_source.dll);
  EXPECT_EQ(r.options.time_source.offset_us, 1000000);
}

TEST(TimeSourceOptionsTest, RejectsBadValuesAndTheInfoCommand) {
  EXPECT_FALSE(Parse({"grab", "--ltc-offset", "128"}).ok);
  EXPECT_FALSE(Parse({"grab", "--ltc-mode", "3"}).ok);
  EXPECT_FALSE(Parse({"grab", "--time-offset", "2147483648"}).ok);
  EXPECT_FALSE(Parse({"grab", "--time-offset", "+5"}).ok);
  EXPECT_FALSE(Parse({"grab", "--time-source", ""}).ok);
  EXPECT_FALSE(Parse({"grab", "--time-source"}).ok);
  EXPECT_FALSE(Parse({"info", "--time-source", "System"}).ok);
  EXPECT_FALSE(Parse({"timesource", "--frames", "3"}).ok);
}

TEST(TimeSourceOptionsTest, DecodesValidBcdAndIgnoresTheFlagBits) {
  const uint8_t code[4] = {0x29 | 0xC0, 0x59 | 0x80, 0x59, 0x23 | 0x40};  // 59: three tens bits
  EXPECT_EQ(DecodeTimeCode(code, 30), "23:59:59:29");
  EXPECT_FALSE(DecodeTimeCode(code, 24));  // frame 29 at 24 fps
  const uint8_t bad_digit[4] = {0x0A, 0, 0, 0};
  EXPECT_FALSE(DecodeTimeCode(bad_digit, 30));
  const uint8_t bad_hour[4] = {0, 0, 0, 0x24};
  EXPECT_FALSE(DecodeTimeCode(bad_hour, 30));
  const uint8_t sixty_seconds[4] = {0, 0x60, 0, 0};
  EXPECT_FALSE(DecodeTimeCode(sixty_seconds, 30));
  const uint8_t flagged_hour[4] = {0, 0, 0, 0x40 | 0x12};  // bit 6 is a flag of the hours
  EXPECT_EQ(DecodeTimeCode(flagged_hour, 30), "12:00:00:00");
}

TEST(TimeSourceOptionsTest, CsvRowCarriesTheTimeCode) {
  FrameSample sample;
  sample.seconds = 1700000000;
  sample.frame_number = 41;
  sample.time_code = "12:34:56:07";
  EXPECT_EQ(CsvRow(0, sample, nullptr), "0,1700000000,0,0,,41,12:34:56:07,\n");
}

}  // namespace
}  // namespace zelto::grab
