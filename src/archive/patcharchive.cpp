#include "archive/patcharchive.h"

#include "archive/zipreader.h"
#include "transaction/filemode.h"
#include "transaction/installtransaction.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

PatchArchive::PatchArchive(const QString &fileName)
    : archivePath(fileName)
{
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
    ZipReader reader(archivePath);
    if (!reader.open())
        return setError(reader.errorString());
    for (int i = 0; i < reader.entries().size(); ++i) {
        const ZipReader::Entry &entry = reader.entries().at(i);
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
    ZipReader reader(archivePath);
    if (!reader.open())
        return setError(reader.errorString());
    for (const ZipReader::Entry &entry : reader.entries()) {
        if (!entry.isDir)
            filePaths.append(entry.name);
    }
    if (filePaths.isEmpty())
        return setError(QStringLiteral("%1 holds no files").arg(archivePath));

    for (int i = 0; i < reader.entries().size(); ++i) {
        const ZipReader::Entry &entry = reader.entries().at(i);
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
        out.setPermissions(FileMode::forStagedFile(entry.mode, transaction->installedPath(entry.name),
                                                   entry.name == programName));
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
