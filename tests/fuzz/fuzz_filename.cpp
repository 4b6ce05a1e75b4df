// The Content-Disposition name extraction and its cleaning.
#include "names/downloadname.h"

#include <QDir>
#include <QFileInfo>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray header(reinterpret_cast<const char *>(data), int(size));
    const QString name = safeFileName(contentDispositionFileName(header));
    if (name.isEmpty())
        return 0;
    // A cleaned name is one bare file name, always inside the download folder.
    if (name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')) || name.contains(QLatin1Char(':'))
        || name == QLatin1String(".") || name == QLatin1String("..") || name.contains(QChar(0)))
        abort();
    const QString folder = QStringLiteral("/updates/app");
    const QString path = QDir::cleanPath(QDir(folder).filePath(name));
    if (QFileInfo(path).path() != folder)
        abort();
    // Cleaning is idempotent.
    if (safeFileName(name) != name)
        abort();
    return 0;
}
