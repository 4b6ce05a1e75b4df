#include "testcerts.h"

#include <QDir>
#include <QFile>
#include <QProcess>

namespace {

bool run(const QStringList &arguments, const QString &directory, QString *error)
{
    QProcess openssl;
    openssl.setWorkingDirectory(directory);
    openssl.setProcessChannelMode(QProcess::MergedChannels);
    openssl.start(QStringLiteral("openssl"), arguments);
    if (!openssl.waitForFinished(60000) || openssl.exitStatus() != QProcess::NormalExit
        || openssl.exitCode() != 0) {
        *error = QStringLiteral("openssl %1 failed: %2")
                     .arg(arguments.join(QLatin1Char(' ')), QString::fromLocal8Bit(openssl.readAll()));
        return false;
    }
    return true;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

TestCertificates TestCertificates::create(const QString &directory, const QString &name)
{
    TestCertificates result;
    const QDir dir(directory);
    result.caFile = dir.filePath(name + QStringLiteral("-ca.pem"));
    result.certFile = dir.filePath(name + QStringLiteral("-server.pem"));
    result.keyFile = dir.filePath(name + QStringLiteral("-server.key"));
    const QString caKey = dir.filePath(name + QStringLiteral("-ca.key"));
    const QString request = dir.filePath(name + QStringLiteral("-server.csr"));
    const QString extensions = dir.filePath(name + QStringLiteral("-server.ext"));

    QFile ext(extensions);
    if (!ext.open(QIODevice::WriteOnly)) {
        result.error = ext.errorString();
        return result;
    }
    ext.write("basicConstraints=CA:FALSE\n"
              "keyUsage=digitalSignature,keyEncipherment\n"
              "extendedKeyUsage=serverAuth\n"
              "subjectAltName=IP:127.0.0.1,DNS:localhost\n");
    ext.close();

    const QStringList steps[] = {
        { "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-sha256",
          "-subj", "/CN=" + name + " test CA", "-keyout", caKey, "-out", result.caFile,
          "-addext", "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign,cRLSign" },
        { "req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=localhost",
          "-keyout", result.keyFile, "-out", request },
        { "x509", "-req", "-in", request, "-CA", result.caFile, "-CAkey", caKey, "-CAcreateserial",
          "-days", "2", "-sha256", "-extfile", extensions, "-out", result.certFile },
    };
    for (const QStringList &step : steps) {
        if (!run(step, directory, &result.error))
            return result;
    }
    result.caPem = readFile(result.caFile);
    result.certPem = readFile(result.certFile);
    result.keyPem = readFile(result.keyFile);
    return result;
}
