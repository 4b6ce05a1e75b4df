#include "manifest/rolloutdraw.h"

#include "manifest/usersettings.h"

#include <QCryptographicHash>
#include <QDir>
#include <QRandomGenerator>
#include <QSettings>
#include <QSysInfo>

namespace {

// The same for this user and application on this computer at every check: with nothing kept,
// a fresh draw would offer a release on one check and take it away on the next.
int derivedNumber(const QString &appName)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(QSysInfo::machineUniqueId());
    hash.addData(QDir::homePath().toUtf8());
    hash.addData(QByteArray(1, '\0'));
    hash.addData(appName.toUtf8());
    const QByteArray digest = hash.result();
    quint32 value = 0;
    for (int i = 0; i < 4; ++i)
        value = (value << 8) | quint8(digest.at(i));
    return int(value % RolloutDraw::Range);
}

} // namespace

RolloutDraw::RolloutDraw(const QString &name)
    : key(UserSettings::key(name, QStringLiteral("rollout-draw")))
    , appName(name)
{
}

int RolloutDraw::number(QString *unstored) const
{
    const auto settings = UserSettings::open();
    bool ok = false;
    const int kept = settings->value(key).toInt(&ok);
    // A value edited by hand out of range is drawn again, never trusted.
    if (ok && kept >= 0 && kept < Range)
        return kept;
    const int drawn = int(QRandomGenerator::system()->bounded(Range));
    settings->setValue(key, drawn);
    if (!UserSettings::store(settings.get(), unstored))
        return derivedNumber(appName);
    return drawn;
}
