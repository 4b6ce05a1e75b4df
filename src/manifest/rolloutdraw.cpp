#include "manifest/rolloutdraw.h"

#include <QRandomGenerator>
#include <QSettings>
#include <QUrl>

RolloutDraw::RolloutDraw(const QString &appName)
    // Any application name is one key: separators and odd letters are percent-encoded.
    : key(QStringLiteral("applications/%1/rollout-draw").arg(QString::fromLatin1(QUrl::toPercentEncoding(appName))))
{
}

int RolloutDraw::number() const
{
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("updater"),
                       QStringLiteral("updater"));
    bool ok = false;
    const int kept = settings.value(key).toInt(&ok);
    // A value edited by hand out of range is drawn again, never trusted.
    if (ok && kept >= 0 && kept < Range)
        return kept;
    const int drawn = int(QRandomGenerator::system()->bounded(Range));
    settings.setValue(key, drawn);
    settings.sync();
    return drawn;
}
