#include "updatelock.h"

UpdateLock::UpdateLock(const QString &directory)
    : lock(directory + QLatin1Char('/') + QLatin1String(FileName))
{
    // A download may run for hours: only a dead owner makes the lock stale.
    lock.setStaleLockTime(0);
}

bool UpdateLock::tryLock()
{
    return lock.isLocked() || lock.tryLock(0);
}

void UpdateLock::unlock()
{
    if (lock.isLocked())
        lock.unlock();
}
