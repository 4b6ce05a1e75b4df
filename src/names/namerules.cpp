#include "names/namerules.h"

#include "names/windowsnames.h"
#include "names/workingnames.h"

#include <QStringList>

QString unsafeEntryReason(const QString &name)
{
    if (name.isEmpty())
        return QStringLiteral("an entry has no name");
    if (name.contains(QLatin1Char('\\')))
        return QStringLiteral("entry \"%1\" contains a backslash").arg(name);
    if (name.startsWith(QLatin1Char('/')))
        return QStringLiteral("entry \"%1\" is an absolute path").arg(name);
    if (name.contains(QLatin1Char(':')))
        return QStringLiteral("entry \"%1\" contains a drive letter or colon").arg(name);
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return QStringLiteral("entry \"%1\" contains a control character").arg(name);
        if (QStringLiteral("<>\"|?*").contains(c))
            return QStringLiteral("entry \"%1\" contains '%2', which Windows does not allow in a name").arg(name, c);
    }
    QString path = name;
    if (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    const QStringList parts = path.split(QLatin1Char('/'));
    for (const QString &part : parts) {
        if (part.isEmpty() || part == QLatin1String(".") || part == QLatin1String(".."))
            return QStringLiteral("entry \"%1\" leaves its folder or has an empty part").arg(name);
        // Windows drops them silently: "Demo." would be written as "Demo".
        if (part.endsWith(QLatin1Char('.')) || part.endsWith(QLatin1Char(' ')))
            return QStringLiteral("entry \"%1\" has a part that ends in a dot or a space, "
                                  "which Windows drops").arg(name);
        if (isWindowsDeviceName(part))
            return QStringLiteral("entry \"%1\" uses \"%2\", a device name on Windows").arg(name, part);
    }
    return WorkingNames::reservedReason(path);
}
