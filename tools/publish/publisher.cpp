#include "publisher.h"

#include "archive/zipreader.h"
#include "crypto/crypto.h"
#include "delta/deltarebuild.h"
#include "deltawriter.h"
#include "manifest/manifest.h"
#include "manifest/manifestsignature.h"
#include "manifest/offer.h"
#include "manifest/releasefilenames.h"
#include "names/namerules.h"
#include "names/nameset.h"
#include "platform/filesystem.h"
#include "releasestore.h"
#include "transaction/installtransaction.h"
#include "zipwriter.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QSaveFile>
#include <QSet>
#include <QTemporaryDir>
#include <QCoreApplication>
#include <QScopeGuard>

#include <cstring>
#include <memory>
#include <vector>


namespace {

const QString PublishLockName = QStringLiteral(".updater-publish.lock");

bool saveFile(const QString &path, const QByteArray &data, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit()) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

} // namespace

namespace {

// A version as a client compares it: "1.1" and "1.1.0" differ there, though a person reads them alike.
QString withoutTrailingZeros(QString version)
{
    while (version.endsWith(QLatin1String(".0")))
        version.chop(2);
    return version;
}

int compareVersions(const QString &a, const QString &b)
{
    return ReleaseStore::compareVersions(a, b);
}

} // namespace

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
    // Both become folder names and manifest keys: one line of printable text.
    for (const QString &text : { r.name, r.platform }) {
        for (const QChar c : text) {
            if (c.unicode() < 0x20 || c.unicode() == 0x7f)
                return fail(QStringLiteral("\"%1\" is not a single line of printable text").arg(text));
        }
    }
    for (const auto &v : { qMakePair(QStringLiteral("patch"), r.patchVersion),
                           qMakePair(QStringLiteral("full"), r.fullVersion) }) {
        if (!ReleaseFileNames::isVersion(v.second))
            return fail(QStringLiteral("the %1 version \"%2\" is not dot-separated decimal numbers; "
                                       "clients would compare it as zeros").arg(v.first, v.second));
    }
    if (!ReleaseFileNames::isDecimal32(r.modifyTime))
        return fail(QStringLiteral("the modify time \"%1\" is not a decimal number below 2^32").arg(r.modifyTime));
    if (!ReleaseFileNames::isDecimal32(r.modifyCnt))
        return fail(QStringLiteral("the modify count \"%1\" is not a decimal number below 2^32").arg(r.modifyCnt));
    for (const auto &u : { qMakePair(QStringLiteral("patch"), r.patchUrl), qMakePair(QStringLiteral("full"), r.fullUrl) }) {
        if (!u.second.startsWith(QLatin1String("https://")) && !u.second.startsWith(QLatin1String("http://")))
            return fail(QStringLiteral("the %1 URL \"%2\" is not an http(s) URL").arg(u.first, u.second));
        if (!u.second.endsWith(QLatin1Char('/')))
            return fail(QStringLiteral("the %1 URL \"%2\" must end in \"/\"").arg(u.first, u.second));
    }
    if (!QFileInfo(r.installer).isFile())
        return fail(QStringLiteral("the installer \"%1\" is not a file").arg(r.installer));
    if (r.fromDir.isEmpty() != r.toDir.isEmpty())
        return fail(QStringLiteral("--from and --to go together"));
    if (!r.fromDir.isEmpty() && !r.patchDir.isEmpty())
        return fail(QStringLiteral("give either --patch-dir or --from and --to"));
    for (const QString &folder : { r.fromDir, r.toDir }) {
        if (!folder.isEmpty() && !QFileInfo(folder).isDir())
            return fail(QStringLiteral("the release folder \"%1\" is not a folder").arg(folder));
    }
    if (r.fromDir.isEmpty() && !QFileInfo(r.patchDir).isDir())
        return fail(QStringLiteral("the patch folder \"%1\" is not a folder").arg(r.patchDir));
    if (r.output.isEmpty())
        return fail(QStringLiteral("no output folder"));
    QSet<QString> deltaVersions;
    for (const auto &delta : r.deltaFrom) {
        if (!QFileInfo(delta.first).isDir())
            return fail(QStringLiteral("the delta base \"%1\" is not a folder").arg(delta.first));
        if (!ReleaseFileNames::isVersion(delta.second))
            return fail(QStringLiteral("the delta base version \"%1\" is not dot-separated decimal numbers")
                            .arg(delta.second));
        if (delta.second == r.patchVersion || deltaVersions.contains(delta.second))
            return fail(QStringLiteral("a delta from version %1 is given twice, or is the patch's own version")
                            .arg(delta.second));
        deltaVersions.insert(delta.second);
    }
    if (!r.expires.isEmpty() && !checkExpiry(r.expires))
        return false;
    return validateReleaseControl(r);
}

// An expiry must be a date to come: one that has passed turns every client away at once.
bool Publisher::checkExpiry(const QString &expires)
{
    const QDateTime when = QDateTime::fromString(expires, Qt::ISODate);
    if (!when.isValid())
        return fail(QStringLiteral("the expiry \"%1\" is not an ISO 8601 date and time").arg(expires));
    const QDateTime now = QDateTime::currentDateTimeUtc();
    if (when <= now)
        return fail(QStringLiteral("the expiry %1 has passed: every client would refuse the manifest")
                            .arg(when.toUTC().toString(Qt::ISODate)));
    if (when < now.addDays(7))
        lines << QStringLiteral("warning: the manifest expires on %1, in less than 7 days; sign it again before then")
                         .arg(when.toUTC().toString(Qt::ISODate));
    return true;
}

bool Publisher::validateReleaseControl(const PublishRequest &r)
{
    for (const QString &version : r.patchFor) {
        if (!ReleaseFileNames::isVersion(version))
            return fail(QStringLiteral("the --patch-for version \"%1\" is not dot-separated decimal numbers").arg(version));
        // A patch is made from an earlier release: clients at the new version or later never take it.
        if (compareVersions(version, r.patchVersion) >= 0)
            return fail(QStringLiteral("the --patch-for version %1 is not lower than the --patch-version %2: a patch "
                                       "is made for the releases before it").arg(version, r.patchVersion));
    }
    // A patch folder holds only what the patch changes: a delta of it fits only where the patch does.
    for (const auto &delta : r.deltaFrom) {
        if (r.fromDir.isEmpty() && !r.patchFor.isEmpty() && !r.patchFor.contains(delta.second))
            return fail(QStringLiteral("a delta from %1 made of the patch folder would leave out what changed before "
                                       "the patch's version(s) %2: give the releases with --from and --to")
                                .arg(delta.second, r.patchFor.join(QStringLiteral(", "))));
    }
    // The folders do not say which version --from is; installed into any other, the patch mixes releases.
    if (!r.fromDir.isEmpty() && r.patchFor.isEmpty())
        return fail(QStringLiteral("--from and --to need --patch-for VERSION, the version of the --from release: "
                                   "the patch holds only what changed since it, and installed into any other "
                                   "version it would leave neither release"));
    for (const QString &mirror : r.mirrors) {
        if ((!mirror.startsWith(QLatin1String("https://")) && !mirror.startsWith(QLatin1String("http://")))
            || !mirror.endsWith(QLatin1Char('/')))
            return fail(QStringLiteral("the mirror \"%1\" is not an http(s) URL ending in \"/\"").arg(mirror));
    }
    if (r.rollout < 0 || r.rollout > 100)
        return fail(QStringLiteral("the rollout %1 is not a percentage from 0 to 100").arg(r.rollout));
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

namespace {

bool sameContents(const QString &a, const QString &b)
{
    QFile first(a);
    QFile second(b);
    if (first.size() != second.size() || !first.open(QIODevice::ReadOnly) || !second.open(QIODevice::ReadOnly))
        return false;
    QByteArray one(1 << 20, Qt::Uninitialized);
    QByteArray two(1 << 20, Qt::Uninitialized);
    for (;;) {
        const qint64 n = first.read(one.data(), one.size());
        if (n <= 0)
            return n == 0;
        if (second.read(two.data(), n) != n || std::memcmp(one.constData(), two.constData(), size_t(n)) != 0)
            return false;
    }
}

QStringList filesBelow(const QString &root, QStringList *folderLinks = nullptr)
{
    QStringList paths;
    // Links to folders are not descended into; they are listed apart.
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        if (info.isSymLink() && info.isDir()) {
            if (folderLinks)
                folderLinks->append(info.absoluteFilePath());
        } else if (!info.isDir()) {
            paths.append(info.absoluteFilePath());
        }
    }
    paths.sort();
    return paths;
}

} // namespace

// The files of \a release (a release as installed) that \a base lacks or holds
// otherwise, with a line for each; fails on a file that is a folder in the other.
bool Publisher::filesChangedSince(const QDir &base, const QList<PatchFile> &release, QList<PatchFile> *changed,
                                  QStringList *said)
{
    for (const PatchFile &file : release) {
        const QString &name = file.name;
        // A patch cannot remove a file, so it can never turn one into a folder or back.
        QString changedKind;
        if (QFileInfo(base.filePath(name)).isDir())
            changedKind = name;
        for (int slash = name.indexOf(QLatin1Char('/')); slash > 0 && changedKind.isEmpty();
             slash = name.indexOf(QLatin1Char('/'), slash + 1)) {
            if (QFileInfo(base.filePath(name.left(slash))).isFile())
                changedKind = name.left(slash);
        }
        if (!changedKind.isEmpty())
            return fail(QStringLiteral("\"%1\" is a file in one release and a folder in the other (%2): a patch "
                                       "cannot remove a file, so no client could install it; the full installer "
                                       "must carry this release").arg(changedKind, base.path()));
        const QFileInfo before(base.filePath(name));
        if (before.isFile() && before.isExecutable() == QFileInfo(file.source).isExecutable()
            && sameContents(before.filePath(), file.source))
            continue;
        *said << QStringLiteral("patch: %1 %2").arg(before.exists() ? QStringLiteral("changed") : QStringLiteral("new"),
                                                    name);
        changed->append(file);
    }
    return true;
}

bool Publisher::collectPatchFiles(const PublishRequest &r, QList<PatchFile> *files, QList<PatchFile> *release)
{
    const bool computed = !r.toDir.isEmpty();
    // Names are relative to the folder itself, whatever form its path was given in.
    const QDir root(QFileInfo(computed ? r.toDir : r.patchDir).canonicalFilePath());
    const QDir old(computed ? QFileInfo(r.fromDir).canonicalFilePath() : QString());
    const QString output = QDir::cleanPath(QFileInfo(r.output).absoluteFilePath()) + QLatin1Char('/');
    const QString outputCanonical = QFileInfo(r.output).canonicalFilePath() + QLatin1Char('/');
    QSet<QString> names;
    NameSet folded; // as Windows tells names apart
    QStringList folderLinks;
    for (const QString &path : filesBelow(root.path(), &folderLinks)) {
        // An output folder inside the patch folder is never part of the patch.
        if (path.startsWith(output) || (outputCanonical.size() > 1 && path.startsWith(outputCanonical)))
            continue;
        const QFileInfo info(path);
        const QString name = root.relativeFilePath(path);
        names.insert(name);
        if (info.isSymLink())
            return fail(QStringLiteral("\"%1\" is a link; the updater refuses links").arg(name));
        // The client's own rules, so that nothing is published that it refuses.
        const QString reason = unsafeEntryReason(name);
        if (!reason.isEmpty())
            return fail(QStringLiteral("every client would refuse the patch: %1").arg(reason));
        const QString clash = folded.add(name);
        if (!clash.isEmpty())
            return fail(QStringLiteral("every client would refuse the patch: %1").arg(clash));
        if (info.size() > ZipReader::MaxEntrySize)
            return fail(QStringLiteral("\"%1\" is larger than the %2 GiB a client unpacks").arg(name)
                            .arg(ZipReader::MaxEntrySize >> 30));
        if (computed)
            release->append({ name, path });
        else
            files->append({ name, path });
    }
    if (computed) {
        QStringList changed;
        if (!filesChangedSince(old, *release, files, &changed))
            return false;
        lines << changed;
    }
    for (const QString &link : qAsConst(folderLinks)) {
        if (!link.startsWith(output) && !(outputCanonical.size() > 1 && link.startsWith(outputCanonical)))
            lines << QStringLiteral("warning: %1 is a link to a folder; it is left out, the updater installs no links")
                         .arg(root.relativeFilePath(link));
    }
    // The same, folder against file, as Windows sees them.
    const QString clash = folded.fileFolderClash();
    if (!clash.isEmpty())
        return fail(QStringLiteral("every client would refuse the patch: %1 on Windows").arg(clash));
    if (files->size() > ZipReader::MaxEntries)
        return fail(QStringLiteral("the patch would hold more than the %1 files a client unpacks").arg(ZipReader::MaxEntries));
    if (computed) {
        for (const QString &path : filesBelow(old.path())) {
            const QString name = old.relativeFilePath(path);
            if (!names.contains(name))
                lines << QStringLiteral("warning: %1 is gone from %2; a patch cannot remove files, so it stays on "
                                        "clients").arg(name, r.toDir);
        }
        if (files->isEmpty())
            return fail(QStringLiteral("nothing changed between %1 and %2").arg(r.fromDir, r.toDir));
    } else if (files->isEmpty()) {
        return fail(QStringLiteral("the patch folder \"%1\" holds no files").arg(r.patchDir));
    }
    return true;
}

// What one publish writes: streamed into files beside their final names, in
// bounded memory, and renamed into place only when everything is written.
// Files of our own, not QSaveFile: the archives are read back for their hashes.
// (QTemporaryFile keeps a handle on Windows that stops the final rename.)
struct Publisher::Staged
{
    struct Delta
    {
        QString version;
        QString name;
        std::unique_ptr<QFile> file;
        qint64 size = 0;
        QByteArray sha256;
    };

    explicit Staged(const QDir &folder) : out(folder) {}
    ~Staged()
    {
        // What was not renamed into place is removed; the installer's QSaveFile cancels itself.
        if (patch)
            patch->remove();
        for (const Delta &delta : deltas)
            delta.file->remove();
    }
    QString temporaryPath(const QString &name) const
    {
        return out.filePath(QStringLiteral(".%1.%2.publishing").arg(name).arg(QCoreApplication::applicationPid()));
    }

    QDir out;
    QString patchName;
    std::unique_ptr<QFile> patch;
    qint64 patchSize = 0;
    QByteArray patchSha256;
    QList<qint64> compressedSizes;
    std::vector<Delta> deltas;
    QString installerName;
    std::unique_ptr<QSaveFile> installer;
    qint64 installerSize = 0;
    QByteArray installerSha256;
};


// What the output's manifest says is checked against what the publisher is told: the versions its
// clients report, and the order of releases.
bool Publisher::checkAgainstPublished(const PublishRequest &r, const QString &manifest)
{
    QFile file(manifest);
    ManifestRecord current;
    if (!file.open(QIODevice::ReadOnly) || !parseManifest(file.readAll(), r.platform, &current)
        || current.patchVersion.isEmpty())
        return true; // a first publish: nothing to check against
    QStringList known { current.patchVersion, current.fullVersion };
    if (current.previous)
        known << current.previous->patchVersion << current.previous->fullVersion;
    known.removeDuplicates();
    // Publishing an older release over a newer one turns clients back: a rollback says so itself.
    if (compareVersions(r.patchVersion, current.patchVersion) < 0)
        return fail(QStringLiteral("%1 publishes version %2, newer than the --patch-version %3: are --from and --to, or "
                                   "the version, swapped? (updater-publish rollout --rollback makes the previous "
                                   "release current again)").arg(manifest, current.patchVersion, r.patchVersion));
    // The release --from is must be one the manifest published: clients report those versions.
    if (!r.fromDir.isEmpty() && current.patchVersion != r.patchVersion) {
        bool named = false;
        for (const QString &version : r.patchFor)
            named = named || known.contains(version);
        if (!named)
            return fail(QStringLiteral("--patch-for %1 names none of the versions %2 has published (%3): the --from "
                                       "release is one of those, and clients report them as written")
                                .arg(r.patchFor.join(QStringLiteral(", ")), manifest, known.join(QStringLiteral(", "))));
    }
    QStringList labels = r.patchFor;
    for (const auto &delta : r.deltaFrom)
        labels << delta.second;
    for (const QString &label : qAsConst(labels)) {
        if (known.contains(label))
            continue;
        for (const QString &version : qAsConst(known)) {
            if (withoutTrailingZeros(version) == withoutTrailingZeros(label))
                lines << QStringLiteral("warning: %1 is not a version %2 has published, but %3 is: clients report "
                                        "%3, and only a label written as they report it reaches them")
                                 .arg(label, manifest, version);
        }
    }
    return true;
}

// A published file never changes under its name: caches, mirrors and half-finished downloads hold
// the old bytes, and clients that installed them would never see the new ones.
bool Publisher::checkUnchangedFiles(const PublishRequest &r, const Staged &staged)
{
    QList<QPair<QString, QByteArray>> names { { staged.patchName, staged.patchSha256 },
                                              { staged.installerName, staged.installerSha256 } };
    for (const Staged::Delta &delta : staged.deltas)
        names.append({ delta.name, delta.sha256 });
    for (const auto &name : qAsConst(names)) {
        QFile existing(staged.out.filePath(name.first));
        if (!existing.exists())
            continue;
        QByteArray sha256;
        qint64 size = 0;
        if (!existing.open(QIODevice::ReadOnly) || !Crypto::Sha256::hashDevice(&existing, &sha256, &size))
            return fail(QStringLiteral("cannot read %1: %2").arg(existing.fileName(), existing.errorString()));
        if (sha256 == name.second)
            continue;
        if (!r.replace)
            return fail(QStringLiteral("%1 is published already with other bytes: a published file never changes "
                                       "(caches and clients hold the old one); publish a new version, or give "
                                       "--replace").arg(existing.fileName()));
        lines << QStringLiteral("warning: %1 is replaced with other bytes; clients that installed version %2 with "
                                "modify time %3 and count %4 are not offered it again: raise --modify-count to reach "
                                "them, and purge caches and mirrors of the old file")
                         .arg(existing.fileName(), r.patchVersion, r.modifyTime, r.modifyCnt);
    }
    return true;
}

// The files a publish writes, the manifest last.
QStringList Publisher::publishedNames(const Staged &staged) const
{
    QStringList names { staged.patchName, staged.installerName };
    for (const Staged::Delta &delta : staged.deltas)
        names << delta.name;
    names << QStringLiteral("updates.json");
    return names;
}

// What a publish with a store takes from it and gives back.
struct Publisher::FromStore
{
    std::unique_ptr<ReleaseStore> store;
    std::unique_ptr<QTemporaryDir> bases; // earlier releases written out from the store
    ReleaseStore::Release release;        // the new one, to be recorded
    QString folder;                       // where its files are
};

// With a store: the release in --to is checked against what the store holds under its version, and,
// unless --from or --patch-dir says otherwise, the patch is made against the newest earlier release
// and the deltas against the newest few, each written out from the store into a folder of its own.
bool Publisher::useStore(PublishRequest *r, FromStore *from)
{
    if (r->toDir.isEmpty() || !QFileInfo(r->toDir).isDir())
        return fail(QStringLiteral("--store records the release in --to: give --to FOLDER"));
    if (r->name.isEmpty() || r->name.contains(QLatin1Char('/')) || r->name.contains(QLatin1Char('\\'))
        || r->name.startsWith(QLatin1Char('.')) || !ReleaseFileNames::isVersion(r->patchVersion))
        return validate(*r) && fail(QStringLiteral("the name or version cannot name a release in the store"));
    if (r->deltas < 0)
        return fail(QStringLiteral("--deltas takes a number of releases, 0 or more"));
    from->store.reset(new ReleaseStore(r->store));
    ReleaseStore &store = *from->store;
    if (!store.open())
        return fail(store.errorString());
    from->folder = QFileInfo(r->toDir).canonicalFilePath();
    // With a patch folder, --to only says what the release is: the patch is the folder's.
    if (!r->patchDir.isEmpty())
        r->toDir.clear();
    QStringList paths;
    for (const QString &path : filesBelow(from->folder)) {
        if (!QFileInfo(path).isSymLink())
            paths << QDir(from->folder).relativeFilePath(path);
    }
    QVector<ReleaseStore::Release> recorded;
    if (!store.readFolder(from->folder, paths, r->patchVersion, &from->release) || !store.releases(r->name, &recorded))
        return fail(store.errorString());
    QVector<ReleaseStore::Release> earlier;
    for (const ReleaseStore::Release &release : qAsConst(recorded)) {
        const int order = compareVersions(release.version, r->patchVersion);
        if (order == 0) {
            // Caches and half-finished downloads hold the published bytes: a version never gets others.
            const QString differs = ReleaseStore::firstDifference(from->release, release);
            if (!differs.isEmpty())
                return fail(QStringLiteral("version %1 of %2 is in the store with other bytes (%3 differs); publish "
                                           "these under a new version").arg(r->patchVersion, r->name, differs));
        } else if (order < 0) {
            earlier.append(release);
        }
    }
    if (QDir().mkpath(QDir(store.root()).filePath(QStringLiteral("tmp"))))
        from->bases.reset(new QTemporaryDir(QDir(store.root()).filePath(QStringLiteral("tmp/bases-XXXXXX"))));
    if (!from->bases || !from->bases->isValid())
        return fail(QStringLiteral("cannot write into the store %1").arg(store.root()));
    QHash<QString, QString> written;
    const auto writeOut = [&](const ReleaseStore::Release &release) {
        if (!written.contains(release.version)) {
            const QString folder = from->bases->filePath(release.version);
            if (!QDir().mkpath(folder) || !store.materialize(release, folder))
                return QString();
            written.insert(release.version, folder);
        }
        return written.value(release.version);
    };
    if (r->fromDir.isEmpty() && r->patchDir.isEmpty()) {
        if (earlier.isEmpty()) {
            // The first release the store knows: a patch of every file, for any earlier version.
            r->patchDir = r->toDir;
            r->toDir.clear();
            lines << QStringLiteral("store: no earlier release of %1; the patch holds every file").arg(r->name);
        } else {
            r->fromDir = writeOut(earlier.constFirst());
            if (r->fromDir.isEmpty())
                return fail(store.errorString());
            if (r->patchFor.isEmpty())
                r->patchFor = QStringList { earlier.constFirst().version };
            lines << QStringLiteral("store: the patch is made against release %1").arg(earlier.constFirst().version);
        }
    }
    QStringList given;
    for (const auto &delta : qAsConst(r->deltaFrom))
        given << delta.second;
    for (int i = 0; i < qMin(r->deltas, earlier.size()); ++i) {
        const QString &version = earlier.at(i).version;
        if (given.contains(version))
            continue;
        const QString folder = writeOut(earlier.at(i));
        if (folder.isEmpty())
            return fail(store.errorString());
        r->deltaFrom.append({ folder, version });
    }
    return true;
}

// The delta rebuilt by the client's own code from copies of its bases, every result's size and
// SHA-256 checked: what does not rebuild exactly is never published.
bool Publisher::verifyDelta(const QString &delta, const QString &baseFolder)
{
    QTemporaryDir app;
    DeltaRebuild rebuild(delta);
    if (!app.isValid())
        return fail(QStringLiteral("cannot check the delta %1: no temporary folder").arg(delta));
    ZipReader reader(delta);
    QByteArray json;
    DeltaIndex index;
    QString why;
    {
        QBuffer buffer(&json);
        buffer.open(QIODevice::WriteOnly);
        int at = -1;
        for (int i = 0; reader.open() && i < reader.entries().size(); ++i) {
            if (reader.entries().at(i).name == QLatin1String(DeltaIndex::IndexName))
                at = i;
        }
        if (at < 0 || !reader.extract(at, &buffer) || !DeltaIndex::parse(json, &index, &why))
            return fail(QStringLiteral("the delta %1 cannot be read back: %2").arg(delta, why));
    }
    for (const DeltaIndex::File &file : qAsConst(index.files)) {
        if (file.kind == DeltaIndex::Whole)
            continue;
        const QString target = app.filePath(file.name);
        if (!QDir().mkpath(QFileInfo(target).path()) || !QFile::copy(QDir(baseFolder).filePath(file.name), target))
            return fail(QStringLiteral("cannot check the delta %1: cannot copy its base %2").arg(delta, file.name));
    }
    InstallTransaction transaction(app.path());
    if (!transaction.begin() || !rebuild.stageInto(&transaction))
        return fail(rebuild.errorString());
    return true; // not committed: the staging goes with the transaction
}


bool Publisher::publish(const PublishRequest &request)
{
    error.clear();
    lines.clear();
    PublishRequest r = request;
    FromStore fromStore;
    if (!r.store.isEmpty() && !useStore(&r, &fromStore))
        return false;
    const auto noCache = qScopeGuard([this] { deltaCache = nullptr; });
    deltaCache = fromStore.store.get();
    // A dry run writes nothing: not even into the store's cache.
    if (fromStore.store && r.dryRun)
        fromStore.store->setReadOnly(true);
    if (!validate(r))
        return false;
    QList<QByteArray> signingKeys;
    if (!readSigningKeys(r.signKeys, &signingKeys))
        return false;

    // Every name and size is checked before anything is written.
    QList<PatchFile> files;
    QList<PatchFile> release;
    if (!collectPatchFiles(r, &files, &release))
        return false;
    Staged staged(QDir(r.output).filePath(r.name));
    if (!staged.out.mkpath(QStringLiteral(".")))
        return fail(QStringLiteral("cannot create %1").arg(staged.out.path()));
    // Two publishers at once would leave one's manifest beside the other's files.
    QLockFile lock(staged.out.filePath(PublishLockName));
    if (!lock.tryLock(0))
        return fail(lock.error() == QLockFile::LockFailedError
                            ? QStringLiteral("another updater-publish is writing into %1; try again when it has finished")
                                      .arg(staged.out.path())
                            : QStringLiteral("cannot create %1").arg(staged.out.filePath(PublishLockName)));
    // A signature left beside a manifest it does not match would turn every signed client away.
    const QString signature = staged.out.filePath(QStringLiteral("updates.json.sig"));
    if (signingKeys.isEmpty() && QFile::exists(signature))
        return fail(QStringLiteral("%1 is signed (%2): give --sign-key to sign the new manifest")
                            .arg(staged.out.filePath(QStringLiteral("updates.json")), signature));
    if (!checkAgainstPublished(r, staged.out.filePath(QStringLiteral("updates.json"))))
        return false;
    staged.patchName = ReleaseFileNames::patch(r.name, r.patchVersion);
    staged.installerName = ReleaseFileNames::full(r.name, r.fullVersion);

    QByteArray json;
    if (!writePatch(files, &staged) || !writeDeltas(r, files, release, &staged) || !copyInstaller(r, &staged)
        || !composeManifest(r, staged, !signingKeys.isEmpty(), &json) || !checkUnchangedFiles(r, staged))
        return false;
    composed = json;
    if (r.dryRun) {
        lines << QStringLiteral("dry run: nothing was written; a publish would write:");
        for (const QString &name : publishedNames(staged))
            lines << QStringLiteral("  %1").arg(staged.out.filePath(name));
        published = r;
        return true;
    }
    // The manifest goes last, so that clients never see it before its files.
    if (!placeFiles(r, &staged) || !writeManifest(json, signingKeys))
        return false;
    if (fromStore.store) {
        if (!fromStore.store->record(r.name, fromStore.release, fromStore.folder))
            return fail(QStringLiteral("published, but not recorded in the store: %1")
                                .arg(fromStore.store->errorString()));
        QFile written(manifestPath);
        if (!written.open(QIODevice::ReadOnly) || !fromStore.store->keepManifest(r.name, written.readAll()))
            return fail(QStringLiteral("published, but the manifest not kept in the store: %1")
                                .arg(fromStore.store->errorString()));
        lines << QStringLiteral("store: release %1 recorded in %2").arg(r.patchVersion, fromStore.store->root());
    }

    lines << QStringLiteral("%1  %2 bytes  sha256 %3  <- %4%5/%1").arg(staged.patchName).arg(staged.patchSize)
                 .arg(QString::fromLatin1(staged.patchSha256.toHex()), r.patchUrl, r.name)
          << QStringLiteral("%1  %2 bytes  sha256 %3  <- %4%5/%1").arg(staged.installerName).arg(staged.installerSize)
                 .arg(QString::fromLatin1(staged.installerSha256.toHex()), r.fullUrl, r.name)
          << QStringLiteral("updates.json  platform \"%1\"  <- <base URL>%2/updates.json").arg(r.platform, r.name);
    if (r.patchFor.isEmpty())
        lines << QStringLiteral("patch: made for every earlier version (a cumulative patch); --patch-for names "
                                "the versions it fits");
    else
        lines << QStringLiteral("patch: made for version(s) %1 only").arg(r.patchFor.join(QStringLiteral(", ")));
    if (r.rollout < 100)
        lines << QStringLiteral("rollout: offered to %1 % of installations").arg(r.rollout);
    if (!signingKeys.isEmpty() && r.expires.isEmpty())
        lines << QStringLiteral("warning: signed without --expires: a host that keeps serving this manifest after a "
                                "newer release can hold its clients here for as long as it likes; give --expires, and "
                                "sign again before that date (updater-publish rollout --sign-key ... --expires ...)");
    published = r;
    return true;
}

bool Publisher::setRollout(const RolloutRequest &r)
{
    error.clear();
    lines.clear();
    if ((r.percent < 0 && !r.rollback) || r.percent > 100)
        return fail(QStringLiteral("the rollout percentage must be from 0 to 100"));
    if (r.rollback && r.percent >= 0)
        return fail(QStringLiteral("--rollback makes the previous release current as it was; give no --percent"));
    if (!r.expires.isEmpty() && !checkExpiry(r.expires))
        return false;
    QList<QByteArray> signingKeys;
    if (!readSigningKeys(r.signKeys, &signingKeys))
        return false;
    const QDir out(QDir(r.output).filePath(r.name));
    manifestPath = out.filePath(QStringLiteral("updates.json"));
    // Before the lock: a mistyped name or folder is no other publisher at work.
    if (!QFileInfo(manifestPath).isFile())
        return fail(QStringLiteral("there is no %1: are --output and --name those of the publish?").arg(manifestPath));
    QLockFile lock(out.filePath(PublishLockName));
    if (!lock.tryLock(0))
        return fail(QStringLiteral("another updater-publish is writing into %1; try again when it has finished")
                            .arg(out.path()));
    QFile file(manifestPath);
    if (!file.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("cannot read %1: %2").arg(manifestPath, file.errorString()));
    const QByteArray body = file.readAll();
    file.close(); // Windows replaces no file that is open
    ManifestRecord record;
    const QJsonDocument document = QJsonDocument::fromJson(body);
    if (!document.isObject() || !parseManifest(body, r.platform, &record) || record.patchVersion.isEmpty())
        return fail(QStringLiteral("%1 holds no release for the platform \"%2\"").arg(manifestPath, r.platform));
    // A signature that no longer matches would turn every signed client away.
    if (signingKeys.isEmpty() && QFile::exists(manifestPath + QStringLiteral(".sig")))
        return fail(QStringLiteral("%1 is signed: give --sign-key to sign it again").arg(manifestPath));
    const QString from = record.patchVersion;
    if (r.rollback) {
        if (!record.previous)
            return fail(QStringLiteral("%1 holds no previous release to roll back to").arg(manifestPath));
        // The previous release becomes current as it was; the halted one is gone from the manifest.
        const ManifestRecord previous = *record.previous;
        record = previous;
        record.previous.reset();
    } else {
        record.rollout = r.percent;
    }
    record.expires = r.expires.isEmpty() ? record.expires
                                         : QDateTime::fromString(r.expires, Qt::ISODate).toUTC().toString(Qt::ISODate);
    if (!signingKeys.isEmpty()) {
        record.issued = QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
        record.name = r.name;
    }
    QJsonObject root = document.object();
    root.remove(QStringLiteral("signatures")); // the old manifest's, written anew when signing
    ::writeManifest(&root, r.platform, record);
    if (!writeManifest(QJsonDocument(root).toJson(QJsonDocument::Indented), signingKeys))
        return false;
    if (r.rollback)
        lines << QStringLiteral("rollback: version %1 is withdrawn; version %2 is current again, offered to %3 % of "
                                "installations").arg(from, record.patchVersion).arg(record.rollout);
    else
        lines << QStringLiteral("rollout: version %1 is offered to %2 % of installations").arg(record.patchVersion)
                         .arg(r.percent);
    published.platform = r.platform;
    published.name = r.name;
    return true;
}

bool Publisher::writePatch(const QList<PatchFile> &files, Staged *staged)
{
    staged->patch.reset(new QFile(staged->temporaryPath(staged->patchName)));
    QFile *zipFile = staged->patch.get();
    if (!zipFile->open(QIODevice::ReadWrite | QIODevice::Truncate))
        return fail(QStringLiteral("cannot write into %1: %2").arg(staged->out.path(), zipFile->errorString()));
    ZipWriter writer(zipFile);
    for (const PatchFile &file : files) {
        QFile source(file.source);
        if (!source.open(QIODevice::ReadOnly))
            return fail(QStringLiteral("cannot read %1: %2").arg(file.source, source.errorString()));
        if (!writer.addFile(file.name, &source, source.permissions()))
            return fail(QStringLiteral("cannot write %1: %2").arg(zipFile->fileName(), writer.errorString()));
    }
    if (!writer.finish())
        return fail(QStringLiteral("cannot write %1: %2").arg(zipFile->fileName(), writer.errorString()));
    for (int i = 0; i < files.size(); ++i)
        staged->compressedSizes.append(writer.compressedSize(i));
    if (!zipFile->flush() || !Crypto::Sha256::hashDevice(zipFile, &staged->patchSha256, &staged->patchSize))
        return fail(QStringLiteral("cannot read back %1").arg(zipFile->fileName()));
    return true;
}

// A delta for clients at each earlier release, beside the whole-file patch.
bool Publisher::writeDeltas(const PublishRequest &r, const QList<PatchFile> &files, const QList<PatchFile> &release,
                            Staged *staged)
{
    QHash<QString, qint64> inPatch;
    for (int i = 0; i < files.size(); ++i)
        inPatch.insert(files.at(i).name, staged->compressedSizes.at(i));
    const qint64 installerSize = QFileInfo(r.installer).size();
    for (const auto &base : r.deltaFrom) {
        // A delta brings its release exactly to the new one: every file that differs from it,
        // also those an earlier release changed and this one did not.
        QList<PatchFile> changed = files;
        if (!release.isEmpty()) {
            changed.clear();
            QStringList unused;
            if (!filesChangedSince(QDir(QFileInfo(base.first).canonicalFilePath()), release, &changed, &unused))
                return false;
            if (changed.isEmpty()) {
                lines << QStringLiteral("no delta from %1: %2 holds the new release already").arg(base.second, base.first);
                continue;
            }
        }
        QList<DeltaWriter::File> deltaFiles;
        for (const PatchFile &file : qAsConst(changed))
            deltaFiles.append({ file.name, file.source, inPatch.value(file.name, QFileInfo(file.source).size()) });
        // Clients the patch does not fit would otherwise get the installer.
        const bool patchFits = r.patchFor.isEmpty() || r.patchFor.contains(base.second);
        const qint64 alternative = patchFits ? staged->patchSize : installerSize;
        Staged::Delta delta;
        delta.version = base.second;
        delta.name = ReleaseFileNames::publishedDelta(r.name, base.second, r.patchVersion);
        delta.file.reset(new QFile(staged->temporaryPath(delta.name)));
        if (!delta.file->open(QIODevice::ReadWrite | QIODevice::Truncate))
            return fail(QStringLiteral("cannot write into %1: %2").arg(staged->out.path(), delta.file->errorString()));
        QFile *file = delta.file.get();
        staged->deltas.push_back(std::move(delta));
        Staged::Delta &written = staged->deltas.back();
        DeltaWriter deltaWriter;
        deltaWriter.setCache(deltaCache);
        const auto writeDelta = [&] {
            if (!file->resize(0) || !file->seek(0) || !deltaWriter.write(deltaFiles, base.first, file))
                return fail(QStringLiteral("cannot write the delta from %1: %2").arg(base.second, deltaWriter.errorString()));
            if (!file->flush() || !Crypto::Sha256::hashDevice(file, &written.sha256, &written.size))
                return fail(QStringLiteral("cannot read back %1").arg(file->fileName()));
            return true;
        };
        if (!writeDelta())
            return false;
        if (!verifyDelta(file->fileName(), base.first)) {
            if (!deltaCache)
                return fail(QStringLiteral("the delta from %1 does not rebuild the new release exactly: %2")
                                    .arg(base.second, error));
            // A damaged delta kept from before: those of its files are made again, and checked again.
            lines << QStringLiteral("warning: the delta from %1, of deltas kept in the store, does not rebuild the new "
                                    "release exactly (%2); made again").arg(base.second, error);
            for (const DeltaWriter::File &changedFile : qAsConst(deltaFiles)) {
                QByteArray sha256;
                QByteArray baseSha256;
                qint64 size = 0;
                QFile one(changedFile.source);
                QFile other(QDir(base.first).filePath(changedFile.name));
                if (one.open(QIODevice::ReadOnly) && other.open(QIODevice::ReadOnly)
                    && Crypto::Sha256::hashDevice(&one, &sha256, &size)
                    && Crypto::Sha256::hashDevice(&other, &baseSha256, &size))
                    deltaCache->dropDelta(baseSha256, sha256);
            }
            // A dry run drops nothing from the store: it makes them again without it.
            if (r.dryRun)
                deltaWriter.setCache(nullptr);
            if (!writeDelta())
                return false;
            if (!verifyDelta(file->fileName(), base.first))
                return fail(QStringLiteral("the delta from %1 does not rebuild the new release exactly: %2")
                                    .arg(base.second, error));
        }
        if (written.size >= alternative) {
            // Clients at that version are better served by the whole-file patch, or the installer.
            lines << QStringLiteral("%1  not offered: %2 bytes, no smaller than the %3's %4")
                             .arg(written.name).arg(written.size)
                             .arg(patchFits ? QStringLiteral("whole-file patch") : QStringLiteral("installer"))
                             .arg(alternative);
            file->remove();
            staged->deltas.pop_back();
            continue;
        }
        lines << QStringLiteral("%1  %2 bytes, the whole-file patch %3 bytes  sha256 %4  <- %5%6/%1")
                         .arg(written.name).arg(written.size).arg(staged->patchSize)
                         .arg(QString::fromLatin1(written.sha256.toHex()), r.patchUrl, r.name);
        lines << deltaWriter.report();
    }
    return true;
}

bool Publisher::copyInstaller(const PublishRequest &r, Staged *staged)
{
    QFile installerFile(r.installer);
    staged->installer.reset(new QSaveFile(staged->out.filePath(staged->installerName)));
    QSaveFile *copy = staged->installer.get();
    if (!installerFile.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("cannot read %1: %2").arg(r.installer, installerFile.errorString()));
    if (!copy->open(QIODevice::WriteOnly)
        || !Crypto::Sha256::hashDevice(&installerFile, &staged->installerSha256, &staged->installerSize, copy))
        return fail(QStringLiteral("cannot copy %1 to %2: %3").arg(r.installer, copy->fileName(), copy->errorString()));
    if (staged->installerSize != installerFile.size())
        return fail(QStringLiteral("%1 changed while it was copied").arg(r.installer));
    return true;
}

bool Publisher::composeManifest(const PublishRequest &r, const Staged &staged, bool signing, QByteArray *json)
{
    manifestPath = staged.out.filePath(QStringLiteral("updates.json"));
    QJsonObject root;
    if (QFile::exists(manifestPath)) {
        QFile existing(manifestPath);
        if (!existing.open(QIODevice::ReadOnly))
            return fail(QStringLiteral("cannot read %1: %2").arg(manifestPath, existing.errorString()));
        const QJsonDocument document = QJsonDocument::fromJson(existing.readAll());
        if (!document.isObject())
            return fail(QStringLiteral("%1 exists but is not a JSON object; not replacing it").arg(manifestPath));
        root = document.object();
        root.remove(QStringLiteral("signatures")); // the old manifest's, written anew when signing
    }
    ManifestRecord record;
    // The release it replaces stays offered where a staged rollout of this one does not reach.
    ManifestRecord replaced;
    if (parseManifest(QJsonDocument(root).toJson(), r.platform, &replaced) && !replaced.patchVersion.isEmpty()) {
        const bool sameRelease = replaced.patchVersion == r.patchVersion && replaced.fullVersion == r.fullVersion;
        if (sameRelease) {
            record.previous = replaced.previous;
        } else {
            replaced.previous.reset();
            record.previous = QSharedPointer<ManifestRecord>::create(replaced);
        }
    }
    record.changelog = r.changelog;
    record.patchVersion = r.patchVersion;
    record.fullVersion = r.fullVersion;
    record.modifyTime = r.modifyTime;
    record.modifyCnt = r.modifyCnt;
    record.downloadFull = r.downloadFull;
    record.patchUrlPrefix = r.patchUrl;
    record.fullUrlPrefix = r.fullUrl;
    record.patch = { staged.patchSize, staged.patchSha256, QString() };
    record.full = { staged.installerSize, staged.installerSha256, QString() };
    record.patchFor = r.patchFor;
    record.mirrors = r.mirrors;
    record.rollout = r.rollout;
    for (const Staged::Delta &delta : staged.deltas)
        record.deltas.insert(delta.version, { r.patchUrl + r.name + QLatin1Char('/') + delta.name,
                                              { delta.size, delta.sha256, QString() } });
    if (signing) {
        // Signed with the moment and the application: clients refuse replays and borrowed manifests.
        record.issued = QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
        record.name = r.name;
    }
    if (!r.expires.isEmpty())
        record.expires = QDateTime::fromString(r.expires, Qt::ISODate).toUTC().toString(Qt::ISODate);
    ::writeManifest(&root, r.platform, record);
    *json = QJsonDocument(root).toJson(QJsonDocument::Indented);

    // Read it back with the updater's own code before anything is written.
    ManifestRecord check;
    if (!parseManifest(*json, r.platform, &check) || check.patchVersion != r.patchVersion
        || check.fullVersion != r.fullVersion || check.patch.size != staged.patchSize
        || check.deltas.size() != int(staged.deltas.size())
        || check.full.size != staged.installerSize || !check.patch.isValid() || !check.full.isValid())
        return fail(QStringLiteral("the manifest does not read back as written"));
    return true;
}

bool Publisher::placeFiles(const PublishRequest &r, Staged *staged)
{
    const QFile::Permissions readable = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther;
    QString reason;
    staged->patch->close();
    staged->patch->setPermissions(readable);
    const QString patchPath = staged->out.filePath(staged->patchName);
    if (!Platform::replaceFile(staged->patch->fileName(), patchPath, &reason))
        return fail(QStringLiteral("cannot write %1: %2").arg(patchPath, reason));
    for (const Staged::Delta &delta : staged->deltas) {
        delta.file->close();
        delta.file->setPermissions(readable);
        if (!Platform::replaceFile(delta.file->fileName(), staged->out.filePath(delta.name), &reason))
            return fail(QStringLiteral("cannot write %1: %2").arg(staged->out.filePath(delta.name), reason));
    }
    if (!staged->installer->commit())
        return fail(QStringLiteral("cannot write %1: %2").arg(staged->installer->fileName(),
                                                             staged->installer->errorString()));
    QFile::setPermissions(staged->out.filePath(staged->installerName), QFile::permissions(r.installer));
    // The archives as written must read as the client reads them.
    ZipReader reader(patchPath);
    if (!reader.open())
        return fail(QStringLiteral("the archive does not read back: %1").arg(reader.errorString()));
    for (const Staged::Delta &delta : staged->deltas) {
        ZipReader deltaReader(staged->out.filePath(delta.name));
        if (!deltaReader.open())
            return fail(QStringLiteral("the delta does not read back: %1").arg(deltaReader.errorString()));
    }
    return true;
}

bool Publisher::writeManifest(const QByteArray &json, const QList<QByteArray> &signingKeys)
{
    if (signingKeys.isEmpty())
        return saveFile(manifestPath, json, &error);
    // Signed inside, one signature per key: clients that know any one of them accept it.
    QList<QByteArray> inside;
    for (const QByteArray &key : signingKeys)
        inside << Crypto::signEd25519(key, json);
    const QByteArray manifest = ManifestSignature::embed(json, inside);
    // Beside it, over the final bytes, for clients of earlier releases of this tool.
    QByteArray signatures;
    for (const QByteArray &key : signingKeys)
        signatures += Crypto::signEd25519(key, manifest).toBase64() + '\n';
    if (!saveFile(manifestPath, manifest, &error) || !saveFile(manifestPath + QStringLiteral(".sig"), signatures, &error))
        return false;
    lines << QStringLiteral("updates.json  signed inside; updates.json.sig  %1 signature(s)").arg(signingKeys.size());
    return true;
}

QString Publisher::dryRun(const QString &version, const QString &modifyTime, const QString &modifyCnt) const
{
    ManifestRecord record;
    if (!parseManifest(composed, published.platform, &record))
        return QStringLiteral("no manifest to read");
    // The client's own decision, for an installation inside any rollout. Modify values not given are
    // the release's own: what an application that passes its build's values reports.
    Installation installed;
    installed.appName = published.name;
    installed.version = version;
    installed.modifyTime = modifyTime.isNull() ? record.modifyTime : modifyTime;
    installed.modifyCnt = modifyCnt.isNull() ? record.modifyCnt : modifyCnt;
    const Offer offer = decideOffer(record, installed);
    const QString rollout = record.rollout < 100
            ? QStringLiteral("; rolled out to %1 % of installations").arg(record.rollout) : QString();
    if (!offer.newer)
        return QStringLiteral("a client at %1 is up to date (offered version %2)").arg(version, offer.latestVersion)
                + rollout;
    const QString misfit = !offer.patchMisfit.isEmpty() && !record.downloadFull
            ? QStringLiteral(", since the patch is made for version(s) %1").arg(record.patchFor.join(QStringLiteral(", ")))
            : QString();
    if (offer.full)
        return QStringLiteral("a client at %1 is offered the installer %2 (%3, %4 bytes)%5")
            .arg(version, record.fullVersion, offer.fullUrl).arg(record.full.size).arg(misfit) + rollout;
    if (offer.patchRoad.first() == Offer::Delta)
        return QStringLiteral("a client at %1 is offered the delta to %2 (%3, %4 bytes)")
            .arg(version, record.patchVersion, offer.delta.url).arg(offer.delta.check.size) + rollout;
    return QStringLiteral("a client at %1 is offered the patch %2 (%3, %4 bytes)")
        .arg(version, record.patchVersion, offer.patchUrl).arg(record.patch.size) + rollout;
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
