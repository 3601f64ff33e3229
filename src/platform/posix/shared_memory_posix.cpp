#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/shared_memory.h"

namespace zelto::platform {
namespace {

std::string UserPrefix() { return "/zelto." + std::to_string(getuid()); }

// "/zelto.<uid>.<name>": one namespace per user, no further slashes.
std::string ObjectName(const char* name) {
  std::string object = UserPrefix() + ".";
  for (const char* c = name; *c != 0; ++c) object += (*c == '/' || *c == '\\') ? '_' : *c;
  return object;
}

// One lock for all of the user's objects: these steps are rare and short, and a
// single lock object leaves nothing behind per name.
int OpenGuard() { return shm_open((UserPrefix() + ".lock").c_str(), O_RDWR | O_CREAT, 0600); }

int Flock(int fd, int operation) {
  int result;
  do {
    result = flock(fd, operation);
  } while (result != 0 && errno == EINTR);
  return result;
}

bool SameFile(int fd, const std::string& object) {
  int named = shm_open(object.c_str(), O_RDONLY, 0);
  if (named < 0) return false;
  struct stat a {
  }, b{};
  bool same =
      fstat(fd, &a) == 0 && fstat(named, &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
  close(named);
  return same;
}

// Holds the guard lock: create, open and last-user removal happen one process at
// a time.
class GuardLock {
 public:
  explicit GuardLock(int fd) : fd_(fd) { locked_ = Flock(fd_, LOCK_EX) == 0; }
  ~GuardLock() {
    if (locked_) Flock(fd_, LOCK_UN);
  }
  GuardLock(const GuardLock&) = delete;
  GuardLock& operator=(const GuardLock&) = delete;
  bool locked() const { return locked_; }

 private:
  int fd_;
  bool locked_;
};

enum class Found { kLive, kNone };

// Under the guard: opens the object if it has live users (each holds a shared
// flock on it). A leftover nobody holds is the remains of a crash and is removed.
// On kLive, *fd holds a shared lock of our own.
Found OpenLive(const std::string& object, int* fd) {
  int existing = shm_open(object.c_str(), O_RDWR, 0);
  if (existing < 0) return Found::kNone;
  if (Flock(existing, LOCK_EX | LOCK_NB) == 0) {
    shm_unlink(object.c_str());
    close(existing);
    return Found::kNone;
  }
  if (Flock(existing, LOCK_SH) != 0) {
    close(existing);
    return Found::kNone;
  }
  *fd = existing;
  return Found::kLive;
}

}  // namespace

struct SharedMemory::State {
  std::string object;
  int guard = -1;  // the user's lock object; never removed
  int fd = -1;     // the object, held with a shared flock while open
  void* view = nullptr;
  size_t view_bytes = 0;
};

SharedMemory::~SharedMemory() { Close(); }

bool SharedMemory::CreateOrOpen(const char* name, size_t size, bool* already_existed) {
  Close();
  if (name == nullptr || size == 0) return false;
  std::string object = ObjectName(name);
  int guard = OpenGuard();
  if (guard < 0) return false;
  int fd = -1;
  bool existed = false;
  {
    GuardLock lock(guard);
    if (!lock.locked()) {
      close(guard);
      return false;
    }
    if (OpenLive(object, &fd) == Found::kLive) {
      existed = true;
    } else {
      fd = shm_open(object.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
      if (fd >= 0 && (ftruncate(fd, static_cast<off_t>(size)) != 0 || Flock(fd, LOCK_SH) != 0)) {
        shm_unlink(object.c_str());
        close(fd);
        fd = -1;
      }
    }
  }
  if (fd < 0) {
    close(guard);
    return false;
  }
  state_ = new State{object, guard, fd};
  if (already_existed != nullptr) *already_existed = existed;
  return true;
}

bool SharedMemory::OpenExisting(const char* name) {
  Close();
  if (name == nullptr) return false;
  std::string object = ObjectName(name);
  int guard = OpenGuard();
  if (guard < 0) return false;
  int fd = -1;
  bool live;
  {
    GuardLock lock(guard);
    live = lock.locked() && OpenLive(object, &fd) == Found::kLive;
  }
  if (!live) {
    close(guard);
    return false;
  }
  state_ = new State{object, guard, fd};
  return true;
}

void* SharedMemory::Map(size_t bytes) {
  if (state_ == nullptr) return nullptr;
  Unmap();
  struct stat info {};
  // Mapping past the object's end would fault on access instead of failing here.
  if (bytes == 0 || fstat(state_->fd, &info) != 0 || bytes > static_cast<size_t>(info.st_size)) {
    return nullptr;
  }
  void* view = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, state_->fd, 0);
  if (view == MAP_FAILED) return nullptr;
  state_->view = view;
  state_->view_bytes = bytes;
  return view;
}

void SharedMemory::Unmap() {
  if (state_ == nullptr || state_->view == nullptr) return;
  munmap(state_->view, state_->view_bytes);
  state_->view = nullptr;
  state_->view_bytes = 0;
}

void SharedMemory::Close() {
  if (state_ == nullptr) return;
  Unmap();
  {
    GuardLock lock(state_->guard);
    // Exclusive succeeds only when no one else holds the object: we are its last
    // user. The name may since have been given to another object (someone removed
    // ours by hand); that one is not ours to remove.
    if (lock.locked() && Flock(state_->fd, LOCK_EX | LOCK_NB) == 0 &&
        SameFile(state_->fd, state_->object)) {
      shm_unlink(state_->object.c_str());
    }
    close(state_->fd);
  }
  close(state_->guard);
  delete state_;
  state_ = nullptr;
}

bool SharedMemory::is_open() const { return state_ != nullptr; }

}  // namespace zelto::platform
