#include "names/windowsnames.h"

#include <QStringList>

QString windowsFoldedName(const QString &name)
{
    QStringList parts = name.split(QLatin1Char('/'));
    for (QString &part : parts) {
        int end = part.size();
        while (end > 0 && (part.at(end - 1) == QLatin1Char('.') || part.at(end - 1) == QLatin1Char(' ')))
            --end;
        part = part.left(end).toCaseFolded();
    }
    return parts.join(QLatin1Char('/'));
}

bool isWindowsDeviceName(const QString &part)
{
    // "CON", "con.txt", "Com1.tar.gz": the part before the first dot counts.
    const QString stem = part.section(QLatin1Char('.'), 0, 0).trimmed().toUpper();
    static const QStringList devices = { QStringLiteral("CON"), QStringLiteral("PRN"), QStringLiteral("AUX"),
                                         QStringLiteral("NUL") };
    if (devices.contains(stem))
        return true;
    return stem.size() == 4 && (stem.startsWith(QLatin1String("COM")) || stem.startsWith(QLatin1String("LPT")))
            && stem.at(3) >= QLatin1Char('1') && stem.at(3) <= QLatin1Char('9');
}
