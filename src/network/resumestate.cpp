#include "network/resumestate.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

bool ResumeState::load(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > 64 * 1024)
        return false;
    const QJsonObject state = QJsonDocument::fromJson(file.readAll()).object();
    url = state.value(QStringLiteral("url")).toString();
    validator = state.value(QStringLiteral("validator")).toString().toLatin1();
    expectedSize = qint64(state.value(QStringLiteral("size")).toDouble(-1));
    expectedSha256 = QByteArray::fromHex(state.value(QStringLiteral("sha256")).toString().toLatin1());
    partName = state.value(QStringLiteral("part")).toString();
    kept = qint64(state.value(QStringLiteral("kept")).toDouble(0));
    // The part file must lie beside the side file, whatever the file says.
    return !url.isEmpty() && !partName.isEmpty() && !partName.contains(QLatin1Char('/'))
            && !partName.contains(QLatin1Char('\\')) && partName.endsWith(QLatin1String(".part"));
}

bool ResumeState::save(const QString &path) const
{
    QJsonObject state;
    state.insert(QStringLiteral("url"), url);
    state.insert(QStringLiteral("validator"), QString::fromLatin1(validator));
    state.insert(QStringLiteral("size"), double(expectedSize));
    state.insert(QStringLiteral("sha256"), QString::fromLatin1(expectedSha256.toHex()));
    state.insert(QStringLiteral("part"), partName);
    state.insert(QStringLiteral("kept"), double(kept));
    QSaveFile file(path);
    const QByteArray data = QJsonDocument(state).toJson(QJsonDocument::Compact);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size() && file.commit();
}

bool ResumeState::continues(const QString &otherUrl, qint64 size, const QByteArray &sha256) const
{
    return url == otherUrl && expectedSize == size && expectedSha256 == sha256;
}
