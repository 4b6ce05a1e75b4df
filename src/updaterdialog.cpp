#include "updaterdialog.h"
#include "ui_updaterdialog.h"

#include "downloader.h"
#include "launchparams.h"
#include "network/proxycredentials.h"
#include "proxyprompt.h"

#include <QCoreApplication>
#include <QMetaEnum>
#include <QPointer>

UpdaterDialog::UpdaterDialog(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::UpdaterDialog)
    , updateLock(QCoreApplication::applicationDirPath())
{
    ui->setupUi(this);
    setWindowTitle(QStringLiteral("Updater"));
    ui->btn_update->setEnabled(false);
    ui->btn_update_patch->setEnabled(false);
    downloadStartTime = 0;
    currentVersion = appVersion;
    ui->versionInput->setText(currentVersion);
    ui->appNameInput->setText(appName);
    // Disabled rather than read-only: the report takes no focus and no input.
    ui->show->setEnabled(false);
    ui->label_2->setText(QString());
    ui->label_3->setText(QString());

    downloader = new Downloader(this);
    connect(downloader, &Downloader::doShowInfo, this, [this](const QString &message) {
        ui->show->appendPlainText(message);
    });
    connect(downloader, &Downloader::onError, this, [this](QNetworkReply::NetworkError code) {
        const QMetaObject &meta = QNetworkReply::staticMetaObject;
        const QMetaEnum errors = meta.enumerator(meta.indexOfEnumerator("NetworkError"));
        ui->show->appendPlainText(QString::fromLatin1(errors.valueToKey(code)));
    });
    connect(downloader, &Downloader::doFinished, this, &UpdaterDialog::handleDownloadFinished);
    // A proxy that asks for credentials asks the user, over this window.
    ProxyCredentials::setPrompt([self = QPointer<UpdaterDialog>(this)](const QString &proxy, QString *user,
                                                                       QString *password) {
        return self && ProxyPrompt::ask(self, proxy, user, password);
    });
    connect(downloader, &Downloader::doProgress, this, &UpdaterDialog::showProgress);

    manifestCheck = new ManifestCheck(this);
    connect(manifestCheck, &ManifestCheck::doShowInfo, this, [this](const QString &line) {
        ui->show->appendPlainText(line);
    });
    connect(manifestCheck, &ManifestCheck::doFinished, this, &UpdaterDialog::handleCheckFinished);
}

void UpdaterDialog::reportStartup(const QString &text)
{
    if (!text.isEmpty())
        ui->show->appendPlainText(text);
}

UpdaterDialog::~UpdaterDialog()
{
    delete ui;
}
