// CTripleList, the frame queue between the host and the capture thread.
//
// It owns every image buffer and moves each through three FIFO lists: free,
// pending (armed by the host, waiting to be filled) and ready (filled and
// stamped, waiting for the host). Nothing is ever overwritten: a frame that
// arrives while nothing is pending is dropped by the capture thread.
//
// Threads: the host's thread calls the host operations; the capture thread looks
// at the first pending image (FirstPendingImage), fills it outside every lock and
// commits it. Lock order wherever several are held: ReadEventLock, GrabEventLock,
// ReadyLock, FreeLock, PendingLock. Events are manual-reset: a waiter resets its
// event, tests its list and counts itself under the event's lock, then waits with
// no lock held; the other side changes the list and, when a waiter is counted,
// sets the event in one step under the same lock, and wakes the waiter after it.
// So no wake-up is lost, and a waiter never wakes to the set of a buffer it
// already took (it would find its list empty). Waits have no time-out;
// SignalGrabEvent / SignalReadEvent end them, and so does CloseQueue.
//
// Destruction while a host thread waits (a second CreateCard, the last Release):
// CloseQueue, which the destructor runs, wakes every waiter and returns only
// when each has left the queue's code. A wait ended so returns as one ended by
// a signal with nothing there: GetFrame gives null with `waited` true (the COM
// GetFrame answers S_FALSE with a null record), TakeFreeBuffer gives null with
// `waited` true (ArmBuffer arms nothing and answers S_OK). A call that starts
// after CloseQueue does not wait at all and returns the same.
#ifndef ZELTO_ACQUISITION_TRIPLE_LIST_H_
#define ZELTO_ACQUISITION_TRIPLE_LIST_H_

#include <atomic>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>

#include "acquisition/image_wrapper.h"
#include "platform/manual_reset_event.h"
#include "timesource/time_source_manager.h"
#include "timesource/timebase.h"
#include "zeltorgb/image_record.h"

namespace zelto {

class CTripleList {
 public:
  using ImageList = std::list<std::unique_ptr<CZeltoRGBImage>>;

  CTripleList();
  virtual ~CTripleList();
  CTripleList(const CTripleList&) = delete;
  CTripleList& operator=(const CTripleList&) = delete;

  // Stamps the image's record from the shared timebase; false for no image.
  // Not virtual: the capture thread calls it while a card may be being
  // destroyed, and must not read the object's dispatch table then.
  bool StampFrame(CImageWrapper* image);
  // Registry writers under `UserSettingsKey` (one open-write-close each), all
  // taking the value name first.
  virtual void StoreBinaryValue(const char* name, const void* bytes, uint32_t size);
  virtual void StoreDwordValue(const char* name, int32_t value);
  virtual void StoreStringValue(const char* name, const char* text);

  // Allocation depends on the card's geometry and driver buffer.
  virtual void AllocateBuffers(int32_t count) = 0;
  virtual void ReallocateBuffers() = 0;
  virtual bool ArmBuffer() = 0;

  // Ends the current frame's buffer: freed, not returned to the free list.
  void DeleteCurrentFrame();
  // Frees every ready and free buffer; pending ones are not touched.
  void FreeAllBuffers();
  // Returns the current frame to the free list; the frame after it becomes current.
  void ReleaseCurrentFrame();
  void ReleaseAllFrames();
  // Ready plus free buffers.
  int32_t GetBufferCount();
  // Moves the first free buffer to the pending list, waiting while none is free.
  // `waited` tells whether it had to wait; null when woken with none free.
  CImageWrapper* TakeFreeBuffer(bool* waited);
  // Moves the first pending buffer to the ready list and sets the read event; true
  // when a buffer moved. A buffer with data is stamped and then handed to the time
  // source manager (plug-in, offsets) on the way.
  bool CommitFrame();
  // The oldest ready frame's record, waiting while none is ready (`waited`); it
  // stays in the ready list until released. Null when woken with none ready.
  ImageRecord* GetFrame(bool* waited);

  virtual void EnableGrab();
  virtual void DisableGrab();

  void SignalGrabEvent();
  void SignalReadEvent();
  // Ends every wait for good: wakes the waiters, makes later waits return at
  // once, and returns once no host thread is inside GetFrame or TakeFreeBuffer.
  // A class that derives from the queue runs it first in its own destructor, so
  // no waiter outlives the members it shares. Idempotent.
  void CloseQueue();
  // Resets the read event and waits for it when nothing is ready; true if it waited.
  bool WaitForReadyFrame();

  // n + 8 rounded up to a whole multiple of BufferAlignment.
  static int64_t RoundUpBufferSize(int64_t n);

  int32_t GetReadyCount() const { return ReadyCount.load(); }
  int32_t GetPeakReadyCount() const { return PeakReadyCount.load(); }
  int32_t GetTotalBuffers() const { return TotalBuffers.load(); }

  // Threads that have found their list empty and wait, or are about to wait, for
  // the read event (GetFrame) or the grab event (TakeFreeBuffer). A thread counts
  // itself under the event's lock after resetting the event, so once a count is
  // seen, a set of that event wakes the thread it counts. For tests that must know
  // a host thread is blocked before they let a frame or a buffer through.
  int32_t GetReadWaiterCount() const { return read_waiters_.load(); }
  int32_t GetGrabWaiterCount() const { return grab_waiters_.load(); }

  // The image the capture thread fills next (first pending), or null. It stays
  // first in the pending list, which only the capture side removes from.
  CZeltoRGBImage* FirstPendingImage();

  // The time source binding, the offsets and the LTC frame rate.
  CTimeSourceManager& TimeSources() { return time_source_manager_; }

 protected:
  // Appends `count` zeroed buffers of RoundUpBufferSize(image_bytes) bytes to the
  // free list; throws "Not Enough memory" when one cannot be allocated (those
  // allocated so far stay).
  void AddFreeBuffers(int32_t count, int32_t image_bytes);
  // No frame is current afterwards (start-up, and again after a channel change).
  void ClearCurrentFrame();

  std::string HostKeyPath;
  std::string ModuleName;
  std::string UserSettingsKey;

  // Bytes of one delivered image; the card recomputes it from its geometry.
  std::atomic<int32_t> ImageBytes{0};
  static constexpr int32_t BufferAlignment = 512;

 private:
  CImageWrapper* TakeFreeBufferInside(bool* waited);
  // Under the event's lock: marks `event` set when a thread waits for it, and
  // says so; the caller wakes the waiters once it has let go of the lock.
  static bool MarkForWaiters(platform::ManualResetEvent& event,
                             const std::atomic<int32_t>& waiters);

  ImageList ReadyList;
  ImageList FreeList;
  ImageList PendingList;
  ImageList::iterator CurrentFrame;
  bool HasCurrentFrame = false;

  std::mutex ReadyLock;
  std::mutex FreeLock;
  std::mutex PendingLock;
  std::mutex ReadEventLock;
  std::mutex GrabEventLock;
  platform::ManualResetEvent ReadEvent;
  platform::ManualResetEvent GrabEvent;

  std::atomic<int32_t> TotalBuffers{0};
  std::atomic<int32_t> ReadyCount{0};
  std::atomic<int32_t> PeakReadyCount{0};
  std::atomic<int32_t> read_waiters_{0};
  std::atomic<int32_t> grab_waiters_{0};
  // PendingList's length, changed under PendingLock.
  std::atomic<int32_t> pending_count_{0};
  // Set by CloseQueue under both event locks.
  bool closed_ = false;
  // Threads inside GetFrame or TakeFreeBuffer; the last thing each does on the
  // way out is to count itself off.
  std::atomic<int32_t> inside_{0};

  CTimeSourceManager time_source_manager_;
  Timebase TimebaseAttachment;
};

}  // namespace zelto

#endif  // ZELTO_ACQUISITION_TRIPLE_LIST_H_
