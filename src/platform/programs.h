#ifndef PROGRAMS_H
#define PROGRAMS_H

#include <QString>

class QProcess;

// Everything that differs between Windows, where the tool comes from, and the
// other desktops lives in this folder: programs and processes here.
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

/*! True when a process with the id \a pid runs on this computer. */
bool processRuns(qint64 pid);

} // namespace Platform

#endif // PROGRAMS_H
