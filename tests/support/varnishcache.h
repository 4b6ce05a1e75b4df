#ifndef VARNISHCACHE_H
#define VARNISHCACHE_H

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

/*!
    A caching proxy in front of an origin, as publishers put a CDN in front of
    their server: Varnish from Debian's packages on 127.0.0.1 over plain HTTP,
    keeping every answer for a fixed time. Stopped by the destructor.
*/
class VarnishCache
{
public:
    VarnishCache() = default;
    ~VarnishCache();

    /*! False (with errorString()) when Varnish is not installed or does not start. */
    bool start(const QString &backendOrigin, int ttlSeconds);
    QString origin() const { return QStringLiteral("http://127.0.0.1:%1").arg(port); }
    QString errorString() const { return error; }

private:
    QTemporaryDir folder;
    QProcess process;
    quint16 port = 0;
    QString error;
};

#endif // VARNISHCACHE_H
