// Named shared memory that every process of the user can attach to.
//
// Windows: a paging-file-backed file mapping, visible to all processes of the
// session; it disappears when its last handle is closed, also when the last user
// crashes (the system closes its handles).
// POSIX: a shm_open object whose name is made per user ("/zelto.<uid>.<name>").
// Every user holds a shared flock on the object while it has it open. A lock
// object of the user ("/zelto.<uid>.lock", never removed) is held exclusively for
// the short time a process creates, opens or closes an object, so these steps
// never interleave across processes. Close() removes the object when it can take its
// flock exclusively, i.e. when it was the last user. After a crash the kernel drops
// the crashed process's flock but the object stays behind (in /dev/shm); the next
// CreateOrOpen or OpenExisting that finds nobody holding it treats the leftover as
// stale and removes it, so CreateOrOpen creates a fresh zero-filled one
// (already_existed false) and OpenExisting fails. A process that forks keeps its
// flocks in the child through the inherited descriptor; children should exec.
#ifndef ZELTO_PLATFORM_SHARED_MEMORY_H_
#define ZELTO_PLATFORM_SHARED_MEMORY_H_

#include <cstddef>

namespace zelto::platform {

class SharedMemory {
 public:
  SharedMemory() = default;
  ~SharedMemory();  // Unmaps and closes.
  SharedMemory(const SharedMemory&) = delete;
  SharedMemory& operator=(const SharedMemory&) = delete;

  // Creates the object with `size` bytes (zero-filled) or opens it when it exists
  // (keeping the size it was created with); `already_existed` tells which, decided
  // atomically against other processes. Closes whatever this object held before.
  bool CreateOrOpen(const char* name, size_t size, bool* already_existed);
  // Opens an existing object; false when there is none.
  bool OpenExisting(const char* name);
  // Maps the first `bytes` bytes read/write; null on failure, also when the object
  // is smaller than `bytes`. One view at a time: a new Map unmaps the previous one.
  void* Map(size_t bytes);
  void Unmap();
  void Close();
  bool is_open() const;

 private:
  struct State;
  State* state_ = nullptr;
};

}  // namespace zelto::platform

#endif  // ZELTO_PLATFORM_SHARED_MEMORY_H_
