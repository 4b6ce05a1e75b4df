#include "names/downloadname.h"

#include <QFileInfo>
#include <QRegularExpression>

QString contentDispositionFileName(const QByteArray &headerValue)
{
    const QByteArray decoded = QByteArray::fromPercentEncoding(headerValue, '%');
    const QString text = QString::fromUtf8(decoded.constData()); // stops at a NUL
    static const QRegularExpression pattern(QStringLiteral("(.*)filename=\"(?<filename>.*)\""));
    const QRegularExpressionMatch match = pattern.match(text);
    return match.hasMatch() ? match.captured(QStringLiteral("filename")) : QString();
}

QString safeFileName(const QString &name)
{
    int cut = -1;
    for (int i = 0; i < name.size(); ++i) {
        const QChar c = name.at(i);
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c == QLatin1Char(':'))
            cut = i;
    }
    const QString bare = name.mid(cut + 1);
    if (bare.isEmpty() || bare == QLatin1String(".") || bare == QLatin1String(".."))
        return QString();
    for (const QChar c : bare) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return QString();
    }
    return bare;
}

bool acceptableServerFileName(const QString &name, const QString &requested, const QStringList &reserved,
                              const QString &directory)
{
    const int dot = requested.lastIndexOf(QLatin1Char('.'));
    if (dot < 0 || name.size() <= requested.size() - dot
        || !name.endsWith(requested.mid(dot), Qt::CaseInsensitive))
        return false;
    for (const QString &taken : reserved) {
        if (name.compare(taken, Qt::CaseInsensitive) == 0)
            return false;
    }
    // A server names a file; it never replaces one of the application's (only the tool's own name does).
    const QFileInfo taken(directory + QLatin1Char('/') + name);
    return !taken.exists() && !taken.isSymLink();
}
