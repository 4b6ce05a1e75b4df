// The signature file of a manifest, through the client's reader and check.
#include "crypto/crypto.h"
#include "manifest/manifestsignature.h"

#include <cstdint>
#include <cstdlib>

namespace {

const QByteArray Manifest = "{\"updates\":{\"windows\":{\"patch-version\":\"2\"}}}";

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const QByteArray key = Crypto::generateEd25519Key();
    static const QByteArray publicKey = Crypto::ed25519PublicKey(key);
    const QByteArray file(reinterpret_cast<const char *>(data), int(size));

    // Every signature read back is 64 bytes, and no input makes a stranger's file
    // verify: the key was made in this process and signs nothing but below.
    for (const QByteArray &signature : ManifestSignature::read(file)) {
        if (signature.size() != 64)
            abort();
    }
    if (ManifestSignature::check(Manifest, file, { publicKey }).isEmpty())
        abort();
    // The genuine line still verifies next to whatever else the file holds.
    const QByteArray genuine = Crypto::signEd25519(key, Manifest).toBase64();
    if (!ManifestSignature::check(Manifest, file + "\n" + genuine + "\n", { publicKey }).isEmpty())
        abort();
    return 0;
}
