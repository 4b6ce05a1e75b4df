#ifndef REPORT_H
#define REPORT_H

#include <QFile>
#include <QString>
#include <QVector>

#include <algorithm>

// Shared by the benchmarks: the statistic their tables print, and the copy of
// a table that scripts/bench.sh puts into docs/performance.md.

inline double median(QVector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values.at(values.size() / 2);
}

// Writes text to path; an empty path (no --markdown given) writes nothing.
inline void writeMarkdown(const QString &path, const QString &text)
{
    if (path.isEmpty())
        return;
    QFile out(path);
    if (out.open(QIODevice::WriteOnly))
        out.write(text.toUtf8());
}

#endif // REPORT_H
