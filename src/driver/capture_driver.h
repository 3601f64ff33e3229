// The contract with the capture card's driver library: the records exchanged, the
// query selectors, flag masks and status codes, and one function-pointer type per
// entry point.
//
// The records are little-endian and contain no pointers, so they have the same
// layout on every target; the static assertions below hold on x86-64 and i686.
// This header has no dependency on the rest of the core: the simulated driver
// includes it too.
#ifndef ZELTO_DRIVER_CAPTURE_DRIVER_H_
#define ZELTO_DRIVER_CAPTURE_DRIVER_H_

#include <cstddef>
#include <cstdint>

// Calling convention of every driver entry point.
#if defined(_WIN32) && !defined(_WIN64)
#define ZELTO_DRIVER_CALL __stdcall
#else
#define ZELTO_DRIVER_CALL
#endif

// The 21 entry points in the order in which they are resolved.
#define ZELTO_DRIVER_ENTRY_POINTS(X)  \
  X(RGBCaptureInitialise)             \
  X(RGBCaptureOpen)                   \
  X(RGBCaptureClose)                  \
  X(RGBCaptureEnable)                 \
  X(RGBCaptureGetCapabilities)        \
  X(RGBCaptureGetParameters)          \
  X(RGBCaptureSetParameters)          \
  X(RGBCaptureAllocateBuffer)         \
  X(RGBCaptureFreeBuffer)             \
  X(RGBCaptureFrameBufferReady)       \
  X(RGBCaptureGetVersion)             \
  X(AccFreeBuffer)                    \
  X(AccAllocateBuffer)                \
  X(AccPerformDraw)                   \
  X(RGBCaptureFillBuffer)             \
  X(RGBCaptureGetVDIFFromRegistry)    \
  X(RGBCaptureWriteVDIFToRegistry)    \
  X(RGBCaptureDetectVideoMode)        \
  X(RGBCaptureDeleteUserVDIF)         \
  X(RGBCaptureSetADCColourCorrection) \
  X(RGBCaptureGetADCColourCorrection)

namespace zelto {

// Opaque handle of an opened input channel; 0 means none.
using HRGBCAPTURE = uint32_t;

// Every entry point returns one of these: 0 success, above 0x10000 an error.
using DriverResult = uint32_t;

struct VideoTiming {
  uint32_t Reserved0;
  uint32_t VerFrequency;  // thousandths of a hertz
  uint32_t PixelClock;    // 0 = no pixel clock
  uint16_t Flags;         // kTimingNoSignal, kTimingOutOfRange, kTimingUnrecognisable, else usable
  uint16_t Reserved14;
  uint32_t HorAddrTime;  // active pixels per line
  uint32_t HorRightBorder;
  uint32_t HorFrontPorch;
  uint32_t HorSyncTime;
  uint32_t HorBackPorch;
  uint32_t HorLeftBorder;
  uint32_t VerAddrTime;  // active lines
  uint32_t VerBottomBorder;
  uint32_t VerFrontPorch;
  uint32_t VerSyncTime;
  uint32_t VerBackPorch;
  uint32_t VerTopBorder;
  char Description[128];  // zero-terminated name of the mode
};

struct CaptureParams {
  uint32_t Size;   // kCaptureParamsSize before every call
  uint32_t Flags;  // mask of the covered fields
  uint32_t Reserved8;
  uint32_t Reserved12;
  VideoTiming Timing;
  int32_t Phase;
  int32_t Brightness;
  int32_t Contrast;
  int32_t BlackLevel;
  int32_t SampleRate;  // source frames left out between two captured ones
  uint32_t PixelFormat;
  uint32_t SyncEdge;  // read only; 1 = horizontal sync after the active line
  uint32_t Reserved236;
  int32_t HorPosition;
  int32_t VerPosition;
  uint32_t Reserved248;
  int32_t ScaledWidth;
  int32_t ScaledHeight;
  uint32_t Reserved260;
  uint32_t Reserved264;
  uint32_t OutputMode;
};

struct CaptureCaps {
  uint32_t Size;  // kCaptureCapsSize
  uint32_t Reserved[4];
};

inline constexpr uint32_t kCaptureParamsSize = 272;
inline constexpr uint32_t kVideoTimingSize = 192;
inline constexpr uint32_t kCaptureCapsSize = 20;

static_assert(sizeof(VideoTiming) == kVideoTimingSize);
static_assert(offsetof(VideoTiming, VerFrequency) == 4);
static_assert(offsetof(VideoTiming, PixelClock) == 8);
static_assert(offsetof(VideoTiming, Flags) == 12);
static_assert(offsetof(VideoTiming, HorAddrTime) == 16);
static_assert(offsetof(VideoTiming, HorRightBorder) == 20);
static_assert(offsetof(VideoTiming, HorFrontPorch) == 24);
static_assert(offsetof(VideoTiming, HorSyncTime) == 28);
static_assert(offsetof(VideoTiming, HorBackPorch) == 32);
static_assert(offsetof(VideoTiming, HorLeftBorder) == 36);
static_assert(offsetof(VideoTiming, VerAddrTime) == 40);
static_assert(offsetof(VideoTiming, VerBottomBorder) == 44);
static_assert(offsetof(VideoTiming, VerFrontPorch) == 48);
static_assert(offsetof(VideoTiming, VerSyncTime) == 52);
static_assert(offsetof(VideoTiming, VerBackPorch) == 56);
static_assert(offsetof(VideoTiming, VerTopBorder) == 60);
static_assert(offsetof(VideoTiming, Description) == 64);

static_assert(sizeof(CaptureParams) == kCaptureParamsSize);
static_assert(offsetof(CaptureParams, Size) == 0);
static_assert(offsetof(CaptureParams, Flags) == 4);
static_assert(offsetof(CaptureParams, Timing) == 16);
static_assert(offsetof(CaptureParams, Phase) == 208);
static_assert(offsetof(CaptureParams, Brightness) == 212);
static_assert(offsetof(CaptureParams, Contrast) == 216);
static_assert(offsetof(CaptureParams, BlackLevel) == 220);
static_assert(offsetof(CaptureParams, SampleRate) == 224);
static_assert(offsetof(CaptureParams, PixelFormat) == 228);
static_assert(offsetof(CaptureParams, SyncEdge) == 232);
static_assert(offsetof(CaptureParams, HorPosition) == 240);
static_assert(offsetof(CaptureParams, VerPosition) == 244);
static_assert(offsetof(CaptureParams, ScaledWidth) == 252);
static_assert(offsetof(CaptureParams, ScaledHeight) == 256);
static_assert(offsetof(CaptureParams, OutputMode) == 268);

static_assert(sizeof(CaptureCaps) == kCaptureCapsSize);

// VideoTiming::Flags values that mean "no usable mode"; the tests are for equality.
inline constexpr uint16_t kTimingNoSignal = 0x10;
inline constexpr uint16_t kTimingOutOfRange = 0x20;
inline constexpr uint16_t kTimingUnrecognisable = 0x40;

// Query selectors (third argument of the get and set calls).
inline constexpr uint32_t kQueryCurrent = 0;
inline constexpr uint32_t kQueryMinimum = 0x10000000;
inline constexpr uint32_t kQueryMaximum = 0x40000000;
inline constexpr uint32_t kQueryAfterOpen = 0x08000000;
inline constexpr uint32_t kQueryCapture = 0x04000000;
inline constexpr uint32_t kQueryNegotiatedAnalogue = 0x24000000;

// CaptureParams::Flags masks.
inline constexpr uint32_t kFlagTiming = 0x30;  // the embedded VideoTiming (region of interest)
inline constexpr uint32_t kFlagPhase = 0x80;
inline constexpr uint32_t kFlagBrightness = 0x100;
inline constexpr uint32_t kFlagContrast = 0x200;
inline constexpr uint32_t kFlagBlackLevel = 0x400;
inline constexpr uint32_t kFlagSampleRate = 0x800;
inline constexpr uint32_t kFlagPixelFormat = 0x1000;
inline constexpr uint32_t kFlagPosition = 0x4000;  // HorPosition, VerPosition and SyncEdge
inline constexpr uint32_t kFlagScaling = 0x20000;  // ScaledWidth and ScaledHeight
inline constexpr uint32_t kFlagOutputMode = 0x180000;
// Composite masks the module uses.
inline constexpr uint32_t kFlagsTimingAndPositions = 0x24FFF;
inline constexpr uint32_t kFlagsNegotiateFormat = 0x103E;
inline constexpr uint32_t kFlagsNegotiateAnalogue = 0x4F82;

// PixelFormat values.
inline constexpr uint32_t kPixelFormat555 = 1;
inline constexpr uint32_t kPixelFormat565 = 2;
inline constexpr uint32_t kPixelFormat32 = 3;  // B, G, R, X in memory

// RGBCaptureFillBuffer statuses besides the error codes.
inline constexpr uint32_t kStatusFrameCaptured = 0x400;
inline constexpr uint32_t kStatusModeChangeMask = 0x10002;  // RGBNOTIFY_MODE_CHANGE
inline constexpr uint32_t kStatusModeChange = 0x2;

// Result codes. Anything above kRgbErrorDriverNotFound is an error.
inline constexpr uint32_t kRgbErrorNoError = 0x00000;
inline constexpr uint32_t kRgbErrorDriverNotFound = 0x10000;
inline constexpr uint32_t kRgbErrorUnableToLoadDriver = 0x10001;
inline constexpr uint32_t kRgbErrorHardwareNotFound = 0x10002;
inline constexpr uint32_t kRgbErrorInvalidIndex = 0x10003;
inline constexpr uint32_t kRgbErrorDeviceInUse = 0x10004;
inline constexpr uint32_t kRgbErrorInvalidHrgbcapture = 0x10005;
inline constexpr uint32_t kRgbErrorInvalidPointer = 0x10006;
inline constexpr uint32_t kRgbErrorInvalidSize = 0x10007;
inline constexpr uint32_t kRgbErrorInvalidFlags = 0x10008;
inline constexpr uint32_t kRgbErrorInvalidDevice = 0x10009;
inline constexpr uint32_t kRgbErrorInvalidInput = 0x1000A;
inline constexpr uint32_t kRgbErrorInvalidFormat = 0x1000D;
inline constexpr uint32_t kRgbErrorInvalidVdifClocks = 0x1000E;
inline constexpr uint32_t kRgbErrorInvalidPhase = 0x10011;
inline constexpr uint32_t kRgbErrorInvalidBrightness = 0x10013;
inline constexpr uint32_t kRgbErrorInvalidContrast = 0x10014;
inline constexpr uint32_t kRgbErrorInvalidBlackLevel = 0x10015;
inline constexpr uint32_t kRgbErrorInvalidSampleRate = 0x10016;
inline constexpr uint32_t kRgbErrorInvalidPixelFormat = 0x10017;
inline constexpr uint32_t kRgbErrorInvalidHwnd = 0x10018;
inline constexpr uint32_t kRgbErrorInsufficientResources = 0x10019;
inline constexpr uint32_t kRgbErrorInsufficientBuffers = 0x1001A;
inline constexpr uint32_t kRgbErrorInsufficientMemory = 0x1001B;
inline constexpr uint32_t kRgbErrorSignalNotDetected = 0x1001C;
inline constexpr uint32_t kRgbErrorInvalidSyncEdge = 0x1001D;
inline constexpr uint32_t kRgbErrorOldFirmware = 0x1001E;
inline constexpr uint32_t kRgbErrorHwndAndFrameCapturedFn = 0x1001F;
inline constexpr uint32_t kRgbErrorHScaledOutOfRange = 0x10020;
inline constexpr uint32_t kRgbErrorVScaledOutOfRange = 0x10021;
inline constexpr uint32_t kRgbErrorScalingNotSupported = 0x10022;
inline constexpr uint32_t kRgbErrorBufferTooSmall = 0x10023;
inline constexpr uint32_t kRgbErrorHScaleNotWordDivisible = 0x10024;
inline constexpr uint32_t kRgbErrorHScaleNotDwordDivisible = 0x10025;
inline constexpr uint32_t kRgbErrorHorAddrTimeNotWordDivisible = 0x10026;
inline constexpr uint32_t kRgbErrorHorAddrTimeNotDwordDivisible = 0x10027;
inline constexpr uint32_t kRgbErrorVersionMismatch = 0x10028;
inline constexpr uint32_t kRgbErrorAccReallocateBuffers = 0x10029;
inline constexpr uint32_t kRgbErrorBufferNotValid = 0x1002A;
inline constexpr uint32_t kRgbErrorBuffersStillAllocated = 0x1002B;
inline constexpr uint32_t kRgbErrorNoNotificationSet = 0x1002C;
inline constexpr uint32_t kRgbErrorCaptureDisabled = 0x1002D;
inline constexpr uint32_t kRgbErrorInvalidPixelFormat2 = 0x1002E;  // same name as 0x10017
inline constexpr uint32_t kRgbErrorIllegalCall = 0x1002F;
inline constexpr uint32_t kRgbErrorCaptureOutstanding = 0x10030;

inline constexpr bool IsDriverError(uint32_t result) { return result > kRgbErrorDriverNotFound; }

// One function-pointer type per entry point. Entry points the module resolves but
// never calls take no arguments here.
using PFN_RGBCaptureInitialise = uint32_t(ZELTO_DRIVER_CALL*)(uint32_t* device_count);
using PFN_RGBCaptureOpen = uint32_t(ZELTO_DRIVER_CALL*)(uint32_t channel, HRGBCAPTURE* handle);
using PFN_RGBCaptureClose = uint32_t(ZELTO_DRIVER_CALL*)(HRGBCAPTURE handle);
using PFN_RGBCaptureEnable = uint32_t(ZELTO_DRIVER_CALL*)(HRGBCAPTURE handle, uint32_t enable);
using PFN_RGBCaptureGetCapabilities = uint32_t(ZELTO_DRIVER_CALL*)(HRGBCAPTURE handle,
                                                                   CaptureCaps* caps);
using PFN_RGBCaptureGetParameters = uint32_t(ZELTO_DRIVER_CALL*)(HRGBCAPTURE handle,
                                                                 CaptureParams* params,
                                                                 uint32_t query);
using PFN_RGBCaptureSetParameters = uint32_t(ZELTO_DRIVER_CALL*)(HRGBCAPTURE handle,
                                                                 CaptureParams* params,
                                                                 uint32_t query);
using PFN_RGBCaptureAllocateBuffer = uint32_t(ZELTO_DRIVER_CALL*)(HRGBCAPTURE handle, void** buffer,
                                                                  uint32_t size);
using PFN_RGBCaptureFreeBuffer = uint32_t(ZELTO_DRIVER_CALL*)(HRGBCAPTURE handle, void** buffer);
using PFN_RGBCaptureFrameBufferReady = uint32_t(ZELTO_DRIVER_CALL*)();
using PFN_RGBCaptureGetVersion = uint32_t(ZELTO_DRIVER_CALL*)();
using PFN_AccFreeBuffer = uint32_t(ZELTO_DRIVER_CALL*)();
using PFN_AccAllocateBuffer = uint32_t(ZELTO_DRIVER_CALL*)();
using PFN_AccPerformDraw = uint32_t(ZELTO_DRIVER_CALL*)();
using PFN_RGBCaptureFillBuffer = uint32_t(ZELTO_DRIVER_CALL*)(HRGBCAPTURE handle,
                                                              uint32_t buffer_selector,
                                                              uint32_t size);
using PFN_RGBCaptureGetVDIFFromRegistry = uint32_t(ZELTO_DRIVER_CALL*)();
using PFN_RGBCaptureWriteVDIFToRegistry = uint32_t(ZELTO_DRIVER_CALL*)();
using PFN_RGBCaptureDetectVideoMode = uint32_t(ZELTO_DRIVER_CALL*)(HRGBCAPTURE handle,
                                                                   uint32_t reserved1,
                                                                   uint32_t reserved2,
                                                                   VideoTiming* timing,
                                                                   uint32_t reserved3);
using PFN_RGBCaptureDeleteUserVDIF = uint32_t(ZELTO_DRIVER_CALL*)();
using PFN_RGBCaptureSetADCColourCorrection = uint32_t(ZELTO_DRIVER_CALL*)();
using PFN_RGBCaptureGetADCColourCorrection = uint32_t(ZELTO_DRIVER_CALL*)();

inline constexpr int kDriverEntryCount = 21;

// Export names in resolution order.
inline constexpr const char* kDriverEntryNames[kDriverEntryCount] = {
#define ZELTO_DRIVER_ENTRY_NAME(name) #name,
    ZELTO_DRIVER_ENTRY_POINTS(ZELTO_DRIVER_ENTRY_NAME)
#undef ZELTO_DRIVER_ENTRY_NAME
};

// Position of each entry point in resolution order (0-based).
enum class DriverEntry : int {
#define ZELTO_DRIVER_ENTRY_ENUM(name) k##name,
  ZELTO_DRIVER_ENTRY_POINTS(ZELTO_DRIVER_ENTRY_ENUM)
#undef ZELTO_DRIVER_ENTRY_ENUM
};

}  // namespace zelto

#endif  // ZELTO_DRIVER_CAPTURE_DRIVER_H_
