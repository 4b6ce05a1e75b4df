// The baseline for the start-up benchmark: one empty dialog, shown, and the
// process ends at its first frame. Prints the milliseconds since the parent's
// start stamp (argv[1], CLOCK_MONOTONIC in microseconds).
#include "firstframe.h"

#include <QApplication>
#include <QDialog>

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
