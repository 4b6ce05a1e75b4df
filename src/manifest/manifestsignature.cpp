#include "manifest/manifestsignature.h"

#include "crypto/crypto.h"
#include "publickeys.h"

namespace {

QList<QByteArray> &keys()
{
    static QList<QByteArray> list = [] {
        QList<QByteArray> compiled;
        for (const char *text : CompiledPublicKeys) {
            if (text[0])
                compiled.append(ManifestSignature::fromBase64(text));
        }
        return compiled;
    }();
    return list;
}

} // namespace

QByteArray ManifestSignature::fromBase64(const QByteArray &text)
{
    const QByteArray::FromBase64Result result =
            QByteArray::fromBase64Encoding(text, QByteArray::Base64Encoding | QByteArray::AbortOnBase64DecodingErrors);
    // Qt accepts a missing padding; the format asks for it.
    if (!result || text.size() % 4 != 0)
        return QByteArray();
    return result.decoded;
}

QList<QByteArray> ManifestSignature::read(const QByteArray &file)
{
    QList<QByteArray> signatures;
    for (const QByteArray &line : file.split('\n')) {
        const QByteArray decoded = fromBase64(line.trimmed());
        if (decoded.size() == 64)
            signatures.append(decoded);
    }
    return signatures;
}

QString ManifestSignature::check(const QByteArray &manifest, const QByteArray &signatureFile,
                                 const QList<QByteArray> &publicKeys)
{
    if (signatureFile.trimmed().isEmpty())
        return QStringLiteral("manifest signature missing");
    const QList<QByteArray> signatures = read(signatureFile);
    if (signatures.isEmpty())
        return QStringLiteral("manifest signature is not a readable signature file");
    for (const QByteArray &signature : signatures) {
        for (const QByteArray &key : publicKeys) {
            if (Crypto::verifyEd25519(key, manifest, signature))
                return QString();
        }
    }
    return QStringLiteral("manifest signature does not match any trusted key");
}

QString ManifestSignature::checkExpiry(const QString &expires, const QDateTime &now)
{
    if (expires.isEmpty())
        return QString();
    QDateTime when = QDateTime::fromString(expires, Qt::ISODate);
    if (!when.isValid())
        return QStringLiteral("manifest expiry \"%1\" is not an ISO 8601 date and time").arg(expires);
    if (when.timeSpec() == Qt::LocalTime)
        when.setTimeSpec(Qt::UTC); // the format says UTC
    if (when <= now)
        return QStringLiteral("manifest expired on %1").arg(when.toUTC().toString(Qt::ISODate));
    return QString();
}

QList<QByteArray> ManifestSignature::trustedKeys()
{
    return keys();
}

void ManifestSignature::setTrustedKeys(const QList<QByteArray> &list)
{
    keys() = list;
}

namespace {

// What opens the line of signatures inside a manifest: the object's first member, indented as
// QJsonDocument::Indented writes it.
const QByteArray EmbeddedStart = QByteArrayLiteral("{\n    \"signatures\": [");

} // namespace

QByteArray ManifestSignature::embed(const QByteArray &manifest, const QList<QByteArray> &signatures)
{
    QByteArray line = EmbeddedStart.mid(1);
    for (int i = 0; i < signatures.size(); ++i)
        line += (i > 0 ? ", \"" : "\"") + signatures.at(i).toBase64() + '"';
    line += "],";
    // After the opening brace: the rest of the file stays as it was signed.
    return QByteArray(manifest).insert(1, line);
}

bool ManifestSignature::extract(const QByteArray &body, QByteArray *signedBytes, QByteArray *signatureFile)
{
    if (!body.startsWith(EmbeddedStart))
        return false;
    const int end = body.indexOf("],\n", EmbeddedStart.size());
    if (end < 0)
        return false;
    const QByteArray list = body.mid(EmbeddedStart.size(), end - EmbeddedStart.size());
    signatureFile->clear();
    for (QByteArray item : list.split(',')) {
        item = item.trimmed();
        if (item.size() < 2 || !item.startsWith('"') || !item.endsWith('"'))
            return false;
        *signatureFile += item.mid(1, item.size() - 2) + '\n';
    }
    *signedBytes = body.left(1) + body.mid(end + 2);
    return true;
}
