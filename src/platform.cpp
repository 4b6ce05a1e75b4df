#include "platform.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#else
#include <cerrno>
#include <cstdio>
#include <cstring>
#endif

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

bool replaceFile(const QString &from, const QString &to, QString *error)
{
    const std::wstring source = QDir::toNativeSeparators(from).toStdWString();
    const std::wstring target = QDir::toNativeSeparators(to).toStdWString();
    if (MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    *error = qt_error_string(int(GetLastError()));
    return false;
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

bool replaceFile(const QString &from, const QString &to, QString *error)
{
    // rename(2) replaces the target atomically. The names go through Qt's file
    // name encoding, which copes with any name the archive may carry.
    if (std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0)
        return true;
    *error = QString::fromLocal8Bit(std::strerror(errno));
    return false;
}

#endif

} // namespace Platform
