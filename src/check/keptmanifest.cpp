#include "check/keptmanifest.h"

#include "crypto/crypto.h"
#include "manifest/usersettings.h"

#include <QSettings>
#include <QUrl>

KeptManifest::KeptManifest(const QString &appName, const QString &manifestUrl)
    : key(UserSettings::key(appName, QStringLiteral("kept-manifest/"))
          + QString::fromLatin1(QUrl::toPercentEncoding(manifestUrl)))
    , url(manifestUrl)
{
}

bool KeptManifest::load()
{
    const auto settings = UserSettings::open();
    settings->beginGroup(key);
    body = settings->value(QStringLiteral("body")).toByteArray();
    etag = settings->value(QStringLiteral("etag")).toByteArray();
    lastModified = settings->value(QStringLiteral("last-modified")).toByteArray();
    const QByteArray sha256 = settings->value(QStringLiteral("sha256")).toByteArray();
    const QString keptUrl = settings->value(QStringLiteral("url")).toString();
    settings->endGroup();
    // A damaged copy, or one of another URL, is simply not used.
    const bool whole = !body.isEmpty() && keptUrl == url && sha256 == Crypto::Sha256::hash(body).toHex()
            && (!etag.isEmpty() || !lastModified.isEmpty());
    if (!whole) {
        body.clear();
        etag.clear();
        lastModified.clear();
    }
    return whole;
}

void KeptManifest::store(const QByteArray &manifest, const QByteArray &entityTag, const QByteArray &modified)
{
    const auto settings = UserSettings::open();
    settings->beginGroup(key);
    if (manifest.size() > MaxKept || (entityTag.isEmpty() && modified.isEmpty())) {
        settings->remove(QString()); // nothing to ask conditionally with
    } else {
        settings->setValue(QStringLiteral("url"), url);
        settings->setValue(QStringLiteral("body"), manifest);
        settings->setValue(QStringLiteral("sha256"), Crypto::Sha256::hash(manifest).toHex());
        settings->setValue(QStringLiteral("etag"), entityTag);
        settings->setValue(QStringLiteral("last-modified"), modified);
    }
    settings->endGroup();
    UserSettings::store(settings.get(), nullptr);
}
