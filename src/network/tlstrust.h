#ifndef TLSTRUST_H
#define TLSTRUST_H

#include <QByteArray>

/*!
    Adds the certificate authorities in \a pem to the ones every request of the
    process trusts, on top of the system's store. Returns how many were added.
    Certificate errors are never ignored; this only widens whom we trust.
*/
int addTrustedCertificates(const QByteArray &pem);

/*!
    Trusts the authorities compiled in with UPDATER_CA_CERTIFICATES, if any.
    Only the first call does the work; later calls return the same count.
    Merging with the system's store parses every certificate in it, which
    takes tens of milliseconds, so the dialog calls this just before its first
    request rather than before its first frame.
*/
int installCompiledCertificates();

#endif // TLSTRUST_H
