#include "driver/error_names.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>

#include "driver/capture_driver.h"

namespace zelto {
namespace {

// The 45 named codes, written out independently of the table in the source.
const std::pair<uint32_t, const char*> kNamed[] = {
    {0x00000, "RGBERROR_NO_ERROR"},
    {0x10000, "RGBERROR_DRIVER_NOT_FOUND"},
    {0x10001, "RGBERROR_UNABLE_TO_LOAD_DRIVER"},
    {0x10002, "RGBERROR_HARDWARE_NOT_FOUND"},
    {0x10003, "RGBERROR_INVALID_INDEX"},
    {0x10004, "RGBERROR_DEVICE_IN_USE"},
    {0x10005, "RGBERROR_INVALID_HRGBCAPTURE"},
    {0x10006, "RGBERROR_INVALID_POINTER"},
    {0x10007, "RGBERROR_INVALID_SIZE"},
    {0x10008, "RGBERROR_INVALID_FLAGS"},
    {0x10009, "RGBERROR_INVALID_DEVICE"},
    {0x1000A, "RGBERROR_INVALID_INPUT"},
    {0x1000D, "RGBERROR_INVALID_FORMAT"},
    {0x1000E, "RGBERROR_INVALID_VDIF_CLOCKS"},
    {0x10011, "RGBERROR_INVALID_PHASE"},
    {0x10013, "RGBERROR_INVALID_BRIGHTNESS"},
    {0x10014, "RGBERROR_INVALID_CONTRAST"},
    {0x10015, "RGBERROR_INVALID_BLACKLEVEL"},
    {0x10016, "RGBERROR_INVALID_SAMPLERATE"},
    {0x10017, "RGBERROR_INVALID_PIXELFORMAT"},
    {0x10018, "RGBERROR_INVALID_HWND"},
    {0x10019, "RGBERROR_INSUFFICIENT_RESOURCES"},
    {0x1001A, "RGBERROR_INSUFFICIENT_BUFFERS"},
    {0x1001B, "RGBERROR_INSUFFICIENT_MEMORY"},
    {0x1001C, "RGBERROR_SIGNAL_NOT_DETECTED"},
    {0x1001D, "RGBERROR_INVALID_SYNCEDGE"},
    {0x1001E, "RGBERROR_OLD_FIRMWARE"},
    {0x1001F, "RGBERROR_HWND_AND_FRAMECAPTUREDFN"},
    {0x10020, "RGBERROR_HSCALED_OUT_OF_RANGE"},
    {0x10021, "RGBERROR_VSCALED_OUT_OF_RANGE"},
    {0x10022, "RGBERROR_SCALING_NOT_SUPPORTED"},
    {0x10023, "RGBERROR_BUFFER_TOO_SMALL"},
    {0x10024, "RGBERROR_HSCALE_NOT_WORD_DIVISIBLE"},
    {0x10025, "RGBERROR_HSCALE_NOT_DWORD_DIVISIBLE"},
    {0x10026, "RGBERROR_HORADDRTIME_NOT_WORD_DIVISIBLE"},
    {0x10027, "RGBERROR_HORADDRTIME_NOT_DWORD_DIVISIBLE"},
    {0x10028, "RGBERROR_VERSION_MISMATCH"},
    {0x10029, "RGBERROR_ACC_REALLOCATE_BUFFERS"},
    {0x1002A, "RGBERROR_BUFFER_NOT_VALID"},
    {0x1002B, "RGBERROR_BUFFERS_STILL_ALLOCATED"},
    {0x1002C, "RGBERROR_NO_NOTIFICATION_SET"},
    {0x1002D, "RGBERROR_CAPTURE_DISABLED"},
    {0x1002E, "RGBERROR_INVALID_PIXELFORMAT"},
    {0x1002F, "RGBERROR_ILLEGAL_CALL"},
    {0x10030, "RGBERROR_CAPTURE_OUTSTANDING"},
};

TEST(DriverErrorNameTest, EveryNamedCode) {
  ASSERT_EQ(std::size(kNamed), 45u);
  for (const auto& [code, name] : kNamed) {
    EXPECT_STREQ(DriverErrorName(code), name) << std::hex << code;
  }
}

TEST(DriverErrorNameTest, UnassignedCodesInsideTheTableAreUnknown) {
  for (uint32_t code : {0x1000Bu, 0x1000Cu, 0x1000Fu, 0x10010u, 0x10012u}) {
    EXPECT_STREQ(DriverErrorName(code), "RGBERROR_UNKNOWN_ERROR") << std::hex << code;
  }
}

// Guards against an off-by-one at either end of the 48-entry table.
TEST(DriverErrorNameTest, CodesAroundTheTableAreUnknown) {
  EXPECT_STREQ(DriverErrorName(0x10031), "RGBERROR_UNKNOWN_ERROR");
  EXPECT_STREQ(DriverErrorName(0xFFFF), "RGBERROR_UNKNOWN_ERROR");
  EXPECT_STREQ(DriverErrorName(1), "RGBERROR_UNKNOWN_ERROR");
  EXPECT_STREQ(DriverErrorName(kStatusFrameCaptured), "RGBERROR_UNKNOWN_ERROR");
  EXPECT_STREQ(DriverErrorName(static_cast<uint32_t>(-1)), "RGBERROR_UNKNOWN_ERROR");
  EXPECT_STREQ(DriverErrorName(static_cast<uint32_t>(-0x10001)), "RGBERROR_UNKNOWN_ERROR");
  EXPECT_STREQ(DriverErrorName(0x80010001), "RGBERROR_UNKNOWN_ERROR");
}

// The two codes that share a name and the contract constants agree with the table.
TEST(DriverErrorNameTest, ContractConstantsCarryTheirNames) {
  EXPECT_STREQ(DriverErrorName(kRgbErrorInvalidPixelFormat2), "RGBERROR_INVALID_PIXELFORMAT");
  EXPECT_STREQ(DriverErrorName(kRgbErrorSignalNotDetected), "RGBERROR_SIGNAL_NOT_DETECTED");
  EXPECT_STREQ(DriverErrorName(kRgbErrorBufferTooSmall), "RGBERROR_BUFFER_TOO_SMALL");
  EXPECT_STREQ(DriverErrorName(kRgbErrorCaptureOutstanding), "RGBERROR_CAPTURE_OUTSTANDING");
}

}  // namespace
}  // namespace zelto
