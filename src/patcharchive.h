#ifndef PATCHARCHIVE_H
#define PATCHARCHIVE_H

#include <QString>
#include <QStringList>

/*!
    A patch archive (zip) to be unpacked over the installed application.

    check() reads and verifies every entry before anything is written: names
    must be plain relative paths (no absolute path, drive letter, backslash,
    "." or ".." component), entries must be files or directories (no links),
    and every file's data must read back with its recorded size and CRC.
    extractTo() writes nothing unless the whole archive passes, stages every
    file beside the application, and only then moves the files into place.
*/
class PatchArchive
{
public:
    explicit PatchArchive(const QString &fileName);

    bool check();
    bool extractTo(const QString &directory);

    /*! The relative paths of the files the archive holds, after check(). */
    QStringList files() const { return filePaths; }
    QString errorString() const { return error; }

private:
    struct Entry;
    bool readEntries(QList<Entry> *entries);
    bool setError(const QString &message);

    QString archivePath;
    QStringList filePaths;
    QString error;
};

/*!
    Returns why \a name (a raw entry name from the archive's directory) cannot
    be unpacked safely, or an empty string when it can.
*/
QString unsafeEntryReason(const QString &name);

#endif // PATCHARCHIVE_H
