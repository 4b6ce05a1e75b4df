#include "varnishcache.h"

#include "testutil.h"

#include <QFile>
#include <QStandardPaths>
#include <QUrl>

VarnishCache::~VarnishCache()
{
    if (process.state() != QProcess::NotRunning) {
        process.terminate();
        if (!process.waitForFinished(10000)) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
}

bool VarnishCache::start(const QString &backendOrigin, int ttlSeconds)
{
    const QString program = QStandardPaths::findExecutable(QStringLiteral("varnishd"), { QStringLiteral("/usr/sbin") });
    if (program.isEmpty()) {
        error = QStringLiteral("Varnish is not installed (Debian: varnish)");
        return false;
    }
    // Its worker runs as another user: the folder must let it in.
    QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
                                                 | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
    port = freeLoopbackPort();
    const QUrl backend(backendOrigin);
    // Kept for the time given, then fetched again: no grace in which a stale answer is served.
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, { QStringLiteral("-F"), QStringLiteral("-a"), QStringLiteral("127.0.0.1:%1").arg(port),
                             QStringLiteral("-b"), QStringLiteral("%1:%2").arg(backend.host()).arg(backend.port()),
                             QStringLiteral("-n"), folder.filePath(QStringLiteral("work")),
                             QStringLiteral("-t"), QString::number(ttlSeconds),
                             QStringLiteral("-p"), QStringLiteral("default_grace=0"),
                             QStringLiteral("-p"), QStringLiteral("default_keep=0"),
                             QStringLiteral("-s"), QStringLiteral("malloc,16m") });
    if (waitForListening(port, process, 30000))
        return true;
    error = QStringLiteral("varnishd did not start: %1").arg(QString::fromLocal8Bit(process.readAll()));
    return false;
}
