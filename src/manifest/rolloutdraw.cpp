#include "manifest/rolloutdraw.h"

#include "manifest/usersettings.h"

#include <QRandomGenerator>
#include <QSettings>

RolloutDraw::RolloutDraw(const QString &appName)
    : key(UserSettings::key(appName, QStringLiteral("rollout-draw")))
{
}

int RolloutDraw::number() const
{
    const auto settings = UserSettings::open();
    bool ok = false;
    const int kept = settings->value(key).toInt(&ok);
    // A value edited by hand out of range is drawn again, never trusted.
    if (ok && kept >= 0 && kept < Range)
        return kept;
    const int drawn = int(QRandomGenerator::system()->bounded(Range));
    settings->setValue(key, drawn);
    settings->sync();
    return drawn;
}
