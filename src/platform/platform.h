#ifndef PLATFORM_H
#define PLATFORM_H

#include <QByteArray>
#include <QString>
#include <QStringList>

class QFile;
class QProcess;

// Everything that differs between Windows, where the tool comes from, and the
// other desktops lives here.
namespace Platform {

/*! The application's program file: "<name>.exe" on Windows, "<name>" elsewhere. */
QString programFileName(const QString &appName);

/*!
    Starts what the install step hands over: the downloaded installer or the
    freshly patched program. Windows opens it through the desktop; elsewhere
    the desktop's opener does not run programs, so it is made executable and
    started directly, detached from the tool.
*/
void openProgram(const QString &absoluteFilePath);

/*!
    Points \a process at the application's program, as cancel starts it: the
    bare file name on Windows, the program in the tool's directory elsewhere.
*/
void prepareApplicationProcess(QProcess *process, const QString &appName);

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

/*! True when a process with the id \a pid runs on this computer. */
bool processRuns(qint64 pid);

/*! Identifies the file system \a path lies on; equal values mean the same one. */
QByteArray fileSystemId(const QString &path);

} // namespace Platform

#endif // PLATFORM_H
