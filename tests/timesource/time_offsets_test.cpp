#include "timesource/time_offsets.h"

#include <gtest/gtest.h>

#include <cstring>

namespace zelto {
namespace {

ImageRecord At(int32_t s, uint16_t ms, uint16_t us) {
  ImageRecord r{};
  r.Seconds = s;
  r.Milliseconds = ms;
  r.Microseconds = us;
  return r;
}

void ExpectTime(const ImageRecord& r, int32_t s, uint16_t ms, uint16_t us) {
  EXPECT_EQ(r.Seconds, s);
  EXPECT_EQ(r.Milliseconds, ms);
  EXPECT_EQ(r.Microseconds, us);
}

TEST(TimeSourceOffsetTest, MinusOneMicrosecondBorrowsASecond) {
  ImageRecord r = At(10, 0, 0);
  ApplyTimeSourceOffset(&r, -1);
  ExpectTime(r, 9, 999, 999);
}

TEST(TimeSourceOffsetTest, PlusOneMicrosecondCarriesExactlyOneSecond) {
  ImageRecord r = At(10, 999, 999);
  ApplyTimeSourceOffset(&r, 1);
  ExpectTime(r, 11, 0, 0);
}

TEST(TimeSourceOffsetTest, WholeSecondsAndFractionsBothWays) {
  ImageRecord r = At(100, 500, 250);
  ApplyTimeSourceOffset(&r, 2'600'000);  // +2.6 s
  ExpectTime(r, 103, 100, 250);
  ApplyTimeSourceOffset(&r, -3'100'251);
  ExpectTime(r, 99, 999, 999);
}

TEST(TimeSourceOffsetTest, MostNegativeOffsetDoesNotOverflow) {
  ImageRecord r = At(10'000, 0, 0);
  ApplyTimeSourceOffset(&r, INT32_MIN);  // -2147.483648 s
  ExpectTime(r, 7852, 516, 352);
}

// Bytes: frames, seconds, minutes, hours in BCD.
TEST(LtcOffsetTest, LastFrameOfTheDayWrapsToMidnight) {
  uint8_t tc[4] = {0x29, 0x59, 0x59, 0x23};
  ApplyLtcOffset(tc, 1, 30);
  EXPECT_EQ(tc[0], 0x00);
  EXPECT_EQ(tc[1], 0x00);
  EXPECT_EQ(tc[2], 0x00);
  EXPECT_EQ(tc[3], 0x00);
}

TEST(LtcOffsetTest, FlagBitsAreKept) {
  uint8_t tc[4] = {0x29 | 0xC0, 0x59 | 0x80, 0x59 | 0x80, 0x23 | 0x40};
  ApplyLtcOffset(tc, 1, 30);
  EXPECT_EQ(tc[0], 0xC0);
  EXPECT_EQ(tc[1], 0x80);
  EXPECT_EQ(tc[2], 0x80);
  EXPECT_EQ(tc[3], 0x40);
}

TEST(LtcOffsetTest, NegativeOffsetBorrowsBackOverMidnight) {
  uint8_t tc[4] = {0x00, 0x00, 0x00, 0x00};
  ApplyLtcOffset(tc, -1, 25);
  EXPECT_EQ(tc[0], 0x24);
  EXPECT_EQ(tc[1], 0x59);
  EXPECT_EQ(tc[2], 0x59);
  EXPECT_EQ(tc[3], 0x23);
}

TEST(LtcOffsetTest, OffsetIsTakenAsSignedEightBits) {
  uint8_t a[4] = {0x10, 0x30, 0x12, 0x01};
  uint8_t b[4] = {0x10, 0x30, 0x12, 0x01};
  ApplyLtcOffset(a, 0x101, 30);  // low byte 1
  ApplyLtcOffset(b, 1, 30);
  EXPECT_EQ(0, memcmp(a, b, 4));
  uint8_t c[4] = {0x10, 0x30, 0x12, 0x01};
  ApplyLtcOffset(c, 0xFF, 30);  // -1
  EXPECT_EQ(c[0], 0x09);
}

TEST(LtcOffsetTest, OffsetOfSeveralSecondsCarriesThroughMinutes) {
  uint8_t tc[4] = {0x20, 0x58, 0x09, 0x10};  // 10:09:58 frame 20
  ApplyLtcOffset(tc, 100, 30);               // +3 s 10 frames
  EXPECT_EQ(tc[0], 0x00);
  EXPECT_EQ(tc[1], 0x02);
  EXPECT_EQ(tc[2], 0x10);
  EXPECT_EQ(tc[3], 0x10);
}

TEST(LtcOffsetTest, ZeroFrameRateLeavesTheCodeAlone) {
  uint8_t tc[4] = {0x29, 0x59, 0x59, 0x23};
  ApplyLtcOffset(tc, 1, 0);  // would otherwise never leave the carry loop
  EXPECT_EQ(tc[0], 0x29);
  EXPECT_EQ(tc[3], 0x23);
}

}  // namespace
}  // namespace zelto
