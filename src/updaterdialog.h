#ifndef UPDATERDIALOG_H
#define UPDATERDIALOG_H

#include <QDialog>
#include "manifest/manifest.h"
#include "transaction/updatelock.h"

#include <QNetworkReply>

class Downloader;
class QNetworkAccessManager;
class QNetworkRequest;
class QProcess;

namespace Ui {
class UpdaterDialog;
}

/*!
    The tool's one window: checks the application's manifest, downloads the
    patch or the installer with a live progress display, and installs it.
    The slots live in updatecheck.cpp, progressdisplay.cpp and install.cpp.
*/
class UpdaterDialog : public QDialog
{
    Q_OBJECT

public:
    explicit UpdaterDialog(QWidget *parent = nullptr);
    ~UpdaterDialog() override;

    /*! True when the version decision asks for \a latest over \a current. */
    bool needUpdate(const QString &current, const QString &latest) const;
    /*! Adds what start-up found (an interrupted update recovered) to the report area. */
    void reportStartup(const QString &text);

private slots:
    void on_btn_check_clicked();
    void onCheckReply(QNetworkReply *reply);
    void on_btn_update_clicked();
    void on_btn_cancel_clicked();
    void onDownloadFinished();
    void on_btn_update_patch_clicked();

private:
    void showProgress(qint64 bytesReceived, qint64 bytesTotal);
    void updateSizeLabel(qint64 bytesReceived, qint64 bytesTotal);
    void updateSpeedLabel(qint64 bytesReceived, qint64 bytesTotal);
    void handleDownloadFinished();
    void startTransfer(bool full);
    bool installPatch(const QString &archivePath);
    void fallBackFromDelta(const QString &why, bool installing);
    void sendCheckRequest(const QNetworkRequest &request);
    bool askNextHost(QNetworkReply *reply, const QString &reason);
    void askHost(int host, const QByteArray &best, int bestHost);
    void acceptManifest(const ManifestRecord &record, int host);
    void applyManifest(const ManifestRecord &record);
    void reportCheck();
    void applyReleaseControl(const ManifestRecord &record);

    Ui::UpdaterDialog *ui;
    Downloader *downloader;
    QString currentVersion;
    QNetworkAccessManager *networkManager = nullptr;
    QString changelog;
    QString patchUrl;
    QString patchVersion;
    QString fullUrl;
    QString fullVersion;
    QString latestModifyTime;
    QString latestModifyCnt;
    QString downloadFileName = QString("");
    bool downloadFull = false;
    int downloadStartTime = 0;
    qint64 downloadTotal = 0;
    QProcess *process = nullptr;

    // The speed sample of the previous progress signal, reset per download.
    quint32 lastSampleMs = 0;
    qint64 lastSampleBytes = 0;
    qint64 downloadReceived = 0;
    // What the running transfer fetches; a check during it must not change that.
    enum Transfer { FullTransfer, PatchTransfer, DeltaTransfer };
    Transfer transfer = PatchTransfer;
    // The delta for the installed version, from the latest manifest; empty URL: none.
    DeltaOffer delta;
    // The delta failed once: this update goes by the whole-file patch.
    bool deltaRefused = false;
    // The user has said yes already: a fallback download installs without asking again.
    bool installConfirmed = false;
    // The integrity keys of the latest manifest, for each download.
    FileCheck patchCheck;
    FileCheck fullCheck;
    // Why the latest release is not offered to this installation (a staged rollout), and why
    // its patch does not fit it (made for other versions); empty when it is, and it does.
    QString notOffered;
    QString patchMisfit;
    // Why this check's decisions could not be kept in the user's settings; said once in its report.
    QString settingsProblem;
    // The latest manifest's, for the places that serve each download besides its own URL.
    ManifestRecord manifest;
    // Held from the start of a download to the end of its install.
    UpdateLock updateLock;
};

#endif // UPDATERDIALOG_H
