#include "module/module_lock.h"

#include <atomic>

namespace zelto {
namespace {
std::atomic<long> g_lock_count{0};
}  // namespace

void LockModule() { ++g_lock_count; }
void UnlockModule() { --g_lock_count; }
long ModuleLockCount() { return g_lock_count.load(); }

}  // namespace zelto
