#include "webserver.h"

#include "testutil.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

namespace {

const QString ApacheModules = QStringLiteral("/usr/lib/apache2/modules");

} // namespace

WebServer::WebServer(Kind which)
    : kind(which)
{
}

WebServer::~WebServer()
{
    if (process.state() != QProcess::NotRunning) {
        process.terminate();
        if (!process.waitForFinished(5000)) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
}

bool WebServer::writeApacheConfig(QString *program, QStringList *arguments)
{
    *program = QStandardPaths::findExecutable(QStringLiteral("apache2"), { QStringLiteral("/usr/sbin") });
    if (program->isEmpty() || !QFile::exists(ApacheModules + QStringLiteral("/mod_deflate.so"))) {
        error = QStringLiteral("Apache httpd is not installed (Debian: apache2)");
        return false;
    }
    QString modules;
    for (const char *module : { "mpm_event", "authz_core", "mime", "filter", "deflate" })
        modules += QStringLiteral("LoadModule %1_module %2/mod_%1.so\n").arg(QLatin1String(module), ApacheModules);
    const QString conf = folder.filePath(QStringLiteral("httpd.conf"));
    // Run as root, Apache serves as www-data: the folder is readable by others, the logs go to stderr.
    writeFile(conf, QStringLiteral(
        "ServerRoot %1\nListen 127.0.0.1:%2\nPidFile %1/httpd.pid\nErrorLog /dev/stderr\n%3"
        "User www-data\nGroup www-data\nServerName localhost\nDocumentRoot %4\nTypesConfig /etc/mime.types\n"
        "AddOutputFilterByType DEFLATE application/json\n"
        "<Directory %4>\n    Require all granted\n</Directory>\n")
        .arg(folder.path()).arg(port).arg(modules, root()).toUtf8());
    *arguments = QStringList { QStringLiteral("-f"), conf, QStringLiteral("-DFOREGROUND") };
    return true;
}

bool WebServer::start()
{
    port = freeLoopbackPort();
    QDir().mkpath(root());
    // Apache serves as www-data: the folder is readable by others.
    for (const QString &path : { folder.path(), root() })
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
                                            | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
    QString program;
    QStringList arguments;
    if (kind == Apache) {
        if (!writeApacheConfig(&program, &arguments))
            return false;
    } else {
        program = QStandardPaths::findExecutable(QStringLiteral("caddy"));
        if (program.isEmpty()) {
            error = QStringLiteral("Caddy is not installed (Debian: caddy)");
            return false;
        }
        arguments = QStringList { QStringLiteral("file-server"), QStringLiteral("--listen"), QStringLiteral("127.0.0.1:%1").arg(port),
                      QStringLiteral("--root"), root() };
        // Caddy keeps its state below the home folder: a temporary one here.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : { "HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME" })
            environment.insert(QLatin1String(name), folder.path());
        process.setProcessEnvironment(environment);
    }
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (waitForListening(port, process, 20000))
        return true;
    error = QStringLiteral("%1 did not start: %2").arg(program, QString::fromLocal8Bit(process.readAll()));
    return false;
}
