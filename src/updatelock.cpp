#include "updatelock.h"

#include "workingnames.h"

#include <QDateTime>
#include <QFileInfo>
#include <QSysInfo>

UpdateLock::UpdateLock(const QString &directory)
    : path(directory + QLatin1Char('/') + QLatin1String(WorkingNames::LockFile))
    , lock(path)
{
    // A download may run for hours: only a dead owner makes a lock of this host stale.
    lock.setStaleLockTime(0);
}

namespace {

// As QLockFile writes it: the host name, or on Windows the computer's name, in any case.
bool isThisHost(const QString &host)
{
    return host.compare(QSysInfo::machineHostName(), Qt::CaseInsensitive) == 0
            || host.compare(qEnvironmentVariable("COMPUTERNAME"), Qt::CaseInsensitive) == 0;
}

} // namespace

bool UpdateLock::tryLock()
{
    takeover.clear();
    if (lock.isLocked() || lock.tryLock(0))
        return true;
    if (lock.error() != QLockFile::LockFailedError)
        return false;
    // QLockFile judges only locks it can read, of this host; the rest would block every update for ever.
    qint64 pid = 0;
    QString host;
    QString application;
    QString why;
    const QDateTime modified = QFileInfo(path).lastModified();
    const qint64 age = modified.secsTo(QDateTime::currentDateTime());
    if (!lock.getLockInfo(&pid, &host, &application)) {
        // A lock being created is empty for a moment: only an older one is garbage.
        if (age >= UnreadableStaleSeconds)
            why = QStringLiteral("it holds nothing an update lock holds");
    } else if (!host.isEmpty() && !isThisHost(host)) {
        if (age > OtherHostStaleSeconds)
            why = QStringLiteral("its owner (process %1 on %2) has held it since %3")
                    .arg(pid).arg(host, modified.toString(Qt::ISODate));
    }
    if (why.isEmpty() || !lock.removeStaleLockFile() || !lock.tryLock(0))
        return false;
    takeover = QStringLiteral("a stale update lock was taken over (%1); "
                              "no other update of this application is running").arg(why);
    return true;
}

void UpdateLock::unlock()
{
    if (lock.isLocked())
        lock.unlock();
}
