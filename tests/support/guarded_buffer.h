// A buffer whose last byte sits just before an inaccessible page, for row
// functions that must not read or write past their end.
#ifndef ZELTO_TESTS_SUPPORT_GUARDED_BUFFER_H_
#define ZELTO_TESTS_SUPPORT_GUARDED_BUFFER_H_

#include <cstddef>
#include <cstdint>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace zelto::testing {

// `size` bytes that end exactly where an inaccessible page begins, so any access
// past the end faults.
class GuardedBuffer {
 public:
  explicit GuardedBuffer(size_t size) : size_(size) {
#ifdef _WIN32
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    page_ = info.dwPageSize;
#else
    page_ = static_cast<size_t>(sysconf(_SC_PAGESIZE));
#endif
    const size_t data_pages = (size + page_ - 1) / page_;
    total_ = (data_pages + 1) * page_;
#ifdef _WIN32
    base_ = static_cast<uint8_t*>(
        VirtualAlloc(nullptr, total_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD old = 0;
    if (base_ != nullptr) VirtualProtect(base_ + data_pages * page_, page_, PAGE_NOACCESS, &old);
#else
    void* p = mmap(nullptr, total_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    base_ = p == MAP_FAILED ? nullptr : static_cast<uint8_t*>(p);
    if (base_ != nullptr) mprotect(base_ + data_pages * page_, page_, PROT_NONE);
#endif
  }
  ~GuardedBuffer() {
#ifdef _WIN32
    VirtualFree(base_, 0, MEM_RELEASE);
#else
    munmap(base_, total_);
#endif
  }
  GuardedBuffer(const GuardedBuffer&) = delete;
  GuardedBuffer& operator=(const GuardedBuffer&) = delete;

  uint8_t* data() { return base_ + (total_ - page_) - size_; }
  bool ok() const { return base_ != nullptr; }

 private:
  size_t size_;
  size_t page_ = 0;
  size_t total_ = 0;
  uint8_t* base_ = nullptr;
};

}  // namespace zelto::testing

#endif  // ZELTO_TESTS_SUPPORT_GUARDED_BUFFER_H_
