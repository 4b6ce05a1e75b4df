#include "updaterdialog.h"
#include "ui_updaterdialog.h"

#include "text/progresstext.h"

#include <QDateTime>

void UpdaterDialog::showProgress(qint64 bytesReceived, qint64 bytesTotal)
{
    downloadTotal = bytesTotal;
    downloadReceived = bytesReceived;
    if (bytesTotal > 0) {
        ui->progressBar->setMinimum(0);
        ui->progressBar->setMaximum(100);
        ui->progressBar->setValue(int(quint64(bytesReceived) * 100 / quint64(bytesTotal)));
        updateSizeLabel(bytesReceived, bytesTotal);
        updateSpeedLabel(bytesReceived, bytesTotal);
        return;
    }
    ui->progressBar->setMinimum(0);
    ui->progressBar->setMaximum(0);
    ui->progressBar->setValue(-1);
    if (bytesTotal == 0) {
        ui->show->appendPlainText(tr("Downloading Updates") + QStringLiteral("..."));
        return;
    }
    // No length announced: what arrived so far, and the speed without a time left.
    updateSizeLabel(bytesReceived, bytesTotal);
    updateSpeedLabel(bytesReceived, bytesTotal);
}

void UpdaterDialog::updateSizeLabel(qint64 bytesReceived, qint64 bytesTotal)
{
    if (bytesTotal < 0) {
        ui->label_2->setText(tr("Downloading updates") + QStringLiteral(" (")
                             + sizeText(bytesReceived) + QStringLiteral(")"));
        return;
    }
    const QString total = sizeText(bytesTotal);
    const QString received = sizeText(bytesReceived);
    ui->label_2->setText(tr("Downloading updates") + QStringLiteral(" (") + received
                         + QStringLiteral(" ") + tr("of") + QStringLiteral(" ") + total
                         + QStringLiteral(")"));
}

void UpdaterDialog::updateSpeedLabel(qint64 bytesReceived, qint64 bytesTotal)
{
    const quint32 nowMs = quint32(QDateTime::currentDateTime().toMSecsSinceEpoch());
    const quint32 prevMs = lastSampleMs;
    const qint64 prevBytes = lastSampleBytes;
    lastSampleMs = nowMs;
    lastSampleBytes = bytesReceived;

    const quint32 elapsed = quint32(quint32(QDateTime::currentDateTime().toSecsSinceEpoch())
                                    - quint32(downloadStartTime));
    const QString text = speedLabelText(bytesReceived, bytesTotal, elapsed,
                                        quint64(bytesReceived - prevBytes), nowMs - prevMs);
    if (!text.isNull())
        ui->label_3->setText(text);
}
