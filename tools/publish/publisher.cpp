#include "publisher.h"

#include "crypto.h"
#include "manifest.h"
#include "zipwriter.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace {

bool isDecimal32(const QString &text)
{
    if (text.isEmpty() || text.size() > 10)
        return false;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return text.toULongLong() <= 0xffffffffull;
}

bool saveFile(const QString &path, const QByteArray &data, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit()) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

QString hexSha256(const QByteArray &data)
{
    return QString::fromLatin1(Crypto::Sha256::hash(data).toHex());
}

} // namespace

bool isComparableVersion(const QString &version)
{
    if (version.isEmpty())
        return false;
    for (const QString &part : version.split(QLatin1Char('.'))) {
        if (!isDecimal32(part))
            return false;
    }
    return true;
}

bool Publisher::fail(const QString &message)
{
    error = message;
    return false;
}

bool Publisher::validate(const PublishRequest &r)
{
    if (r.name.isEmpty())
        return fail(QStringLiteral("the application name is empty"));
    if (r.name.contains(QLatin1Char('/')) || r.name.contains(QLatin1Char('\\')) || r.name == QLatin1String("..")
        || r.name == QLatin1String("."))
        return fail(QStringLiteral("the application name \"%1\" is not a plain name").arg(r.name));
    if (r.platform.isEmpty())
        return fail(QStringLiteral("the platform key is empty"));
    for (const auto &v : { qMakePair(QStringLiteral("patch"), r.patchVersion),
                           qMakePair(QStringLiteral("full"), r.fullVersion) }) {
        if (!isComparableVersion(v.second))
            return fail(QStringLiteral("the %1 version \"%2\" is not dot-separated decimal numbers; "
                                       "clients would compare it as zeros").arg(v.first, v.second));
    }
    if (!isDecimal32(r.modifyTime))
        return fail(QStringLiteral("the modify time \"%1\" is not a decimal number below 2^32").arg(r.modifyTime));
    if (!isDecimal32(r.modifyCnt))
        return fail(QStringLiteral("the modify count \"%1\" is not a decimal number below 2^32").arg(r.modifyCnt));
    for (const auto &u : { qMakePair(QStringLiteral("patch"), r.patchUrl), qMakePair(QStringLiteral("full"), r.fullUrl) }) {
        if (!u.second.startsWith(QLatin1String("https://")) && !u.second.startsWith(QLatin1String("http://")))
            return fail(QStringLiteral("the %1 URL \"%2\" is not an http(s) URL").arg(u.first, u.second));
        if (!u.second.endsWith(QLatin1Char('/')))
            return fail(QStringLiteral("the %1 URL \"%2\" must end in \"/\"").arg(u.first, u.second));
    }
    if (!QFileInfo(r.installer).isFile())
        return fail(QStringLiteral("the installer \"%1\" is not a file").arg(r.installer));
    if (!QFileInfo(r.patchDir).isDir())
        return fail(QStringLiteral("the patch folder \"%1\" is not a folder").arg(r.patchDir));
    if (r.output.isEmpty())
        return fail(QStringLiteral("no output folder"));
    if (!r.expires.isEmpty() && !QDateTime::fromString(r.expires, Qt::ISODate).isValid())
        return fail(QStringLiteral("the expiry \"%1\" is not an ISO 8601 date and time").arg(r.expires));
    return true;
}

bool Publisher::readSigningKeys(const QStringList &paths, QList<QByteArray> *keys)
{
    for (const QString &path : paths) {
        QFile file(path);
#ifndef Q_OS_WIN
        // A signing key others can read is a key others may have copied.
        if (file.permissions() & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther))
            return fail(QStringLiteral("the signing key %1 can be read by others; make it readable by its owner only "
                                       "(chmod 600)").arg(path));
#endif
        if (!file.open(QIODevice::ReadOnly))
            return fail(QStringLiteral("cannot read the signing key %1: %2").arg(path, file.errorString()));
        const QByteArray pem = file.readAll();
        if (Crypto::ed25519PublicKey(pem).isEmpty())
            return fail(QStringLiteral("%1 is not an Ed25519 private key in PEM").arg(path));
        keys->append(pem);
    }
    return true;
}

bool Publisher::publish(const PublishRequest &r)
{
    error.clear();
    lines.clear();
    if (!validate(r))
        return false;
    QList<QByteArray> signingKeys;
    if (!readSigningKeys(r.signKeys, &signingKeys))
        return false;

    // Everything is read and built in memory first: bad input writes nothing.
    QBuffer zip;
    zip.open(QIODevice::WriteOnly);
    ZipWriter writer(&zip);
    const QDir patchRoot(r.patchDir);
    QDirIterator it(r.patchDir, QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    QStringList names;
    while (it.hasNext())
        names.append(it.next());
    names.sort();
    for (const QString &path : qAsConst(names)) {
        const QFileInfo info(path);
        const QString relative = patchRoot.relativeFilePath(path);
        if (info.isSymLink())
            return fail(QStringLiteral("\"%1\" is a link; the updater refuses links").arg(relative));
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return fail(QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
        if (!writer.addFile(relative, file.readAll(), info.permissions()))
            return fail(writer.errorString());
    }
    if (names.isEmpty())
        return fail(QStringLiteral("the patch folder \"%1\" holds no files").arg(r.patchDir));
    if (!writer.finish())
        return fail(writer.errorString());
    const QByteArray archive = zip.data();

    QFile installerFile(r.installer);
    if (!installerFile.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("cannot read %1: %2").arg(r.installer, installerFile.errorString()));
    const QByteArray installer = installerFile.readAll();

    const QDir out(QDir(r.output).filePath(r.name));
    manifestPath = out.filePath(QStringLiteral("updates.json"));
    QJsonObject root;
    if (QFile::exists(manifestPath)) {
        QFile existing(manifestPath);
        if (!existing.open(QIODevice::ReadOnly))
            return fail(QStringLiteral("cannot read %1: %2").arg(manifestPath, existing.errorString()));
        const QJsonDocument document = QJsonDocument::fromJson(existing.readAll());
        if (!document.isObject())
            return fail(QStringLiteral("%1 exists but is not a JSON object; not replacing it").arg(manifestPath));
        root = document.object();
    }
    QJsonObject updates = root.value(QStringLiteral("updates")).toObject();
    QJsonObject record = updates.value(r.platform).toObject(); // unknown keys stay
    record.insert(QStringLiteral("changelog"), r.changelog);
    record.insert(QStringLiteral("patch-version"), r.patchVersion);
    record.insert(QStringLiteral("full-version"), r.fullVersion);
    record.insert(QStringLiteral("modify-time"), r.modifyTime);
    record.insert(QStringLiteral("modifyCnt"), r.modifyCnt);
    record.insert(QStringLiteral("download-full"), r.downloadFull);
    record.insert(QStringLiteral("patch-url"), r.patchUrl);
    record.insert(QStringLiteral("full-url"), r.fullUrl);
    record.insert(QStringLiteral("patch-size"), QString::number(archive.size()));
    record.insert(QStringLiteral("patch-sha256"), hexSha256(archive));
    record.insert(QStringLiteral("full-size"), QString::number(installer.size()));
    record.insert(QStringLiteral("full-sha256"), hexSha256(installer));
    updates.insert(r.platform, record);
    root.insert(QStringLiteral("updates"), updates);
    if (!r.expires.isEmpty())
        root.insert(QStringLiteral("expires"),
                    QDateTime::fromString(r.expires, Qt::ISODate).toUTC().toString(Qt::ISODate));
    const QByteArray json = QJsonDocument(root).toJson(QJsonDocument::Indented);

    // Read it back with the updater's own code before anything is written.
    ManifestRecord check;
    if (!parseManifest(json, r.platform, &check) || check.patchVersion != r.patchVersion
        || check.fullVersion != r.fullVersion || check.patch.size != archive.size()
        || check.full.size != installer.size() || !check.patch.isValid() || !check.full.isValid())
        return fail(QStringLiteral("the manifest does not read back as written"));

    if (!out.mkpath(QStringLiteral(".")))
        return fail(QStringLiteral("cannot create %1").arg(out.path()));
    const QString patchName = r.name + QStringLiteral("-patch-v") + r.patchVersion + QStringLiteral(".zip");
    const QString fullName = r.name + QStringLiteral("-full-v") + r.fullVersion + QStringLiteral(".exe");
    // The manifest goes last, so that clients never see it before its files.
    if (!saveFile(out.filePath(patchName), archive, &error) || !saveFile(out.filePath(fullName), installer, &error))
        return false;
    QFile::setPermissions(out.filePath(fullName), QFile::permissions(r.installer));
    if (!saveFile(manifestPath, json, &error))
        return false;
    if (!signingKeys.isEmpty()) {
        // One line per key: clients that know any one of them accept it.
        QByteArray signatures;
        for (const QByteArray &key : qAsConst(signingKeys))
            signatures += Crypto::signEd25519(key, json).toBase64() + '\n';
        if (!saveFile(manifestPath + QStringLiteral(".sig"), signatures, &error))
            return false;
        lines << QStringLiteral("updates.json.sig  %1 signature(s)").arg(signingKeys.size());
    }

    lines << QStringLiteral("%1  %2 bytes  sha256 %3  <- %4%5/%1").arg(patchName).arg(archive.size())
                 .arg(hexSha256(archive), r.patchUrl, r.name)
          << QStringLiteral("%1  %2 bytes  sha256 %3  <- %4%5/%1").arg(fullName).arg(installer.size())
                 .arg(hexSha256(installer), r.fullUrl, r.name)
          << QStringLiteral("updates.json  platform \"%1\"  <- <base URL>%2/updates.json").arg(r.platform, r.name);
    published = r;
    return true;
}

QString Publisher::dryRun(const QString &version, const QString &modifyTime, const QString &modifyCnt) const
{
    QFile file(manifestPath);
    ManifestRecord record;
    if (!file.open(QIODevice::ReadOnly) || !parseManifest(file.readAll(), published.platform, &record))
        return QStringLiteral("no manifest to read");
    const bool full = record.downloadFull || version.isEmpty() || version == QLatin1String("0");
    const QString latest = full ? record.fullVersion : record.patchVersion;
    if (!versionNeedsUpdate(version, latest, record.modifyTime, record.modifyCnt, modifyTime, modifyCnt))
        return QStringLiteral("a client at %1 is up to date (offered version %2)").arg(version, latest);
    if (full)
        return QStringLiteral("a client at %1 is offered the installer %2 (%3%4/%4-full-v%2.exe, %5 bytes)")
            .arg(version, record.fullVersion, record.fullUrlPrefix, published.name).arg(record.full.size);
    return QStringLiteral("a client at %1 is offered the patch %2 (%3%4/%4-patch-v%2.zip, %5 bytes)")
        .arg(version, record.patchVersion, record.patchUrlPrefix, published.name).arg(record.patch.size);
}

QString generateSigningKey(const QString &path, QString *error)
{
    const QByteArray pem = Crypto::generateEd25519Key();
    if (pem.isEmpty()) {
        *error = QStringLiteral("cannot generate a key");
        return QString();
    }
    QFile file(path);
    // NewOnly: a key is never overwritten, whatever lies there.
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        *error = QFile::exists(path) ? QStringLiteral("%1 exists; not replacing it").arg(path)
                                     : QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return QString();
    }
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    if (file.write(pem) != pem.size() || !file.flush()) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        file.remove();
        return QString();
    }
    return QString::fromLatin1(Crypto::ed25519PublicKey(pem).toBase64());
}
