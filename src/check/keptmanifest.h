#ifndef KEPTMANIFEST_H
#define KEPTMANIFEST_H

#include <QByteArray>
#include <QString>

/*!
    The last manifest accepted from one URL, with the validators it came with
    (ETag, Last-Modified), kept per user and application beside the other
    per-user state, so that a check can ask for it conditionally and a 304
    costs no download. What is read back is checked, never trusted: a copy
    whose hash does not match, or of another URL, is not used; and the bytes
    go through every check of a manifest again, as if they had just arrived.
*/
class KeptManifest
{
public:
    KeptManifest(const QString &appName, const QString &url);

    /*! Reads the kept copy; false when there is none whole for this URL. */
    bool load();
    /*! Keeps \a body with its validators for this URL. */
    void store(const QByteArray &body, const QByteArray &etag, const QByteArray &lastModified);

    QByteArray body;
    QByteArray etag;
    QByteArray lastModified;

    /*! Larger copies are not kept: the settings are no cache. */
    static constexpr int MaxKept = 256 * 1024;

private:
    QString key;
    QString url;
};

#endif // KEPTMANIFEST_H
