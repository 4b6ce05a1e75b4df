// Start-up benchmark: the tool's own start-up (resources, style sheet, launch
// parameters, the dialog), ending at the dialog's first frame;
// and, with --compare, the driver that runs it against bench_minimal.
//
//   bench_startup --compare [--runs 21] [--markdown FILE]
#include "launchparams.h"
#include "updaterdialog.h"

#include "firstframe.h"
#include "report.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>

#include <cstdio>
#include <ctime>

namespace {

// What main() does, up to the first frame.
int runTool(int argc, char **argv, qint64 start)
{
    QApplication app(argc, argv);
    loadStyleSheet();
    applyLaunchArguments({ QStringLiteral("updater"), QStringLiteral("Demo"), QStringLiteral("1.0.0"),
                           QStringLiteral("0"), QStringLiteral("0") });
    checkUrl = composeCheckUrl(appName);
    UpdaterDialog dialog;
    FirstFrame watcher(start);
    dialog.installEventFilter(&watcher);
    dialog.show();
    return app.exec();
}

double runOnce(const QString &program)
{
    QProcess process;
    process.start(program, { QString::number(nowMicroseconds()) });
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return -1;
    return process.readAllStandardOutput().trimmed().toDouble();
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2 || qstrcmp(argv[1], "--compare") != 0) {
        // As in the tool's main(): the resources live in the static library.
        Q_INIT_RESOURCE(theme);
        Q_INIT_RESOURCE(icons);
        return runTool(argc, argv, argc > 1 ? QByteArray(argv[1]).toLongLong() : nowMicroseconds());
    }

    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOption({ QStringLiteral("compare"), QStringLiteral("Run the comparison.") });
    parser.addOption({ QStringLiteral("runs"), QStringLiteral("Runs of each."), QStringLiteral("n"), QStringLiteral("21") });
    parser.addOption({ QStringLiteral("markdown"), QStringLiteral("Write the table here."), QStringLiteral("file") });
    parser.process(app);
    const QString dir = QFileInfo(QCoreApplication::applicationFilePath()).path();
    const QString tool = QCoreApplication::applicationFilePath();
    const QString minimal = dir + QStringLiteral("/bench_minimal");
    QVector<double> ours, theirs;
    runOnce(tool); // warm the caches for both
    runOnce(minimal);
    for (int i = 0; i < parser.value(QStringLiteral("runs")).toInt(); ++i) {
        const double a = runOnce(tool);
        const double b = runOnce(minimal);
        if (a < 0 || b < 0) {
            std::fprintf(stderr, "a start-up run failed\n");
            return 1;
        }
        ours << a;
        theirs << b;
    }
    const QString text = QStringLiteral(
        "| Program | First frame (median of %1) |\n|---|---|\n"
        "| updater | %2 ms |\n| minimal Qt dialog | %3 ms |\n| ratio | %4 |\n")
        .arg(ours.size()).arg(median(ours), 0, 'f', 1).arg(median(theirs), 0, 'f', 1)
        .arg(median(ours) / median(theirs), 0, 'f', 2);
    std::printf("%s", qPrintable(text));
    writeMarkdown(parser.value(QStringLiteral("markdown")), text);
    return 0;
}
