// CZeltoRGBCard: the one object behind every host interface. It binds the
// driver, chooses and opens an input channel, negotiates the capture format with
// the driver and owns the capture buffer, the image buffers (through its frame
// queue base), the geometry and format state and the registry key paths.
//
// Threads: construction, start-up and destruction run on the host's thread; the
// capture thread (EnableGrab .. DisableGrab) and its fixed-rate workers share the
// fields marked atomic below. Driver calls that read-modify-write the channel's
// `Params` hold its DriverLock so two threads never interleave them; the blocking
// fill call holds no lock. The driver capture buffer is replaced only under the
// channel's buffer lock, which the capture thread holds while it copies a frame
// out of it; while grabbing, only the capture thread replaces it, between two
// fills (host calls ask for the new size). Grab control (EnableGrab,
// DisableGrab, AllocateBuffers, the destructor's stop) is serialised.
//
// The bodies live in one file per concern beside this header:
// zelto_rgb_card.cpp (construction, channel choice, start-up),
// zelto_rgb_card_negotiation.cpp (GetCapabilities and the negotiated format),
// zelto_rgb_card_capture.cpp (buffers, grab control, the capture thread),
// zelto_rgb_card_geometry.cpp (region, scaling, fit, startup geometry, frame rate),
// zelto_rgb_card_settings.cpp (the enumerated settings and their list),
// zelto_rgb_card_adjustments.cpp (the video adjustments and their list) and
// zelto_rgb_card_persistence.cpp (channel key and the stored values).
#ifndef ZELTO_CARD_ZELTO_RGB_CARD_H_
#define ZELTO_CARD_ZELTO_RGB_CARD_H_

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "acquisition/frame_pacer.h"
#include "acquisition/pxl_image_converter.h"
#include "acquisition/triple_list.h"
#include "card/capture_format.h"
#include "driver/capture_channel.h"
#include "driver/capture_driver.h"
#include "geometry/image_geometry.h"
#include "geometry/restored_geometry.h"
#include "settings/adjustment_handlers.h"
#include "settings/adjustment_support.h"
#include "settings/loading_flag.h"
#include "settings/setting_handlers.h"
#include "settings/settings_struct.h"

namespace zelto {

namespace platform {
class RegistryKey;
}
struct FrontEndAdjustment;

class CZeltoRGBCard : public CTripleList, public CSettingsStruct, public CAdjustmentSupport {
 public:
  // The highest channel number the driver's RGBCaptureOpen can take.
  static constexpr int32_t kMaxInputChannel = 0xFFFF;

  // Runs the whole start-up; throws TextException("Camera Initialization
  // FAILED...") when no channel can be opened or there is no driver.
  explicit CZeltoRGBCard(const std::string& host_key_path);
  ~CZeltoRGBCard() override;

  // Frame queue operations that depend on the card.
  void AllocateBuffers(int32_t count) override;
  void ReallocateBuffers() override;
  bool ArmBuffer() override;
  void EnableGrab() override;
  void DisableGrab() override;

  // Image properties.
  virtual void GetImageGeometry(int32_t* width, int32_t* height, int32_t* offset_x,
                                int32_t* offset_y);
  // ImageSizeX x ImageSizeY x GetBitsPerPixel() / 8 (never negative, at most
  // INT32_MAX), stored into ImageBytes.
  int32_t GetImageBytes();
  int32_t GetBitsPerPixel() const;
  int32_t GetBitDepth() const;
  int32_t GetImageFormat();

  // Geometry (zelto_rgb_card_geometry.cpp). Requests are aligned and clamped to
  // the source, never refused, with one exception below. Host calls and the
  // capture thread's mode-change sequence are serialised on the channel's
  // DriverLock, so each leaves one consistent geometry and driver state.
  //
  // SetROI applies a region of interest and switches to region mode: the image
  // becomes that window of the source at 1:1 (a region narrower or lower than the
  // smallest driver output too: it is cut out of a wider 1:1 crop). It persists
  // the region, also while settings load, and re-creates the image buffers for
  // the new size. While grabbing runs that would free buffers the host may hold,
  // so a host SetROI is then refused: it throws TextException(kBuffersInUseText)
  // (DISP_E_EXCEPTION with that text at the COM edge) and changes nothing; call it
  // again after DisableGrab. After DisableGrab it re-creates the buffers as
  // ReallocateBuffers does, so records taken before are gone with them. When the
  // driver refuses the crop, every card field stays and the driver's output is
  // put back as it was.
  virtual void SetROI(int32_t width, int32_t height, int32_t offset_x, int32_t offset_y);
  void GetRoi(int32_t* width, int32_t* height, int32_t* offset_x, int32_t* offset_y) const;
  // Sets the driver's output size (ClampScaledWidth/Height). In scaling mode and
  // not grabbing, the image takes that size, the buffers are re-created and the
  // size is persisted; otherwise only the driver changes (the image keeps its
  // size, and frames are cut or padded into it at the driver's real stride).
  void SetScaling(int32_t width, int32_t height);
  // Scaling mode: ScalingX/Y refreshed from the driver (left unwritten, with the
  // outputs, when that read fails); region mode: from the stored values.
  void GetScaling(int32_t* width, int32_t* height);
  void SetScalingMode(int32_t mode);
  int32_t GetScalingMode() const { return Geometry.ScalingMode; }
  // The smallest capture starts the current timing allows; 0 on a driver error.
  int32_t GetHorOffsetMin();
  int32_t GetVerOffsetMin();

  // Module pacing. SetFrameRate clamps to 1..SourceFrameRate (0 while no mode is
  // known, and nothing else then), restarts the pacing measurement, selects the
  // fixed-rate capture rate and persists "Frame Rate".
  void SetFrameRate(int32_t rate);
  int32_t GetFrameRate() const { return FrameRate; }
  void SetFixedRateMode(int32_t mode);
  int32_t GetFixedRateMode() const { return Pacer.FixedRateMode; }
  // The capture rate: 100 selects module pacing (FixedRateMode 1); any other
  // value leaves it and goes to the driver as its SampleRate, unchecked, and is
  // persisted as "SampleRateValue". The one write of the Capture Rate setting.
  void WriteCaptureRate(int32_t value);
  int32_t QueryConstantOne() const { return 1; }
  // The capture rate that selects module pacing.
  static constexpr int32_t kFixedRateCaptureRate = 100;

  // The enumerated settings (zelto_rgb_card_settings.cpp). FillSettings lists
  // Input Channel, Capture Format, Capture Rate and Lock Channel Mode under the
  // ids 0, 2, 4, 6, and while LockChannelMode is set Startup Image Format and
  // Startup Resolution under 8 and 10.
  bool FillSettings() override;
  int32_t ReadInputChannel() const { return InputChannel; }
  // A channel outside 0..DeviceCount-1 is refused (nothing changes) and so is any
  // change while grabbing: it throws TextException(kBuffersInUseText), as SetROI
  // does. Otherwise the driver is released and rebound, DefaultIni opens the new
  // channel and the same number of buffers is allocated again; a failed
  // re-initialisation throws TextException(kCameraInitFailedText) with no
  // channel held.
  void WriteInputChannel(int32_t channel);
  // The capture format the driver holds (0..3; 0 when the read fails).
  int32_t ReadCaptureFormat();
  // Only while SourceSizeKept. A host call while grabbing is refused like
  // WriteInputChannel; the capture thread applies a stored format itself (a
  // signal's first arrival), to the driver and its buffer only: the image
  // buffers keep their size and frames fill them as far as they hold.
  void WriteCaptureFormat(int32_t index);
  // 100 in fixed-rate mode, else the driver's SampleRate (0 when the read fails).
  int32_t ReadCaptureRate();
  int32_t ReadLockChannelMode() const { return LockChannelMode ? 1 : 0; }
  // The flag is set by 1 only; the value is persisted as given.
  void WriteLockChannelMode(int32_t value);
  void WriteStartupImageFormat(int32_t value);
  void WriteStartupResolution(int32_t value);
  // The stored startup values (0 when absent); each applies itself while there
  // is no signal and returns the stored number.
  int32_t ReadStartupResolution();
  int32_t ReadStartupImageFormat();

  // The video adjustments (zelto_rgb_card_adjustments.cpp). FillAdjustments,
  // the last step of FillSettings, lists Contrast, Brightness, BlackLevel,
  // Phase, Horizontal and Vertical Position under the ids 0, 2, .. 10 with the
  // driver's ranges; a position whose timing cannot be read is left out and the
  // next entry takes its id. Every read and write goes to the driver; values go
  // there unchecked, and a write is persisted unless settings are loading.
  bool FillAdjustments();
  // The front end. A failed read gives 0. The write's result is not looked at:
  // the value is persisted whatever the driver said.
  int32_t ReadContrast();
  void WriteContrast(int32_t value);
  int32_t ReadBrightness();
  void WriteBrightness(int32_t value);
  int32_t ReadBlackLevel();
  void WriteBlackLevel(int32_t value);
  int32_t ReadPhase();
  void WritePhase(int32_t value);
  // The capture start in the host's scale, counted from the earliest start the
  // current timing allows (re-read at every call, so a value means the same
  // place after a mode change as before it). A failed read gives 0; a write
  // whose read or write fails changes and persists nothing; one that succeeds
  // replaces a saved position still waiting for the next mode change. The
  // driver's record is read, changed, written back and the value persisted
  // under SettingsLock.
  int32_t GetHorizontalPositionValue();
  void SetHorizontalPositionValue(int32_t value);
  int32_t GetVerticalPositionValue();
  void SetVerticalPositionValue(int32_t value);

 protected:
  // Start-up sequence.
  void DefaultIni();
  bool ZeltoRGBInitCamera();
  bool OpenChannel(int32_t channel);
  bool ZeltoRGBOpen();
  bool ScanChannels();
  bool CheckSignal();
  void GetCapabilities();
  // UserSettingsKey = the channel key of InputChannel, rewritten only when that
  // changes the key (a grab keeps its channel, so the capture thread's rebuild
  // only reads it).
  void BuildChannelKey();
  // InputChannel from the base key (absent, not a DWORD or above
  // kMaxInputChannel: 0), then the channel key, then LockChannelMode from it
  // (absent or not a DWORD: 0).
  void ReadStoredChannel();
  void LoadGeometrySettings();
  // One REG_DWORD under BaseSettingsKey (the input channel).
  void StoreBaseDword(const char* name, int32_t value);
  // Without a signal: the startup resolution and image format stand in for the
  // mode (source and image size, bytes per pixel).
  void ApplyStartupGeometry();
  // The restored region (ImageSize/ImageOffset and Roi*) fitted inside the
  // current SourceWidth x SourceHeight.
  void FitRestoredRegionToSource();
  // `region` as both the image's geometry and the applied region.
  void AdoptRegion(const StoredRegion& region);
  // RGBCaptureGetParameters of the timing and positions into `record` (current
  // query); false, after `error_trace`, when the driver refused.
  bool ReadTimingAndPositions(CaptureParams* record, const char* error_trace);

  // Restarts the fixed-rate pacing at `rate` frames per second, clamped to
  // 1..SourceFrameRate (FrameRate 0 while no mode is known).
  void SetFramePacing(int32_t rate);
  // The saved user values of the channel key, applied through their setters in
  // this order, each step under its own guard (a text exception ends only that
  // step) and reading its value only when its condition holds: scaling mode and
  // size unless a region was restored, "Fixed Rate Mode", in fixed-rate mode
  // "Frame Rate", the capture format ("CaptureFormatValue" with a signal, else
  // "StartupImageFormat"), and unless in fixed-rate mode "SampleRateValue".
  // Nothing it applies is written back (LoadingSettings reads true on the
  // loading thread). On the capture thread (a signal's first arrival while
  // grabbing) it holds SettingsLock throughout.
  void LoadUserSettings();
  // The stored Contrast, Brightness, BlackLevel and Phase of `key`, in this
  // order, each one present through its write: the adjustments' part of
  // loading the user settings.
  void LoadUserAdjustments(const platform::RegistryKey& key);
  // Capture thread, at a mode change: the stored positions noted at start-up,
  // written at the new timing's bases, then no longer pending.
  void ApplyPendingPositions();
  // Host setters of the values LoadUserSettings applies hold this from their
  // change through its persisting, so the capture thread's loading never
  // interleaves with them. The channel's DriverLock: never held across a fill.
  std::recursive_mutex& SettingsLock() { return Channel.DriverLock; }

  // FitROI re-fits the driver to `width` x `height` at the top-left corner after
  // a mode change (capture thread, DriverLock held); changes no card field but
  // the known driver output.
  void FitROI(int32_t width, int32_t height);

  const DriverEntryTable& Driver() const { return Channel.Driver(); }
  VideoTiming& Timing() { return Channel.Params.Timing; }

  // The driver library, the open channel, the capture buffer and `Params`.
  CaptureChannel Channel;
  std::atomic<uint32_t> LastDriverResult{0};
  // The driver positions of the host's position 0 (vertically 4), as last
  // computed from the timing.
  std::atomic<int32_t> HorPositionBase{0};
  std::atomic<int32_t> VerPositionBase{0};

  // Channel choice.
  uint32_t DeviceCount = 0;
  int32_t InputChannel = 0;
  int32_t PreviousInputChannel = 0;
  bool LockChannelMode = false;

  // State the capture thread shares.
  std::atomic<bool> SignalPresent{false};
  LoadingFlag LoadingSettings;
  std::atomic<bool> GrabEnabled{false};
  std::atomic<int32_t> SourceFrameRate{0};  // whole hertz of the detected mode
  std::atomic<int32_t> FrameRate{0};
  CaptureFormatState Format;
  ImageGeometry Geometry;
  FramePacer Pacer;  // FixedRateMode, FramePeriod and the pacing measurement

  std::string BaseSettingsKey;

 private:
  // Flags a capture step carries: the capture thread keeps them from pass to
  // pass, a fixed-rate worker starts each step afresh.
  struct StepFlags {
    bool signal;
    bool mode_changed;
  };

  // True on the capture thread and its fixed-rate workers.
  static bool OnCaptureSide();
  void CaptureThreadMain();
  void CaptureStep(StepFlags& flags, bool in_worker);
  // `image_bytes`: ImageBytes as computed for the fill that delivered the frame;
  // `layout_generation`: the geometry's LayoutGeneration before that fill.
  void FramePath(bool in_worker, int32_t image_bytes, uint32_t layout_generation);
  void ModeChangePath(StepFlags& flags);
  // RGBCaptureEnable(handle, 1), tracing a failure as EnableGrab does (from a
  // fixed-rate worker with its own prefix); remembers whether it took.
  void EnableCapture(bool in_worker);
  // Before a fill: redoes a negotiation, driver buffer or enable that failed
  // (a transient driver fault). False while one of them still fails.
  bool ReadyToFill(bool in_worker);

  // The capture thread's geometry steps (zelto_rgb_card_geometry.cpp), each with
  // DriverLock held or taking it.
  // A region restored at start-up, applied through SetROI without re-creating
  // the buffers (before the first frame, and again at a mode change).
  void ApplyRestoredRegion();
  // Before each fill: ApplyRestoredRegion, then a capture buffer too small for the
  // driver's output (a scaling that reached the driver while grabbing) is
  // replaced, here between two fills, so frames keep coming.
  void PrepareFrameGeometry();
  // After a mode change to `width` x `height`, when the active size changed: the
  // driver's output as the card then knows it (the stored scaling re-applied in
  // scaling mode, else the new mode's size).
  void ResetOutputAfterModeChange(int32_t width, int32_t height);
  // The restored region, then the refit of the region in region mode.
  void ReapplyGeometryAfterModeChange(bool mode_changed, int32_t width, int32_t height);
  FrameLayout CurrentFrameLayout();

  // The body of SetROI; `reallocate` false for a restored region.
  void ApplyRegion(int32_t width, int32_t height, int32_t offset_x, int32_t offset_y,
                   bool reallocate);
  // The driver part of SetScaling: sends the clamped output size; on success the
  // known output and PendingGeometry follow. False, after its trace, on failure.
  bool SendScaling(int32_t width, int32_t height);
  // Replaces the driver capture buffer when it is smaller than one frame of the
  // driver's output; only while no fill can be using it (not grabbing, or on the
  // capture thread between fills).
  void EnsureCaptureBufferHoldsOutput();
  // Bytes of one frame of the driver's output (32-bit pixels when converting).
  size_t DriverOutputBytes() const;

  // Grab control for a host call that may re-create the buffers, taken before
  // its DriverLock; unlocked on the capture thread, which never re-creates them.
  std::unique_lock<std::recursive_mutex> HostGrabControl();
  // Under grab_control_.
  void StopCaptureThread();
  // After the capture thread was joined: no capture side runs any more.
  void EndCaptureSide();
  // The capture side waits `milliseconds` or until grabbing ends, whichever
  // comes first.
  void PauseWhileGrabbing(int64_t milliseconds);
  // One frame period of the detected mode in milliseconds (about 16 without one).
  int64_t FramePeriodMilliseconds();

  // The parts of GetCapabilities, run in this order under DriverLock; each
  // returns false when it ended the negotiation (after tracing why).
  bool DetectCaptureMode();
  bool NegotiatePixelFormat();     // step (1)
  bool NegotiateOutputMode();      // step (2), and BytesPerPixel from its answer
  bool NegotiateAnalogueValues();  // step (3)
  void AllocateCaptureBuffer();
  // While a restored region is not applied to the driver, the driver delivers
  // the whole source: the bytes of that frame, which the driver buffer must
  // hold; 0 otherwise.
  int64_t UnappliedRegionSourceBytes() const;
  // Replaces the driver capture buffer by one of `size` bytes. While the capture
  // thread runs, a call from any other thread only asks for it (the capture
  // thread replaces it between two fills) and returns 0.
  uint32_t ReplaceCaptureBuffer(size_t size);
  // Stores `result` as the last driver result; false, after the failure traces,
  // when it is a driver error.
  bool NegotiationCallSucceeded(const char* call, uint32_t result);

  // RGBCaptureGetParameters into Params with the after-open query; the result
  // (0x1001C: no signal) is also the last driver result.
  uint32_t ReadParametersAfterOpen(HRGBCAPTURE handle);
  int32_t ReadStoredStartupValue(const char* name);
  // Traces "<prefix> returned: <error name>" for a failed driver call.
  void TraceDriverError(const char* prefix, uint32_t result);

  // The fill steps of FillSettings, each adding its entry under `*id` and
  // advancing it by one.
  void FillInputChannel(int32_t* id);
  void FillCaptureFormat(int32_t* id);
  void FillCaptureRate(int32_t* id);
  void FillLockChannelMode(int32_t* id);
  void FillStartupImageFormat(int32_t* id);
  void FillStartupResolution(int32_t* id);
  // One capture-parameters read or write with `flags`, the result kept as the
  // last driver result.
  uint32_t ReadCaptureParams(uint32_t flags, CaptureParams* record);

  // The fill steps of FillAdjustments: each adds its entry under `*id` and
  // advances it by one, or returns false and adds nothing.
  bool FillContrastData(int32_t* id);
  bool FillBrightnessData(int32_t* id);
  bool FillBlackLevelData(int32_t* id);
  bool FillPhaseData(int32_t* id);
  bool FillHorizontalPositionData(int32_t* id);
  bool FillVerticalPositionData(int32_t* id);
  // The four front-end adjustments differ only in their FrontEndAdjustment
  // (zelto_rgb_card_adjustments.cpp): flags, field, queries and value name.
  bool FillFrontEnd(const FrontEndAdjustment& adjustment, CAdjustment* handler, int32_t* id);
  int32_t ReadFrontEnd(const FrontEndAdjustment& adjustment);
  void WriteFrontEnd(const FrontEndAdjustment& adjustment, int32_t value);

  CCameraIndex camera_index_{*this};
  CImageFormatSetting image_format_setting_{*this};
  CFrameRate frame_rate_setting_{*this};
  CLockChannelMode lock_channel_mode_{*this};
  CStartupImageFormatSetting startup_image_format_{*this};
  CStartupResolution startup_resolution_{*this};
  CContrastAdjustment contrast_{*this};
  CBrightnessAdjustment brightness_{*this};
  CBlackLevelAdjustment black_level_{*this};
  CPhaseAdjustment phase_{*this};
  CHorizontalPositionAdjustment horizontal_position_{*this};
  CVerticalPositionAdjustment vertical_position_{*this};

  CPxlImageConverter Converter;
  std::thread CaptureThread;
  // Serialises grab control: EnableGrab, DisableGrab, the destructor's stop and
  // the re-creation of the buffers. Taken before DriverLock wherever both are held.
  std::recursive_mutex grab_control_;
  // From EnableGrab until the capture thread was joined.
  std::atomic<bool> capture_running_{false};
  // The last GetCapabilities got through its three steps.
  std::atomic<bool> negotiated_{false};
  // RGBCaptureEnable(handle, 1) succeeded since the grab started.
  std::atomic<bool> capture_enabled_{false};
  // Wakes a capture side that pauses when grabbing ends.
  std::mutex pause_lock_;
  std::condition_variable pause_cv_;
};

}  // namespace zelto

#endif  // ZELTO_CARD_ZELTO_RGB_CARD_H_
