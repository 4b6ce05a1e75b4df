#include "manifest/offer.h"

#include "manifest/releasefilenames.h"

namespace {

// A version goes into a file name: it must be one plain part of it, and the name a plain file of our folder.
void refuseUnusableName(FileCheck *check, const QString &key, const QString &version, const QString &name)
{
    // A missing version (an empty record) names no path; the download of it simply finds nothing.
    if (!check->isValid() || version.isEmpty())
        return;
    const QString versionProblem = ReleaseFileNames::versionProblem(version);
    if (!versionProblem.isEmpty())
        check->problem = QStringLiteral("\"%1\" \"%2\" cannot be part of a file name: %3").arg(key, version, versionProblem);
    else if (!ReleaseFileNames::problem(name).isEmpty())
        check->problem = QStringLiteral("the file name %1 cannot be used: %2").arg(name, ReleaseFileNames::problem(name));
}

// What one release of the record offers, its staged rollout included.
Offer decideRelease(const ManifestRecord &record, const Installation &installed)
{
    Offer offer;
    const QString &app = installed.appName;
    const QString &version = installed.version;
    offer.full = record.downloadFull || version.isEmpty() || version == QLatin1String("0");

    offer.patchName = ReleaseFileNames::patch(app, record.patchVersion);
    offer.fullName = ReleaseFileNames::full(app, record.fullVersion);
    offer.patchCheck = record.patch;
    offer.fullCheck = record.full;
    refuseUnusableName(&offer.patchCheck, QStringLiteral("patch-version"), record.patchVersion, offer.patchName);
    refuseUnusableName(&offer.fullCheck, QStringLiteral("full-version"), record.fullVersion, offer.fullName);
    offer.patchUrl = record.patchUrlPrefix + app + QStringLiteral("/") + offer.patchName;
    offer.fullUrl = record.fullUrlPrefix + app + QStringLiteral("/") + offer.fullName;
    // Only a delta made from exactly the installed version can rebuild it. It is saved under the
    // patch's version: no usable name, no delta.
    if (offer.patchCheck.isValid())
        offer.delta = record.deltas.value(version);

    if (!record.patchForProblem.isEmpty())
        offer.patchMisfit = QStringLiteral("manifest error: ") + record.patchForProblem;
    else if (!record.patchFor.isEmpty() && !record.patchFor.contains(version))
        offer.patchMisfit = QStringLiteral("the patch is made for version(s) %1; update-full brings this installation "
                                           "up to date").arg(record.patchFor.join(QStringLiteral(", ")));
    // Nothing is ever installed into a version the patch was not made for; a delta from it still is.
    if (!offer.patchMisfit.isEmpty() && patchOffer(record, version) == PatchOffer::None)
        offer.full = true;

    offer.latestVersion = offer.full ? record.fullVersion : record.patchVersion;
    offer.newer = versionNeedsUpdate(version, offer.latestVersion, record.modifyTime, record.modifyCnt,
                                     installed.modifyTime, installed.modifyCnt);
    if (!record.rolloutProblem.isEmpty())
        offer.withheld = QStringLiteral("manifest error: ") + record.rolloutProblem
                + QStringLiteral("; the release is not offered");
    else if (record.rollout < 100 && installed.rolloutNumber >= record.rollout * 100)
        offer.withheld = QStringLiteral("version %1 is being rolled out gradually and is not offered to this "
                                        "installation yet").arg(offer.latestVersion);

    // A delta the rules refuse is passed over; one that cannot be used is followed by what fits without it.
    const bool deltaUsable = !offer.delta.url.isEmpty() && offer.delta.check.isValid()
            && downloadRefusal(offer.delta.url, offer.delta.check, installed.signedManifests).isEmpty();
    if (deltaUsable)
        offer.patchRoad = { Offer::Delta, offer.patchMisfit.isEmpty() ? Offer::Patch : Offer::Installer };
    else
        offer.patchRoad = { Offer::Patch };
    return offer;
}

} // namespace

Offer decideOffer(const ManifestRecord &record, const Installation &installed)
{
    Offer offer = decideRelease(record, installed);
    if (offer.withheld.isEmpty() || !record.rolloutProblem.isEmpty() || !offer.newer)
        return offer;
    // Outside a staged rollout's share (or while it is halted), the release before it is offered as it was.
    const QString heldBack = offer.withheld;
    if (record.previous) {
        offer = decideRelease(*record.previous, installed);
        offer.previousRelease = true;
    }
    offer.heldBack = heldBack;
    return offer;
}
