#include "updaterdialog.h"
#include "ui_updaterdialog.h"

#include "downloader.h"
#include "launchparams.h"
#include "manifest/manifest.h"
#include "manifest/manifestfreshness.h"
#include "manifest/manifestsignature.h"
#include "manifest/releasefilenames.h"
#include "manifest/rolloutdraw.h"
#include "network/networkpolicy.h"
#include "network/proxycredentials.h"
#include "network/tlstrust.h"

#include <QDateTime>
#include <QDebug>
#include <QNetworkAccessManager>
#include <QNetworkRequest>

namespace {

const QString Rule = QStringLiteral("======================================");

// When the check as a whole must end, carried from the manifest's request to the signature's.
const auto CheckDeadline = QNetworkRequest::Attribute(QNetworkRequest::User + 1);
// Which update host answers: 0 for baseUrl, n for otherBaseUrls[n - 1].
const auto CheckHost = QNetworkRequest::Attribute(QNetworkRequest::User + 2);
// The newest signed manifest an earlier host gave in this check, and which host that was.
const auto BestManifest = QNetworkRequest::Attribute(QNetworkRequest::User + 3);
const auto BestHost = QNetworkRequest::Attribute(QNetworkRequest::User + 4);

QString hostOf(const QString &base)
{
    return QUrl(base).authority();
}

// The report area lays out a long line at once; beyond this it freezes the window.
constexpr int MaxChangelogShown = 10000;

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

// The paragraph after "check error": what went wrong on the way.
QString checkErrorReason(QNetworkReply *reply, bool tooLarge, bool signatureRequest)
{
    if (tooLarge)
        return QStringLiteral("the server's answer is larger than %1 bytes; no manifest is")
                       .arg(NetworkPolicy::MaxManifestSize) + QStringLiteral(" that large");
    const QString reason = NetworkPolicy::failureReason(reply);
    if (!reason.isEmpty())
        return reason;
    return signatureRequest ? QStringLiteral("manifest signature missing: ") + reply->errorString() : QString();
}

// Signed is not enough: it must not have expired, it must be this application's,
// and not older than what was seen.
QString trustOverTime(const ManifestRecord &record, const QString &appName)
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QString why = ManifestSignature::checkExpiry(record.expires, now);
    if (why.isEmpty())
        why = ManifestFreshness(appName).check(record.name, record.issued, now);
    return why;
}

// True when the signed manifest \a candidate was issued after \a best (a dated one after an undated one).
bool issuedLater(const QByteArray &candidate, const QByteArray &best)
{
    ManifestRecord a;
    ManifestRecord b;
    parseManifest(candidate, platformKey, &a);
    parseManifest(best, platformKey, &b);
    const QDateTime when = ManifestFreshness::parseIssued(a.issued);
    const QDateTime than = ManifestFreshness::parseIssued(b.issued);
    return when.isValid() && (!than.isValid() || when > than);
}

QString shownChangelog(const QString &changelog)
{
    if (changelog.size() <= MaxChangelogShown)
        return changelog;
    return changelog.left(MaxChangelogShown) + QStringLiteral(" [... cut: %1 more characters]")
            .arg(changelog.size() - MaxChangelogShown);
}

} // namespace

void UpdaterDialog::on_btn_check_clicked()
{
    appName = ui->appNameInput->text();
    if (appName.isEmpty()) {
        ui->show->appendPlainText(QStringLiteral("Please input app name"));
        return;
    }
    ui->show->clear();
    ui->btn_update->setEnabled(false);
    ui->btn_update_patch->setEnabled(false);
    currentVersion = ui->versionInput->text();

    if (!networkManager) {
        networkManager = new QNetworkAccessManager(this);
        ProxyCredentials::attach(networkManager);
        connect(networkManager, SIGNAL(finished(QNetworkReply*)),
                this, SLOT(onCheckReply(QNetworkReply*)));
    }
    checkUrl = composeCheckUrl(appName);
    qDebug().noquote() << appName << checkUrl;
    const QString distrustedMark = ManifestSignature::trustedKeys().isEmpty()
            ? QString() : ManifestFreshness(appName).distrustedMark(QDateTime::currentDateTimeUtc());
    if (!distrustedMark.isEmpty())
        ui->show->appendPlainText(distrustedMark);
    installCompiledCertificates();
    QNetworkRequest request = NetworkPolicy::compressibleRequest(QUrl(checkUrl, QUrl::TolerantMode));
    request.setAttribute(CheckDeadline, QDateTime::currentMSecsSinceEpoch() + NetworkPolicy::checkTimeoutMs());
    sendCheckRequest(request);
}

void UpdaterDialog::sendCheckRequest(const QNetworkRequest &request)
{
    QNetworkReply *reply = networkManager->get(request);
    NetworkPolicy::limitDuration(reply, int(request.attribute(CheckDeadline).toLongLong()
                                            - QDateTime::currentMSecsSinceEpoch()));
    // A manifest is small; a body beyond the cap is not read, however fast it arrives.
    NetworkPolicy::limitBody(reply, NetworkPolicy::MaxManifestSize);
}

void UpdaterDialog::onCheckReply(QNetworkReply *reply)
{
    // The signature's request carries the manifest it is to vouch for.
    const QVariant signedBody = reply->request().attribute(QNetworkRequest::User);
    bool tooLarge = false;
    QByteArray body = NetworkPolicy::limitedBody(reply, &tooLarge);
    if (reply->error() != QNetworkReply::NoError || tooLarge) {
        QString reason = checkErrorReason(reply, tooLarge, signedBody.isValid());
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (reason.isEmpty())
            reason = status >= 400 ? QStringLiteral("HTTP status %1").arg(status) : reply->errorString();
        if (askNextHost(reply, reason))
            return;
        ui->show->appendPlainText(QStringLiteral("check error"));
        ui->show->appendPlainText(reason);
        return;
    }
    const QList<QByteArray> keys = ManifestSignature::trustedKeys();
    if (!keys.isEmpty() && !signedBody.isValid()) {
        QNetworkRequest request = NetworkPolicy::compressibleRequest(
                QUrl(ManifestSignature::signatureUrl(reply->request().url().toString())));
        request.setAttribute(QNetworkRequest::User, body);
        for (const auto carried : { CheckDeadline, CheckHost, BestManifest, BestHost })
            request.setAttribute(carried, reply->request().attribute(carried));
        sendCheckRequest(request);
        return;
    }
    QString distrust;
    if (!keys.isEmpty()) {
        distrust = ManifestSignature::check(signedBody.toByteArray(), body, keys);
        body = signedBody.toByteArray();
    }
    ManifestRecord record;
    if (distrust.isEmpty() && !parseManifest(body, platformKey, &record)) {
        if (!askNextHost(reply, QStringLiteral("its manifest is not JSON")))
            ui->show->appendPlainText(QStringLiteral("reply doc is null"));
        return;
    }
    if (distrust.isEmpty() && !keys.isEmpty())
        distrust = trustOverTime(record, appName);
    if (!distrust.isEmpty()) {
        if (askNextHost(reply, distrust))
            return;
        ui->show->appendPlainText(QStringLiteral("check error"));
        ui->show->appendPlainText(distrust);
        return;
    }
    int host = reply->request().attribute(CheckHost).toInt();
    // Signed manifests: every host is asked and the newest wins, so that one stale or hostile
    // host cannot hide a release another one serves.
    const QVariant best = reply->request().attribute(BestManifest);
    const bool later = !best.isValid() || issuedLater(body, best.toByteArray());
    if (!keys.isEmpty() && host < otherBaseUrls.size()) {
        askHost(host + 1, later ? body : best.toByteArray(), later ? host : reply->request().attribute(BestHost).toInt());
        return;
    }
    if (!later) {
        body = best.toByteArray();
        host = reply->request().attribute(BestHost).toInt();
        parseManifest(body, platformKey, &record);
    }
    acceptManifest(record, host);
}

// The manifest that won the check: remembered, applied and reported.
void UpdaterDialog::acceptManifest(const ManifestRecord &record, int host)
{
    applyManifest(record);
    QString unstored;
    if (!ManifestSignature::trustedKeys().isEmpty() && !ManifestFreshness(appName).remember(record.issued, &unstored))
        settingsProblem = unstored;
    reportCheck();
    if (host > 0)
        ui->show->appendPlainText(QStringLiteral("the manifest came from the update host %1 (number %2 of %3)")
                                          .arg(hostOf(otherBaseUrls.value(host - 1))).arg(host + 1)
                                          .arg(otherBaseUrls.size() + 1));
}

// One broken or hostile update host cannot block updates: the next one in the build's list is asked.
// After the last, a usable manifest from an earlier host is taken.
bool UpdaterDialog::askNextHost(QNetworkReply *reply, const QString &reason)
{
    const int host = reply->request().attribute(CheckHost).toInt();
    const QString failed = host == 0 ? baseUrl : otherBaseUrls.value(host - 1);
    const QVariant best = reply->request().attribute(BestManifest);
    if (host >= otherBaseUrls.size()) {
        if (!best.isValid())
            return false;
        ui->show->appendPlainText(QStringLiteral("the update host %1 gave no usable manifest (%2)")
                                          .arg(hostOf(failed), reason));
        ManifestRecord record;
        parseManifest(best.toByteArray(), platformKey, &record);
        acceptManifest(record, reply->request().attribute(BestHost).toInt());
        return true;
    }
    ui->show->appendPlainText(QStringLiteral("the update host %1 gave no usable manifest (%2); asking %3")
                                      .arg(hostOf(failed), reason, hostOf(otherBaseUrls.at(host))));
    askHost(host + 1, best.toByteArray(), reply->request().attribute(BestHost).toInt());
    return true;
}

void UpdaterDialog::askHost(int host, const QByteArray &best, int bestHost)
{
    QNetworkRequest request = NetworkPolicy::compressibleRequest(
            QUrl(otherBaseUrls.at(host - 1) + appName + QStringLiteral("/updates.json"), QUrl::TolerantMode));
    // Each host has the whole time of a check: a slow first one does not starve the next.
    request.setAttribute(CheckDeadline, QDateTime::currentMSecsSinceEpoch() + NetworkPolicy::checkTimeoutMs());
    request.setAttribute(CheckHost, host);
    if (!best.isEmpty()) {
        request.setAttribute(BestManifest, best);
        request.setAttribute(BestHost, bestHost);
    }
    sendCheckRequest(request);
}

void UpdaterDialog::applyManifest(const ManifestRecord &record)
{
    manifest = record;
    settingsProblem.clear();
    changelog = record.changelog;
    patchVersion = record.patchVersion;
    fullVersion = record.fullVersion;
    latestModifyTime = record.modifyTime;
    latestModifyCnt = record.modifyCnt;
    downloadFull = record.downloadFull;
    patchCheck = record.patch;
    fullCheck = record.full;
    // Only a delta made from exactly the installed version can rebuild it.
    delta = record.deltas.value(currentVersion);
    deltaRefused = false;
    if (currentVersion.isEmpty() || currentVersion == QLatin1String("0"))
        downloadFull = true;

    const QString patchName = ReleaseFileNames::patch(appName, patchVersion);
    const QString fullName = ReleaseFileNames::full(appName, fullVersion);
    refuseUnusableName(&patchCheck, QStringLiteral("patch-version"), patchVersion, patchName);
    refuseUnusableName(&fullCheck, QStringLiteral("full-version"), fullVersion, fullName);
    // The delta is saved under the patch's version: no usable name, no delta.
    if (!patchCheck.isValid())
        delta = DeltaOffer();
    downloadFileName = patchName;
    patchUrl = record.patchUrlPrefix + appName + QStringLiteral("/") + patchName;
    fullUrl = record.fullUrlPrefix + appName + QStringLiteral("/") + fullName;
    applyReleaseControl(record);
}

// Which installations the release reaches: the versions its patch was made for, and a staged rollout.
void UpdaterDialog::applyReleaseControl(const ManifestRecord &record)
{
    patchMisfit.clear();
    if (!record.patchForProblem.isEmpty())
        patchMisfit = QStringLiteral("manifest error: ") + record.patchForProblem;
    else if (!record.patchFor.isEmpty() && !record.patchFor.contains(currentVersion))
        patchMisfit = QStringLiteral("the patch is made for version(s) %1; update-full brings this installation "
                                     "up to date").arg(record.patchFor.join(QStringLiteral(", ")));
    // Nothing is ever installed into a version the patch was not made for; a delta from it still is.
    if (!patchMisfit.isEmpty() && patchOffer(record, currentVersion) == PatchOffer::None)
        downloadFull = true;
    notOffered.clear();
    const QString latest = downloadFull ? fullVersion : patchVersion;
    if (!record.rolloutProblem.isEmpty())
        notOffered = QStringLiteral("manifest error: ") + record.rolloutProblem + QStringLiteral("; the release is not offered");
    else if (record.rollout < 100) {
        const RolloutDraw draw(appName);
        QString unstored;
        if (!draw.offered(record.rollout, &unstored))
            notOffered = QStringLiteral("version %1 is being rolled out gradually and is not offered to this "
                                        "installation yet").arg(latest);
        if (!unstored.isEmpty())
            settingsProblem = unstored;
    }
}

void UpdaterDialog::reportCheck()
{
    const QString latestVersion = downloadFull ? fullVersion : patchVersion;
    const bool newer = needUpdate(currentVersion, latestVersion);
    const auto upToDate = [this](const QString &version, const QString &time, const QString &count) {
        ui->show->appendPlainText(Rule
                + tr("\ncurrent software is up-to-date")
                + tr("\nversion        : v") + version
                + tr("\nmodify     time: ") + time
                + tr("\nmodify      cnt: ") + count
                + QStringLiteral("\n") + Rule
                + tr("\nno need to update")
                + tr("\nclick cancel button to quit"));
    };
    if (newer && !notOffered.isEmpty()) {
        // Not yet for this installation: it is up to date with what it is offered.
        upToDate(currentVersion, currentModifyTime, currentModifyCnt);
    } else if (newer) {
        ui->show->appendPlainText(Rule
                + tr("\ncurrent version: v") + currentVersion
                + tr("\nmodify     time: ") + currentModifyTime
                + tr("\nmodify      cnt: ") + currentModifyCnt
                + QStringLiteral("\n    ------------------------------")
                + tr("\nlatest  version: v") + latestVersion
                + tr("\nmodify     time: ") + latestModifyTime
                + tr("\nmodify      cnt: ") + latestModifyCnt
                + tr("\nchange      log: ") + shownChangelog(changelog)
                + QStringLiteral("\n") + Rule);
        if (downloadFull) {
            ui->show->appendPlainText(QStringLiteral("need download full exe"));
            downloadFileName = ReleaseFileNames::full(appName, fullVersion);
        }
        ui->show->appendPlainText(tr("click update button to update"));
    } else {
        upToDate(latestVersion, latestModifyTime, latestModifyCnt);
    }

    if (!patchMisfit.isEmpty() && delta.url.isEmpty() && notOffered.isEmpty())
        ui->show->appendPlainText(patchMisfit);
    // Withheld from this installation; a malformed rollout is said even when nothing newer is there.
    if (!notOffered.isEmpty() && (newer || !manifest.rolloutProblem.isEmpty()))
        ui->show->appendPlainText(notOffered);
    for (const FileCheck *check : { &patchCheck, &fullCheck }) {
        if (!check->isValid())
            ui->show->appendPlainText(QStringLiteral("manifest error: ") + check->problem
                                      + QStringLiteral("; that download will be refused"));
    }
    if (!settingsProblem.isEmpty())
        ui->show->appendPlainText(settingsProblem);

    // A running transfer keeps the buttons; its end enables them again.
    if (downloader->isDownloading())
        return;
    ui->btn_update->setEnabled(true);
    ui->btn_update_patch->setEnabled(true);
}

bool UpdaterDialog::needUpdate(const QString &current, const QString &latest) const
{
    return versionNeedsUpdate(current, latest, latestModifyTime, latestModifyCnt,
                              currentModifyTime, currentModifyCnt);
}
