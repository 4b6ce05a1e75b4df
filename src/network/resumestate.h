#ifndef RESUMESTATE_H
#define RESUMESTATE_H

#include "names/workingnames.h"

#include <QByteArray>
#include <QString>

/*!
    What a cut download leaves so that the next try can continue it: a side
    file "<name>.resume" beside the part file, naming the URL, the server's
    validator (an ETag or a Last-Modified), the size and SHA-256 the manifest
    expects, the part file and the bytes kept in it. The next download of the
    same URL and the same expected file asks only for the rest; anything that
    does not match starts over.
*/
class ResumeState
{
public:
    QString url;
    QByteArray validator;      // sent back as If-Range; empty when the server gave none
    qint64 expectedSize = -1;
    QByteArray expectedSha256;
    QString partName;          // the part file, in the same folder
    qint64 kept = 0;

    static QString sidePath(const QString &directory, const QString &name)
    {
        return directory + QLatin1Char('/') + name + QLatin1String(WorkingNames::SideSuffix);
    }

    /*! Reads \a path; false when it is missing or unreadable. */
    bool load(const QString &path);
    /*! Writes \a path atomically. */
    bool save(const QString &path) const;

    /*! True when this state continues a download of \a otherUrl expecting \a size and \a sha256. */
    bool continues(const QString &otherUrl, qint64 size, const QByteArray &sha256) const;
    /*! Worth keeping at all: without a validator or a hash a continued file could not be trusted. */
    bool resumable() const { return kept > 0 && (!validator.isEmpty() || !expectedSha256.isEmpty()); }
};

#endif // RESUMESTATE_H
