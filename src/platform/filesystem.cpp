#include "platform/filesystem.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#include <io.h>
#else
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace Platform {

namespace {

// The copy is written under a working name beside \a to and renamed when whole.
bool copyThenRename(const QString &from, const QString &to, QString *error)
{
    const QString part = to + QStringLiteral(".copying");
    QFile::remove(part);
    if (!QFile::copy(from, part)) {
        *error = QStringLiteral("cannot copy %1").arg(from);
        return false;
    }
    QFile copy(part);
    if (!copy.open(QIODevice::ReadWrite) || !flushFile(&copy) || !replaceFile(part, to, error)) {
        if (error->isEmpty())
            *error = QStringLiteral("cannot write %1: %2").arg(part, copy.errorString());
        QFile::remove(part);
        return false;
    }
    return true;
}

} // namespace

#ifdef Q_OS_WIN

bool replaceFile(const QString &from, const QString &to, QString *error)
{
    const std::wstring source = QDir::toNativeSeparators(from).toStdWString();
    const std::wstring target = QDir::toNativeSeparators(to).toStdWString();
    if (MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    *error = qt_error_string(int(GetLastError()));
    return false;
}

bool keepSecondName(const QString &from, const QString &to, QString *error)
{
    const std::wstring source = QDir::toNativeSeparators(from).toStdWString();
    const std::wstring target = QDir::toNativeSeparators(to).toStdWString();
    if (CreateHardLinkW(target.c_str(), source.c_str(), nullptr))
        return true;
    return copyThenRename(from, to, error);
}

bool openRegularFile(const QString &path, QFile *file, QString *error)
{
    // Named pipes live outside the file system here; a link or junction is what a name can be swapped for.
    const QFileInfo info(path);
    if (isLink(path) || !info.isFile()) {
        *error = QStringLiteral("%1 is not a plain file").arg(path);
        return false;
    }
    file->setFileName(path);
    if (!file->open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file->errorString());
        return false;
    }
    return true;
}


bool flushFile(QFile *file)
{
    if (!file->flush())
        return false;
    const HANDLE handle = HANDLE(_get_osfhandle(file->handle()));
    return handle != INVALID_HANDLE_VALUE && FlushFileBuffers(handle);
}

bool flushFiles(const QString &, const QStringList &paths, QString *error)
{
    for (const QString &path : paths) {
        QFile file(path);
        if (!file.open(QIODevice::ReadWrite) || !flushFile(&file)) {
            *error = QStringLiteral("cannot flush %1: %2").arg(path, file.errorString());
            return false;
        }
    }
    return true;
}

void flushFolder(const QString &)
{
    // MoveFileEx with MOVEFILE_WRITE_THROUGH has already made each move durable.
}

bool isLink(const QString &path)
{
    const QFileInfo info(path);
    return info.isSymbolicLink() || info.isJunction();
}

QByteArray fileSystemId(const QString &path)
{
    wchar_t volume[MAX_PATH + 1] = {};
    const std::wstring native = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()).toStdWString();
    if (!GetVolumePathNameW(native.c_str(), volume, MAX_PATH))
        return QByteArray();
    return QString::fromWCharArray(volume).toLower().toUtf8();
}

#else

bool replaceFile(const QString &from, const QString &to, QString *error)
{
    // rename(2) replaces the target atomically. The names go through Qt's file
    // name encoding, which copes with any name the archive may carry.
    if (std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0)
        return true;
    *error = QString::fromLocal8Bit(std::strerror(errno));
    return false;
}

bool keepSecondName(const QString &from, const QString &to, QString *error)
{
    if (::link(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0)
        return true;
    return copyThenRename(from, to, error);
}

bool openRegularFile(const QString &path, QFile *file, QString *error)
{
    // O_NONBLOCK: opening a FIFO must not wait for a writer; the handle then tells what it is.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    struct stat status;
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        *error = QStringLiteral("%1 is not a plain file").arg(path);
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file->open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        *error = QStringLiteral("cannot read %1: %2").arg(path, file->errorString());
        return false;
    }
    return true;
}


bool flushFile(QFile *file)
{
    return file->flush() && ::fsync(file->handle()) == 0;
}

bool flushFiles(const QString &folder, const QStringList &paths, QString *error)
{
#ifdef Q_OS_LINUX
    // One syncfs writes back every staged file at once; an fsync per file
    // costs a journal commit each, which 65,535 small files make slow.
    Q_UNUSED(paths)
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    const bool ok = fd >= 0 && ::syncfs(fd) == 0;
    if (!ok)
        *error = QStringLiteral("cannot flush %1: %2").arg(folder, QString::fromLocal8Bit(std::strerror(errno)));
    if (fd >= 0)
        ::close(fd);
    return ok;
#else
    Q_UNUSED(folder)
    for (const QString &path : paths) {
        QFile file(path);
        if (!file.open(QIODevice::ReadWrite) || !flushFile(&file)) {
            *error = QStringLiteral("cannot flush %1: %2").arg(path, file.errorString());
            return false;
        }
    }
    return true;
#endif
}

void flushFolder(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

bool isLink(const QString &path)
{
    return QFileInfo(path).isSymbolicLink();
}

QByteArray fileSystemId(const QString &path)
{
    struct stat status;
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0)
        return QByteArray();
    return QByteArray::number(quint64(status.st_dev));
}

#endif

bool removeTree(const QString &path)
{
    if (isLink(path)) {
        // unlink(2) and DeleteFile remove a link itself; a junction goes with RemoveDirectory.
        return QFile::remove(path) || QDir().rmdir(path);
    }
    const QFileInfo info(path);
    if (!info.isDir()) {
        // A read-only file (Windows) goes too, as QDir::removeRecursively makes it go.
        return !info.exists() || QFile::remove(path)
                || (QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner) && QFile::remove(path));
    }
    bool ok = true;
    QDirIterator it(path, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    while (it.hasNext())
        ok = removeTree(it.next()) && ok;
    return QDir().rmdir(path) && ok;
}

} // namespace Platform
