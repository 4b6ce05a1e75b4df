#ifndef FILESYSTEM_H
#define FILESYSTEM_H

#include <QByteArray>
#include <QString>
#include <QStringList>

class QFile;

// Everything that differs between Windows, where the tool comes from, and the
// other desktops lives in this folder: files, their names and their durability here.
namespace Platform {

/*!
    Moves \a from over \a to in one step, replacing a file already there, so that
    \a to names either the old or the new file, never a half-written one. Both
    lie on the same file system. Returns false and sets \a error on failure.
*/
bool replaceFile(const QString &from, const QString &to, QString *error);

/*!
    Gives the file \a from a second name \a to on the same file system, \a from
    staying where it is: a hard link where the file system has them, else a
    copy that appears under \a to only once it is whole. Works on a program
    that is running. Returns false and sets \a error on failure.
*/
bool keepSecondName(const QString &from, const QString &to, QString *error);

/*!
    Opens \a path for reading into \a file only when it is a regular file, as
    the open handle sees it: a link, a FIFO or a device swapped in by name is
    refused without blocking. Returns false and sets \a error otherwise.
*/
bool openRegularFile(const QString &path, QFile *file, QString *error);

/*! Forces what was written to \a file onto the disk (fsync, FlushFileBuffers). */
bool flushFile(QFile *file);

/*!
    Makes the files \a paths, all written below \a folder, durable before
    they are committed: one sync of the file system on Linux, a flush of each
    file elsewhere. Returns false and sets \a error when it cannot.
*/
bool flushFiles(const QString &folder, const QStringList &paths, QString *error);

/*! Makes the renames inside \a path durable where the system needs that (a no-op on Windows). */
void flushFolder(const QString &path);

/*! True when \a path is a symbolic link or a junction (not a Windows shortcut file). */
bool isLink(const QString &path);

/*!
    Removes \a path and, when it is a folder, everything below it, without
    ever following a link: a link (or junction) is removed as a link, its
    target untouched. Returns false when something stayed.
*/
bool removeTree(const QString &path);

/*! Identifies the file system \a path lies on; equal values mean the same one. */
QByteArray fileSystemId(const QString &path);

} // namespace Platform

#endif // FILESYSTEM_H
