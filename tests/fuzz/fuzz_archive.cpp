// The archive check and unpack into a temporary folder.
#include "archive/patcharchive.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

namespace {

QMap<QString, QByteArray> snapshot(const QString &root)
{
    QMap<QString, QByteArray> state;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info(path);
        if (info.isSymLink())
            state.insert(path, "link");
        else if (info.isDir())
            state.insert(path, "dir");
        else {
            QFile file(path);
            file.open(QIODevice::ReadOnly);
            state.insert(path, file.readAll());
        }
    }
    return state;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QTemporaryDir root;
    if (!root.isValid())
        return 0;
    const QString app = root.filePath(QStringLiteral("app"));
    QDir().mkpath(app);
    QFile existing(app + QStringLiteral("/Foo"));
    existing.open(QIODevice::WriteOnly);
    existing.write("installed program");
    existing.close();
    const QString zip = root.filePath(QStringLiteral("patch.zip"));
    QFile file(zip);
    file.open(QIODevice::WriteOnly);
    file.write(reinterpret_cast<const char *>(data), qint64(size));
    file.close();

    const QMap<QString, QByteArray> before = snapshot(root.path());
    PatchArchive archive(zip);
    const bool extracted = archive.extractTo(app);
    const QMap<QString, QByteArray> after = snapshot(root.path());

    if (!extracted) {
        // A refused archive writes nothing at all, and says why.
        if (after != before || archive.errorString().isEmpty())
            abort();
        return 0;
    }
    // Everything written lies inside the unpack folder, and no link is created.
    for (auto it = after.cbegin(); it != after.cend(); ++it) {
        if (before.value(it.key()) == it.value())
            continue;
        if (!it.key().startsWith(app + QLatin1Char('/')) || it.value() == "link")
            abort();
    }
    if (before.value(zip) != after.value(zip))
        abort();
    return 0;
}
