#include "crypto/crypto.h"

#include <QIODevice>

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/pem.h>

namespace Crypto {

struct Sha256::State
{
    EVP_MD_CTX *context = EVP_MD_CTX_new();
    ~State() { EVP_MD_CTX_free(context); }
};

Sha256::Sha256()
    : state(new State)
{
    reset();
}

Sha256::~Sha256() = default;

void Sha256::reset()
{
    EVP_DigestInit_ex(state->context, EVP_sha256(), nullptr);
}

void Sha256::addData(const char *data, qint64 length)
{
    EVP_DigestUpdate(state->context, data, size_t(length));
}

QByteArray Sha256::result()
{
    QByteArray digest(EVP_MAX_MD_SIZE, '\0');
    unsigned int length = 0;
    EVP_DigestFinal_ex(state->context, reinterpret_cast<unsigned char *>(digest.data()), &length);
    digest.resize(int(length));
    reset();
    return digest;
}

QByteArray Sha256::hash(const QByteArray &data)
{
    Sha256 sha;
    sha.addData(data);
    return sha.result();
}

bool Sha256::hashDevice(QIODevice *device, QByteArray *sha256, qint64 *size, QIODevice *copy)
{
    Sha256 sha;
    *size = 0;
    if (!device->isSequential() && !device->seek(0))
        return false;
    QByteArray chunk(1 << 20, Qt::Uninitialized);
    for (;;) {
        const qint64 n = device->read(chunk.data(), chunk.size());
        if (n < 0)
            return false;
        if (n == 0)
            break;
        sha.addData(chunk.constData(), n);
        if (copy && copy->write(chunk.constData(), n) != n)
            return false;
        *size += n;
    }
    *sha256 = sha.result();
    return true;
}

namespace {

EVP_PKEY *readPrivateKey(const QByteArray &pem)
{
    BIO *bio = BIO_new_mem_buf(pem.constData(), pem.size());
    if (!bio)
        return nullptr;
    EVP_PKEY *key = PEM_read_bio_PrivateKey(bio, nullptr, nullptr, nullptr);
    BIO_free(bio);
    if (key && EVP_PKEY_get_id(key) != EVP_PKEY_ED25519) {
        EVP_PKEY_free(key);
        return nullptr;
    }
    return key;
}

} // namespace

bool verifyEd25519(const QByteArray &publicKey, const QByteArray &message, const QByteArray &signature)
{
    if (publicKey.size() != 32 || signature.size() != 64)
        return false;
    EVP_PKEY *key = EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr,
                                                reinterpret_cast<const unsigned char *>(publicKey.constData()), 32);
    if (!key)
        return false;
    EVP_MD_CTX *context = EVP_MD_CTX_new();
    const bool ok = context && EVP_DigestVerifyInit(context, nullptr, nullptr, nullptr, key) == 1
            && EVP_DigestVerify(context, reinterpret_cast<const unsigned char *>(signature.constData()), 64,
                                reinterpret_cast<const unsigned char *>(message.constData()),
                                size_t(message.size())) == 1;
    EVP_MD_CTX_free(context);
    EVP_PKEY_free(key);
    return ok;
}

QByteArray generateEd25519Key()
{
    EVP_PKEY *key = EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519");
    if (!key)
        return QByteArray();
    QByteArray pem;
    BIO *bio = BIO_new(BIO_s_mem());
    if (bio && PEM_write_bio_PrivateKey(bio, key, nullptr, nullptr, 0, nullptr, nullptr) == 1) {
        char *data = nullptr;
        const long length = BIO_get_mem_data(bio, &data);
        pem = QByteArray(data, int(length));
    }
    BIO_free(bio);
    EVP_PKEY_free(key);
    return pem;
}

QByteArray ed25519PublicKey(const QByteArray &privateKeyPem)
{
    EVP_PKEY *key = readPrivateKey(privateKeyPem);
    if (!key)
        return QByteArray();
    QByteArray raw(32, '\0');
    size_t length = 32;
    if (EVP_PKEY_get_raw_public_key(key, reinterpret_cast<unsigned char *>(raw.data()), &length) != 1 || length != 32)
        raw.clear();
    EVP_PKEY_free(key);
    return raw;
}

QByteArray signEd25519(const QByteArray &privateKeyPem, const QByteArray &message)
{
    EVP_PKEY *key = readPrivateKey(privateKeyPem);
    if (!key)
        return QByteArray();
    QByteArray signature(64, '\0');
    size_t length = 64;
    EVP_MD_CTX *context = EVP_MD_CTX_new();
    const bool ok = context && EVP_DigestSignInit(context, nullptr, nullptr, nullptr, key) == 1
            && EVP_DigestSign(context, reinterpret_cast<unsigned char *>(signature.data()), &length,
                              reinterpret_cast<const unsigned char *>(message.constData()), size_t(message.size())) == 1
            && length == 64;
    EVP_MD_CTX_free(context);
    EVP_PKEY_free(key);
    return ok ? signature : QByteArray();
}

QByteArray hmacSha256(const QByteArray &key, const QByteArray &message)
{
    unsigned char code[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!HMAC(EVP_sha256(), key.constData(), key.size(), reinterpret_cast<const unsigned char *>(message.constData()),
              size_t(message.size()), code, &length))
        return QByteArray();
    return QByteArray(reinterpret_cast<const char *>(code), int(length));
}

} // namespace Crypto
