// Time offsets applied to a committed frame: a microsecond offset on the frame
// time, and a frame offset on the LTC time code carried in the first four bytes
// of the image. Pure functions of their inputs.
#ifndef ZELTO_TIMESOURCE_TIME_OFFSETS_H_
#define ZELTO_TIMESOURCE_TIME_OFFSETS_H_

#include <cstdint>

#include "zeltorgb/image_record.h"

namespace zelto {

// Adds `offset_us` (may be negative) to Seconds/Milliseconds/Microseconds,
// carrying and borrowing across the second.
void ApplyTimeSourceOffset(ImageRecord* record, int32_t offset_us);

// The time code: byte 0 frames, 1 seconds, 2 minutes, 3 hours, each as two BCD
// digits (units in bits 0-3, tens from bit 4). Frames and hours keep flags in bits
// 6-7, seconds and minutes in bit 7 (their tens reach 5); flags are kept.
// `offset_frames` is taken as a signed 8-bit value; the result wraps around
// midnight. A `frame_rate` below 1 leaves the time code unchanged (there is no
// valid frame count to carry into).
void ApplyLtcOffset(uint8_t time_code[4], int32_t offset_frames, int32_t frame_rate);

}  // namespace zelto

#endif  // ZELTO_TIMESOURCE_TIME_OFFSETS_H_
