#include "verifier.h"

#include "crypto/crypto.h"
#include "manifest/manifest.h"
#include "manifest/manifestsignature.h"
#include "manifest/releasefilenames.h"
#include "network/networkpolicy.h"
#include "network/tlstrust.h"

#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QUrl>

Verifier::Verifier(const QList<QByteArray> &publicKeys)
    : keys(publicKeys)
{
}

bool Verifier::check(bool ok, const QString &line)
{
    lines << (ok ? QStringLiteral("ok      ") : QStringLiteral("FAILED  ")) + line;
    return ok;
}

namespace {

// How long a cache may keep \a reply's answer without asking again: -1 when it must ask every time
// (or nothing says), else the seconds its Cache-Control or Expires give.
qint64 cacheSeconds(const QNetworkReply *reply)
{
    const QByteArray control = reply->rawHeader("Cache-Control").toLower();
    if (control.contains("no-cache") || control.contains("no-store"))
        return -1;
    qint64 lifetime = -1;
    for (const QByteArray &part : control.split(',')) {
        const QByteArray directive = part.trimmed();
        if (directive.startsWith("max-age=") || directive.startsWith("s-maxage="))
            lifetime = qMax(lifetime, directive.mid(directive.indexOf('=') + 1).toLongLong());
    }
    if (lifetime < 0 && reply->hasRawHeader("Expires")) {
        const QDateTime when = QLocale::c().toDateTime(QString::fromLatin1(reply->rawHeader("Expires")),
                                                       QStringLiteral("ddd, dd MMM yyyy HH:mm:ss 'GMT'"));
        if (when.isValid())
            lifetime = QDateTime::currentDateTimeUtc().secsTo(QDateTime(when.date(), when.time(), Qt::UTC));
    }
    return lifetime;
}

} // namespace

// Reads a local file or fetches a URL in pieces, handing each to \a take.
bool Verifier::stream(const QString &location, const std::function<void(const QByteArray &)> &take, QString *error)
{
    if (!remote) {
        QFile file(location);
        if (!file.open(QIODevice::ReadOnly)) {
            *error = file.errorString();
            return false;
        }
        while (!file.atEnd()) {
            const QByteArray chunk = file.read(1 << 20);
            if (chunk.isEmpty()) {
                *error = file.errorString();
                return false;
            }
            take(chunk);
        }
        return true;
    }
    // The client's own rules: a stall, a drip and a redirect loop all end.
    QNetworkAccessManager manager;
    QNetworkReply *reply = manager.get(NetworkPolicy::request(QUrl(location)));
    reply->setReadBufferSize(1 << 20);
    NetworkPolicy::watchRate(reply);
    QEventLoop loop;
    QObject::connect(reply, &QIODevice::readyRead, &loop, [&] { take(reply->readAll()); });
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    take(reply->readAll());
    cacheLifetime = cacheSeconds(reply);
    const bool ok = reply->error() == QNetworkReply::NoError;
    if (!ok) {
        const QString reason = NetworkPolicy::failureReason(reply);
        *error = reason.isEmpty() ? reply->errorString() : reason;
    }
    delete reply;
    return ok;
}

bool Verifier::measure(const QString &location, qint64 *size, QByteArray *sha256, QString *error)
{
    Crypto::Sha256 hash;
    *size = 0;
    const bool ok = stream(location, [&](const QByteArray &chunk) {
        hash.addData(chunk);
        *size += chunk.size();
    }, error);
    *sha256 = hash.result();
    return ok;
}

bool Verifier::read(const QString &location, QByteArray *data, QString *error)
{
    data->clear();
    return stream(location, [data](const QByteArray &chunk) { data->append(chunk); }, error);
}

int Verifier::trustCertificates(const QByteArray &pem)
{
    return addTrustedCertificates(pem);
}

bool Verifier::verify(const QString &location)
{
    lines.clear();
    cacheLifetime = -1;
    remote = location.startsWith(QLatin1String("https://")) || location.startsWith(QLatin1String("http://"));
    // The authorities the tool trusts: the system's and those compiled in (and any given with --ca-file).
    if (remote)
        installCompiledCertificates();
    QString manifestLocation = location;
    if (!remote && QFileInfo(location).isDir())
        manifestLocation = QDir(location).filePath(QStringLiteral("updates.json"));
    // The application's name is the folder the manifest lies in, on the server as here.
    const QString name = remote ? QUrl(manifestLocation).path().section(QLatin1Char('/'), -2, -2)
                                : QFileInfo(manifestLocation).absoluteDir().dirName();

    QByteArray manifest;
    QString error;
    if (!check(read(manifestLocation, &manifest, &error),
               QStringLiteral("manifest %1").arg(manifestLocation) + (error.isEmpty() ? QString()
                                                                          : QStringLiteral(": unreachable: ") + error)))
        return false;
    // A cache that keeps the manifest long keeps clients on the old release as long.
    if (remote && cacheLifetime > MaxManifestCacheSeconds)
        lines << QStringLiteral("warning: caches may keep the manifest for %1 s (its Cache-Control or Expires): clients "
                                "behind one see a new release that much later; give it \"no-cache\" or at most %2 s")
                         .arg(cacheLifetime).arg(MaxManifestCacheSeconds);
    bool ok = checkSignature(manifestLocation, manifest);
    const QJsonObject root = QJsonDocument::fromJson(manifest).object();
    const QString expires = root.value(QStringLiteral("expires")).toString();
    if (!expires.isEmpty()) {
        const QString why = ManifestSignature::checkExpiry(expires, QDateTime::currentDateTimeUtc());
        ok = check(why.isEmpty(), QStringLiteral("expires %1").arg(why.isEmpty() ? expires : why)) && ok;
    }
    const QJsonObject updates = root.value(QStringLiteral("updates")).toObject();
    if (!check(!updates.isEmpty(), QStringLiteral("platform records in the manifest")))
        return false;
    for (auto it = updates.constBegin(); it != updates.constEnd(); ++it)
        ok = checkRecord(it.key(), manifest, name, manifestLocation) && ok;
    return ok;
}

bool Verifier::checkSignature(const QString &manifestLocation, const QByteArray &manifest)
{
    if (keys.isEmpty()) {
        lines << QStringLiteral("skipped signature: no --public-key given");
        return true;
    }
    // Both: the one inside, which this tool reads, and the file beside, which earlier releases read.
    bool ok = true;
    QByteArray signedBytes;
    QByteArray inside;
    if (ManifestSignature::extract(manifest, &signedBytes, &inside)) {
        const QString why = ManifestSignature::check(signedBytes, inside, keys);
        ok = check(why.isEmpty(), QStringLiteral("signature inside %1").arg(why.isEmpty() ? QStringLiteral("verifies")
                                                                                          : why));
    } else {
        lines << QStringLiteral("skipped signature inside: the manifest carries none (published by an earlier "
                                "updater-publish); clients check the file beside it");
    }
    QByteArray signature;
    QString error;
    QString why;
    if (!read(ManifestSignature::signatureUrl(manifestLocation), &signature, &error))
        why = QStringLiteral("manifest signature missing: ") + error;
    else
        why = ManifestSignature::check(manifest, signature, keys);
    return check(why.isEmpty(), QStringLiteral("signature %1").arg(why.isEmpty() ? QStringLiteral("verifies") : why))
            && ok;
}

// Every download of one platform record, as a client would fetch it.
bool Verifier::checkRecord(const QString &platform, const QByteArray &manifest, const QString &name,
                           const QString &manifestLocation)
{
    bool ok = true;
    ManifestRecord record;
    parseManifest(manifest, platform, &record);
    // What the publisher controls: which installations the patch fits, and the rollout.
    ok = check(record.patchForProblem.isEmpty(), QStringLiteral("%1 patch made for %2").arg(platform,
            !record.patchForProblem.isEmpty() ? record.patchForProblem
            : record.patchFor.isEmpty() ? QStringLiteral("every earlier version") : record.patchFor.join(QStringLiteral(", "))))
            && ok;
    ok = check(record.rolloutProblem.isEmpty(), QStringLiteral("%1 rollout %2").arg(platform,
            record.rolloutProblem.isEmpty() ? QStringLiteral("%1 % of installations").arg(record.rollout)
                                            : record.rolloutProblem)) && ok;
    // A version becomes part of a file name on every client: what cannot be is refused there.
    const QStringList versions = QStringList { record.patchVersion, record.fullVersion } + record.deltas.keys();
    for (const QString &version : versions) {
        const QString problem = ReleaseFileNames::versionProblem(version);
        if (!problem.isEmpty())
            ok = check(false, QStringLiteral("%1 version \"%2\" cannot be part of a file name (%3); "
                                             "clients refuse its download").arg(platform, version, problem)) && ok;
    }
    struct Download { QString kind; QString url; FileCheck file; };
    QList<Download> downloads = {
        { QStringLiteral("patch"), record.patchUrlPrefix + name + QLatin1Char('/')
                  + ReleaseFileNames::patch(name, record.patchVersion), record.patch },
        { QStringLiteral("full"), record.fullUrlPrefix + name + QLatin1Char('/')
                  + ReleaseFileNames::full(name, record.fullVersion), record.full },
    };
    for (auto delta = record.deltas.cbegin(); delta != record.deltas.cend(); ++delta)
        downloads.append({ QStringLiteral("delta from %1").arg(delta.key()), delta.value().url, delta.value().check });
    if (!remote && !record.mirrors.isEmpty())
        lines << QStringLiteral("skipped %1 mirrors: a folder holds no mirror's copy; verify the deployed manifest's URL "
                                "to check them").arg(platform);
    // Every mirror's copy, where it can be fetched: a deployment checked by its URL.
    for (int i = 0, own = downloads.size(); remote && i < own; ++i) {
        const Download d = downloads.at(i);
        const QString prefix = d.kind == QLatin1String("full") ? record.fullUrlPrefix : record.patchUrlPrefix;
        for (const QString &url : mirrorUrls(record, prefix, d.url))
            downloads.append({ d.kind + QStringLiteral(" on a mirror"), url, d.file });
    }
    for (const auto &d : qAsConst(downloads)) {
        const QString where = remote ? d.url : QFileInfo(manifestLocation).absoluteDir().filePath(QUrl(d.url).fileName());
        const QString what = QStringLiteral("%1 %2 %3").arg(platform, d.kind, where);
        if (!check(d.file.isValid() && d.file.size >= 0 && !d.file.sha256.isEmpty(),
                   what + QStringLiteral(": the manifest gives its size and SHA-256")))
            ok = false;
        const QString scheme = QUrl(d.url, QUrl::TolerantMode).scheme().toLower();
        if (scheme != QLatin1String("https") && scheme != QLatin1String("http")) {
            ok = check(false, QStringLiteral("%1 %2 %3: the scheme \"%4\" is not https or http; clients refuse it")
                                      .arg(platform, d.kind, d.url, scheme)) && ok;
            continue;
        }
        qint64 size = 0;
        QByteArray sha;
        QString error;
        if (!measure(where, &size, &sha, &error)) {
            ok = check(false, what + QStringLiteral(": unreachable: ") + error) && ok;
            continue;
        }
        ok = check(d.file.size < 0 || size == d.file.size,
                   what + QStringLiteral(": %1 bytes (manifest: %2)").arg(size).arg(d.file.size)) && ok;
        ok = check(d.file.sha256.isEmpty() || sha == d.file.sha256,
                   what + QStringLiteral(": SHA-256 %1").arg(QString::fromLatin1(sha.toHex()))) && ok;
    }
    return ok;
}
