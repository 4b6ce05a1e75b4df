#include "transaction/updatelock.h"

#include "names/workingnames.h"
#include "platform/programs.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QSysInfo>
#include <QThread>

namespace {

// The guard is held for a few file operations; a dead holder's guard is stale soon.
constexpr int GuardStaleMs = 10000;
constexpr int GuardWaitMs = 3000;

// As QLockFile writes it: the host name, or on Windows the computer's name, in any case.
bool isThisHost(const QString &host)
{
    return host.compare(QSysInfo::machineHostName(), Qt::CaseInsensitive) == 0
            || host.compare(qEnvironmentVariable("COMPUTERNAME"), Qt::CaseInsensitive) == 0;
}

} // namespace

UpdateLock::UpdateLock(const QString &directory)
    : path(directory + QLatin1Char('/') + QLatin1String(WorkingNames::LockFile))
    , lock(path)
    , guard(path + QStringLiteral(".guard"))
{
    // A download may run for hours: only a dead owner makes a lock of this host stale.
    lock.setStaleLockTime(0);
    guard.setStaleLockTime(GuardStaleMs);
}

bool UpdateLock::tryLock()
{
    takeover.clear();
    error.clear();
    if (lock.isLocked())
        return true;
    if (QFileInfo(path).isDir() && !QFileInfo(path).isSymLink()) {
        error = QStringLiteral("%1 is a folder where the update lock belongs; remove it to update").arg(path);
        return false;
    }
    // Judging a lock stale and replacing it are two steps: only one instance at a time takes them.
    // Asked often, briefly: QLockFile's own wait sleeps ever longer between tries.
    const QDeadlineTimer deadline(GuardWaitMs);
    while (!guard.tryLock(0) && guard.error() == QLockFile::LockFailedError && !deadline.hasExpired())
        QThread::msleep(2);
    if (!guard.isLocked()) {
        if (guard.error() != QLockFile::LockFailedError)
            error = QStringLiteral("cannot create %1 (is the folder writable?)").arg(path);
        return false;
    }
    const bool locked = tryLockGuarded();
    guard.unlock();
    return locked;
}

bool UpdateLock::tryLockGuarded()
{
    if (lock.tryLock(0))
        return true;
    if (lock.error() != QLockFile::LockFailedError) {
        error = QStringLiteral("cannot create %1 (is the folder writable?)").arg(path);
        return false;
    }
    const QString why = staleReason();
    if (why.isEmpty() || !lock.removeStaleLockFile() || !lock.tryLock(0))
        return false;
    takeover = QStringLiteral("a stale update lock was taken over (%1); "
                              "no other update of this application is running").arg(why);
    return true;
}

// QLockFile judges only locks it can read, of this host as it spells it; the rest would block every update for ever.
QString UpdateLock::staleReason()
{
    qint64 pid = 0;
    QString host;
    QString application;
    const QDateTime modified = QFileInfo(path).lastModified();
    const qint64 age = modified.secsTo(QDateTime::currentDateTime());
    if (!lock.getLockInfo(&pid, &host, &application)) {
        // A lock being created is empty for a moment: only an older one is garbage.
        return age >= UnreadableStaleSeconds ? QStringLiteral("it holds nothing an update lock holds") : QString();
    }
    if (host.isEmpty() || isThisHost(host)) {
        return Platform::processRuns(pid) ? QString()
                                          : QStringLiteral("its owner, process %1 on this computer, has ended").arg(pid);
    }
    if (age > OtherHostStaleSeconds)
        return QStringLiteral("its owner (process %1 on %2) has held it since %3")
                .arg(pid).arg(host, modified.toString(Qt::ISODate));
    return QString();
}

void UpdateLock::unlock()
{
    if (lock.isLocked())
        lock.unlock();
}
