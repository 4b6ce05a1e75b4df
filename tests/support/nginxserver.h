#ifndef NGINXSERVER_H
#define NGINXSERVER_H

#include "testcerts.h"

#include <QList>
#include <QPair>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

/*!
    A real nginx on 127.0.0.1, serving HTTPS (and plain HTTP on a second port)
    from a temporary folder, with a certificate from a private CA made at run
    time. It is a child process, bounded in time, stopped by the destructor.
*/
class NginxServer
{
public:
    NginxServer();
    ~NginxServer();

    /*! Files to serve go below root(); the URL path is the path below it. */
    QString root() const;
    /*! Answer every request whose path ends in \a suffix with this Content-Disposition file name. */
    void addContentDisposition(const QString &suffix, const QString &fileName);
    /*! Deliver files under \a prefix at \a bytesPerSecond, so a test can act mid-transfer. */
    void addSlowLocation(const QString &prefix, int bytesPerSecond);

    bool start();
    void stop();
    bool isRunning() const { return process.state() == QProcess::Running; }

    QString httpsOrigin() const;
    QString httpOrigin() const;
    const TestCertificates &certificates() const { return certs; }
    QString errorString() const { return error; }
    QString log() const;
    /*! One line per request: "... \"GET /path HTTP/1.1\" status bytes ...". */
    QString accessLog() const;

private:
    QTemporaryDir dir;
    TestCertificates certs;
    QProcess process;
    quint16 httpsPort = 0;
    quint16 httpPort = 0;
    QList<QPair<QString, QString>> dispositions;
    QList<QPair<QString, int>> slowLocations;
    QString error;
};

#endif // NGINXSERVER_H
