// Moving one frame from the driver's capture buffer into a host image: whole,
// or cropped and padded, optionally converting 32-bit pixels to "RGB 24". Every
// byte read lies inside the source buffer and every byte written inside the
// target's capacity, whatever the geometry says. Frames that UseStreamingStores
// picks (by the bytes written) go out with streaming stores, fenced before the
// function returns, so the caller may publish the frame at once.
#ifndef ZELTO_ACQUISITION_FRAME_COPY_H_
#define ZELTO_ACQUISITION_FRAME_COPY_H_

#include <cstdint>

namespace zelto {

class CPxlImageConverter;

struct FrameSource {
  const uint8_t* data;  // may be null: nothing to read
  int64_t size;         // bytes the buffer holds
  int64_t width;        // pixels per line, lines packed
  int64_t height;
};

struct FrameTarget {
  uint8_t* data;        // may be null: nothing to write
  int64_t capacity;     // bytes the buffer holds
  int64_t width;        // ImageSizeX
  int64_t height;       // ImageSizeY
  int64_t image_bytes;  // ImageBytes
};

// Copies the first image_bytes bytes, or with `convert` turns width x height
// 32-bit pixels into packed 3-byte ones. False when the converter refused.
bool CopyWholeFrame(const FrameSource& source, const FrameTarget& target, bool convert,
                    CPxlImageConverter& converter);

// Copies the source's window starting at column `left`, line `top` (at most the
// target's size, and what the source has right of and below that corner) line by
// line into the target's top-left corner, converting each line with `convert`,
// and zeroes the rest of the image's bytes. Source lines are source.width pixels
// apart, target lines target.width. `bytes_per_pixel` is the source's and the
// target's when not converting.
void CropFrame(const FrameSource& source, const FrameTarget& target, int64_t bytes_per_pixel,
               bool convert, int64_t left = 0, int64_t top = 0);

}  // namespace zelto

#endif  // ZELTO_ACQUISITION_FRAME_COPY_H_
