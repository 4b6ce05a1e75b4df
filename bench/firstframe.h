#ifndef FIRSTFRAME_H
#define FIRSTFRAME_H

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>

#include <cstdio>
#include <ctime>

// Shared by the start-up benchmark and its baseline: the clock both read, and
// the filter that ends the process at the watched widget's first frame,
// printing the milliseconds since the parent's start stamp.

inline qint64 nowMicroseconds()
{
    timespec t {};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return qint64(t.tv_sec) * 1000000 + t.tv_nsec / 1000;
}

class FirstFrame : public QObject
{
public:
    explicit FirstFrame(qint64 start) : start(start) {}
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !done) {
            done = true;
            // After this paint has reached the window.
            QTimer::singleShot(0, [this] {
                std::printf("%.2f\n", (nowMicroseconds() - start) / 1000.0);
                std::fflush(stdout);
                QCoreApplication::quit();
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    qint64 start;
    bool done = false;
};

#endif // FIRSTFRAME_H
