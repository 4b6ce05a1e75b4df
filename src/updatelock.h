#ifndef UPDATELOCK_H
#define UPDATELOCK_H

#include <QLockFile>
#include <QString>

/*!
    One update at a time per application folder: held from the start of a
    download to the end of its install, and while start-up recovery runs, so
    that two instances never write the same part file or undo each other's
    install. The lock of a process that died is taken over.
*/
class UpdateLock
{
public:
    explicit UpdateLock(const QString &directory);

    bool tryLock();
    void unlock();
    bool isLocked() const { return lock.isLocked(); }

    static constexpr const char *FileName = ".update.lock";

private:
    QLockFile lock;
};

#endif // UPDATELOCK_H
