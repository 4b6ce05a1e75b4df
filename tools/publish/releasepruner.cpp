#include "releasepruner.h"

#include "manifest/manifest.h"
#include "manifest/releasefilenames.h"
#include "releasestore.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QSet>

#include <functional>

namespace {

// The output's lock, as the publisher names it: a prune never moves what a publish is writing.
const QString PublishLockName = QStringLiteral(".updater-publish.lock");

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A manifest's "expires"; invalid when it has none.
QDateTime expiresOf(const QByteArray &json)
{
    return QDateTime::fromString(QJsonDocument::fromJson(json).object().value(QStringLiteral("expires")).toString(),
                                 Qt::ISODate);
}

// When a kept manifest was published, from its name.
QDateTime momentOf(const QString &path)
{
    QDateTime when = QDateTime::fromString(QFileInfo(path).completeBaseName(), QStringLiteral("yyyyMMdd'T'HHmmsszzz'Z'"));
    when.setTimeSpec(Qt::UTC);
    return when;
}

// The files of \a name that the manifests clients may still hold name: the output's (\a current), and
// each kept one before it until it expires (or for the grace after it was replaced, when it does not
// say). The kept ones past their time go into \a dead.
QSet<QString> filesInUse(const QString &name, const QByteArray &current, const QStringList &kept, const QDateTime &now,
                         QStringList *dead)
{
    QList<QByteArray> inUse;
    if (!current.isEmpty())
        inUse << current;
    for (int i = 0; i < kept.size(); ++i) {
        const QByteArray json = readAll(kept.at(i));
        const QDateTime expires = expiresOf(json);
        const QDateTime replaced = i + 1 < kept.size() ? momentOf(kept.at(i + 1)) : QDateTime();
        const bool live = json == current
                || (expires.isValid() ? expires > now
                                      : !replaced.isValid() || replaced.addDays(ReleasePruner::GraceDays) > now);
        if (live)
            inUse << json;
        else
            *dead << kept.at(i);
    }
    // For every platform: the release, its deltas, the previous release.
    QSet<QString> named;
    std::function<void(const ManifestRecord &)> add = [&](const ManifestRecord &record) {
        if (!record.patchVersion.isEmpty())
            named << ReleaseFileNames::patch(name, record.patchVersion);
        if (!record.fullVersion.isEmpty())
            named << ReleaseFileNames::full(name, record.fullVersion);
        for (const DeltaOffer &delta : record.deltas)
            named << delta.url.mid(delta.url.lastIndexOf(QLatin1Char('/')) + 1);
        if (record.previous)
            add(*record.previous);
    };
    for (const QByteArray &json : qAsConst(inUse)) {
        const QJsonObject platforms = QJsonDocument::fromJson(json).object().value(QStringLiteral("updates")).toObject();
        for (auto it = platforms.constBegin(); it != platforms.constEnd(); ++it) {
            ManifestRecord record;
            if (parseManifest(json, it.key(), &record))
                add(record);
        }
    }
    return named;
}

} // namespace

bool ReleasePruner::fail(const QString &message)
{
    error = message;
    return false;
}

// \a path moved to \a trashed, its folders made; only said in a dry run.
bool ReleasePruner::setAside(const QString &path, const QString &trashed, bool dryRun)
{
    lines << QStringLiteral("move: %1 -> %2").arg(path, trashed);
    if (dryRun)
        return true;
    if (!QDir().mkpath(QFileInfo(trashed).path()) || !QFile::rename(path, trashed))
        return fail(QStringLiteral("cannot move %1 into %2").arg(path, trashed));
    return true;
}

// The store's files that no kept release needs: bytes, and deltas from or to them.
bool ReleasePruner::setAsideUnneeded(const QString &root, const QSet<QByteArray> &keptObjects, const QString &trash,
                                     bool dryRun)
{
    const QString objects = QDir(root).filePath(QStringLiteral("objects"));
    for (QDirIterator it(objects, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
        const QString path = it.next();
        const QByteArray sha256 = QByteArray::fromHex(QFileInfo(path).fileName().toLatin1());
        if (!keptObjects.contains(sha256)
            && !setAside(path, QStringLiteral("%1/%2").arg(trash, QDir(root).relativeFilePath(path)), dryRun))
            return false;
    }
    const QString deltas = QDir(root).filePath(QStringLiteral("deltas"));
    for (QDirIterator it(deltas, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
        const QString path = it.next();
        const QStringList hashes = QFileInfo(path).completeBaseName().split(QLatin1Char('-'));
        if ((hashes.size() != 2 || !keptObjects.contains(QByteArray::fromHex(hashes.at(0).toLatin1()))
             || !keptObjects.contains(QByteArray::fromHex(hashes.at(1).toLatin1())))
            && !setAside(path, QStringLiteral("%1/%2").arg(trash, QDir(root).relativeFilePath(path)), dryRun))
            return false;
    }
    return true;
}

// What an earlier prune set aside, once the grace has passed.
bool ReleasePruner::emptyTrash(const QString &root, const QDate &today, bool dryRun)
{
    const QDir trashes(QDir(root).filePath(QStringLiteral("trash")));
    for (const QString &day : trashes.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        const QDate date = QDate::fromString(day, Qt::ISODate);
        if (!date.isValid() || date.addDays(GraceDays) > today)
            continue;
        lines << QStringLiteral("delete: %1").arg(trashes.filePath(day));
        if (!dryRun && !QDir(trashes.filePath(day)).removeRecursively())
            return fail(QStringLiteral("cannot delete %1").arg(trashes.filePath(day)));
    }
    return true;
}

bool ReleasePruner::prune(const PruneRequest &r, const QDateTime &now)
{
    error.clear();
    lines.clear();
    if (r.name.isEmpty() || r.name.contains(QLatin1Char('/')) || r.name.contains(QLatin1Char('\\'))
        || r.name.startsWith(QLatin1Char('.')))
        return fail(QStringLiteral("the application name \"%1\" is not a plain name").arg(r.name));
    if (r.keep < 1)
        return fail(QStringLiteral("--keep takes a number of releases, 1 or more"));
    if (r.store.isEmpty() || r.output.isEmpty())
        return fail(QStringLiteral("prune needs --store and --output"));
    ReleaseStore store(r.store);
    if (!store.open())
        return fail(store.errorString());
    const QDir out(QDir(r.output).filePath(r.name));
    QLockFile outputLock(out.filePath(PublishLockName));
    if (out.exists() && !outputLock.tryLock(0))
        return fail(QStringLiteral("another updater-publish is writing into %1; try again when it has finished")
                            .arg(out.path()));
    QVector<ReleaseStore::Release> releases;
    if (!store.releases(r.name, &releases))
        return fail(store.errorString());
    const QDate today = now.date();
    const QString trash = QStringLiteral("%1/trash/%2").arg(store.root(), today.toString(Qt::ISODate));

    QStringList dead;
    const QSet<QString> named = filesInUse(r.name, readAll(out.filePath(QStringLiteral("updates.json"))),
                                           store.manifests(r.name), now, &dead);

    QSet<QString> keptVersions;
    QSet<QByteArray> keptObjects;
    for (int i = 0; i < releases.size(); ++i) {
        const ReleaseStore::Release &release = releases.at(i);
        if (i < r.keep) {
            keptVersions.insert(release.version);
            for (const ReleaseStore::File &file : release.files)
                keptObjects.insert(file.sha256);
            lines << QStringLiteral("keep: release %1").arg(release.version);
        } else if (!setAside(store.recordPath(r.name, release.version),
                             QStringLiteral("%1/releases/%2/%3.json").arg(trash, r.name, release.version), r.dryRun)) {
            return false;
        }
    }

    // The output's release files: kept when a kept release or a manifest in use names them.
    for (const QFileInfo &info : out.entryInfoList(QDir::Files, QDir::Name)) {
        const QString file = info.fileName();
        if (file == QLatin1String("updates.json") || file == QLatin1String("updates.json.sig"))
            continue;
        bool ofKept = false;
        for (const QString &version : qAsConst(keptVersions)) {
            if (file == ReleaseFileNames::patch(r.name, version) || file == ReleaseFileNames::full(r.name, version)
                || (file.startsWith(r.name + QStringLiteral("-delta-v"))
                    && file.endsWith(QStringLiteral("-v%1.zip").arg(version))))
                ofKept = true;
        }
        if (ofKept || named.contains(file)) {
            lines << QStringLiteral("keep: %1%2").arg(info.filePath(), ofKept ? QString()
                                                                              : QStringLiteral(" (a manifest in use names it)"));
        } else if (!setAside(info.filePath(), QStringLiteral("%1/output/%2/%3").arg(trash, r.name, file), r.dryRun)) {
            return false;
        }
    }

    if (!setAsideUnneeded(store.root(), keptObjects, trash, r.dryRun))
        return false;
    for (const QString &path : qAsConst(dead)) {
        if (!setAside(path, QStringLiteral("%1/%2").arg(trash, QDir(store.root()).relativeFilePath(path)), r.dryRun))
            return false;
    }

    if (!emptyTrash(store.root(), today, r.dryRun))
        return false;
    if (r.dryRun)
        lines << QStringLiteral("dry run: nothing was moved or deleted");
    return true;
}
