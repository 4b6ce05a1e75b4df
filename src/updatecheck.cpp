#include "updaterdialog.h"
#include "ui_updaterdialog.h"

#include "check/manifestcheck.h"
#include "downloader.h"
#include "launchparams.h"
#include "manifest/manifestsignature.h"
#include "manifest/rolloutdraw.h"
#include "network/proxycredentials.h"

#include <QDebug>
#include <QNetworkAccessManager>

namespace {

const QString Rule = QStringLiteral("======================================");

// The report area lays out a long line at once; beyond this it freezes the window.
constexpr int MaxChangelogShown = 10000;

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
    QStringList urls { checkUrl };
    for (const QString &other : qAsConst(otherBaseUrls))
        urls << other + appName + QStringLiteral("/updates.json");
    manifestCheck->start(networkManager, appName, urls, platformKey);
}

void UpdaterDialog::onCheckReply(QNetworkReply *reply)
{
    manifestCheck->handleReply(reply);
}

void UpdaterDialog::handleCheckFinished(const CheckResult &result)
{
    for (const QString &line : result.failure)
        ui->show->appendPlainText(line);
    if (!result.failure.isEmpty())
        return;
    const QString rolloutProblem = applyManifest(result.record);
    reportCheck(!result.settingsProblem.isEmpty() ? result.settingsProblem : rolloutProblem);
    if (!result.source.isEmpty())
        ui->show->appendPlainText(result.source);
}

// The Parts' members from the record, and what it offers this installation; says why the rollout
// number could not be kept, if it could not.
QString UpdaterDialog::applyManifest(const ManifestRecord &record)
{
    Installation installed;
    installed.appName = appName;
    installed.version = currentVersion;
    installed.modifyTime = currentModifyTime;
    installed.modifyCnt = currentModifyCnt;
    installed.signedManifests = !ManifestSignature::trustedKeys().isEmpty();
    QString unstored;
    // Drawn only for a staged release: nothing is kept for users who never meet one.
    const auto staged = [](const ManifestRecord *release) {
        return release && release->rollout < 100 && release->rolloutProblem.isEmpty();
    };
    if (staged(&record) || staged(record.previous.data()))
        installed.rolloutNumber = RolloutDraw(appName).number(&unstored);
    offer = decideOffer(record, installed);

    // The release offered: the latest, or where its rollout does not reach, the one before it.
    manifest = offer.previousRelease ? *record.previous : record;
    changelog = manifest.changelog;
    patchVersion = manifest.patchVersion;
    fullVersion = manifest.fullVersion;
    latestModifyTime = manifest.modifyTime;
    latestModifyCnt = manifest.modifyCnt;
    downloadFull = offer.full;
    downloadFileName = offer.patchName;
    patchUrl = offer.patchUrl;
    fullUrl = offer.fullUrl;
    return unstored;
}

void UpdaterDialog::reportCheck(const QString &settingsProblem)
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
    // A newer release exists but does not reach this installation yet: it is not up to date, and the
    // report does not say it is. The line after the report says why.
    const auto heldBack = [this] {
        ui->show->appendPlainText(Rule
                + tr("\nversion        : v") + currentVersion
                + tr("\nmodify     time: ") + currentModifyTime
                + tr("\nmodify      cnt: ") + currentModifyCnt
                + QStringLiteral("\n") + Rule
                + tr("\nclick cancel button to quit"));
    };
    if (!offer.withheld.isEmpty() ? newer : !newer && !offer.heldBack.isEmpty()) {
        heldBack();
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
            downloadFileName = offer.fullName;
        }
        ui->show->appendPlainText(tr("click update button to update"));
    } else {
        upToDate(latestVersion, latestModifyTime, latestModifyCnt);
    }

    if (!offer.patchMisfit.isEmpty() && offer.delta.url.isEmpty() && offer.withheld.isEmpty())
        ui->show->appendPlainText(offer.patchMisfit);
    // Withheld from this installation; a malformed rollout is said even when nothing newer is there.
    if (!offer.withheld.isEmpty() && (newer || !manifest.rolloutProblem.isEmpty()))
        ui->show->appendPlainText(offer.withheld);
    else if (!offer.heldBack.isEmpty())
        ui->show->appendPlainText(offer.heldBack + (newer ? QStringLiteral("; version %1 is offered meanwhile")
                                                                    .arg(latestVersion)
                                                          : QString()));
    for (const FileCheck *check : { &offer.patchCheck, &offer.fullCheck }) {
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
