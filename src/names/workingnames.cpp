#include "names/workingnames.h"

#include "names/windowsnames.h"

QString WorkingNames::reservedReason(const QString &name)
{
    // The tool only works at the top of the folder; below that, any name is the application's.
    const QString first = windowsFoldedName(name.section(QLatin1Char('/'), 0, 0));
    const auto folded = [](const char *text) { return windowsFoldedName(QLatin1String(text)); };
    const bool reserved = first.startsWith(folded(TransactionPrefix)) || first.startsWith(folded(StagingPrefix))
            || first.startsWith(folded(LockFile)) || first.endsWith(folded(PartSuffix))
            || first.endsWith(folded(SideSuffix));
    if (!reserved)
        return QString();
    return QStringLiteral("entry \"%1\" uses a name the updater keeps for its own work "
                          "(%2*, %3*, %4, *%5, *%6)")
            .arg(name, QLatin1String(TransactionPrefix), QLatin1String(StagingPrefix), QLatin1String(LockFile),
                 QLatin1String(PartSuffix), QLatin1String(SideSuffix));
}
