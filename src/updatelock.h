#ifndef UPDATELOCK_H
#define UPDATELOCK_H

#include <QLockFile>
#include <QString>

/*!
    One update at a time per application folder: held from the start of a
    download to the end of its install, and while start-up recovery runs, so
    that two instances never write the same part file or undo each other's
    install. A lock is stale, and taken over, when its owner died on this
    host, when it holds nothing a lock of ours holds (empty, garbage), or when
    its owner is on another host and it is older than a day.
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

    // A lock of another host cannot be asked whether its owner lives.
    static constexpr int OtherHostStaleSeconds = 24 * 60 * 60;
    static constexpr int UnreadableStaleSeconds = 5;

private:
    QString path;
    QLockFile lock;
    QString takeover;
};

#endif // UPDATELOCK_H
