// Named shared memory that every process of the user can attach to.
//
// Windows: a paging-file-backed file mapping, visible to all processes of the
// session; it disappears when its last handle is closed.
// POSIX: a shm_open object whose name is made per user ("/zelto.<uid>.<name>"),
// plus a lock file beside it that every user holds with a shared flock. Close()
// removes the object when it can take the lock exclusively, i.e. when it was the
// last user. After a crash the kernel drops the crashed process's flock but the
// object stays behind; the next CreateOrOpen that finds the lock free treats the
// leftover as stale, removes it and creates a fresh one (already_existed false).
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

  // Creates the object with `size` bytes (zero-filled) or opens it when it exists;
  // `already_existed` tells which, decided atomically against other processes.
  bool CreateOrOpen(const char* name, size_t size, bool* already_existed);
  // Opens an existing object; false when there is none.
  bool OpenExisting(const char* name);
  // Maps the first `bytes` bytes read/write; null on failure. One view at a time.
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
