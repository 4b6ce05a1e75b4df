#include "updaterdialog.h"
#include "ui_updaterdialog.h"

#include "downloader.h"
#include "installtransaction.h"
#include "launchparams.h"
#include "manifestsignature.h"
#include "patcharchive.h"
#include "platform.h"
#include "progresstext.h"
#include "tlstrust.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>

void UpdaterDialog::on_btn_update_clicked()
{
    startTransfer(downloadFull);
}

void UpdaterDialog::on_btn_update_patch_clicked()
{
    if (downloader->isDownloading())
        return;
    downloadFull = false;
    startTransfer(false);
}

void UpdaterDialog::startTransfer(bool full)
{
    // One transfer at a time: its name, start time and kind stay as they began.
    if (downloader->isDownloading())
        return;
    const FileCheck &check = full ? fullCheck : patchCheck;
    const QString refusal = downloadRefusal(full ? fullUrl : patchUrl, check,
                                            !ManifestSignature::trustedKeys().isEmpty());
    if (!refusal.isEmpty()) {
        ui->show->appendPlainText(QStringLiteral("download refused: ") + refusal);
        return;
    }
    if (!updateLock.tryLock()) {
        ui->show->appendPlainText(QStringLiteral("another update of this application is running; "
                                                 "nothing was downloaded"));
        return;
    }
    if (!updateLock.takenOver().isEmpty())
        ui->show->appendPlainText(updateLock.takenOver());
    downloader->setVerification(check.size, check.sha256);
    ui->btn_update->setEnabled(false);
    ui->btn_update_patch->setEnabled(false);
    downloader->setFileName(downloadFileName);
    downloader->setReservedNames({ Platform::programFileName(appName) });
    downloadStartTime = int(QDateTime::currentDateTime().toSecsSinceEpoch());
    lastSampleMs = quint32(QDateTime::currentDateTime().toMSecsSinceEpoch());
    lastSampleBytes = 0;
    downloadReceived = 0;
    transferIsFull = downloadFull;
    installCompiledCertificates();
    downloader->startDownload(full ? fullUrl : patchUrl);
}

void UpdaterDialog::handleDownloadFinished()
{
    const quint32 seconds = quint32(QDateTime::currentSecsSinceEpoch()) - quint32(downloadStartTime);
    // Without an announced length, the bytes that arrived are the best total.
    const quint64 bytes = downloadTotal > 0 ? quint64(downloadTotal) : quint64(downloadReceived);
    ui->label_3->setText(downloadSummaryText(seconds, bytes));
    ui->btn_update->setEnabled(true);
    ui->btn_update_patch->setEnabled(true);

    if (!downloader->succeeded()) {
        updateLock.unlock();
        ui->show->appendPlainText(QStringLiteral("download failed, nothing was installed: ")
                                  + downloader->errorString());
        return;
    }
    ui->show->appendPlainText(QStringLiteral("download finished"));
    onDownloadFinished();
}

void UpdaterDialog::onDownloadFinished()
{
    const QMessageBox::StandardButton answer = QMessageBox::question(
            this, QStringLiteral("update"), QStringLiteral("download finished\nstart update?"),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::NoButton);
    if (answer != QMessageBox::Yes) {
        updateLock.unlock();
        return;
    }

    QString name;
    if (transferIsFull) {
        name = downloader->fileName();
    } else {
        const QFileInfo archiveInfo(*downloader->file());
        InstallTransaction transaction(archiveInfo.path());
        PatchArchive archive(archiveInfo.absoluteFilePath());
        archive.setProgramName(Platform::programFileName(appName));
        if (!transaction.begin() || !archive.stageInto(&transaction) || !transaction.commit()) {
            updateLock.unlock();
            const QString why = archive.errorString().isEmpty() ? transaction.errorString() : archive.errorString();
            ui->show->appendPlainText(transaction.outcome() == InstallTransaction::RollbackIncomplete
                                              ? QStringLiteral("update failed and could not be fully undone: ") + why
                                              : QStringLiteral("update failed, the application was not changed: ") + why);
            return;
        }
        name = Platform::programFileName(appName);
    }

    const QFileInfo program(QCoreApplication::applicationDirPath() + QStringLiteral("/") + name);
    if (program.exists())
        Platform::openProgram(program.absoluteFilePath());
    QCoreApplication::quit();
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
