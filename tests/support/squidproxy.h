#ifndef SQUIDPROXY_H
#define SQUIDPROXY_H

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

/*!
    A squid proxy on loopback that asks for basic credentials ("user" and
    "secret"), as company proxies do. Qt never sends a loopback address
    through a proxy, so the test names its server by a host name that only
    the proxy resolves, to 127.0.0.1.
*/
class SquidProxy
{
public:
    static constexpr const char *HostName = "updates.test";
    static constexpr const char *User = "user";
    static constexpr const char *Password = "secret";

    ~SquidProxy();
    /*! False (with errorString()) when squid is not installed or does not start. */
    bool start();
    quint16 port() const { return listenPort; }
    QString errorString() const { return error; }

private:
    QTemporaryDir folder;
    QProcess process;
    quint16 listenPort = 0;
    QString error;
};

#endif // SQUIDPROXY_H
