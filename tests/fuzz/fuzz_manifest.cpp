// The manifest body through the check's parsing and the version decision.
#include "manifest/manifest.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray body(reinterpret_cast<const char *>(data), int(size));
    ManifestRecord record;
    if (!parseManifest(body, QStringLiteral("windows"), &record))
        return 0;

    // Equal versions and equal modification values never ask for an update.
    if (versionNeedsUpdate(record.patchVersion, record.patchVersion, record.modifyTime, record.modifyCnt,
                           record.modifyTime, record.modifyCnt))
        abort();
    // Versions with a different number of parts always do.
    const QString longer = record.fullVersion + QStringLiteral(".1");
    if (!versionNeedsUpdate(record.fullVersion, longer, QString(), QString(), QString(), QString()))
        abort();
    // Whatever the decision, it must not be both ways for a strict version order.
    const bool up = versionNeedsUpdate(record.patchVersion, record.fullVersion, QString(), QString(), QString(), QString());
    const bool down = versionNeedsUpdate(record.fullVersion, record.patchVersion, QString(), QString(), QString(), QString());
    if (up && down && record.patchVersion.count(QLatin1Char('.')) == record.fullVersion.count(QLatin1Char('.')))
        abort();
    return 0;
}
