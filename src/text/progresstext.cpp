#include "text/progresstext.h"

#include <QCoreApplication>

// Every text here belongs to the dialog's translation context.
QString sizeText(qint64 bytes)
{
    if (bytes < 1024)
        return QCoreApplication::translate("UpdaterDialog", "%1 bytes").arg(bytes);
    if (bytes < 1048576)
        return QCoreApplication::translate("UpdaterDialog", "%1 KB").arg(bytes >> 10);
    return QCoreApplication::translate("UpdaterDialog", "%1 MB").arg(double(bytes) / 1048576.0);
}

QString timeLeftText(double seconds)
{
    if (seconds > 7200)
        return QCoreApplication::translate("UpdaterDialog", "about %1 hours").arg(int(seconds / 3600 + 0.5));
    if (seconds > 60) {
        const int minutes = int(seconds / 60 + 0.5);
        return minutes <= 1 ? QCoreApplication::translate("UpdaterDialog", "1 minute")
                            : QCoreApplication::translate("UpdaterDialog", "%1 minutes").arg(minutes);
    }
    const int whole = int(seconds + 0.5);
    return whole <= 1 ? QCoreApplication::translate("UpdaterDialog", "1 second")
                      : QCoreApplication::translate("UpdaterDialog", "%1 seconds").arg(whole);
}

double intervalSpeed(quint64 bytes, quint32 milliseconds)
{
    if (milliseconds == 0)
        return -1.0;
    return double(bytes) * (1.0 / 1024) / double(milliseconds) * 1000;
}

namespace {

// Up to three decimals and never an exponent: a drip reads 0, not 9.76e-05.
QString speedNumber(double kibPerSecond)
{
    QString text = QString::number(kibPerSecond, 'f', 3);
    while (text.endsWith(QLatin1Char('0')))
        text.chop(1);
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text;
}

} // namespace

QString speedLabelText(qint64 received, qint64 total, quint32 elapsedSeconds,
                       quint64 intervalBytes, quint32 intervalMs)
{
    if (elapsedSeconds == 0)
        return QString();
    const double speed = intervalSpeed(intervalBytes, intervalMs);
    if (speed < 0)
        return QString();
    const QString speedPart = QCoreApplication::translate("UpdaterDialog", "speed: %1 kb/s  ").arg(speedNumber(speed));
    // Fewer bytes than seconds (or a clock set back) leaves no rate to divide by.
    const qint64 rate = received / qint64(elapsedSeconds);
    if (rate == 0 || total < 0)
        return speedPart.trimmed();
    const double left = double((total - received) / rate);
    return speedPart + QCoreApplication::translate("UpdaterDialog", "Time remaining") + QStringLiteral(": ")
            + timeLeftText(left);
}

QString downloadSummaryText(quint32 seconds, quint64 bytes)
{
    QString text = QStringLiteral("total time: ") + QString::number(double(seconds), 'g', 3)
            + QStringLiteral("s");
    if (seconds == 0)
        return text;
    const double average = double(bytes) * (1.0 / 1024) / double(seconds);
    return text + QStringLiteral("    average speed: ") + QString::number(average, 'g', 3)
            + QStringLiteral("kb/s");
}

QString serverBusyText(int status, qint64 retrySeconds)
{
    if (retrySeconds < 0)
        return QCoreApplication::translate("UpdaterDialog", "the server is busy (HTTP status %1); try again later")
                .arg(status);
    return QCoreApplication::translate("UpdaterDialog", "the server is busy (HTTP status %1); try again in %2")
            .arg(status).arg(timeLeftText(double(qMax<qint64>(retrySeconds, 1))));
}
