// The baseline for the start-up benchmark: one empty dialog, shown, and the
// process ends at its first frame. Prints the milliseconds since the parent's
// start stamp (argv[1], CLOCK_MONOTONIC in microseconds).
#include <QApplication>
#include <QDialog>
#include <QTimer>

#include <cstdio>
#include <ctime>

namespace {

qint64 nowMicroseconds()
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
    qint64 start;
    bool done = false;
};

} // namespace

int main(int argc, char **argv)
{
    const qint64 start = argc > 1 ? QByteArray(argv[1]).toLongLong() : nowMicroseconds();
    QApplication app(argc, argv);
    QDialog dialog;
    dialog.resize(578, 606);
    FirstFrame watcher(start);
    dialog.installEventFilter(&watcher);
    dialog.show();
    return app.exec();
}
