// The server's lock count: one per live object and per LockServer(TRUE).
// DllCanUnloadNow answers S_OK only while it is zero.
#ifndef ZELTO_MODULE_MODULE_LOCK_H_
#define ZELTO_MODULE_MODULE_LOCK_H_

namespace zelto {

void LockModule();
void UnlockModule();
long ModuleLockCount();

}  // namespace zelto

#endif  // ZELTO_MODULE_MODULE_LOCK_H_
