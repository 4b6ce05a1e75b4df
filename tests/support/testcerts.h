#ifndef TESTCERTS_H
#define TESTCERTS_H

#include <QByteArray>
#include <QString>

/*!
    A private certificate authority and a server certificate it issued for
    127.0.0.1 and localhost, made with openssl in \a directory at run time.
*/
struct TestCertificates
{
    QString caFile;
    QString certFile;
    QString keyFile;
    QByteArray caPem;
    QByteArray certPem;
    QByteArray keyPem;
    QString error;

    static TestCertificates create(const QString &directory, const QString &name = QStringLiteral("test"));
};

#endif // TESTCERTS_H
