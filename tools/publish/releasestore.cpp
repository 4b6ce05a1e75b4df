#include "releasestore.h"

#include "archive/zipreader.h"
#include "crypto/crypto.h"
#include "manifest/releasefilenames.h"
#include "names/namerules.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QSaveFile>

#include <algorithm>

namespace {

constexpr const char *LockName = "publish.lock";
// A record is a few lines per file; anything near this is not one.
constexpr qint64 RecordMax = qint64(64) << 20;

QString hex(const QByteArray &sha256)
{
    return QString::fromLatin1(sha256.toHex());
}

QByteArray readSha256(const QJsonValue &value)
{
    const QByteArray text = value.toString().toLatin1();
    const QByteArray bytes = QByteArray::fromHex(text);
    return text.size() == 64 && bytes.toHex() == text ? bytes : QByteArray();
}

bool readSmall(const QString &path, qint64 limit, QByteArray *bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > limit)
        return false;
    *bytes = file.readAll();
    return true;
}

// \a data written whole under \a path or not at all.
bool saveWhole(const QString &path, const QByteArray &data)
{
    QSaveFile file(path);
    return QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly)
            && file.write(data) == data.size() && file.commit();
}

} // namespace

ReleaseStore::ReleaseStore(const QString &root)
    : folder(QDir::cleanPath(QFileInfo(root).absoluteFilePath()))
{
}

ReleaseStore::~ReleaseStore() = default;

bool ReleaseStore::fail(const QString &message)
{
    error = message;
    return false;
}

int ReleaseStore::compareVersions(const QString &a, const QString &b)
{
    const QStringList first = a.split(QLatin1Char('.'));
    const QStringList second = b.split(QLatin1Char('.'));
    for (int i = 0; i < qMax(first.size(), second.size()); ++i) {
        const uint x = first.value(i).toUInt();
        const uint y = second.value(i).toUInt();
        if (x != y)
            return x < y ? -1 : 1;
    }
    return 0;
}

bool ReleaseStore::open()
{
    if (!QDir().mkpath(folder))
        return fail(QStringLiteral("cannot create the store %1").arg(folder));
    lock.reset(new QLockFile(QDir(folder).filePath(QLatin1String(LockName))));
    if (!lock->tryLock(0))
        return fail(lock->error() == QLockFile::LockFailedError
                            ? QStringLiteral("another updater-publish is using the store %1; try again when it has "
                                             "finished").arg(folder)
                            : QStringLiteral("cannot lock the store %1").arg(folder));
    return true;
}

QString ReleaseStore::objectPath(const QByteArray &sha256) const
{
    const QString name = hex(sha256);
    return QStringLiteral("%1/objects/%2/%3").arg(folder, name.left(2), name);
}

QString ReleaseStore::deltaPath(const QByteArray &baseSha256, const QByteArray &sha256, const char *suffix) const
{
    return QStringLiteral("%1/deltas/%2/%3-%4.%5").arg(folder).arg(DeltaIndex::Format)
            .arg(hex(baseSha256), hex(sha256), QLatin1String(suffix));
}

QString ReleaseStore::recordPath(const QString &name, const QString &version) const
{
    return QStringLiteral("%1/releases/%2/%3.json").arg(folder, name, version);
}

bool ReleaseStore::keepManifest(const QString &name, const QByteArray &json)
{
    // Named by the moment, to the millisecond: they sort as they were published.
    const QString path = QStringLiteral("%1/manifests/%2/%3.json")
            .arg(folder, name, QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmsszzz'Z'")));
    return saveWhole(path, json) || fail(QStringLiteral("cannot write %1").arg(path));
}

QStringList ReleaseStore::manifests(const QString &name) const
{
    const QDir dir(QStringLiteral("%1/manifests/%2").arg(folder, name));
    QStringList paths;
    for (const QString &file : dir.entryList({ QStringLiteral("*.json") }, QDir::Files, QDir::Name))
        paths << dir.filePath(file);
    return paths;
}

bool ReleaseStore::releases(const QString &name, QVector<Release> *list)
{
    list->clear();
    const QDir dir(QStringLiteral("%1/releases/%2").arg(folder, name));
    for (const QFileInfo &info : dir.entryInfoList({ QStringLiteral("*.json") }, QDir::Files)) {
        QByteArray bytes;
        if (info.isSymLink() || !readSmall(info.filePath(), RecordMax, &bytes))
            return fail(QStringLiteral("cannot read the store's record %1").arg(info.filePath()));
        const QJsonObject object = QJsonDocument::fromJson(bytes).object();
        Release release;
        release.version = object.value(QStringLiteral("version")).toString();
        const QString damaged = QStringLiteral("the store's record %1 is damaged").arg(info.filePath());
        if (!ReleaseFileNames::isVersion(release.version) || info.completeBaseName() != release.version)
            return fail(damaged);
        for (const QJsonValue &value : object.value(QStringLiteral("files")).toArray()) {
            const QJsonObject entry = value.toObject();
            File file;
            file.path = entry.value(QStringLiteral("path")).toString();
            file.size = qint64(entry.value(QStringLiteral("size")).toDouble(-1));
            file.sha256 = readSha256(entry.value(QStringLiteral("sha256")));
            file.executable = entry.value(QStringLiteral("executable")).toBool();
            if (!unsafeEntryReason(file.path).isEmpty() || file.size < 0 || file.sha256.isEmpty())
                return fail(damaged);
            release.files.append(file);
        }
        list->append(release);
    }
    std::sort(list->begin(), list->end(), [](const Release &a, const Release &b) {
        return compareVersions(a.version, b.version) > 0;
    });
    return true;
}

bool ReleaseStore::readFolder(const QString &root, const QStringList &paths, const QString &version,
                              Release *release)
{
    release->version = version;
    release->files.clear();
    for (const QString &path : paths) {
        File file;
        file.path = path;
        QFile source(QDir(root).filePath(path));
        if (!source.open(QIODevice::ReadOnly) || !Crypto::Sha256::hashDevice(&source, &file.sha256, &file.size))
            return fail(QStringLiteral("cannot read %1").arg(source.fileName()));
        file.executable = QFileInfo(source.fileName()).isExecutable();
        release->files.append(file);
    }
    std::sort(release->files.begin(), release->files.end(),
              [](const File &a, const File &b) { return a.path < b.path; });
    return true;
}

QString ReleaseStore::firstDifference(const Release &a, const Release &b)
{
    QHash<QString, const File *> other;
    for (const File &file : b.files)
        other.insert(file.path, &file);
    for (const File &file : a.files) {
        const File *same = other.take(file.path);
        if (!same || same->sha256 != file.sha256 || same->executable != file.executable)
            return file.path;
    }
    return other.isEmpty() ? QString() : other.begin().key();
}

// The bytes of \a source kept as \a file's object, unless they are kept already.
bool ReleaseStore::keepObject(const QString &source, const File &file)
{
    const QString path = objectPath(file.sha256);
    if (QFileInfo(path).size() == file.size && QFileInfo(path).isFile())
        return true;
    QFile in(source);
    QSaveFile out(path);
    QByteArray sha256;
    qint64 size = 0;
    if (!in.open(QIODevice::ReadOnly) || !QDir().mkpath(QFileInfo(path).path()) || !out.open(QIODevice::WriteOnly)
        || !Crypto::Sha256::hashDevice(&in, &sha256, &size, &out))
        return fail(QStringLiteral("cannot keep %1 in the store: %2").arg(source, out.errorString()));
    if (sha256 != file.sha256 || size != file.size) {
        out.cancelWriting();
        return fail(QStringLiteral("%1 changed while it was published").arg(source));
    }
    return out.commit() || fail(QStringLiteral("cannot keep %1 in the store: %2").arg(source, out.errorString()));
}

bool ReleaseStore::record(const QString &name, const Release &release, const QString &root)
{
    QJsonArray files;
    for (const File &file : release.files) {
        if (!keepObject(QDir(root).filePath(file.path), file))
            return false;
        files.append(QJsonObject { { QStringLiteral("path"), file.path },
                                   { QStringLiteral("size"), double(file.size) },
                                   { QStringLiteral("sha256"), hex(file.sha256) },
                                   { QStringLiteral("executable"), file.executable } });
    }
    const QJsonObject object { { QStringLiteral("name"), name }, { QStringLiteral("version"), release.version },
                               { QStringLiteral("files"), files } };
    const QString path = recordPath(name, release.version);
    // The record last: a release is in the store once every byte it names is.
    if (!saveWhole(path, QJsonDocument(object).toJson(QJsonDocument::Indented)))
        return fail(QStringLiteral("cannot write %1").arg(path));
    return true;
}

bool ReleaseStore::materialize(const Release &release, const QString &root)
{
    for (const File &file : release.files) {
        const QString target = QDir(root).filePath(file.path);
        QFile in(objectPath(file.sha256));
        QFile out(target);
        QByteArray sha256;
        qint64 size = 0;
        if (QFileInfo(in.fileName()).isSymLink() || !in.open(QIODevice::ReadOnly)
            || !QDir().mkpath(QFileInfo(target).path()) || !out.open(QIODevice::WriteOnly)
            || !Crypto::Sha256::hashDevice(&in, &sha256, &size, &out))
            return fail(QStringLiteral("cannot read %1 of release %2 from the store").arg(file.path, release.version));
        // The store's copy is checked as it is read: a damaged one is never a delta's base.
        if (sha256 != file.sha256 || size != file.size)
            return fail(QStringLiteral("the store's copy of %1 of release %2 is damaged (%3)")
                                .arg(file.path, release.version, in.fileName()));
        out.close();
        QFile::Permissions mode = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther;
        if (file.executable)
            mode |= QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther;
        if (!out.setPermissions(mode))
            return fail(QStringLiteral("cannot write %1").arg(target));
    }
    return true;
}

bool ReleaseStore::findDelta(const QByteArray &baseSha256, const QByteArray &sha256, DeltaIndex::File *entry,
                             QByteArray *data)
{
    QByteArray json;
    if (!readSmall(deltaPath(baseSha256, sha256, "json"), DeltaIndex::MaxIndexSize, &json))
        return false;
    const QJsonObject object = QJsonDocument::fromJson(json).object();
    DeltaIndex index;
    QString why;
    if (!DeltaIndex::parse(QJsonDocument(object.value(QStringLiteral("index")).toObject()).toJson(), &index, &why)
        || index.files.size() != 1 || index.files.constFirst().baseSha256 != baseSha256
        || index.files.constFirst().sha256 != sha256)
        return false;
    // Its data must be what the entry was written with: a damaged one is made again.
    QFile file(deltaPath(baseSha256, sha256, "data"));
    if (!file.open(QIODevice::ReadOnly) || file.size() > ZipReader::MaxEntrySize)
        return false;
    *data = file.readAll();
    if (Crypto::Sha256::hash(*data) != readSha256(object.value(QStringLiteral("data-sha256"))))
        return false;
    *entry = index.files.constFirst();
    return true;
}

void ReleaseStore::keepDelta(const DeltaIndex::File &entry, const QByteArray &data)
{
    if (onlyReads)
        return;
    DeltaIndex index;
    index.files.append(entry);
    const QJsonObject object { { QStringLiteral("index"), QJsonDocument::fromJson(index.toJson()).object() },
                               { QStringLiteral("data-sha256"), hex(Crypto::Sha256::hash(data)) } };
    // A cache: a delta that cannot be kept is made again next time.
    if (saveWhole(deltaPath(entry.baseSha256, entry.sha256, "data"), data))
        saveWhole(deltaPath(entry.baseSha256, entry.sha256, "json"), QJsonDocument(object).toJson());
}

void ReleaseStore::dropDelta(const QByteArray &baseSha256, const QByteArray &sha256)
{
    if (onlyReads)
        return;
    QFile::remove(deltaPath(baseSha256, sha256, "json"));
    QFile::remove(deltaPath(baseSha256, sha256, "data"));
}
