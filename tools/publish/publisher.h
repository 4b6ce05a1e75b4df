#ifndef PUBLISHER_H
#define PUBLISHER_H

#include "deltawriter.h"

#include <QDir>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

/*! What to publish: one new version of one application for one platform. */
struct PublishRequest
{
    QString name;
    QString platform = QStringLiteral("windows");
    QString patchVersion;
    QString fullVersion;
    QString modifyTime = QStringLiteral("0");
    QString modifyCnt = QStringLiteral("0");
    QString changelog;
    QString patchUrl;   // prefix, ends in "/"
    QString fullUrl;    // prefix, ends in "/"
    QString installer;  // the full installer file
    QString patchDir;   // the files of the patch, as they lie in the application's folder
    QString fromDir;    // or: the application as installed, old ...
    QString toDir;      // ... and new; the patch is what changed
    QString output;     // the folder served at the manifest's base URL
    bool downloadFull = false;
    QStringList signKeys; // PKCS#8 PEM Ed25519 private key files; updates.json.sig is signed with each
    QString expires;      // ISO 8601; written as the manifest's "expires"
    // Earlier releases as installed, and the version clients there report: a delta is written for each.
    QList<QPair<QString, QString>> deltaFrom;
    // The installed versions the patch was made for; empty: every earlier one (with --patch-dir only).
    QStringList patchFor;
    int rollout = 100; // the share of installations offered the release, 0 to 100
    QStringList mirrors; // other URL prefixes under which the same files lie, each ending in "/"
    bool replace = false; // a published file may get other bytes under its name
    QString store;        // the release store: records --to, gives the patch's base and the deltas' bases
    int deltas = 3;       // with a store: deltas from this many of the newest earlier releases
    bool dryRun = false;  // check and compose everything, write nothing
};

/*! What `updater-publish rollout` changes: the percentage of one published release. */
struct RolloutRequest
{
    QString output;
    QString name;
    QString platform = QStringLiteral("windows");
    int percent = -1;
    QStringList signKeys;
    QString expires;
    bool rollback = false; // the previous release becomes current again, the new one is withdrawn
};

/*!
    Lays out an update as the updater expects it on the server:
    <output>/<name>/updates.json, <name>-patch-v<version>.zip and
    <name>-full-v<version>.exe, with the sizes and SHA-256 the updater checks.
    An existing updates.json is updated, not replaced: other platforms and
    unknown keys stay. Bad input is refused before anything is written.
*/
class Publisher
{
public:
    bool publish(const PublishRequest &request);
    /*!
        Changes only the rollout percentage of a published manifest, or rolls
        it back to its previous release, and signs it again; no other file is
        touched.
    */
    bool setRollout(const RolloutRequest &request);

    /*!
        What a client at this version would be offered by the manifest just
        composed (written or not); modify values left null are the release's.
    */
    QString dryRun(const QString &version, const QString &modifyTime = QString(),
                   const QString &modifyCnt = QString()) const;

    QString errorString() const { return error; }
    /*! One line per file written, with its size and SHA-256. */
    QStringList report() const { return lines; }

private:
    bool fail(const QString &message);
    struct FromStore;
    bool useStore(PublishRequest *request, FromStore *from);
    bool verifyDelta(const QString &delta, const QString &baseFolder);
    bool validate(const PublishRequest &request);
    bool validateReleaseControl(const PublishRequest &request);
    bool checkExpiry(const QString &expires);
    bool checkAgainstPublished(const PublishRequest &request, const QString &manifest);
    bool readSigningKeys(const QStringList &paths, QList<QByteArray> *keys);
    struct PatchFile
    {
        QString name;   // the entry name, relative to the patch folder
        QString source; // the file to read
    };
    bool collectPatchFiles(const PublishRequest &request, QList<PatchFile> *files, QList<PatchFile> *release);
    bool filesChangedSince(const QDir &base, const QList<PatchFile> &release, QList<PatchFile> *changed,
                           QStringList *said);
    // The steps of publish(), in order, on what one publish writes.
    struct Staged;
    bool writePatch(const QList<PatchFile> &files, Staged *staged);
    bool writeDeltas(const PublishRequest &request, const QList<PatchFile> &files, const QList<PatchFile> &release,
                     Staged *staged);
    bool copyInstaller(const PublishRequest &request, Staged *staged);
    bool composeManifest(const PublishRequest &request, const Staged &staged, bool signing, QByteArray *json);
    bool checkUnchangedFiles(const PublishRequest &request, const Staged &staged);
    QStringList publishedNames(const Staged &staged) const;
    bool placeFiles(const PublishRequest &request, Staged *staged);
    bool writeManifest(const QByteArray &json, const QList<QByteArray> &signingKeys);

    DeltaWriter::Cache *deltaCache = nullptr;
    QString error;
    QStringList lines;
    QString manifestPath;
    QByteArray composed; // the manifest of the last publish, written or not
    PublishRequest published;
};

/*!
    Writes a new Ed25519 private key to \a path (PKCS#8 PEM, readable by its
    owner only; an existing file is never replaced) and returns its public key
    as UPDATER_PUBLIC_KEYS takes it. Empty and \a error set on failure.
*/
QString generateSigningKey(const QString &path, QString *error);

#endif // PUBLISHER_H
