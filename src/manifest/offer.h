#ifndef OFFER_H
#define OFFER_H

#include "manifest/manifest.h"

#include <QList>
#include <QString>

/*! An installation as the check sees it. */
struct Installation
{
    QString appName;
    QString version;
    QString modifyTime;
    QString modifyCnt;
    int rolloutNumber = 0;       // its place in a staged rollout, 0 to 9999 (RolloutDraw)
    bool signedManifests = false; // keys are built in: every download needs its size and SHA-256
};

/*!
    What a manifest offers one installation: the file behind each button, in
    the order in which they are tried, and why a release or its patch is not
    for this installation. Decided in one place for the tool and for
    updater-publish --client-version.
*/
struct Offer
{
    enum Download { Installer, Patch, Delta };

    // The installer is what brings this installation up to date ("download-full", version 0, or a
    // patch that is not made for it and no delta).
    bool full = false;
    QString latestVersion;       // full-version when full, else patch-version
    bool newer = false;          // the version decision asks for the latest version
    // What update-patch takes first, and what follows when a delta cannot be used; update-full takes
    // the installer when full, else the same.
    QList<Download> patchRoad;
    QString patchMisfit;         // why the patch does not fit this installation; empty when it does
    QString withheld;            // why the release is not offered here (a staged rollout); empty when it is
    // A newer release is being rolled out and does not reach this installation yet: why. With a
    // previous release in the record, what is offered is that one (previousRelease).
    QString heldBack;
    bool previousRelease = false;
    // The files: their names in the application's folder, URLs and checks (with a version that cannot
    // be part of a file name reported in the check's problem).
    QString patchName;
    QString fullName;
    QString patchUrl;
    QString fullUrl;
    FileCheck patchCheck;
    FileCheck fullCheck;
    DeltaOffer delta;            // the delta made from this installation's version; empty URL: none

};

/*!
    What \a record offers \a installed: its release, or where a staged rollout
    does not reach the installation, the release before it as it was offered.
*/
Offer decideOffer(const ManifestRecord &record, const Installation &installed);

#endif // OFFER_H
