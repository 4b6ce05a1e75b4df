#include "manifest/manifest.h"

#include "manifest/releasefilenames.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QStringList>
#include <QUrl>

namespace {

FileCheck readFileCheck(const QJsonObject &entry, const QString &sizeKey, const QString &hashKey)
{
    FileCheck check;
    if (entry.contains(sizeKey)) {
        const QJsonValue value = entry.value(sizeKey);
        const QString text = value.toString();
        bool ok = value.isString() && !text.isEmpty() && text.size() <= 18;
        for (const QChar c : text)
            ok = ok && c >= QLatin1Char('0') && c <= QLatin1Char('9');
        if (ok)
            check.size = text.toLongLong();
        else
            check.problem = QStringLiteral("\"%1\" is not a decimal number of bytes").arg(sizeKey);
    }
    if (entry.contains(hashKey)) {
        const QJsonValue value = entry.value(hashKey);
        const QString text = value.toString();
        bool ok = value.isString() && text.size() == 64;
        for (const QChar c : text)
            ok = ok && QByteArray("0123456789abcdefABCDEF").contains(char(c.unicode() < 128 ? c.unicode() : 0));
        if (ok)
            check.sha256 = QByteArray::fromHex(text.toLatin1());
        else if (check.problem.isEmpty())
            check.problem = QStringLiteral("\"%1\" is not 64 hexadecimal digits").arg(hashKey);
    }
    return check;
}


// "patch-for" and "rollout": which installations the release reaches.
void readReleaseControl(const QJsonObject &entry, ManifestRecord *record)
{
    record->patchFor.clear();
    record->patchForProblem.clear();
    if (entry.contains(QStringLiteral("patch-for"))) {
        const QJsonValue value = entry.value(QStringLiteral("patch-for"));
        for (const QJsonValue &version : value.toArray()) {
            if (!version.isString() || !ReleaseFileNames::versionProblem(version.toString()).isEmpty())
                record->patchForProblem = QStringLiteral("\"patch-for\" is not a list of versions");
            record->patchFor.append(version.toString());
        }
        if (!value.isArray() || record->patchFor.isEmpty())
            record->patchForProblem = QStringLiteral("\"patch-for\" is not a list of versions");
    }
    record->mirrors.clear();
    for (const QJsonValue &mirror : entry.value(QStringLiteral("mirrors")).toArray()) {
        if (mirror.isString() && mirror.toString().endsWith(QLatin1Char('/')))
            record->mirrors.append(mirror.toString());
    }
    record->rollout = 100;
    record->rolloutProblem.clear();
    if (entry.contains(QStringLiteral("rollout"))) {
        const QString text = entry.value(QStringLiteral("rollout")).toString();
        if (ReleaseFileNames::isDecimal32(text) && text.toUInt() <= 100)
            record->rollout = int(text.toUInt());
        else
            record->rolloutProblem = QStringLiteral("\"rollout\" is not a percentage from 0 to 100");
    }
}

} // namespace

QStringList mirrorUrls(const ManifestRecord &record, const QString &prefix, const QString &url)
{
    QStringList urls;
    if (prefix.isEmpty() || !url.startsWith(prefix))
        return urls;
    for (const QString &mirror : record.mirrors)
        urls.append(mirror + url.mid(prefix.size()));
    return urls;
}

PatchOffer patchOffer(const ManifestRecord &record, const QString &installedVersion)
{
    const DeltaOffer delta = record.deltas.value(installedVersion);
    if (!delta.url.isEmpty())
        return PatchOffer::Delta;
    if (!record.patchForProblem.isEmpty())
        return PatchOffer::None;
    return record.patchFor.isEmpty() || record.patchFor.contains(installedVersion) ? PatchOffer::Patch
                                                                                   : PatchOffer::None;
}

namespace {

// One release's keys of a platform record (also those of its "previous" release).
void readRelease(const QJsonObject &entry, ManifestRecord *record)
{
    record->changelog = entry.value(QStringLiteral("changelog")).toString();
    record->patchVersion = entry.value(QStringLiteral("patch-version")).toString();
    record->fullVersion = entry.value(QStringLiteral("full-version")).toString();
    record->modifyTime = entry.value(QStringLiteral("modify-time")).toString();
    record->modifyCnt = entry.value(QStringLiteral("modifyCnt")).toString();
    record->downloadFull = entry.value(QStringLiteral("download-full")).toBool(false);
    record->patchUrlPrefix = entry.value(QStringLiteral("patch-url")).toString();
    record->fullUrlPrefix = entry.value(QStringLiteral("full-url")).toString();
    record->patch = readFileCheck(entry, QStringLiteral("patch-size"), QStringLiteral("patch-sha256"));
    record->full = readFileCheck(entry, QStringLiteral("full-size"), QStringLiteral("full-sha256"));
    readReleaseControl(entry, record);
    record->deltas.clear();
    const QJsonObject deltas = entry.value(QStringLiteral("patch-deltas")).toObject();
    for (auto it = deltas.constBegin(); it != deltas.constEnd(); ++it) {
        const QJsonObject offer = it.value().toObject();
        record->deltas.insert(it.key(), { offer.value(QStringLiteral("url")).toString(),
                                          readFileCheck(offer, QStringLiteral("size"), QStringLiteral("sha256")) });
    }
}

} // namespace

bool parseManifest(const QByteArray &body, const QString &platform, ManifestRecord *record)
{
    const QJsonDocument document = QJsonDocument::fromJson(body);
    if (document.isNull())
        return false;

    // A top-level array yields an empty object, which reads as an empty record.
    const QJsonObject entry = document.object()
                                  .value(QStringLiteral("updates")).toObject()
                                  .value(platform).toObject();
    readRelease(entry, record);
    record->expires = document.object().value(QStringLiteral("expires")).toString();
    record->issued = document.object().value(QStringLiteral("issued")).toString();
    record->name = document.object().value(QStringLiteral("name")).toString();
    record->previous.reset();
    const QJsonValue previous = entry.value(QStringLiteral("previous"));
    if (previous.isObject()) {
        auto release = QSharedPointer<ManifestRecord>::create();
        readRelease(previous.toObject(), release.data());
        release->expires = record->expires;
        release->issued = record->issued;
        release->name = record->name;
        record->previous = release;
    }
    return true;
}

namespace {

void writeFileCheck(QJsonObject *entry, const QString &sizeKey, const QString &hashKey, const FileCheck &check)
{
    if (check.size >= 0)
        entry->insert(sizeKey, QString::number(check.size));
    if (!check.sha256.isEmpty())
        entry->insert(hashKey, QString::fromLatin1(check.sha256.toHex()));
}

} // namespace

namespace {

// The keys readRelease() reads; others in \a entry stay as they are.
void writeRelease(QJsonObject *entry, const ManifestRecord &record)
{
    entry->insert(QStringLiteral("changelog"), record.changelog);
    entry->insert(QStringLiteral("patch-version"), record.patchVersion);
    entry->insert(QStringLiteral("full-version"), record.fullVersion);
    entry->insert(QStringLiteral("modify-time"), record.modifyTime);
    entry->insert(QStringLiteral("modifyCnt"), record.modifyCnt);
    entry->insert(QStringLiteral("download-full"), record.downloadFull);
    entry->insert(QStringLiteral("patch-url"), record.patchUrlPrefix);
    entry->insert(QStringLiteral("full-url"), record.fullUrlPrefix);
    for (const QString &key : { QStringLiteral("patch-size"), QStringLiteral("patch-sha256"),
                                QStringLiteral("full-size"), QStringLiteral("full-sha256") })
        entry->remove(key);
    writeFileCheck(entry, QStringLiteral("patch-size"), QStringLiteral("patch-sha256"), record.patch);
    writeFileCheck(entry, QStringLiteral("full-size"), QStringLiteral("full-sha256"), record.full);
    entry->remove(QStringLiteral("mirrors"));
    if (!record.mirrors.isEmpty())
        entry->insert(QStringLiteral("mirrors"), QJsonArray::fromStringList(record.mirrors));
    entry->remove(QStringLiteral("patch-for"));
    if (!record.patchFor.isEmpty())
        entry->insert(QStringLiteral("patch-for"), QJsonArray::fromStringList(record.patchFor));
    entry->insert(QStringLiteral("rollout"), QString::number(record.rollout));
    entry->remove(QStringLiteral("patch-deltas"));
    if (!record.deltas.isEmpty()) {
        QJsonObject offers;
        for (auto it = record.deltas.cbegin(); it != record.deltas.cend(); ++it) {
            QJsonObject offer;
            offer.insert(QStringLiteral("url"), it.value().url);
            writeFileCheck(&offer, QStringLiteral("size"), QStringLiteral("sha256"), it.value().check);
            offers.insert(it.key(), offer);
        }
        entry->insert(QStringLiteral("patch-deltas"), offers);
    }
}

} // namespace

void writeManifest(QJsonObject *root, const QString &platform, const ManifestRecord &record)
{
    QJsonObject updates = root->value(QStringLiteral("updates")).toObject();
    QJsonObject entry = updates.value(platform).toObject(); // unknown keys stay
    writeRelease(&entry, record);
    entry.remove(QStringLiteral("previous"));
    if (record.previous) {
        QJsonObject previous;
        writeRelease(&previous, *record.previous);
        entry.insert(QStringLiteral("previous"), previous);
    }
    updates.insert(platform, entry);
    root->insert(QStringLiteral("updates"), updates);
    const QList<QPair<QString, QString>> top = { { QStringLiteral("issued"), record.issued },
                                                 { QStringLiteral("name"), record.name },
                                                 { QStringLiteral("expires"), record.expires } };
    for (const auto &key : top) {
        if (!key.second.isEmpty())
            root->insert(key.first, key.second);
    }
}

namespace {

// Anything that does not convert (empty, letters, negative, above 32 bits) is 0.
uint toNumber(const QString &text)
{
    return text.toUInt(nullptr, 10);
}

bool countTakesPart(const QString &count)
{
    return !count.isEmpty() && count != QLatin1String(" ");
}

} // namespace

bool versionNeedsUpdate(const QString &current, const QString &latest,
                        const QString &latestModifyTime, const QString &latestModifyCnt,
                        const QString &currentModifyTime, const QString &currentModifyCnt)
{
    const QStringList currentParts = current.split(QLatin1Char('.'), Qt::KeepEmptyParts);
    const QStringList latestParts = latest.split(QLatin1Char('.'), Qt::KeepEmptyParts);
    if (currentParts.size() != latestParts.size())
        return true;

    for (int i = 0; i < currentParts.size(); ++i) {
        const uint have = toNumber(currentParts.at(i));
        const uint offered = toNumber(latestParts.at(i));
        if (have < offered)
            return true;
        if (have > offered)
            break; // installed is newer: never offer a downgrade by version
    }

    const bool newerTime = toNumber(latestModifyTime) > toNumber(currentModifyTime);
    const bool newerCount = countTakesPart(latestModifyCnt) && countTakesPart(currentModifyCnt)
            && toNumber(latestModifyCnt) > toNumber(currentModifyCnt);
    return newerTime || newerCount;
}

QString downloadRefusal(const QString &url, const FileCheck &check, bool signedManifest)
{
    if (!check.isValid())
        return QStringLiteral("the manifest's ") + check.problem;
    if (signedManifest && (check.size < 0 || check.sha256.isEmpty()))
        return QStringLiteral("the manifest is signed but gives no size and SHA-256 for this download");
    const QString scheme = QUrl(url, QUrl::TolerantMode).scheme().toLower();
    if (scheme == QLatin1String("http")) {
        // Anyone on the road could swap an unchecked plain-HTTP file.
        if (check.sha256.isEmpty())
            return QStringLiteral("\"%1\" is plain http and the manifest gives no SHA-256 for it").arg(url);
    } else if (scheme != QLatin1String("https")) {
        return QStringLiteral("\"%1\" is not an https or http URL").arg(url);
    }
    return QString();
}
