#include "transaction/filemode.h"

#include <QFileInfo>

namespace FileMode {

QFile::Permissions fromMode(quint32 mode)
{
    QFile::Permissions p = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser;
    if (mode & 0100) p |= QFile::ExeOwner | QFile::ExeUser;
    if (mode & 040) p |= QFile::ReadGroup;
    if (mode & 020) p |= QFile::WriteGroup;
    if (mode & 010) p |= QFile::ExeGroup;
    if (mode & 04) p |= QFile::ReadOther;
    if (mode & 01) p |= QFile::ExeOther;
    return p;
}

QFile::Permissions forStagedFile(quint32 mode, const QString &installed, bool program)
{
    if (mode != 0)
        return fromMode(mode);
    const QFileInfo info(installed);
    if (info.isFile() && !info.isSymLink())
        return info.permissions();
    return fromMode(program ? 0755 : 0644);
}

} // namespace FileMode
