#include "patcharchive.h"

#include "platform.h"

#include <private/qzipreader_p.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryDir>

#include <zlib.h>

struct PatchArchive::Entry
{
    QString name;       // as stored in the central directory, validated
    QString readerPath; // the reader's cleaned name, used to fetch the data
    bool isDir = false;
    QFile::Permissions permissions;
    qint64 size = 0;
    uint crc = 0;
};

namespace {

quint32 le16(const uchar *p) { return quint32(p[0]) | quint32(p[1]) << 8; }
quint32 le32(const uchar *p) { return le16(p) | le16(p + 2) << 16; }

// Deflate cannot expand data by more than about 1032:1; a larger claim is a bomb.
constexpr qint64 MaxDeflateRatio = 1032;
// The reader holds an entry in memory; larger entries are refused, not attempted.
constexpr qint64 MaxEntrySize = qint64(1) << 30;

struct RawEntry
{
    QString name;
    quint32 method = 0;
    qint64 compressedSize = 0;
    qint64 size = 0;
};

// The entries as the archive's central directory stores them. The zip reader
// cleans names before it hands them out (it drops a leading "../" but keeps
// "a/../../x"), so the check has to see the originals.
bool readDirectory(QFile *file, QList<RawEntry> *entries)
{
    const qint64 size = file->size();
    const qint64 tail = qMin<qint64>(size, 65535 + 22);
    if (tail < 22 || !file->seek(size - tail))
        return false;
    const QByteArray end = file->read(tail);
    int eocd = -1;
    for (int i = end.size() - 22; i >= 0; --i) {
        if (le32(reinterpret_cast<const uchar *>(end.constData()) + i) == 0x06054b50) {
            eocd = i;
            break;
        }
    }
    if (eocd < 0)
        return false;
    const uchar *e = reinterpret_cast<const uchar *>(end.constData()) + eocd;
    const quint32 count = le16(e + 10);
    const quint32 directorySize = le32(e + 12);
    const quint32 directoryOffset = le32(e + 16);
    if (qint64(directoryOffset) + directorySize > size || !file->seek(directoryOffset))
        return false;
    const QByteArray directory = file->read(directorySize);
    if (directory.size() != int(directorySize))
        return false;

    const uchar *p = reinterpret_cast<const uchar *>(directory.constData());
    quint32 at = 0;
    for (quint32 i = 0; i < count; ++i) {
        if (at + 46 > directorySize || le32(p + at) != 0x02014b50)
            return false;
        const quint32 flags = le16(p + at + 8);
        RawEntry entry;
        entry.method = le16(p + at + 10);
        entry.compressedSize = le32(p + at + 20);
        entry.size = le32(p + at + 24);
        const quint32 nameLength = le16(p + at + 28);
        const quint32 extraLength = le16(p + at + 30);
        const quint32 commentLength = le16(p + at + 32);
        if (at + 46 + nameLength > directorySize)
            return false;
        const char *raw = reinterpret_cast<const char *>(p + at + 46);
        // Bit 11: the name is UTF-8; otherwise the reader takes it as local 8-bit.
        entry.name = (flags & 0x800) ? QString::fromUtf8(raw, int(nameLength))
                                     : QString::fromLocal8Bit(raw, int(nameLength));
        entries->append(entry);
        at += 46 + nameLength + extraLength + commentLength;
    }
    return true;
}

uint crcOf(const QByteArray &data)
{
    uLong crc = crc32(0L, Z_NULL, 0);
    const char *p = data.constData();
    qint64 left = data.size();
    while (left > 0) {
        const uInt n = uInt(qMin<qint64>(left, 1 << 30));
        crc = crc32(crc, reinterpret_cast<const Bytef *>(p), n);
        p += n;
        left -= n;
    }
    return uint(crc);
}

} // namespace

QString unsafeEntryReason(const QString &name)
{
    if (name.isEmpty())
        return QStringLiteral("an entry has no name");
    if (name.contains(QLatin1Char('\\')))
        return QStringLiteral("entry \"%1\" contains a backslash").arg(name);
    if (name.startsWith(QLatin1Char('/')))
        return QStringLiteral("entry \"%1\" is an absolute path").arg(name);
    if (name.contains(QLatin1Char(':')))
        return QStringLiteral("entry \"%1\" contains a drive letter or colon").arg(name);
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return QStringLiteral("entry \"%1\" contains a control character").arg(name);
    }
    QString path = name;
    if (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    const QStringList parts = path.split(QLatin1Char('/'));
    for (const QString &part : parts) {
        if (part.isEmpty() || part == QLatin1String(".") || part == QLatin1String(".."))
            return QStringLiteral("entry \"%1\" leaves its folder or has an empty part").arg(name);
    }
    return QString();
}

PatchArchive::PatchArchive(const QString &fileName)
    : archivePath(fileName)
{
}

bool PatchArchive::setError(const QString &message)
{
    error = message;
    return false;
}

bool PatchArchive::readEntries(QList<Entry> *entries)
{
    error.clear();
    filePaths.clear();

    QFile file(archivePath);
    if (!file.open(QIODevice::ReadOnly))
        return setError(QStringLiteral("cannot open %1: %2").arg(archivePath, file.errorString()));
    QList<RawEntry> raw;
    if (!readDirectory(&file, &raw))
        return setError(QStringLiteral("%1 is not a readable zip archive").arg(archivePath));
    const qint64 archiveSize = file.size();
    file.close();
    // Sizes first: nothing is inflated that could not be genuine.
    for (const RawEntry &entry : qAsConst(raw)) {
        if (entry.method != 0 && entry.method != 8)
            return setError(QStringLiteral("entry \"%1\" uses an unsupported compression").arg(entry.name));
        if (entry.compressedSize > archiveSize
            || (entry.method == 0 && entry.compressedSize != entry.size)
            || entry.size > entry.compressedSize * MaxDeflateRatio + 1024)
            return setError(QStringLiteral("entry \"%1\" claims an impossible size").arg(entry.name));
        if (entry.size > MaxEntrySize)
            return setError(QStringLiteral("entry \"%1\" is too large to unpack").arg(entry.name));
    }

    QZipReader reader(archivePath, QIODevice::ReadOnly);
    if (!reader.isReadable() || reader.status() != QZipReader::NoError)
        return setError(QStringLiteral("%1 is not a readable zip archive").arg(archivePath));
    const QVector<QZipReader::FileInfo> infos = reader.fileInfoList();
    if (infos.size() != raw.size())
        return setError(QStringLiteral("%1 has an unreadable directory").arg(archivePath));

    QSet<QString> seen;
    for (int i = 0; i < infos.size(); ++i) {
        const QZipReader::FileInfo &info = infos.at(i);
        const QString &name = raw.at(i).name;
        const QString reason = unsafeEntryReason(name);
        if (!reason.isEmpty())
            return setError(reason);
        if (info.isSymLink)
            return setError(QStringLiteral("entry \"%1\" is a link").arg(name));
        if (info.size != raw.at(i).size)
            return setError(QStringLiteral("%1 has an unreadable directory").arg(archivePath));
        if (!info.isDir && !info.isFile)
            return setError(QStringLiteral("entry \"%1\" is neither a file nor a folder").arg(name));

        Entry entry;
        entry.name = name.endsWith(QLatin1Char('/')) ? name.chopped(1) : name;
        entry.readerPath = info.filePath;
        entry.isDir = info.isDir;
        entry.permissions = info.permissions;
        entry.size = info.size;
        entry.crc = info.crc;
        if (seen.contains(entry.readerPath) || seen.contains(entry.name))
            return setError(QStringLiteral("entry \"%1\" appears twice").arg(name));
        seen.insert(entry.readerPath);
        seen.insert(entry.name);

        if (!entry.isDir) {
            const QByteArray data = reader.fileData(entry.readerPath);
            if (data.size() != entry.size || crcOf(data) != entry.crc)
                return setError(QStringLiteral("entry \"%1\" is damaged or cannot be read").arg(name));
            filePaths.append(entry.name);
        }
        entries->append(entry);
    }
    if (filePaths.isEmpty())
        return setError(QStringLiteral("%1 holds no files").arg(archivePath));
    return true;
}

bool PatchArchive::check()
{
    QList<Entry> entries;
    return readEntries(&entries);
}

bool PatchArchive::extractTo(const QString &directory)
{
    QList<Entry> entries;
    if (!readEntries(&entries))
        return false;

    const QDir target(directory);
    // Nothing may replace a folder with a file or a file with a folder half-way.
    for (const Entry &entry : qAsConst(entries)) {
        const QFileInfo existing(target.filePath(entry.name));
        if (existing.exists() && existing.isDir() != entry.isDir)
            return setError(QStringLiteral("\"%1\" exists in %2 as a %3")
                                .arg(entry.name, directory,
                                     existing.isDir() ? QStringLiteral("folder") : QStringLiteral("file")));
    }

    // Stage on the same file system, so the final moves are plain renames.
    QTemporaryDir staging(target.filePath(QStringLiteral(".update-staging-XXXXXX")));
    if (!staging.isValid())
        return setError(QStringLiteral("cannot write into %1: %2").arg(directory, staging.errorString()));
    const QDir stage(staging.path());

    QZipReader reader(archivePath, QIODevice::ReadOnly);
    for (const Entry &entry : qAsConst(entries)) {
        if (entry.isDir)
            continue;
        const QString staged = stage.filePath(entry.name);
        if (!QDir().mkpath(QFileInfo(staged).path()))
            return setError(QStringLiteral("cannot write into %1").arg(directory));
        QFile out(staged);
        const QByteArray data = reader.fileData(entry.readerPath);
        if (data.size() != entry.size)
            return setError(QStringLiteral("entry \"%1\" cannot be read").arg(entry.name));
        if (!out.open(QIODevice::WriteOnly) || out.write(data) != data.size() || !out.flush()) {
            return setError(QStringLiteral("cannot write %1: %2").arg(entry.name, out.errorString()));
        }
        out.close();
        QFile::Permissions permissions = entry.permissions;
        if (permissions == 0)
            permissions = QFile::ReadOwner | QFile::ReadUser | QFile::ReadGroup | QFile::ReadOther;
        out.setPermissions(permissions | QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser
                           | QFile::WriteUser);
    }

    for (const Entry &entry : qAsConst(entries)) {
        const QString final = target.filePath(entry.name);
        if (entry.isDir) {
            target.mkpath(entry.name);
            continue;
        }
        QDir().mkpath(QFileInfo(final).path());
        QString reason;
        if (!Platform::replaceFile(stage.filePath(entry.name), final, &reason))
            return setError(QStringLiteral("cannot replace %1: %2").arg(final, reason));
    }
    return true;
}
