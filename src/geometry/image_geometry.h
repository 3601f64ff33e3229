// The card's geometry state: the delivered image, the source mode's active
// size, the scaled size and geometry mode, the region as last applied, and what
// start-up restored for the capture thread to apply. All 0 or false after
// construction except SourceSizeKept.
//
// Threads: the host's thread and the capture thread both read and write these
// (start-up, the geometry calls, the mode-change path); each field is atomic on
// its own. The card changes the fields that say how a frame is laid out (image
// size, driver output and window, PendingGeometry) only under its channel's
// DriverLock, together with the driver call that makes them true, and the frame
// path reads them together under it (FrameLayout), so a frame is never copied
// with a half-changed geometry.
#ifndef ZELTO_GEOMETRY_IMAGE_GEOMETRY_H_
#define ZELTO_GEOMETRY_IMAGE_GEOMETRY_H_

#include <atomic>
#include <cstdint>

namespace zelto {

// Which geometry call came last.
enum class PendingGeometry : int32_t { kNone = 0, kRegion = 1, kScaling = 2 };

struct ImageGeometry {
  // The delivered image; with the bits per pixel it gives ImageBytes.
  std::atomic<int32_t> ImageSizeX{0};
  std::atomic<int32_t> ImageSizeY{0};
  std::atomic<int32_t> ImageOffsetX{0};
  std::atomic<int32_t> ImageOffsetY{0};

  // Active size of the source mode (without a signal: the startup resolution).
  std::atomic<int32_t> SourceWidth{0};
  std::atomic<int32_t> SourceHeight{0};

  // Scaled output size and the mode: 0 region mode, other scaling mode.
  std::atomic<int32_t> ScalingX{0};
  std::atomic<int32_t> ScalingY{0};
  std::atomic<int32_t> ScalingMode{0};

  // The region as last applied.
  std::atomic<int32_t> RoiWidth{0};
  std::atomic<int32_t> RoiHeight{0};
  std::atomic<int32_t> RoiOffsetX{0};
  std::atomic<int32_t> RoiOffsetY{0};

  // A region read back at start-up and not yet applied to the card.
  std::atomic<bool> RoiRestored{false};
  // The last detected mode had the active size SourceWidth x SourceHeight.
  std::atomic<bool> SourceSizeKept{true};
  std::atomic<zelto::PendingGeometry> PendingGeometry{zelto::PendingGeometry::kNone};

  // What the driver delivers: OutputWidth x OutputHeight pixels a frame (its
  // scaled size, as the card last set it or knows it; 0 while unknown), and where
  // the image starts in that (non-zero only for a region narrower or lower than
  // the smallest output).
  std::atomic<int32_t> OutputWidth{0};
  std::atomic<int32_t> OutputHeight{0};
  std::atomic<int32_t> WindowX{0};
  std::atomic<int32_t> WindowY{0};
  // Counts changes of the frame layout or of what the driver crops (under
  // DriverLock). A frame whose fill overlapped a change may show either layout,
  // so the frame path drops it.
  std::atomic<uint32_t> LayoutGeneration{0};

  // Stored positions, applied at the next mode change.
  std::atomic<bool> HorPositionPending{false};
  std::atomic<int32_t> PendingHorPosition{0};
  std::atomic<bool> VerPositionPending{false};
  std::atomic<int32_t> PendingVerPosition{0};
};

// How one frame goes from the driver's output into the image, read at once.
struct FrameLayout {
  int32_t image_width;
  int32_t image_height;
  int32_t output_width;
  int32_t output_height;
  int32_t window_x;
  int32_t window_y;
  uint32_t generation;  // ImageGeometry::LayoutGeneration

  // The output is the image, line for line: the frame is copied whole.
  bool OutputIsImage() const {
    return output_width == image_width && output_height == image_height && window_x == 0 &&
           window_y == 0;
  }
};

}  // namespace zelto

#endif  // ZELTO_GEOMETRY_IMAGE_GEOMETRY_H_
