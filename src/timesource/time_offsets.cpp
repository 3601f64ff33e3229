#include "timesource/time_offsets.h"

namespace zelto {

void ApplyTimeSourceOffset(ImageRecord* record, int32_t offset_us) {
  int64_t t = int64_t{record->Milliseconds} * 1000 + record->Microseconds;
  int64_t s = record->Seconds;
  // 64-bit so that INT32_MIN negates safely.
  const int64_t o = offset_us;
  if (o > 0) {
    s += o / 1000000;
    t += o % 1000000;
  } else if (o < 0) {
    s -= (-o) / 1000000;
    t -= (-o) % 1000000;
  }
  while (t > 999999) {
    t -= 1000000;
    s += 1;
  }
  while (t < 0) {
    t += 1000000;
    s -= 1;
  }
  record->Seconds = static_cast<int32_t>(s);
  record->Milliseconds = static_cast<uint16_t>(t / 1000);
  record->Microseconds = static_cast<uint16_t>(t % 1000);
}

namespace {

// Bits of each time-code byte that carry the value: frames and hours have two tens
// bits (bits 6-7 are flags), seconds and minutes three (bit 7 is a flag), as in
// SMPTE LTC. Two tens bits alone could not hold 40..59 seconds or minutes.
constexpr uint8_t kValueMask[4] = {0x3F, 0x7F, 0x7F, 0x3F};

int DecodeBcd(uint8_t b, uint8_t mask) {
  const int v = b & mask;
  return (v >> 4) * 10 + (v & 0x0F);
}

uint8_t EncodeBcd(uint8_t original, int value, uint8_t mask) {
  const int bcd = ((value / 10) << 4) | (value % 10);
  return static_cast<uint8_t>((original & ~mask) | (bcd & mask));
}

}  // namespace

void ApplyLtcOffset(uint8_t time_code[4], int32_t offset_frames, int32_t frame_rate) {
  if (frame_rate < 1) return;
  int frames = DecodeBcd(time_code[0], kValueMask[0]);
  int seconds = DecodeBcd(time_code[1], kValueMask[1]);
  int minutes = DecodeBcd(time_code[2], kValueMask[2]);
  int hours = DecodeBcd(time_code[3], kValueMask[3]);
  const int d = static_cast<int8_t>(offset_frames);

  frames += d;
  while (frames >= frame_rate) {
    frames -= frame_rate;
    if (++seconds > 59) {
      seconds = 0;
      if (++minutes > 59) {
        minutes = 0;
        if (++hours > 23) hours = 0;
      }
    }
  }
  while (frames < 0) {
    frames += frame_rate;
    if (--seconds < 0) {
      seconds = 59;
      if (--minutes < 0) {
        minutes = 59;
        if (--hours < 0) hours = 23;
      }
    }
  }
  time_code[0] = EncodeBcd(time_code[0], frames, kValueMask[0]);
  time_code[1] = EncodeBcd(time_code[1], seconds, kValueMask[1]);
  time_code[2] = EncodeBcd(time_code[2], minutes, kValueMask[2]);
  time_code[3] = EncodeBcd(time_code[3], hours, kValueMask[3]);
}

}  // namespace zelto
