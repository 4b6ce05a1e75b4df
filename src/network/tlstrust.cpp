#include "network/tlstrust.h"

#include "compiledcerts.h"

#include <QSslCertificate>
#include <QSslConfiguration>

int addTrustedCertificates(const QByteArray &pem)
{
    const QList<QSslCertificate> certificates = QSslCertificate::fromData(pem, QSsl::Pem);
    if (certificates.isEmpty())
        return 0;
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    // An explicit list switches off Qt's on-demand loading of the system store,
    // so the system's authorities have to be part of it.
    QList<QSslCertificate> trusted = configuration.caCertificates();
    if (trusted.isEmpty())
        trusted = QSslConfiguration::systemCaCertificates();
    configuration.setCaCertificates(trusted + certificates);
    QSslConfiguration::setDefaultConfiguration(configuration);
    return certificates.size();
}

int installCompiledCertificates()
{
    static const int installed = addTrustedCertificates(QByteArray(compiledCaPem));
    return installed;
}
