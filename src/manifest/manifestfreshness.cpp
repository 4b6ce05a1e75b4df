#include "manifest/manifestfreshness.h"

#include "manifest/usersettings.h"

#include <QSettings>

ManifestFreshness::ManifestFreshness(const QString &name)
    : key(UserSettings::key(name, QStringLiteral("manifest-issued")))
    , appName(name)
{
}

QDateTime ManifestFreshness::parseIssued(const QString &issued)
{
    QDateTime when = QDateTime::fromString(issued, Qt::ISODate);
    if (when.isValid() && when.timeSpec() == Qt::LocalTime)
        when.setTimeSpec(Qt::UTC); // the format says UTC
    return when.toUTC();
}

QDateTime ManifestFreshness::newestSeen() const
{
    return parseIssued(UserSettings::open()->value(key).toString());
}

QString ManifestFreshness::distrustedMark(const QDateTime &now) const
{
    const QDateTime seen = newestSeen();
    if (!seen.isValid() || seen <= now.addSecs(MaxClockAheadSeconds))
        return QString();
    return QStringLiteral("the newest accepted manifest recorded in %1 (key %2) is dated %3, beyond this computer's "
                          "clock; it is not believed, and the next accepted manifest replaces it")
            .arg(UserSettings::location(), key, seen.toString(Qt::ISODate));
}

QString ManifestFreshness::check(const QString &name, const QString &issued, const QDateTime &now) const
{
    if (!name.isEmpty() && name != appName)
        return QStringLiteral("the manifest is for the application \"%1\", not \"%2\"").arg(name, appName);
    const QDateTime seen = distrustedMark(now).isEmpty() ? newestSeen() : QDateTime();
    if (issued.isEmpty()) {
        if (seen.isValid())
            return QStringLiteral("the manifest carries no issue date, but one issued on %1 was seen before; "
                                  "an undated manifest is refused as a replay").arg(seen.toString(Qt::ISODate));
        return QString();
    }
    const QDateTime when = parseIssued(issued);
    if (!when.isValid())
        return QStringLiteral("the manifest's issue date \"%1\" is not an ISO 8601 date and time").arg(issued);
    if (when > now.addSecs(MaxClockAheadSeconds))
        return QStringLiteral("the manifest is issued on %1, more than a day ahead of this computer's clock (%2)")
                .arg(when.toString(Qt::ISODate), now.toUTC().toString(Qt::ISODate));
    if (seen.isValid() && when < seen)
        return QStringLiteral("the manifest issued on %1 is older than one already seen (issued on %2, recorded in "
                              "%3, key %4); an older manifest is refused as a replay")
                .arg(when.toString(Qt::ISODate), seen.toString(Qt::ISODate), UserSettings::location(), key);
    return QString();
}

bool ManifestFreshness::remember(const QString &issued, QString *unstored)
{
    const QDateTime when = parseIssued(issued);
    if (!when.isValid())
        return true;
    const QDateTime seen = newestSeen();
    const bool believed = distrustedMark(QDateTime::currentDateTimeUtc()).isEmpty();
    if (seen.isValid() && believed && when <= seen)
        return true;
    const auto settings = UserSettings::open();
    settings->setValue(key, when.toString(Qt::ISODate));
    return UserSettings::store(settings.get(), unstored);
}

void ManifestFreshness::forget()
{
    const auto settings = UserSettings::open();
    settings->remove(key);
    settings->sync();
}
