// scoped_lock.h - holds a Lock for the life of a scope, so no path of a
// function forgets to leave it.  A null lock is not entered.
#ifndef KEEL_SCOPED_LOCK_H
#define KEEL_SCOPED_LOCK_H

#include "util.h"

namespace keel {

class ScopedLock {
public:
    explicit ScopedLock(Lock *lock) : lock_(lock)
    {
        if (lock_)
            Lock_Enter(lock_);
    }
    ~ScopedLock()
    {
        if (lock_)
            Lock_Leave(lock_);
    }
    ScopedLock(const ScopedLock &) = delete;
    ScopedLock &operator=(const ScopedLock &) = delete;

private:
    Lock *lock_;
};

}  // namespace keel

#endif
