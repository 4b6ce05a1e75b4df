#include "manifest/releasefilenames.h"

#include "names/namerules.h"

#include <QStringList>

namespace ReleaseFileNames {

QString patch(const QString &appName, const QString &version)
{
    return appName + QStringLiteral("-patch-v") + version + QStringLiteral(".zip");
}

QString full(const QString &appName, const QString &version)
{
    return appName + QStringLiteral("-full-v") + version + QStringLiteral(".exe");
}

QString publishedDelta(const QString &appName, const QString &from, const QString &version)
{
    return appName + QStringLiteral("-delta-v") + from + QStringLiteral("-v") + version + QStringLiteral(".zip");
}

QString savedDelta(const QString &appName, const QString &version)
{
    return appName + QStringLiteral("-delta-v") + version + QStringLiteral(".zip");
}

bool isDecimal32(const QString &text)
{
    if (text.isEmpty() || text.size() > 10)
        return false;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return text.toULongLong() <= 0xffffffffull;
}

bool isVersion(const QString &version)
{
    if (version.isEmpty())
        return false;
    for (const QString &part : version.split(QLatin1Char('.'))) {
        if (!isDecimal32(part))
            return false;
    }
    return true;
}

QString versionProblem(const QString &version)
{
    if (version.isEmpty())
        return QStringLiteral("it is empty");
    if (version.size() > MaxVersionLength)
        return QStringLiteral("it is longer than %1 characters").arg(MaxVersionLength);
    if (version == QLatin1String(".") || version == QLatin1String(".."))
        return QStringLiteral("it names a folder");
    for (const QChar c : version) {
        if (c == QLatin1Char('/') || c == QLatin1Char('\\'))
            return QStringLiteral("it holds a path separator");
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return QStringLiteral("it holds a control character");
        if (QStringLiteral("<>:\"|?*").contains(c))
            return QStringLiteral("it holds '%1', which Windows does not allow in a name").arg(c);
    }
    // Windows drops them silently, and the name would no longer be the one asked for.
    if (version.endsWith(QLatin1Char('.')) || version.endsWith(QLatin1Char(' ')))
        return QStringLiteral("it ends in a dot or a space");
    return QString();
}

QString problem(const QString &name)
{
    // The archive's rules for a name, and one level only: the application's folder itself.
    if (name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')))
        return QStringLiteral("\"%1\" is not a plain file name").arg(name);
    return unsafeEntryReason(name);
}

} // namespace ReleaseFileNames
