#ifndef MANIFESTSIGNATURE_H
#define MANIFESTSIGNATURE_H

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

/*!
    The signature of an update manifest: "updates.json.sig" beside it, one
    standard base64 Ed25519 signature (64 bytes) of the manifest's exact bytes
    per non-empty line, so that a key can be rotated by signing with both.
    A manifest is trusted when at least one line verifies with at least one
    trusted public key.
*/
class ManifestSignature
{
public:
    /*! The signatures of \a file; lines that are not base64 of 64 bytes are left out. */
    static QList<QByteArray> read(const QByteArray &file);

    /*! Empty when \a manifest verifies, else why not ("manifest signature ..."). */
    static QString check(const QByteArray &manifest, const QByteArray &signatureFile,
                         const QList<QByteArray> &publicKeys);

    /*!
        Empty when \a expires (the manifest's "expires", ISO 8601) is empty or
        later than \a now, else why the manifest is refused.
    */
    static QString checkExpiry(const QString &expires, const QDateTime &now);

    /*!
        The signatures inside a manifest, so that no cache pairs a manifest
        with another one's signature file: the top-level member
        "signatures", a list of the same base64 lines, written as the
        object's first member on a line of its own. The signed bytes are the
        file's with that line removed, as the publisher wrote them: no JSON
        is normalised. Returns \a manifest with the line, which must not be
        there already.
    */
    static QByteArray embed(const QByteArray &manifest, const QList<QByteArray> &signatures);
    /*!
        Splits \a body into its signed bytes and its signatures (as a signature
        file holds them); false when it carries none inside.
    */
    static bool extract(const QByteArray &body, QByteArray *signedBytes, QByteArray *signatureFile);

    /*! The signature file of a manifest at \a manifestUrl. */
    static QString signatureUrl(const QString &manifestUrl) { return manifestUrl + QStringLiteral(".sig"); }

    /*! The raw 32-byte keys compiled in with UPDATER_PUBLIC_KEYS; empty: no signature required. */
    static QList<QByteArray> trustedKeys();
    /*! Replaces the trusted keys, for tests that build one binary for both cases. */
    static void setTrustedKeys(const QList<QByteArray> &keys);

    /*! Decodes standard padded base64; empty when \a text is anything else. */
    static QByteArray fromBase64(const QByteArray &text);
};

#endif // MANIFESTSIGNATURE_H
