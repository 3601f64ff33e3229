#include "acquisition/triple_list.h"

#include <cstring>
#include <new>
#include <thread>
#include <utility>

#include "base/text_exception.h"
#include "geometry/registry_values.h"

namespace zelto {

CTripleList::CTripleList() { TimebaseAttachment.AttachTimebase(); }

CTripleList::~CTripleList() {
  CloseQueue();
  FreeAllBuffers();
  time_source_manager_.Unbind();
  TimebaseAttachment.DetachTimebase();
}

bool CTripleList::StampFrame(CImageWrapper* image) {
  if (image == nullptr) return false;
  ImageRecord* record = image->GetRecord();
  int32_t seconds = 0;
  uint16_t milliseconds = 0;
  uint16_t microseconds = 0;
  TimebaseAttachment.GetFrameTime(&seconds, &milliseconds, &microseconds);
  record->Seconds = seconds;
  record->Milliseconds = milliseconds;
  record->Microseconds = microseconds;
  return true;
}

void CTripleList::StoreBinaryValue(const char* name, const void* bytes, uint32_t size) {
  StoreBinaryAt(UserSettingsKey, name, bytes, size);
}

void CTripleList::StoreDwordValue(const char* name, int32_t value) {
  StoreDwordAt(UserSettingsKey, name, value);
}

void CTripleList::StoreStringValue(const char* name, const char* text) {
  StoreStringAt(UserSettingsKey, name, text);
}

int64_t CTripleList::RoundUpBufferSize(int64_t n) {
  const int64_t m = n + 8;
  if (m % BufferAlignment == 0) return m;
  return (m / BufferAlignment + 1) * BufferAlignment;
}

void CTripleList::AddFreeBuffers(int32_t count, int32_t image_bytes) {
  const size_t used = image_bytes > 0 ? static_cast<size_t>(image_bytes) : 0;
  const size_t capacity = static_cast<size_t>(RoundUpBufferSize(static_cast<int64_t>(used)));
  std::lock_guard<std::mutex> lock(FreeLock);
  for (int32_t i = 0; i < count; ++i) {
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[capacity]);
    if (!buffer) throw TextException(kNotEnoughMemoryText);
    std::memset(buffer.get(), 0, used);
    try {
      FreeList.push_back(std::make_unique<CZeltoRGBImage>(std::move(buffer), capacity));
    } catch (const std::bad_alloc&) {
      throw TextException(kNotEnoughMemoryText);
    }
  }
}

void CTripleList::DeleteCurrentFrame() {
  std::lock_guard<std::mutex> lock(ReadyLock);
  if (!HasCurrentFrame) return;
  (*CurrentFrame)->ReleaseData();
  CurrentFrame = ReadyList.erase(CurrentFrame);
  HasCurrentFrame = CurrentFrame != ReadyList.end();
}

void CTripleList::FreeAllBuffers() {
  {
    std::lock_guard<std::mutex> lock(ReadyLock);
    for (auto& image : ReadyList) image->ReleaseData();
    ReadyList.clear();
    HasCurrentFrame = false;
  }
  std::lock_guard<std::mutex> lock(FreeLock);
  for (auto& image : FreeList) image->ReleaseData();
  FreeList.clear();
}

void CTripleList::ReleaseCurrentFrame() {
  // As in CommitFrame: the move and the set are one step under the event's lock,
  // so a host thread waiting in TakeFreeBuffer wakes to a free buffer.
  bool marked;
  {
    std::lock_guard<std::mutex> event_lock(GrabEventLock);
    {
      std::lock_guard<std::mutex> ready_lock(ReadyLock);
      if (!HasCurrentFrame) return;
      auto next = std::next(CurrentFrame);
      std::lock_guard<std::mutex> free_lock(FreeLock);
      FreeList.splice(FreeList.end(), ReadyList, CurrentFrame);
      CurrentFrame = next;
      HasCurrentFrame = next != ReadyList.end();
    }
    marked = MarkForWaiters(GrabEvent, grab_waiters_);
  }
  if (marked) GrabEvent.WakeWaiters();
}

void CTripleList::ReleaseAllFrames() {
  bool marked;
  {
    std::lock_guard<std::mutex> event_lock(GrabEventLock);
    {
      std::lock_guard<std::mutex> ready_lock(ReadyLock);
      std::lock_guard<std::mutex> free_lock(FreeLock);
      FreeList.splice(FreeList.end(), ReadyList);
      HasCurrentFrame = false;
    }
    marked = MarkForWaiters(GrabEvent, grab_waiters_);
  }
  if (marked) GrabEvent.WakeWaiters();
}

bool CTripleList::MarkForWaiters(platform::ManualResetEvent& event,
                                 const std::atomic<int32_t>& waiters) {
  // A thread that waits counted itself under the event's lock, which the caller
  // holds; one that has not yet resets the event before it looks at its list.
  if (waiters.load() == 0) return false;
  event.MarkSet();
  return true;
}

int32_t CTripleList::GetBufferCount() {
  std::lock_guard<std::mutex> ready_lock(ReadyLock);
  std::lock_guard<std::mutex> free_lock(FreeLock);
  return static_cast<int32_t>(ReadyList.size() + FreeList.size());
}

CImageWrapper* CTripleList::TakeFreeBuffer(bool* waited) {
  ++inside_;
  CImageWrapper* image = TakeFreeBufferInside(waited);
  // Nothing of the queue is touched after this: CloseQueue may return now.
  --inside_;
  return image;
}

CImageWrapper* CTripleList::TakeFreeBufferInside(bool* waited) {
  *waited = false;
  bool empty;
  {
    std::lock_guard<std::mutex> lock(GrabEventLock);
    if (closed_) {
      *waited = true;
      return nullptr;
    }
    GrabEvent.Reset();
    std::lock_guard<std::mutex> free_lock(FreeLock);
    empty = FreeList.empty();
    if (empty) ++grab_waiters_;
  }
  if (empty) {
    GrabEvent.Wait();
    --grab_waiters_;
    *waited = true;
  }
  ImageList taken;
  {
    std::lock_guard<std::mutex> lock(GrabEventLock);
    if (closed_) return nullptr;
    std::lock_guard<std::mutex> free_lock(FreeLock);
    if (FreeList.empty()) return nullptr;
    taken.splice(taken.end(), FreeList, FreeList.begin());
  }
  CImageWrapper* image = taken.front().get();
  std::lock_guard<std::mutex> lock(PendingLock);
  PendingList.splice(PendingList.end(), taken);
  ++pending_count_;
  return image;
}

bool CTripleList::CommitFrame() {
  bool moved = false;
  bool marked;
  // The move and the set happen under ReadEventLock as one step. Set after the
  // lock was let go, it could land after the host had taken this very frame and
  // gone back to waiting: the host would wake to an empty list and GetFrame
  // would return null while frames flow. Only the wake-up follows the lock, so a
  // woken host does not at once block on it.
  {
    std::lock_guard<std::mutex> event_lock(ReadEventLock);
    {
      std::lock_guard<std::mutex> ready_lock(ReadyLock);
      {
        std::lock_guard<std::mutex> pending_lock(PendingLock);
        if (!PendingList.empty()) {
          CZeltoRGBImage* image = PendingList.front().get();
          ImageRecord* record = image->GetRecord();
          if (record->Data != nullptr) {
            StampFrame(image);
            time_source_manager_.ProcessFrame(record, ImageBytes);
          }
          ReadyList.splice(ReadyList.end(), PendingList, PendingList.begin());
          --pending_count_;
          moved = true;
        }
      }
      const int32_t ready = static_cast<int32_t>(ReadyList.size());
      ReadyCount = ready;
      if (ready > PeakReadyCount) PeakReadyCount = ready;
    }
    marked = MarkForWaiters(ReadEvent, read_waiters_);
  }
  if (marked) ReadEvent.WakeWaiters();
  return moved;
}

bool CTripleList::WaitForReadyFrame() {
  bool empty;
  {
    std::lock_guard<std::mutex> lock(ReadEventLock);
    if (closed_) return true;
    ReadEvent.Reset();
    std::lock_guard<std::mutex> ready_lock(ReadyLock);
    empty = ReadyList.empty();
    if (empty) ++read_waiters_;
  }
  if (!empty) return false;
  ReadEvent.Wait();
  --read_waiters_;
  return true;
}

ImageRecord* CTripleList::GetFrame(bool* waited) {
  ++inside_;
  ImageRecord* record = nullptr;
  *waited = WaitForReadyFrame();
  {
    std::lock_guard<std::mutex> event_lock(ReadEventLock);
    std::lock_guard<std::mutex> lock(ReadyLock);
    if (!closed_ && !ReadyList.empty()) {
      CurrentFrame = ReadyList.begin();
      HasCurrentFrame = true;
      record = (*CurrentFrame)->GetRecord();
    }
  }
  // Nothing of the queue is touched after this: CloseQueue may return now.
  --inside_;
  return record;
}

void CTripleList::EnableGrab() {
  time_source_manager_.ClearEvents();
  {
    std::lock_guard<std::mutex> ready_lock(ReadyLock);
    std::lock_guard<std::mutex> free_lock(FreeLock);
    std::lock_guard<std::mutex> pending_lock(PendingLock);
    TotalBuffers = static_cast<int32_t>(ReadyList.size() + FreeList.size() + PendingList.size());
  }
  while (CommitFrame()) {
  }
  {
    std::lock_guard<std::mutex> ready_lock(ReadyLock);
    std::lock_guard<std::mutex> free_lock(FreeLock);
    FreeList.splice(FreeList.end(), ReadyList);
    HasCurrentFrame = false;
  }
  time_source_manager_.BindTimeSource(HostKeyPath);
  PeakReadyCount = 0;
}

void CTripleList::DisableGrab() {
  // The pending buffers are committed first, so the plug-in sees every frame it
  // is given before it is told Uninitialize, never one after.
  while (CommitFrame()) {
  }
  time_source_manager_.Uninitialize();
}

void CTripleList::SignalGrabEvent() {
  std::lock_guard<std::mutex> lock(GrabEventLock);
  GrabEvent.Set();
}

void CTripleList::SignalReadEvent() {
  std::lock_guard<std::mutex> lock(ReadEventLock);
  ReadEvent.Set();
}

void CTripleList::CloseQueue() {
  {
    std::lock_guard<std::mutex> read_lock(ReadEventLock);
    std::lock_guard<std::mutex> grab_lock(GrabEventLock);
    closed_ = true;
  }
  // A waiter found its list empty before the close; every set wakes it, and a
  // set that lands before it waits is kept by the manual-reset event.
  while (inside_.load() != 0) {
    SignalReadEvent();
    SignalGrabEvent();
    std::this_thread::yield();
  }
}

CZeltoRGBImage* CTripleList::FirstPendingImage() {
  // The capture thread asks every pass, armed or not: none armed needs no lock.
  if (pending_count_.load() == 0) return nullptr;
  std::lock_guard<std::mutex> lock(PendingLock);
  return PendingList.empty() ? nullptr : PendingList.front().get();
}

void CTripleList::ClearCurrentFrame() {
  std::lock_guard<std::mutex> lock(ReadyLock);
  HasCurrentFrame = false;
}

}  // namespace zelto
