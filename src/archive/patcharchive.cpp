#include "archive/patcharchive.h"

#include "archive/archivereader.h"
#include "transaction/installtransaction.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

QFile::Permissions permissionsFromMode(quint32 mode)
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

PatchArchive::PatchArchive(const QString &fileName)
    : archivePath(fileName)
{
}

QFile::Permissions PatchArchive::permissionsFor(const ArchiveReader::Entry &entry, const QString &installed) const
{
    if (entry.mode != 0)
        return permissionsFromMode(entry.mode);
    // No mode in the archive (made on Windows): a replaced file keeps its own,
    // so that the program stays executable; a new one is readable by all.
    const QFileInfo info(installed);
    if (info.isFile() && !info.isSymLink())
        return info.permissions();
    return permissionsFromMode(entry.name == programName ? 0755 : 0644);
}

bool PatchArchive::setError(const QString &message)
{
    error = message;
    return false;
}

bool PatchArchive::check()
{
    error.clear();
    filePaths.clear();
    ArchiveReader reader(archivePath);
    if (!reader.open())
        return setError(reader.errorString());
    for (int i = 0; i < reader.entries().size(); ++i) {
        const ArchiveReader::Entry &entry = reader.entries().at(i);
        if (entry.isDir)
            continue;
        if (!reader.extract(i, nullptr))
            return setError(reader.errorString());
        filePaths.append(entry.name);
    }
    if (filePaths.isEmpty())
        return setError(QStringLiteral("%1 holds no files").arg(archivePath));
    return true;
}

bool PatchArchive::stageInto(InstallTransaction *transaction)
{
    error.clear();
    filePaths.clear();
    ArchiveReader reader(archivePath);
    if (!reader.open())
        return setError(reader.errorString());
    for (const ArchiveReader::Entry &entry : reader.entries()) {
        if (!entry.isDir)
            filePaths.append(entry.name);
    }
    if (filePaths.isEmpty())
        return setError(QStringLiteral("%1 holds no files").arg(archivePath));

    for (int i = 0; i < reader.entries().size(); ++i) {
        const ArchiveReader::Entry &entry = reader.entries().at(i);
        if (entry.isDir) {
            transaction->addFolder(entry.name);
            continue;
        }
        // Each entry is inflated once, straight into its staged file.
        QFile out(transaction->stagedPath(entry.name));
        if (!QDir().mkpath(QFileInfo(out.fileName()).path()) || !out.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            return setError(QStringLiteral("cannot write %1: %2").arg(out.fileName(), out.errorString()));
        if (!reader.extract(i, &out))
            return setError(reader.errorString());
        if (!out.flush())
            return setError(QStringLiteral("cannot write %1: %2").arg(out.fileName(), out.errorString()));
        out.close();
        out.setPermissions(permissionsFor(entry, transaction->installedPath(entry.name)));
        transaction->addFile(entry.name);
    }
    return true;
}

bool PatchArchive::extractTo(const QString &directory)
{
    InstallTransaction transaction(directory);
    if (!transaction.begin())
        return setError(transaction.errorString());
    if (!stageInto(&transaction))
        return false;
    if (!transaction.commit())
        return setError(transaction.errorString());
    return true;
}
