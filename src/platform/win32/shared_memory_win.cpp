#include <windows.h>

#include <cstdint>

#include "platform/shared_memory.h"

namespace zelto::platform {

struct SharedMemory::State {
  HANDLE mapping = nullptr;
  void* view = nullptr;
};

SharedMemory::~SharedMemory() { Close(); }

bool SharedMemory::CreateOrOpen(const char* name, size_t size, bool* already_existed) {
  Close();
  HANDLE mapping =
      CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE,
                         static_cast<DWORD>(uint64_t{size} >> 32), static_cast<DWORD>(size), name);
  if (mapping == nullptr) return false;
  if (already_existed != nullptr) *already_existed = GetLastError() == ERROR_ALREADY_EXISTS;
  state_ = new State{mapping, nullptr};
  return true;
}

bool SharedMemory::OpenExisting(const char* name) {
  Close();
  HANDLE mapping = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, name);
  if (mapping == nullptr) return false;
  state_ = new State{mapping, nullptr};
  return true;
}

void* SharedMemory::Map(size_t bytes) {
  if (state_ == nullptr) return nullptr;
  Unmap();
  state_->view = MapViewOfFile(state_->mapping, FILE_MAP_ALL_ACCESS, 0, 0, bytes);
  return state_->view;
}

void SharedMemory::Unmap() {
  if (state_ == nullptr || state_->view == nullptr) return;
  UnmapViewOfFile(state_->view);
  state_->view = nullptr;
}

void SharedMemory::Close() {
  if (state_ == nullptr) return;
  Unmap();
  CloseHandle(state_->mapping);
  delete state_;
  state_ = nullptr;
}

bool SharedMemory::is_open() const { return state_ != nullptr; }

}  // namespace zelto::platform
