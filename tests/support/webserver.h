#ifndef WEBSERVER_H
#define WEBSERVER_H

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

/*!
    A static file server that publishers run, on 127.0.0.1 over plain HTTP:
    Apache httpd with mod_deflate compressing JSON, or Caddy's file-server.
    Started by the test from Debian's packages, stopped by the destructor.
*/
class WebServer
{
public:
    enum Kind { Apache, Caddy };

    explicit WebServer(Kind kind);
    ~WebServer();

    /*! False (with errorString()) when the server is not installed or does not start. */
    bool start();
    /*! Files to serve go below root(); the URL path is the path below it. */
    QString root() const { return folder.filePath(QStringLiteral("www")); }
    QString origin() const { return QStringLiteral("http://127.0.0.1:%1").arg(port); }
    QString errorString() const { return error; }

private:
    bool writeApacheConfig(QString *program, QStringList *arguments);

    Kind kind;
    QTemporaryDir folder;
    QProcess process;
    quint16 port = 0;
    QString error;
};

#endif // WEBSERVER_H
