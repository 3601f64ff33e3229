#include "driver/capture_channel.h"

#include "platform/trace.h"

namespace zelto {

CaptureChannel::~CaptureChannel() { Close(); }

bool CaptureChannel::Bind() {
  DriverModule = BindDriver(&entries_);
  return has_driver();
}

void CaptureChannel::ReleaseDriver() {
  Close();
  // The entry points die with the library.
  DriverModule.reset();
  entries_ = DriverEntryTable{};
}

void CaptureChannel::RebindDriver() {
  if (!Bind()) platform::Trace("KTS DLL SETUP failed. Serious Error");
  CaptureHandle = 0;
  FrameBuffer = nullptr;
  buffer_held_ = false;
  frame_buffer_size_ = 0;
  wanted_size_ = 0;
  size_requested_ = false;
}

void CaptureChannel::CloseHandle() {
  if (CaptureHandle == 0) return;
  entries_.RGBCaptureClose(CaptureHandle);
  CaptureHandle = 0;
}

void CaptureChannel::Close() {
  if (!has_driver()) {
    // Nothing to call: the fields are only cleared.
    CaptureHandle = 0;
    FrameBuffer = nullptr;
    buffer_held_ = false;
    frame_buffer_size_ = 0;
    wanted_size_ = 0;
    size_requested_ = false;
    return;
  }
  {
    std::lock_guard<std::mutex> lock(FrameBufferLock);
    FreeFrameBuffer();
    wanted_size_ = 0;
    size_requested_ = false;
  }
  CloseHandle();
}

void CaptureChannel::FreeFrameBuffer() {
  if (FrameBuffer != nullptr) {
    entries_.RGBCaptureFreeBuffer(CaptureHandle, &FrameBuffer);
    FrameBuffer = nullptr;
  }
  buffer_held_ = false;
  frame_buffer_size_ = 0;
}

void CaptureChannel::RequestFrameBuffer(size_t size) {
  std::lock_guard<std::mutex> lock(FrameBufferLock);
  wanted_size_ = size;
  size_requested_ = true;
}

bool CaptureChannel::ApplyRequestedFrameBuffer(uint32_t* result) {
  if (!size_requested_.load()) return false;  // the usual case, without the lock
  size_t size;
  {
    std::lock_guard<std::mutex> lock(FrameBufferLock);
    if (!size_requested_) return false;
    size = wanted_size_;
  }
  *result = ReplaceFrameBuffer(size);
  return true;
}

uint32_t CaptureChannel::ReplaceFrameBuffer(size_t size) {
  std::lock_guard<std::mutex> lock(FrameBufferLock);
  wanted_size_ = size;
  size_requested_ = false;
  FreeFrameBuffer();
  void* buffer = nullptr;
  const uint32_t result =
      entries_.RGBCaptureAllocateBuffer(CaptureHandle, &buffer, static_cast<uint32_t>(size));
  if (!IsDriverError(result) && buffer != nullptr) {
    FrameBuffer = buffer;
    buffer_held_ = true;
    frame_buffer_size_ = size;
  }
  return result;
}

}  // namespace zelto
