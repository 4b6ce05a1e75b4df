#include "transaction/installtransaction.h"
#include "archive/patcharchive.h"
#include "names/workingnames.h"
#include "testutil.h"
#include "transaction/updatelock.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QSysInfo>
#include <QThread>
#include <QDirIterator>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <memory>
#include <vector>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#else
#include <csignal>
#endif

namespace {

// The patch of every fault row: replaces a file, adds a file and adds a folder.
QByteArray patch()
{
    return makeZip({ { "Foo", "new program" }, { "notes.txt", "new notes" }, { "lib/", {} },
                     { "lib/plugin.so", "new plugin" } }, true);
}
// mkdir lib, Foo kept, Foo in place, notes.txt, lib/plugin.so, the commit record.
constexpr int StepCount = 6;

// The kill rows install as a self-update: the tool's own running file is among those replaced.
const QString ToolName = QStringLiteral(
#ifdef Q_OS_WIN
        "updater.exe"
#else
        "updater"
#endif
);
QByteArray selfUpdatePatch()
{
    return makeZip({ { "Foo", "new program" }, { ToolName, "new updater" }, { "notes.txt", "new notes" },
                     { "lib/", {} }, { "lib/plugin.so", "new plugin" } }, true);
}
// mkdir lib, Foo kept and in place, the tool kept and in place, notes.txt, lib/plugin.so, the record.
constexpr int SelfUpdateStepCount = 8;

// Names, contents and modes of everything below \a root: the whole state.
QMap<QString, QString> snapshot(const QString &root)
{
    QMap<QString, QString> state;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info(path);
        const QString mode = QString::number(int(info.permissions()), 16);
        state.insert(QDir(root).relativeFilePath(path),
                     info.isSymLink() ? QStringLiteral("link")
                                      : info.isDir() ? QStringLiteral("dir ") + mode
                                                     : QString::fromUtf8(readFile(path)) + QLatin1Char(' ') + mode);
    }
    return state;
}

void makeOldVersion(const QString &app)
{
    QDir().mkpath(app);
    writeFile(app + "/Foo", "old program");
    QFile::setPermissions(app + "/Foo", QFile::permissions(app + "/Foo") | QFile::ExeOwner | QFile::ExeUser);
    writeFile(app + "/data.txt", "user data");
}

// Installs the patch with a hook at every step; with \a crashAt the process
// is killed before that step, as a power loss would stop it.
int installChild(const QString &app, const QString &zip, int crashAt)
{
    InstallTransaction transaction(app);
    PatchArchive archive(zip);
    transaction.setStepHook([crashAt](int step) {
        if (step == crashAt) {
#ifdef Q_OS_WIN
            TerminateProcess(GetCurrentProcess(), 9);
#else
            std::raise(SIGKILL);
#endif
        }
        return true;
    });
    return transaction.begin() && archive.stageInto(&transaction) && transaction.commit() ? 0 : 1;
}

// Killed by the child's own hook: a signal here, exit code 9 from TerminateProcess on Windows.
bool killed(const QProcess &child)
{
#ifdef Q_OS_WIN
    return child.exitCode() == 9;
#else
    return child.exitStatus() == QProcess::CrashExit;
#endif
}

} // namespace

class tst_InstallTransaction : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void failureAtAnyStepRestoresTheOldVersion_data();
    void failureAtAnyStepRestoresTheOldVersion();
    void crashAtAnyStepRecoversWhole_data();
    void crashAtAnyStepRecoversWhole();
    void planConflictsChangeNothing_data();
    void planConflictsChangeNothing();
    void oneUpdateAtATime();
    void neverOverwritesItsOwnBackup();
    void staleLocksAreTakenOver_data();
    void staleLocksAreTakenOver();
    void oneOfManyStartsTakesAStaleLock();
    void plantedWorkingNamesActOnNothingOutside_data();
    void plantedWorkingNamesActOnNothingOutside();

private:
    QScopedPointer<QTemporaryDir> root;
    QString app;
    QString zip;
    QMap<QString, QString> oldVersion;
    QMap<QString, QString> newVersion;
};

void tst_InstallTransaction::init()
{
    root.reset(new QTemporaryDir);
    QVERIFY(root->isValid());
    zip = root->filePath("patch.zip");
    QVERIFY(writeFile(zip, patch()));
    // The new version, as a clean install of the patch makes it.
    const QString reference = root->filePath("reference");
    makeOldVersion(reference);
    PatchArchive archive(zip);
    QVERIFY2(archive.extractTo(reference), qPrintable(archive.errorString()));
    newVersion = snapshot(reference);
    QDir(reference).removeRecursively();

    app = root->filePath("app");
    makeOldVersion(app);
    oldVersion = snapshot(app);
    QVERIFY(newVersion != oldVersion);
}

void tst_InstallTransaction::failureAtAnyStepRestoresTheOldVersion_data()
{
    QTest::addColumn<int>("step");
    for (int step = 0; step < StepCount; ++step)
        QTest::addRow("step %d fails", step) << step;
}

void tst_InstallTransaction::failureAtAnyStepRestoresTheOldVersion()
{
    QFETCH(int, step);
    InstallTransaction transaction(app);
    PatchArchive archive(zip);
    transaction.setStepHook([step](int k) { return k != step; });
    QVERIFY(transaction.begin());
    QVERIFY2(archive.stageInto(&transaction), qPrintable(archive.errorString()));
    QVERIFY(!transaction.commit());
    QCOMPARE(transaction.outcome(), InstallTransaction::RolledBack);
    QVERIFY2(transaction.errorString().contains(QStringLiteral("step %1").arg(step)),
             qPrintable(transaction.errorString()));
    QCOMPARE(snapshot(app), oldVersion);
}

void tst_InstallTransaction::crashAtAnyStepRecoversWhole_data()
{
    QTest::addColumn<int>("step");
    QTest::addColumn<bool>("endsNew");
    for (int step = 0; step < SelfUpdateStepCount; ++step)
        QTest::addRow("killed before step %d", step) << step << false;
    QTest::newRow("killed before the clean-up") << SelfUpdateStepCount << true;
}

void tst_InstallTransaction::crashAtAnyStepRecoversWhole()
{
    QFETCH(int, step);
    QFETCH(bool, endsNew);
    // The child runs from the tool's place in the application's folder and replaces its own file.
    const QString tool = app + "/" + ToolName;
    QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), tool));
    const auto before = snapshot(app);
    const QString selfZip = root->filePath("self.zip");
    QVERIFY(writeFile(selfZip, selfUpdatePatch()));
    // The new version, as a clean install of the self-update makes it.
    const QString reference = root->filePath("reference");
    makeOldVersion(reference);
    QVERIFY(QFile::copy(tool, reference + "/" + ToolName));
    PatchArchive archive(selfZip);
    QVERIFY2(archive.extractTo(reference), qPrintable(archive.errorString()));
    const auto after = snapshot(reference);
    QProcess child;
    child.start(tool, { QStringLiteral("install-child"), app, selfZip, QString::number(step) });
    QVERIFY(child.waitForFinished(30000));
    QVERIFY(killed(child));
    // No moment without the program or the tool that recovers it.
    for (const QString &name : { QStringLiteral("Foo"), ToolName, QStringLiteral("data.txt") })
        QVERIFY2(QFileInfo(app + "/" + name).isFile(), qPrintable(name + " is gone"));

    const QString said = InstallTransaction::recover(app);
    QVERIFY2(said.contains(endsNew ? QStringLiteral("complete") : QStringLiteral("undone")), qPrintable(said));
    const auto now = snapshot(app);
    const auto expected = endsNew ? after : before;
    for (auto it = expected.cbegin(); it != expected.cend(); ++it)
        QVERIFY2(now.value(it.key()) == it.value(), qPrintable(it.key() + ": " + now.value(it.key()).left(40)));
    QCOMPARE(now.keys(), expected.keys());
    QVERIFY(InstallTransaction::recover(app).isEmpty()); // nothing left to do
}

void tst_InstallTransaction::planConflictsChangeNothing_data()
{
    QTest::addColumn<QString>("make");
    QTest::addColumn<QString>("reason");
    QTest::newRow("a file where the patch needs a folder") << "file lib" << "is a file where the update needs a folder";
    QTest::newRow("a folder where the patch needs a file") << "dir notes.txt" << "is a folder where the update needs a file";
#ifndef Q_OS_WIN
    QTest::newRow("a planted link to a folder elsewhere") << "link lib" << "is a link";
    QTest::newRow("a dangling link where a file goes") << "dangling notes.txt" << "is a link";
#endif
}

void tst_InstallTransaction::planConflictsChangeNothing()
{
    QFETCH(QString, make);
    QFETCH(QString, reason);
    const QString kind = make.section(' ', 0, 0);
    const QString path = app + "/" + make.section(' ', 1);
    const QString outside = root->filePath("outside");
    QVERIFY(QDir().mkpath(outside));
    if (kind == "file")
        QVERIFY(writeFile(path, "a file"));
    else if (kind == "dir")
        QVERIFY(QDir().mkpath(path));
    else if (kind == "link")
        QVERIFY(QFile::link(outside, path));
    else
        QVERIFY(QFile::link(root->filePath("nowhere"), path));
    const auto before = snapshot(root->path());

    PatchArchive archive(zip);
    QVERIFY(!archive.extractTo(app));
    QVERIFY2(archive.errorString().contains(reason), qPrintable(archive.errorString()));
    QCOMPARE(snapshot(root->path()), before);
}

void tst_InstallTransaction::oneUpdateAtATime()
{
    UpdateLock first(app);
    UpdateLock second(app);
    QVERIFY(first.tryLock());
    QVERIFY(!second.tryLock());
    first.unlock();
    QVERIFY(second.tryLock());
    second.unlock();

    // The lock of a process that died is taken over.
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), { QStringLiteral("lock-child"), app });
    QVERIFY(child.waitForFinished(30000));
    QVERIFY(killed(child));
    QVERIFY(QFile::exists(app + "/" + WorkingNames::LockFile));
    QVERIFY(first.tryLock());
}

void tst_InstallTransaction::neverOverwritesItsOwnBackup()
{
    // Two names of one file (Windows folds case) reach the transaction as the same file twice.
    InstallTransaction transaction(app);
    QVERIFY(transaction.begin());
    QVERIFY(writeFile(transaction.stagedPath("Foo"), "new program"));
    transaction.addFile("Foo");
    transaction.addFile("Foo");
    QVERIFY(!transaction.commit());
    QVERIFY2(transaction.errorString().contains("exists already"), qPrintable(transaction.errorString()));
    QCOMPARE(transaction.outcome(), InstallTransaction::RolledBack);
    QCOMPARE(snapshot(app), oldVersion);
}

void tst_InstallTransaction::staleLocksAreTakenOver_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("ageSeconds");
    QTest::addColumn<bool>("takenOver");
    QTest::newRow("empty") << QByteArray() << 60 << true;
    QTest::newRow("garbage") << QByteArray("\x01\x02 not a lock \xff") << 60 << true;
    QTest::newRow("empty, just being written by its owner") << QByteArray() << 0 << false;
    const QByteArray otherHost = "12345\nupdater\nsome-other-host\n";
    QTest::newRow("another host, two days old") << otherHost << 2 * 24 * 3600 << true;
    QTest::newRow("another host, an hour old") << otherHost << 3600 << false;
    // A pid no system hands out, on this host as another letter case spells it.
    // Qt writes the host in one case (upper on Windows) and reads back only that; this one is mixed.
    QString host = QSysInfo::machineHostName().toLower();
    for (int i = 0; i < host.size(); i += 2)
        host[i] = host.at(i).toUpper();
    QTest::newRow("this host in another case, its owner gone")
            << "999999999\nupdater\n" + host.toUtf8() + "\n" << 0 << true;
    QTest::newRow("this host in another case, its owner running")
            << QByteArray::number(QCoreApplication::applicationPid()) + "\nupdater\n" + host.toUtf8() + "\n" << 0 << false;
    QTest::newRow("a folder in the lock's place") << QByteArray("<folder>") << 60 << false;
}

void tst_InstallTransaction::staleLocksAreTakenOver()
{
    QFETCH(QByteArray, content);
    QFETCH(int, ageSeconds);
    QFETCH(bool, takenOver);
    const QString path = app + "/" + WorkingNames::LockFile;
    if (content == "<folder>") {
        QVERIFY(QDir().mkpath(path));
        UpdateLock lock(app);
        QVERIFY(!lock.tryLock());
        QVERIFY2(lock.errorString().contains("is a folder where the update lock belongs"), qPrintable(lock.errorString()));
        return;
    }
    QVERIFY(writeFile(path, content));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-ageSeconds), QFileDevice::FileModificationTime));
    file.close();
    UpdateLock lock(app);
    QCOMPARE(lock.tryLock(), takenOver);
    QCOMPARE(lock.takenOver().contains(QLatin1String("stale update lock was taken over")), takenOver);
    QVERIFY(lock.errorString().isEmpty());
    if (!takenOver)
        QCOMPARE(readFile(path), content);
}

void tst_InstallTransaction::oneOfManyStartsTakesAStaleLock()
{
    // Several updaters started together at an aged empty lock: each round, exactly one holds it.
    const QString path = app + "/" + WorkingNames::LockFile;
    const QString go = root->filePath("go");
    for (int round = 0; round < 6; ++round) {
        QFile::remove(go);
        QVERIFY(writeFile(path, QByteArray()));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-60), QFileDevice::FileModificationTime));
        file.close();
        std::vector<std::unique_ptr<QProcess>> children;
        for (int i = 0; i < 5; ++i) {
            children.emplace_back(new QProcess);
            children.back()->start(QCoreApplication::applicationFilePath(), { QStringLiteral("race-child"), app, go });
            QVERIFY(children.back()->waitForStarted(30000));
        }
        QVERIFY(writeFile(go, "go"));
        // The holder keeps the lock until every other one has tried and given up (a child slow to
        // start, as under Wine, must not find the lock already let go).
        const QDeadlineTimer deadline(30000);
        const auto finished = [&children] {
            return std::count_if(children.cbegin(), children.cend(),
                                 [](const std::unique_ptr<QProcess> &child) { return child->state() == QProcess::NotRunning; });
        };
        while (finished() < int(children.size()) - 1 && !deadline.hasExpired())
            QTest::qWait(20);
        QVERIFY(writeFile(go + ".end", "end"));
        int held = 0;
        for (const auto &child : children) {
            QVERIFY(child->state() == QProcess::NotRunning || child->waitForFinished(30000));
            held += child->exitCode() == 0 ? 1 : 0;
        }
        QFile::remove(go + ".end");
        QVERIFY2(held == 1, qPrintable(QStringLiteral("round %1: %2 held the lock").arg(round).arg(held)));
        QFile::remove(path);
    }
}

void tst_InstallTransaction::plantedWorkingNamesActOnNothingOutside_data()
{
    QTest::addColumn<QString>("plant");
    QTest::addColumn<QString>("said");
    const QString untrusted = QStringLiteral("cannot be trusted was left alone");
    QTest::newRow("a journal that climbs out of the folder") << "journal ../outside/victim.txt" << untrusted;
    QTest::newRow("a journal with an absolute path") << "journal /tmp/victim" << untrusted;
    QTest::newRow("a journal that names a working name") << "journal .update.lock" << untrusted;
    QTest::newRow("a journal that does not parse") << "garbled" << untrusted;
#ifndef Q_OS_WIN
    QTest::newRow("a link named as a staging folder") << "link .update-staging-y" << "their targets untouched";
    QTest::newRow("a link named as a transaction") << "link .update-transaction-x" << "their targets untouched";
    QTest::newRow("a transaction whose backups are a link") << "old-link" << untrusted;
    QTest::newRow("a journal whose path goes through a link") << "journal lib/victim.txt" << untrusted;
#endif
}

void tst_InstallTransaction::plantedWorkingNamesActOnNothingOutside()
{
    QFETCH(QString, plant);
    QFETCH(QString, said);
    const QString outside = root->filePath("outside");
    QVERIFY(QDir().mkpath(outside + "/deep"));
    QVERIFY(writeFile(outside + "/victim.txt", "not the application's"));
    QVERIFY(writeFile(outside + "/Foo", "a stranger's program"));
    QVERIFY(writeFile(outside + "/deep/file", "deep"));
    QVERIFY(writeFile(root->filePath("beside.txt"), "beside the folder"));
    const QString kind = plant.section(' ', 0, 0);
    const QString transaction = app + "/.update-transaction-zz";
    const auto journal = [&](const QString &path) {
        QDir().mkpath(transaction + "/new");
        QDir().mkpath(transaction + "/old");
        const QString list = "[\"" + path + "\"]";
        return writeFile(transaction + "/journal.json",
                         ("{\"phase\":\"committing\",\"files\":" + list + ",\"existing\":" + list
                          + ",\"folders\":[]}").toUtf8());
    };
    if (kind == "journal") {
        QVERIFY(journal(plant.section(' ', 1)));
        if (plant.contains("lib/"))
            QVERIFY(QFile::link(outside, app + "/lib"));
    } else if (kind == "garbled") {
        QVERIFY(QDir().mkpath(transaction));
        QVERIFY(writeFile(transaction + "/journal.json", "{\"phase\":\"committing\",\"files\":[\"../b"));
    } else if (kind == "link") {
        QVERIFY(QFile::link(outside, app + "/" + plant.section(' ', 1)));
    } else {
        QVERIFY(journal("Foo"));
        QVERIFY(QDir(transaction + "/old").removeRecursively());
        QVERIFY(QFile::link(outside, transaction + "/old"));
    }
    const auto outsideBefore = snapshot(outside);
    const auto appBefore = snapshot(app);

    const QString report = InstallTransaction::recover(app);
    QVERIFY2(report.contains(said), qPrintable(report));
    QCOMPARE(snapshot(outside), outsideBefore);
    QCOMPARE(readFile(root->filePath("beside.txt")), QByteArray("beside the folder"));
    QCOMPARE(readFile(app + "/Foo"), QByteArray("old program"));
    QCOMPARE(readFile(app + "/data.txt"), QByteArray("user data"));
    if (kind == "link") {
        QVERIFY(!QFileInfo::exists(app + "/" + plant.section(' ', 1)));
    } else {
        // Left for a person to look at, and said again at the next start.
        QCOMPARE(snapshot(app), appBefore);
        QVERIFY(InstallTransaction::recover(app).contains(said));
    }
}

int main(int argc, char **argv)
{
    if (argc == 5 && qstrcmp(argv[1], "install-child") == 0) {
        QCoreApplication app(argc, argv);
        return installChild(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]), atoi(argv[4]));
    }
    if (argc == 3 && qstrcmp(argv[1], "lock-child") == 0) {
        QCoreApplication app(argc, argv);
        UpdateLock lock(QString::fromLocal8Bit(argv[2]));
        if (lock.tryLock()) {
#ifdef Q_OS_WIN
            TerminateProcess(GetCurrentProcess(), 9);
#else
            std::raise(SIGKILL);
#endif
        }
        return 1;
    }
    if (argc == 4 && qstrcmp(argv[1], "race-child") == 0) {
        // Waits for the word, tries once; the winner holds the lock while the others try.
        QCoreApplication app(argc, argv);
        const QDeadlineTimer deadline(20000);
        while (!QFileInfo::exists(QString::fromLocal8Bit(argv[3])) && !deadline.hasExpired())
            QThread::msleep(1);
        UpdateLock lock(QString::fromLocal8Bit(argv[2]));
        if (!lock.tryLock())
            return 1;
        const QString end = QString::fromLocal8Bit(argv[3]) + QStringLiteral(".end");
        while (!QFileInfo::exists(end) && !deadline.hasExpired())
            QThread::msleep(5);
        return 0;
    }
    QCoreApplication app(argc, argv);
    tst_InstallTransaction test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_installtransaction.moc"
