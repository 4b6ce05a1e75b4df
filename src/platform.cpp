#include "platform.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

namespace Platform {

#ifdef Q_OS_WIN

QString programFileName(const QString &appName)
{
    return appName + QStringLiteral(".exe");
}

void openProgram(const QString &absoluteFilePath)
{
    // A URL made from the plain path text, as the desktop expects it here.
    QDesktopServices::openUrl(QUrl(absoluteFilePath, QUrl::TolerantMode));
}

void prepareApplicationProcess(QProcess *process, const QString &appName)
{
    process->setProgram(programFileName(appName));
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

#endif

} // namespace Platform
