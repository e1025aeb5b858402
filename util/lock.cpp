// lock.cpp - the recursive lock: each operation is one platform call.
#include "util.h"

#include "platform.h"

void Lock_Init(Lock *lock) { keel::plat::lock_init(lock); }
void Lock_Enter(Lock *lock) { keel::plat::lock_enter(lock); }
void Lock_Leave(Lock *lock) { keel::plat::lock_leave(lock); }
void Lock_Delete(Lock *lock) { keel::plat::lock_delete(lock); }
