// CaptureChannel: a card's hold on the capture driver. It owns the bound driver
// library with its own entry table, the open channel's handle, the driver's
// capture buffer (and knows its size) and the working parameter record.
//
// Threads: binding, opening and closing run on the thread that starts the card
// while no capture thread runs. `Params` is shared: every read-modify-write of
// it and the driver call that goes with it hold DriverLock. The capture buffer
// is replaced and read only under its own lock (ReplaceFrameBuffer,
// ReadFrameBuffer); take DriverLock first where both are held. While a capture
// thread fills the buffer, only that thread replaces it, between two fills, so
// a frame is never copied out of a buffer the driver did not fill: other
// threads ask for a size (RequestFrameBuffer) and the capture thread applies it
// (ApplyRequestedFrameBuffer). Whether a buffer is held, its size and the size
// asked for are written under the buffer lock and read without it (the capture
// thread looks at them every pass).
#ifndef ZELTO_DRIVER_CAPTURE_CHANNEL_H_
#define ZELTO_DRIVER_CAPTURE_CHANNEL_H_

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "driver/capture_driver.h"
#include "driver/driver_binding.h"
#include "platform/scoped_library.h"

namespace zelto {

class CaptureChannel {
 public:
  CaptureChannel() = default;
  // Close(), then the library is unloaded.
  ~CaptureChannel();
  CaptureChannel(const CaptureChannel&) = delete;
  CaptureChannel& operator=(const CaptureChannel&) = delete;

  // Binds the driver (BindDriver) into this channel; false, after its message
  // box, when there is none.
  bool Bind();
  bool has_driver() const { return DriverModule.is_valid(); }
  // This channel's entry points; call them only while has_driver().
  const DriverEntryTable& Driver() const { return entries_; }
  // Lets a test put a stand-in behind one entry point of a bound channel.
  DriverEntryTable& DriverForTesting() { return entries_; }

  // Frees the capture buffer (RGBCaptureFreeBuffer with its address), closes the
  // channel and unloads the library, each only when held.
  void ReleaseDriver();
  // Binds again, tracing "KTS DLL SETUP failed. Serious Error" when that fails;
  // no handle and no buffer are held afterwards. ReleaseDriver comes first.
  void RebindDriver();

  HRGBCAPTURE handle() const { return CaptureHandle; }
  // Takes over a handle that RGBCaptureOpen gave; none may be held.
  void SetHandle(HRGBCAPTURE handle) { CaptureHandle = handle; }
  // RGBCaptureClose on the held handle, if any.
  void CloseHandle();
  // Frees the capture buffer and closes the handle; calls nothing without a driver.
  void Close();

  // Frees the capture buffer, then asks for one of `size` bytes, under the
  // buffer lock. Returns the allocation's result; the buffer is kept only when
  // that is no error and the driver gave one (else none is held).
  uint32_t ReplaceFrameBuffer(size_t size);
  // Asks for a buffer of `size` bytes in place of the held one; the capture
  // thread replaces it before its next fill.
  void RequestFrameBuffer(size_t size);
  // On the capture thread between fills: when a size was asked for, replaces
  // the buffer by one of that size (ReplaceFrameBuffer) and returns true with
  // its result in `*result`; false when nothing was asked for.
  bool ApplyRequestedFrameBuffer(uint32_t* result);
  bool has_frame_buffer() const { return buffer_held_.load(); }
  // Bytes of the held buffer; 0 while none is held.
  size_t frame_buffer_size() const { return frame_buffer_size_.load(); }
  // Bytes of the last buffer asked for, whether or not the driver gave it; 0
  // before the first.
  size_t wanted_frame_buffer_size() const { return wanted_size_.load(); }
  // Calls use(const uint8_t* data, size_t size) with the buffer lock held; data
  // is null and size 0 while no buffer is held.
  template <typename Use>
  void ReadFrameBuffer(Use&& use) {
    std::lock_guard<std::mutex> lock(FrameBufferLock);
    use(static_cast<const uint8_t*>(FrameBuffer), frame_buffer_size_.load());
  }

  CaptureParams Params{};
  std::atomic<uint32_t> BufferSelector{0};  // always 0, passed to RGBCaptureFillBuffer
  std::recursive_mutex DriverLock;

 private:
  // Under FrameBufferLock, or while no other thread can reach the buffer.
  void FreeFrameBuffer();

  platform::ScopedLibrary DriverModule;
  DriverEntryTable entries_;
  HRGBCAPTURE CaptureHandle = 0;
  void* FrameBuffer = nullptr;
  std::atomic<bool> buffer_held_{false};      // FrameBuffer is not null
  std::atomic<size_t> frame_buffer_size_{0};  // bytes of FrameBuffer that the driver gave
  std::atomic<size_t> wanted_size_{0};
  std::atomic<bool> size_requested_{false};
  std::mutex FrameBufferLock;
};

}  // namespace zelto

#endif  // ZELTO_DRIVER_CAPTURE_CHANNEL_H_
