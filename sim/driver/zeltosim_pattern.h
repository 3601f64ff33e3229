// ZeltoSim's test pattern, header-only, shared by the simulated driver, the tests
// and the host tool.
//
// The source picture is eight full-intensity vertical colour bars (white, yellow,
// cyan, green, magenta, red, blue, black) with a moving orange block. Every frame
// carries its number in a frame code: the first kFrameCodePixels pixels of the
// first and of the last output line. Each code pixel holds three 4-bit nibbles, one
// per colour channel at nibble * 16 + 8, which survives 5-5-5, 5-6-5, 32-bit and
// 24-bit pixels; 12 nibbles carry the 32-bit frame number, a marker and a check.
// A frame whose first and last line decode to the same number was not torn.
//
// With the time code option the first four bytes of the first line hold a BCD time
// code (frames, seconds, minutes, hours) instead, which spoils the first line's
// frame code; the last line's code stays readable.
#ifndef ZELTO_SIM_DRIVER_ZELTOSIM_PATTERN_H_
#define ZELTO_SIM_DRIVER_ZELTOSIM_PATTERN_H_

#include <cstdint>

namespace zelto::sim {

// Memory layout of one pixel.
enum class PixelLayout {
  kRgb555 = 1,  // PixelFormat 1: little-endian 0RRRRRGGGGGBBBBB
  kRgb565 = 2,  // PixelFormat 2: little-endian RRRRRGGGGGGBBBBB
  kBgrx32 = 3,  // PixelFormat 3: bytes B, G, R, 0
  kBgr24 = 4,   // "RGB 24" after conversion: bytes B, G, R
};

inline constexpr int BytesPerPixel(PixelLayout layout) {
  switch (layout) {
    case PixelLayout::kRgb555:
    case PixelLayout::kRgb565: return 2;
    case PixelLayout::kBgrx32: return 4;
    case PixelLayout::kBgr24: return 3;
  }
  return 4;
}

struct Rgb {
  uint8_t r, g, b;
  friend constexpr bool operator==(const Rgb&, const Rgb&) = default;
};

inline void StorePixel(uint8_t* out, PixelLayout layout, Rgb c) {
  switch (layout) {
    case PixelLayout::kRgb555: {
      uint16_t v = static_cast<uint16_t>(((c.r >> 3) << 10) | ((c.g >> 3) << 5) | (c.b >> 3));
      out[0] = static_cast<uint8_t>(v);
      out[1] = static_cast<uint8_t>(v >> 8);
      return;
    }
    case PixelLayout::kRgb565: {
      uint16_t v = static_cast<uint16_t>(((c.r >> 3) << 11) | ((c.g >> 2) << 5) | (c.b >> 3));
      out[0] = static_cast<uint8_t>(v);
      out[1] = static_cast<uint8_t>(v >> 8);
      return;
    }
    case PixelLayout::kBgrx32:
      out[0] = c.b;
      out[1] = c.g;
      out[2] = c.r;
      out[3] = 0;
      return;
    case PixelLayout::kBgr24:
      out[0] = c.b;
      out[1] = c.g;
      out[2] = c.r;
      return;
  }
}

// Reads a pixel back, widening 5- and 6-bit channels to 8 bits.
inline Rgb LoadPixel(const uint8_t* in, PixelLayout layout) {
  auto widen5 = [](unsigned v) { return static_cast<uint8_t>((v << 3) | (v >> 2)); };
  auto widen6 = [](unsigned v) { return static_cast<uint8_t>((v << 2) | (v >> 4)); };
  switch (layout) {
    case PixelLayout::kRgb555: {
      unsigned v = in[0] | (in[1] << 8);
      return {widen5((v >> 10) & 31), widen5((v >> 5) & 31), widen5(v & 31)};
    }
    case PixelLayout::kRgb565: {
      unsigned v = in[0] | (in[1] << 8);
      return {widen5((v >> 11) & 31), widen6((v >> 5) & 63), widen5(v & 31)};
    }
    case PixelLayout::kBgrx32:
    case PixelLayout::kBgr24: return {in[2], in[1], in[0]};
  }
  return {0, 0, 0};
}

// --- The picture -------------------------------------------------------------

inline constexpr int kBarCount = 8;
inline constexpr Rgb kBarColours[kBarCount] = {
    {255, 255, 255}, {255, 255, 0}, {0, 255, 255}, {0, 255, 0},
    {255, 0, 255},   {255, 0, 0},   {0, 0, 255},   {0, 0, 0},
};
inline constexpr Rgb kBlockColour = {255, 128, 0};

// Colour of the bar under source column x of a source `width` wide.
inline Rgb BarColour(uint32_t x, uint32_t width) {
  uint32_t bar = width == 0 ? 0 : static_cast<uint32_t>(uint64_t{x} * kBarCount / width);
  return kBarColours[bar < kBarCount ? bar : kBarCount - 1];
}

// The moving block of frame `frame` in a `width` x `height` source: a square an
// eighth of the height high, moving 4 pixels right and 2 lines down per frame and
// wrapping around.
struct BlockRect {
  uint32_t x, y, size;
};
inline BlockRect MovingBlock(uint32_t frame, uint32_t width, uint32_t height) {
  uint32_t size = height / 8 > 0 ? height / 8 : 1;
  if (size > width) size = width;
  uint32_t span_x = width - size + 1;
  uint32_t span_y = height >= size ? height - size + 1 : 1;
  return {static_cast<uint32_t>((uint64_t{frame} * 4) % span_x),
          static_cast<uint32_t>((uint64_t{frame} * 2) % span_y), size};
}

// The source colour at (x, y) of frame `frame`, before any frame or time code.
inline Rgb PatternColour(uint32_t x, uint32_t y, uint32_t frame, uint32_t width, uint32_t height) {
  BlockRect block = MovingBlock(frame, width, height);
  if (x >= block.x && x < block.x + block.size && y >= block.y && y < block.y + block.size) {
    return kBlockColour;
  }
  return BarColour(x, width);
}

// --- The analogue front end -----------------------------------------------------
//
// What the card's adjustments do to the picture. Each colour channel's level L
// (0..255) of the source goes through, in this order:
//   phase      the sampling point moves off the pixel's centre by d = |phase - 16|
//              32nds of a pixel, towards the left neighbour below 16 and the right
//              one above: L = (L_here * (32 - d) + L_neighbour * d + 16) / 32, so
//              edges soften and shift; 16 samples the centre (L unchanged);
//   contrast, brightness and black level
//              L = clamp(L * contrast / 128 + brightness - (black_level - 64), 0, 255)
//              (integer division), so contrast 128, brightness 0 and black level 64
//              leave L unchanged.
// What lies outside the source (a capture start moved into the blanking) is black
// whatever the adjustments. The frame and time codes are written afterwards and
// carry no adjustment.

struct FrontEnd {
  int32_t phase = 16;
  int32_t brightness = 0;
  int32_t contrast = 128;
  int32_t black_level = 64;
};

inline constexpr int32_t kNeutralPhase = 16;

inline uint8_t AdjustLevel(uint8_t level, const FrontEnd& front_end) {
  int64_t v = int64_t{level} * front_end.contrast / 128 + front_end.brightness -
              (front_end.black_level - 64);
  return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

inline Rgb AdjustColour(Rgb c, const FrontEnd& front_end) {
  return {AdjustLevel(c.r, front_end), AdjustLevel(c.g, front_end), AdjustLevel(c.b, front_end)};
}

// `neighbour` is the pixel on the side the phase leans to (left below 16).
inline Rgb PhaseSample(Rgb here, Rgb neighbour, int32_t phase) {
  const int32_t d = phase < kNeutralPhase ? kNeutralPhase - phase : phase - kNeutralPhase;
  if (d == 0) return here;
  auto mix = [d](uint8_t a, uint8_t b) {
    return static_cast<uint8_t>((int32_t{a} * (32 - d) + int32_t{b} * d + 16) / 32);
  };
  return {mix(here.r, neighbour.r), mix(here.g, neighbour.g), mix(here.b, neighbour.b)};
}

// --- The frame code ----------------------------------------------------------

inline constexpr int kFrameCodePixels = 4;

namespace detail {
inline constexpr uint32_t kMarker = 0xA5;
inline uint8_t NibbleToChannel(uint32_t nibble) { return static_cast<uint8_t>(nibble * 16 + 8); }
inline void FrameCodeNibbles(uint32_t frame, uint8_t (&nibbles)[12]) {
  uint32_t x = 0, sum = 0;
  for (int i = 0; i < 8; ++i) {
    nibbles[i] = (frame >> (4 * i)) & 15;
    x ^= nibbles[i];
    sum += nibbles[i];
  }
  nibbles[8] = kMarker & 15;
  nibbles[9] = kMarker >> 4;
  nibbles[10] = static_cast<uint8_t>(x);
  nibbles[11] = static_cast<uint8_t>(sum & 15);
}
}  // namespace detail

// Writes the code of `frame` into the first kFrameCodePixels pixels of `line`.
inline void EncodeFrameNumber(uint8_t* line, PixelLayout layout, uint32_t frame) {
  uint8_t n[12];
  detail::FrameCodeNibbles(frame, n);
  const int bpp = BytesPerPixel(layout);
  for (int p = 0; p < kFrameCodePixels; ++p) {
    Rgb c = {detail::NibbleToChannel(n[3 * p]), detail::NibbleToChannel(n[3 * p + 1]),
             detail::NibbleToChannel(n[3 * p + 2])};
    StorePixel(line + p * bpp, layout, c);
  }
}

// Reads the frame code at the start of `line`; false when the pixels hold no valid
// code (not a ZeltoSim frame, overwritten by a time code, or damaged).
inline bool DecodeFrameNumber(const uint8_t* line, PixelLayout layout, uint32_t* frame) {
  const int bpp = BytesPerPixel(layout);
  uint8_t n[12];
  for (int p = 0; p < kFrameCodePixels; ++p) {
    Rgb c = LoadPixel(line + p * bpp, layout);
    n[3 * p] = c.r >> 4;
    n[3 * p + 1] = c.g >> 4;
    n[3 * p + 2] = c.b >> 4;
  }
  uint32_t value = 0;
  for (int i = 0; i < 8; ++i) value |= uint32_t{n[i]} << (4 * i);
  uint8_t expected[12];
  detail::FrameCodeNibbles(value, expected);
  for (int i = 8; i < 12; ++i) {
    if (n[i] != expected[i]) return false;
  }
  *frame = value;
  return true;
}

// --- The time code -----------------------------------------------------------

struct TimeCode {
  uint32_t hours, minutes, seconds, frames;
};

// The time code of the frame `frame_count` frames after `start`, at `fps` frames
// per second, wrapping at 24 hours.
inline TimeCode AdvanceTimeCode(TimeCode start, uint64_t frame_count, uint32_t fps) {
  if (fps == 0) fps = 30;
  uint64_t total = ((uint64_t{start.hours} * 60 + start.minutes) * 60 + start.seconds) * fps +
                   start.frames + frame_count;
  TimeCode t;
  t.frames = static_cast<uint32_t>(total % fps);
  uint64_t secs = total / fps;
  t.seconds = static_cast<uint32_t>(secs % 60);
  t.minutes = static_cast<uint32_t>((secs / 60) % 60);
  t.hours = static_cast<uint32_t>((secs / 3600) % 24);
  return t;
}

inline uint8_t ToBcd(uint32_t v) { return static_cast<uint8_t>(((v / 10) << 4) | (v % 10)); }
inline uint32_t FromBcd(uint8_t b) { return (b >> 4) * 10 + (b & 15); }

// Bytes 0..3: frames, seconds, minutes, hours, each two BCD digits.
inline void EncodeTimeCode(uint8_t* data, TimeCode t) {
  data[0] = ToBcd(t.frames);
  data[1] = ToBcd(t.seconds);
  data[2] = ToBcd(t.minutes);
  data[3] = ToBcd(t.hours);
}

inline TimeCode DecodeTimeCode(const uint8_t* data) {
  return {FromBcd(data[3]), FromBcd(data[2]), FromBcd(data[1]), FromBcd(data[0])};
}

}  // namespace zelto::sim

#endif  // ZELTO_SIM_DRIVER_ZELTOSIM_PATTERN_H_
