#ifndef CRYPTO_H
#define CRYPTO_H

#include <QByteArray>

class QIODevice;

#include <memory>

/*!
    The tool's cryptography, through OpenSSL's libcrypto: SHA-256 and Ed25519.
    Nothing else in the project names an OpenSSL type.
*/
namespace Crypto {

/*! SHA-256 over data given in pieces. */
class Sha256
{
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256 &) = delete;
    Sha256 &operator=(const Sha256 &) = delete;

    void reset();
    void addData(const char *data, qint64 length);
    void addData(const QByteArray &data) { addData(data.constData(), data.size()); }
    /*! The 32-byte digest of everything added since the last reset. */
    QByteArray result();

    static QByteArray hash(const QByteArray &data);
    /*!
        The SHA-256 of \a device from its start to its end, read in 1 MiB
        chunks, and in \a size the bytes read; each chunk is also written to
        \a copy when there is one. False when it cannot be read or copied.
    */
    static bool hashDevice(QIODevice *device, QByteArray *sha256, qint64 *size, QIODevice *copy = nullptr);

private:
    struct State;
    std::unique_ptr<State> state;
};

/*! True when \a signature (64 bytes) is \a publicKey's (32 raw bytes) Ed25519 signature of \a message. */
bool verifyEd25519(const QByteArray &publicKey, const QByteArray &message, const QByteArray &signature);

/*! A new Ed25519 private key as PKCS#8 PEM (what "openssl genpkey -algorithm ed25519" writes); empty on failure. */
QByteArray generateEd25519Key();

/*! The raw 32-byte public key of a PKCS#8 PEM private key; empty when it is not an Ed25519 key. */
QByteArray ed25519PublicKey(const QByteArray &privateKeyPem);

/*! The 64-byte Ed25519 signature of \a message by a PKCS#8 PEM private key; empty on failure. */
QByteArray signEd25519(const QByteArray &privateKeyPem, const QByteArray &message);

/*! HMAC-SHA256 of \a message under \a key: the 32-byte code. */
QByteArray hmacSha256(const QByteArray &key, const QByteArray &message);

} // namespace Crypto

#endif // CRYPTO_H
