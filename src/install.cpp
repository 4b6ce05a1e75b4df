#include "updaterdialog.h"
#include "ui_updaterdialog.h"

#include "archive/patcharchive.h"
#include "delta/deltarebuild.h"
#include "downloader.h"
#include "launchparams.h"
#include "manifest/manifestsignature.h"
#include "manifest/releasefilenames.h"
#include "network/tlstrust.h"
#include "platform/programs.h"
#include "text/progresstext.h"
#include "transaction/installtransaction.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>

void UpdaterDialog::on_btn_update_clicked()
{
    confirmation = Confirmation::Ask;
    startTransfer(downloadFull ? QList<Offer::Download> { Offer::Installer } : offer.patchRoad);
}

void UpdaterDialog::on_btn_update_patch_clicked()
{
    if (downloader->isDownloading())
        return;
    downloadFull = false;
    confirmation = Confirmation::Ask;
    startTransfer(offer.patchRoad);
}

// Starts the first download of \a road; the rest follow, in order, when one cannot be used.
void UpdaterDialog::startTransfer(const QList<Offer::Download> &road)
{
    // One transfer at a time: its name, start time and kind stay as they began.
    if (downloader->isDownloading() || road.isEmpty())
        return;
    remaining = road;
    const Offer::Download kind = road.first();
    const bool signedManifest = !ManifestSignature::trustedKeys().isEmpty();
    const FileCheck &check = kind == Offer::Delta ? offer.delta.check
                             : kind == Offer::Installer ? offer.fullCheck : offer.patchCheck;
    const QString url = kind == Offer::Delta ? offer.delta.url : kind == Offer::Installer ? fullUrl : patchUrl;
    QString refusal = offer.withheld;
    if (refusal.isEmpty() && kind == Offer::Patch)
        refusal = offer.patchMisfit;
    if (refusal.isEmpty())
        refusal = downloadRefusal(url, check, signedManifest);
    if (!refusal.isEmpty()) {
        ui->show->appendPlainText(QStringLiteral("download refused: ") + refusal);
        return;
    }
    if (!updateLock.tryLock()) {
        ui->show->appendPlainText(updateLock.errorString().isEmpty()
                                          ? QStringLiteral("another update of this application is running; "
                                                           "nothing was downloaded")
                                          : QStringLiteral("the update cannot start, nothing was downloaded: ")
                                                    + updateLock.errorString());
        return;
    }
    if (!updateLock.takenOver().isEmpty())
        ui->show->appendPlainText(updateLock.takenOver());
    downloader->setVerification(check.size, check.sha256);
    // The same file from the manifest's mirrors, those the same rules allow.
    QStringList alternates;
    const QString prefix = kind == Offer::Installer ? manifest.fullUrlPrefix : manifest.patchUrlPrefix;
    for (const QString &alternate : mirrorUrls(manifest, prefix, url)) {
        if (downloadRefusal(alternate, check, signedManifest).isEmpty())
            alternates.append(alternate);
    }
    downloader->setMirrors(alternates);
    ui->btn_update->setEnabled(false);
    ui->btn_update_patch->setEnabled(false);
    downloader->setFileName(kind == Offer::Delta ? ReleaseFileNames::savedDelta(appName, patchVersion)
                                                 : downloadFileName);
    downloader->setReservedNames({ Platform::programFileName(appName) });
    downloadStartTime = int(QDateTime::currentDateTime().toSecsSinceEpoch());
    lastSampleMs = quint32(QDateTime::currentDateTime().toMSecsSinceEpoch());
    lastSampleBytes = 0;
    downloadReceived = 0;
    installCompiledCertificates();
    downloader->startDownload(url);
}

void UpdaterDialog::handleDownloadFinished()
{
    const quint32 seconds = quint32(QDateTime::currentSecsSinceEpoch()) - quint32(downloadStartTime);
    // What arrived, not what was announced: a cut download's average counts only its bytes.
    const quint64 bytes = quint64(downloadReceived);
    ui->label_3->setText(downloadSummaryText(seconds, bytes));
    ui->btn_update->setEnabled(true);
    ui->btn_update_patch->setEnabled(true);

    if (!downloader->succeeded()) {
        updateLock.unlock();
        if (transfer() == Offer::Delta) {
            // A delta never makes an update impossible: what is offered without it follows at once.
            fallBackFromDelta(downloader->errorString(), false);
            return;
        }
        ui->show->appendPlainText(QStringLiteral("download failed, nothing was installed: ")
                                  + downloader->errorString());
        return;
    }
    ui->show->appendPlainText(QStringLiteral("download finished"));
    if (transfer() == Offer::Delta) {
        // Said now, while the window is still there to show it.
        const qint64 size = downloader->bytesWritten();
        const qint64 patchSize = offer.patchCheck.size;
        ui->show->appendPlainText(patchSize > size
                                          ? QStringLiteral("a delta of %1 bytes instead of the %2-byte patch: "
                                                           "%3 bytes saved").arg(size).arg(patchSize)
                                                    .arg(patchSize - size)
                                          : QStringLiteral("a delta of %1 bytes").arg(size));
    }
    onDownloadFinished();
}

void UpdaterDialog::onDownloadFinished()
{
    if (confirmation == Confirmation::Ask) {
        const QMessageBox::StandardButton answer = QMessageBox::question(
                this, tr("update"), tr("download finished\nstart update?"),
                QMessageBox::Yes | QMessageBox::No, QMessageBox::NoButton);
        if (answer != QMessageBox::Yes) {
            updateLock.unlock();
            return;
        }
    }

    QString name;
    if (transfer() == Offer::Installer) {
        name = downloader->fileName();
    } else {
        if (!installPatch(QFileInfo(*downloader->file()).absoluteFilePath()))
            return;
        name = Platform::programFileName(appName);
    }

    const QFileInfo program(QCoreApplication::applicationDirPath() + QStringLiteral("/") + name);
    if (program.exists())
        Platform::openProgram(program.absoluteFilePath());
    QCoreApplication::quit();
}

bool UpdaterDialog::installPatch(const QString &archivePath)
{
    // The update goes into the tool's own folder, whatever name the archive came under.
    const QString appDir = QCoreApplication::applicationDirPath();
    if (QFileInfo(archivePath).absolutePath() != QFileInfo(appDir).absoluteFilePath()) {
        updateLock.unlock();
        ui->show->appendPlainText(QStringLiteral("update failed, the application was not changed: %1 does not lie "
                                                 "in the application's folder").arg(archivePath));
        return false;
    }
    InstallTransaction transaction(appDir);
    PatchArchive archive(archivePath);
    archive.setProgramName(Platform::programFileName(appName));
    DeltaRebuild rebuild(archivePath);
    rebuild.setProgramName(Platform::programFileName(appName));
    rebuild.setExpected(offer.delta.check.size, offer.delta.check.sha256);
    const bool delta = transfer() == Offer::Delta;
    const bool began = transaction.begin();
    const bool staged = began && (delta ? rebuild.stageInto(&transaction) : archive.stageInto(&transaction));
    if (began && !staged && delta) {
        // Nothing was committed: what is offered without the delta follows without a second question.
        updateLock.unlock();
        confirmation = Confirmation::Given;
        fallBackFromDelta(rebuild.errorString(), true);
        return false;
    }
    if (!staged || !transaction.commit()) {
        updateLock.unlock();
        const QString why = !began || staged ? transaction.errorString()
                                             : delta ? rebuild.errorString() : archive.errorString();
        ui->show->appendPlainText(transaction.outcome() == InstallTransaction::RollbackIncomplete
                                          ? QStringLiteral("update failed and could not be fully undone: ") + why
                                          : QStringLiteral("update failed, the application was not changed: ") + why);
        return false;
    }
    return true;
}

// Without the delta, the offer's next download: the patch where it fits this installation, else the
// installer. \a why the delta failed: in its download, or (\a installing) in its rebuild.
void UpdaterDialog::fallBackFromDelta(const QString &why, bool installing)
{
    const QList<Offer::Download> next = remaining.mid(1);
    if (next.value(0) == Offer::Installer) {
        downloadFull = true;
        downloadFileName = offer.fullName;
    }
    const QString what = next.value(0) == Offer::Installer ? QStringLiteral("the installer")
                                                           : QStringLiteral("the whole-file patch");
    ui->show->appendPlainText(installing ? QStringLiteral("the delta cannot be used, so %2 is downloaded and installed "
                                                          "instead: %1").arg(why, what)
                                         : QStringLiteral("the delta could not be downloaded (%1); downloading %2 "
                                                          "instead").arg(why, what));
    startTransfer(next);
}

void UpdaterDialog::on_btn_cancel_clicked()
{
    if (!process)
        process = new QProcess; // no parent: the application outlives the tool
    Platform::prepareApplicationProcess(process, appName);
    process->start(QIODevice::ReadWrite);
    process->waitForStarted(30000);
    QCoreApplication::quit();
}
