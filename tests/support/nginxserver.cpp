#include "nginxserver.h"

#include "testutil.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QRegularExpression>
#include <QThread>


NginxServer::NginxServer()
{
    QDir(dir.path()).mkpath(QStringLiteral("www"));
    QDir(dir.path()).mkpath(QStringLiteral("temp"));
}

NginxServer::~NginxServer()
{
    stop();
}

QString NginxServer::root() const
{
    return dir.filePath(QStringLiteral("www"));
}

void NginxServer::addContentDisposition(const QString &suffix, const QString &fileName)
{
    dispositions.append(qMakePair(suffix, fileName));
}

void NginxServer::addSlowLocation(const QString &prefix, int bytesPerSecond)
{
    slowLocations.append(qMakePair(prefix, bytesPerSecond));
}

QString NginxServer::httpsOrigin() const
{
    return QStringLiteral("https://127.0.0.1:%1").arg(httpsPort);
}

QString NginxServer::httpOrigin() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(httpPort);
}

QString NginxServer::accessLog() const
{
    QFile file(dir.filePath(QStringLiteral("access.log")));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QString NginxServer::log() const
{
    QFile file(dir.filePath(QStringLiteral("error.log")));
    return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
}

bool NginxServer::start()
{
    if (!dir.isValid()) {
        error = QStringLiteral("no temporary folder");
        return false;
    }
    if (certs.certFile.isEmpty()) {
        certs = TestCertificates::create(dir.path(), QStringLiteral("nginx"));
        if (!certs.error.isEmpty()) {
            error = certs.error;
            return false;
        }
    }

    for (int attempt = 0; attempt < 5; ++attempt) {
        // A restart keeps its ports, so that URLs published before stay valid.
        if (attempt > 0 || httpsPort == 0) {
            httpsPort = freeLoopbackPort();
            httpPort = freeLoopbackPort();
        }
        QString locations;
        for (const auto &d : qAsConst(dispositions)) {
            locations += QStringLiteral("        location ~ \"%1$\" {\n"
                                        "            add_header Content-Disposition 'attachment; filename=\"%2\"';\n"
                                        "        }\n").arg(QRegularExpression::escape(d.first), d.second);
        }
        for (const auto &s : qAsConst(slowLocations)) {
            locations += QStringLiteral("        location %1 { limit_rate %2; }\n").arg(s.first).arg(s.second);
        }
        const QString p = dir.path();
        const QString conf = QStringLiteral(
            "daemon off;\nmaster_process off;\nworker_processes 1;\npid %1/nginx.pid;\n"
            "error_log %1/error.log info;\n"
            "events { worker_connections 256; }\n"
            "http {\n"
            "    access_log %1/access.log;\n"
            "    client_body_temp_path %1/temp/body;\n    proxy_temp_path %1/temp/proxy;\n"
            "    fastcgi_temp_path %1/temp/fastcgi;\n    uwsgi_temp_path %1/temp/uwsgi;\n"
            "    scgi_temp_path %1/temp/scgi;\n"
            "    types { application/json json; application/zip zip; text/html html; text/plain txt; }\n"
            "    default_type application/octet-stream;\n"
            "    sendfile on;\n    tcp_nopush on;\n"
            "    server {\n"
            "        listen 127.0.0.1:%2 ssl;\n        listen 127.0.0.1:%3;\n"
            "        server_name localhost;\n"
            "        ssl_certificate %4;\n        ssl_certificate_key %5;\n"
            "        root %1/www;\n"
            "%6"
            "    }\n"
            "}\n").arg(p).arg(httpsPort).arg(httpPort).arg(certs.certFile, certs.keyFile, locations);
        QFile file(dir.filePath(QStringLiteral("nginx.conf")));
        if (!file.open(QIODevice::WriteOnly) || file.write(conf.toUtf8()) < 0) {
            error = file.errorString();
            return false;
        }
        file.close();

        // "timeout" bounds the server's life even if this process dies without stopping it.
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(QStringLiteral("timeout"),
                      { QStringLiteral("1800"), QStringLiteral("nginx"), QStringLiteral("-p"), p,
                        QStringLiteral("-e"), dir.filePath(QStringLiteral("error.log")),
                        QStringLiteral("-c"), dir.filePath(QStringLiteral("nginx.conf")) });
        if (!process.waitForStarted(10000)) {
            error = QStringLiteral("nginx did not start: ") + process.errorString();
            return false;
        }
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 10000 && process.state() == QProcess::Running) {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, httpsPort);
            if (socket.waitForConnected(200))
                return true;
            QThread::msleep(50);
        }
        error = QStringLiteral("nginx did not listen: ") + QString::fromLocal8Bit(process.readAll()) + log();
        stop();
    }
    return false;
}

void NginxServer::stop()
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}
