#ifndef UPDATERDIALOG_H
#define UPDATERDIALOG_H

#include "check/manifestcheck.h"
#include "manifest/manifest.h"
#include "manifest/offer.h"
#include "transaction/updatelock.h"

#include <QDialog>

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
    void handleCheckFinished(const CheckResult &result);
    QString applyManifest(const ManifestRecord &record);
    void reportCheck(const QString &settingsProblem);
    void handleDownloadFinished();
    void startTransfer(const QList<Offer::Download> &road);
    void fallBackFromDelta(const QString &why, bool installing);
    bool installPatch(const QString &archivePath);
    // What the running (or last) transfer fetches: the first of what remains of its road.
    Offer::Download transfer() const { return remaining.value(0, Offer::Patch); }

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

    ManifestCheck *manifestCheck;
    // The latest manifest, and what it offers this installation.
    ManifestRecord manifest;
    Offer offer;
    // The downloads of the running transfer's road, its own first; a check during it does not change them.
    QList<Offer::Download> remaining;
    // Whether the install still asks "start update?": not once the user has said yes and a fallback follows.
    enum class Confirmation { Ask, Given };
    Confirmation confirmation = Confirmation::Ask;
    // The speed sample of the previous progress signal, reset per download.
    quint32 lastSampleMs = 0;
    qint64 lastSampleBytes = 0;
    qint64 downloadReceived = 0;
    // Held from the start of a download to the end of its install.
    UpdateLock updateLock;
};

#endif // UPDATERDIALOG_H
