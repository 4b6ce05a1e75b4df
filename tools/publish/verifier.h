#ifndef VERIFIER_H
#define VERIFIER_H

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

/*!
    Checks a deployed update as a client would: the manifest's signature with
    the given public keys, its expiry, and every file it names (reachable, its
    size and SHA-256 as the manifest says). Works on a published folder (the
    one holding updates.json, its files beside it) or on the manifest's URL.
*/
class Verifier
{
public:
    explicit Verifier(const QList<QByteArray> &publicKeys);

    /*! Trusts the certificate authorities in \a pem too, for a deployment behind a private CA; how many. */
    static int trustCertificates(const QByteArray &pem);
    /*! Runs every check; true when all passed. report() has one line per check. */
    bool verify(const QString &location);
    QStringList report() const { return lines; }

private:
    bool stream(const QString &location, const std::function<void(const QByteArray &)> &take, QString *error);
    bool read(const QString &location, QByteArray *data, QString *error);
    bool measure(const QString &location, qint64 *size, QByteArray *sha256, QString *error);
    bool check(bool ok, const QString &line);
    bool checkSignature(const QString &manifestLocation, const QByteArray &manifest);
    bool checkRecord(const QString &platform, const QByteArray &manifest, const QString &name,
                     const QString &manifestLocation);

    static constexpr qint64 MaxManifestCacheSeconds = 300;

    QList<QByteArray> keys;
    QStringList lines;
    bool remote = false;
    qint64 cacheLifetime = -1; // of the latest fetch: how long caches may keep it
};

#endif // VERIFIER_H
