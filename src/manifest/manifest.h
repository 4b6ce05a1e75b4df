#ifndef MANIFEST_H
#define MANIFEST_H

#include <QByteArray>
#include <QJsonObject>
#include <QMap>
#include <QSharedPointer>
#include <QString>
#include <QStringList>

/*!
    What the manifest says a download must be: "<kind>-size" (a decimal string)
    and "<kind>-sha256" (64 hexadecimal digits). A key that is present but
    malformed makes the download refused rather than run unverified.
*/
struct FileCheck
{
    qint64 size = -1;     // -1: not given
    QByteArray sha256;    // raw 32 bytes; empty: not given
    QString problem;      // why a present key is unusable; empty when fine

    bool isValid() const { return problem.isEmpty(); }
    bool isEmpty() const { return size < 0 && sha256.isEmpty(); }
};

/*! A delta for clients at one version: where it lies and what it must be. */
struct DeltaOffer
{
    QString url;
    FileCheck check;
};

/*!
    The platform record of an update manifest ("updates.json"). Every value but
    "download-full" is read as a string: a value of any other JSON type reads as
    the empty string, and "download-full" is true only for the JSON literal true.
*/
struct ManifestRecord
{
    QString changelog;
    QString patchVersion;
    QString fullVersion;
    QString modifyTime;
    QString modifyCnt;
    bool downloadFull = false;
    QString patchUrlPrefix;
    QString fullUrlPrefix;
    // Optional integrity keys; absent keys leave the download unverified, as before.
    FileCheck patch;
    FileCheck full;
    // The top-level "expires", "issued" (ISO 8601, UTC) and "name"; checked when manifests are signed.
    QString expires;
    QString issued;
    QString name;
    // "patch-deltas": the patch as deltas against earlier versions, by the version they are made from.
    QMap<QString, DeltaOffer> deltas;
    // "patch-for": the installed versions the patch was made for; empty: every earlier one (a cumulative patch).
    QStringList patchFor;
    // "mirrors": other URL prefixes under which the same files lie, asked in order when one fails.
    QStringList mirrors;
    // "rollout": the share of installations offered the release, 0 to 100.
    int rollout = 100;
    // Why "patch-for" or "rollout" is present but unusable; empty when fine.
    QString patchForProblem;
    QString rolloutProblem;
    // "previous": the release before this one, offered where a staged rollout does not reach (clients
    // of earlier releases of this tool ignore it); null when the record has none.
    QSharedPointer<const ManifestRecord> previous;
};

/*!
    The URL of the same file as \a url (under \a prefix, the manifest's own
    prefix) under each of \a record's mirrors; empty for a URL outside \a prefix.
*/
QStringList mirrorUrls(const ManifestRecord &record, const QString &prefix, const QString &url);

/*! What update-patch brings an installation: the delta made from its version, the patch, or neither. */
enum class PatchOffer { Delta, Patch, None };

/*!
    What update-patch may install into an installation at \a installedVersion:
    the delta made from exactly that version when there is one, else the patch
    when it was made for that version (or for every earlier one), else nothing:
    a patch is never installed into a version it was not made for.
*/
PatchOffer patchOffer(const ManifestRecord &record, const QString &installedVersion);

/*!
    Parses \a body and fills \a record from updates/<platform>. Returns false
    only when the body is not a JSON document at all; a missing "updates" object
    or platform record gives an empty record.
*/
bool parseManifest(const QByteArray &body, const QString &platform, ManifestRecord *record);

/*!
    Writes \a record as the platform record \a platform of the manifest \a root,
    the reverse of parseManifest(): other platforms and keys this version does
    not know stay as they are; "patch-deltas" is replaced whole (deltas belong
    to one patch version); "expires", "issued" and "name" are written at the top
    level when given. Integrity keys are written when known.
*/
void writeManifest(QJsonObject *root, const QString &platform, const ManifestRecord &record);

/*!
    Returns true when \a latest is newer than \a current. The dot-separated
    parts are compared from the left and the first differing part decides; a
    different number of parts always asks for an update. When the version
    parts decide nothing, the modification time and count decide.
*/
bool versionNeedsUpdate(const QString &current, const QString &latest,
                        const QString &latestModifyTime, const QString &latestModifyCnt,
                        const QString &currentModifyTime, const QString &currentModifyCnt);

/*!
    Why a download of \a url with the manifest's \a check must not start, or
    an empty string. The URL must be https, or http with a SHA-256 to check;
    a signed manifest (\a signedManifest) must give the size and SHA-256.
*/
QString downloadRefusal(const QString &url, const FileCheck &check, bool signedManifest);

#endif // MANIFEST_H
