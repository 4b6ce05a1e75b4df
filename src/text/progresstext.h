#ifndef PROGRESSTEXT_H
#define PROGRESSTEXT_H

#include <QString>
#include <QtGlobal>

/*! "%1 bytes" below 1024, whole "%1 KB" below 1048576, else "%1 MB" ('g', 6 digits). */
QString sizeText(qint64 bytes);

/*! The time-left phrase for \a seconds: "1 second" ... "about %1 hours". */
QString timeLeftText(double seconds);

/*!
    Kibibytes per second for \a bytes received within \a milliseconds. Returns
    a negative value when no finite speed exists (an interval of 0 ms).
*/
double intervalSpeed(quint64 bytes, quint32 milliseconds);

/*!
    The speed and time-left line for \a received of \a total bytes, \a elapsedSeconds
    after the start, \a intervalBytes within \a intervalMs since the previous
    report. Returns a null string when the line should keep its text: within the
    starting second, or for two reports in the same millisecond. Without a rate
    or a known total, the speed stands alone.
*/
QString speedLabelText(qint64 received, qint64 total, quint32 elapsedSeconds,
                       quint64 intervalBytes, quint32 intervalMs);

/*!
    The summary after a download: "total time: <T>s    average speed: <A>kb/s",
    both with three significant digits. A download that ended within its
    starting second has no meaningful average, so the speed part is left out.
*/
QString downloadSummaryText(quint32 seconds, quint64 bytes);

/*!
    What to tell the user when a server answered \a status 503 or 429: that it
    is busy, and when to try again (\a retrySeconds, from its Retry-After; -1
    when it gave none).
*/
QString serverBusyText(int status, qint64 retrySeconds);

#endif // PROGRESSTEXT_H
