#include "platform/programs.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#else
#include <csignal>
#include <cerrno>
#endif

namespace Platform {

#ifdef Q_OS_WIN

QString programFileName(const QString &appName)
{
    return appName + QStringLiteral(".exe");
}

void openProgram(const QString &absoluteFilePath)
{
    // A file URL: a plain path would read its drive letter as a URL scheme,
    // and spaces, '%' or non-ASCII letters would reach the shell encoded.
    if (QDesktopServices::openUrl(QUrl::fromLocalFile(absoluteFilePath)))
        return;
    // Without a desktop to ask (a headless platform plugin), start it directly.
    QProcess::startDetached(absoluteFilePath, QStringList(), QFileInfo(absoluteFilePath).absolutePath());
}

void prepareApplicationProcess(QProcess *process, const QString &appName)
{
    process->setProgram(programFileName(appName));
}

bool processRuns(qint64 pid)
{
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(pid));
    if (!process)
        return GetLastError() == ERROR_ACCESS_DENIED; // it exists, it is just not ours to ask
    DWORD code = 0;
    const bool running = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
    CloseHandle(process);
    return running;
}

#else

QString programFileName(const QString &appName)
{
    return appName;
}

void openProgram(const QString &absoluteFilePath)
{
    QFile::setPermissions(absoluteFilePath, QFile::permissions(absoluteFilePath)
                                                | QFile::ExeOwner | QFile::ExeUser);
    QProcess::startDetached(absoluteFilePath, QStringList(),
                            QFileInfo(absoluteFilePath).absolutePath());
}

void prepareApplicationProcess(QProcess *process, const QString &appName)
{
    const QString directory = QCoreApplication::applicationDirPath();
    process->setProgram(directory + QStringLiteral("/") + programFileName(appName));
    process->setWorkingDirectory(directory);
    // The application outlives the tool; it must not write into our dead pipes.
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
}

bool processRuns(qint64 pid)
{
    if (pid <= 0 || pid > std::numeric_limits<pid_t>::max())
        return false;
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
}

#endif

} // namespace Platform
