#ifndef UPDATELOCK_H
#define UPDATELOCK_H

#include <QLockFile>
#include <QString>

/*!
    One update at a time per application folder: held from the start of a
    download to the end of its install, and while start-up recovery runs, so
    that two instances never write the same part file or undo each other's
    install. A lock is stale, and taken over, when its owner died on this
    host (whatever the letter case of the host name it wrote), when it holds
    nothing a lock of ours holds (empty, garbage), or when its owner is on
    another host and it is older than a day. Taking a lock, stale or not,
    happens under a short-lived guard lock, so that of several instances
    started together only one ever wins.
*/
class UpdateLock
{
public:
    explicit UpdateLock(const QString &directory);

    bool tryLock();
    void unlock();
    bool isLocked() const { return lock.isLocked(); }

    /*! One paragraph when the latest tryLock() took over a stale lock; empty otherwise. */
    QString takenOver() const { return takeover; }
    /*!
        Why the latest tryLock() failed when no other update holds the lock
        (a folder in its place, a folder that cannot be written); empty otherwise.
    */
    QString errorString() const { return error; }

    // A lock of another host cannot be asked whether its owner lives.
    static constexpr int OtherHostStaleSeconds = 24 * 60 * 60;
    static constexpr int UnreadableStaleSeconds = 5;

private:
    bool tryLockGuarded();
    QString staleReason();

    QString path;
    QLockFile lock;
    QLockFile guard;
    QString takeover;
    QString error;
};

#endif // UPDATELOCK_H
