#include "names/nameset.h"

#include "names/windowsnames.h"

QString NameSet::add(const QString &name, bool isFolder)
{
    const QString folded = windowsFoldedName(name);
    const auto same = names.constFind(folded);
    if (same != names.constEnd() && same.value() == name)
        return QStringLiteral("entry \"%1\" appears twice").arg(name);
    if (same != names.constEnd())
        return QStringLiteral("entries \"%1\" and \"%2\" are one file on Windows").arg(same.value(), name);
    names.insert(folded, name);
    if (!isFolder)
        files.insert(folded);
    return QString();
}

QString NameSet::fileFolderClash() const
{
    for (auto it = names.cbegin(); it != names.cend(); ++it) {
        const QString &folded = it.key();
        for (int slash = folded.indexOf(QLatin1Char('/')); slash > 0; slash = folded.indexOf(QLatin1Char('/'), slash + 1)) {
            if (files.contains(folded.left(slash)))
                return QStringLiteral("entry \"%1\" is both a file and a folder").arg(it.value().left(slash));
        }
    }
    return QString();
}
