#ifndef PATCHARCHIVE_H
#define PATCHARCHIVE_H

#include "archive/zipreader.h"

#include <QFile>
#include <QString>
#include <QStringList>

class InstallTransaction;

/*!
    A patch archive (zip) to be unpacked over the installed application.

    Read by ZipReader: entry names must be plain relative paths, entries
    files or folders (no links), and every file's data must inflate to its
    recorded size and CRC. stageInto() writes every file once, in bounded
    memory, into an install transaction's staging folder and flushes it to
    disk; nothing of the application is touched until the transaction commits.
*/
class PatchArchive
{
public:
    explicit PatchArchive(const QString &fileName);

    /*! Reads and verifies every entry without writing anything. */
    bool check();
    /*! Stages every entry into \a transaction, which must have begun. */
    bool stageInto(InstallTransaction *transaction);
    /*! Stages and commits in one go: the application's folder ends old or new, never mixed. */
    bool extractTo(const QString &directory);

    /*!
        The application's program file: made executable when it is new and
        the archive gives no mode (made on Windows).
    */
    void setProgramName(const QString &name) { programName = name; }

    /*! The relative paths of the files the archive holds, after check() or stageInto(). */
    QStringList files() const { return filePaths; }
    QString errorString() const { return error; }

private:
    bool setError(const QString &message);

    QString archivePath;
    QString programName;
    QStringList filePaths;
    QString error;
};

#endif // PATCHARCHIVE_H
