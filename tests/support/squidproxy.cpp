#include "squidproxy.h"

#include "testutil.h"

#include <QFile>
#include <QStandardPaths>

SquidProxy::~SquidProxy()
{
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(5000);
    }
}

bool SquidProxy::start()
{
    const QString squid = QStandardPaths::findExecutable(QStringLiteral("squid"), { QStringLiteral("/usr/sbin") });
    const QString helper = QStringLiteral("/usr/lib/squid/basic_ncsa_auth");
    if (squid.isEmpty() || !QFile::exists(helper)) {
        error = QStringLiteral("squid is not installed (Debian: squid)");
        return false;
    }
    listenPort = freeLoopbackPort();
    // squid drops to its own user: everything it reads must be readable by others.
    QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther
                                                 | QFile::ExeOther | QFile::ReadGroup | QFile::ExeGroup);
    QProcess hash;
    hash.start(QStringLiteral("openssl"), { QStringLiteral("passwd"), QStringLiteral("-apr1"), QLatin1String(Password) });
    if (!hash.waitForFinished(10000) || hash.exitCode() != 0) {
        error = QStringLiteral("openssl passwd failed");
        return false;
    }
    const QString conf = folder.filePath(QStringLiteral("squid.conf"));
    writeFile(folder.filePath(QStringLiteral("passwd")), QByteArray(User) + ':' + hash.readAllStandardOutput());
    writeFile(folder.filePath(QStringLiteral("hosts")), QByteArray("127.0.0.1 ") + HostName + '\n');
    writeFile(conf, QStringLiteral(
        "http_port 127.0.0.1:%1\npid_filename none\ncache_log /dev/null\naccess_log none\n"
        "hosts_file %2/hosts\ndns_nameservers 127.0.0.1\n"
        "auth_param basic program %3 %2/passwd\nauth_param basic realm updater tests\n"
        "acl authenticated proxy_auth REQUIRED\nhttp_access allow authenticated\nhttp_access deny all\n"
        "shutdown_lifetime 0 seconds\n").arg(listenPort).arg(folder.path(), helper).toUtf8());
    for (const QString &name : { QStringLiteral("passwd"), QStringLiteral("hosts"), QStringLiteral("squid.conf") })
        QFile::setPermissions(folder.filePath(name), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther | QFile::ReadGroup);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(squid, { QStringLiteral("-N"), QStringLiteral("-f"), conf });
    if (waitForListening(listenPort, process, 20000))
        return true;
    error = QStringLiteral("squid did not start: ") + QString::fromLocal8Bit(process.readAll());
    return false;
}
