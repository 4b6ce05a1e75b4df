#include "patcharchive.h"
#include "archivereader.h"
#include "testutil.h"

#include <private/qzipwriter_p.h>

#include <QDirIterator>
#include <QTemporaryDir>
#include <QtTest>

using Entries = QList<QPair<QString, QByteArray>>;

class tst_PatchArchive : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void unpacksOverTheApplication();
    void keepsExecutableBit();
    void refusesUnsafeNames_data();
    void refusesUnsafeNames();
    void refusesLinks();
    void refusesDamagedArchives_data();
    void refusesDamagedArchives();
    void refusesFileOverFolder();
    void nonAsciiNames();
    void fuzzRegressions_data();
    void fuzzRegressions();

private:
    // Every file below the temporary folder with its content: the whole state.
    QMap<QString, QByteArray> snapshot() const;
    QString writeArchive(const QByteArray &zip);

    QScopedPointer<QTemporaryDir> root;
    QString app;
};

void tst_PatchArchive::init()
{
    root.reset(new QTemporaryDir);
    QVERIFY(root->isValid());
    app = root->filePath(QStringLiteral("app"));
    QVERIFY(QDir().mkpath(app));
    QVERIFY(writeFile(app + "/Foo", "old program"));
    QVERIFY(writeFile(app + "/data.txt", "old data"));
}

QMap<QString, QByteArray> tst_PatchArchive::snapshot() const
{
    QMap<QString, QByteArray> state;
    QDirIterator it(root->path(), QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info(path);
        state.insert(path, info.isSymLink() ? "link" : info.isDir() ? "dir" : readFile(path));
    }
    return state;
}

QString tst_PatchArchive::writeArchive(const QByteArray &zip)
{
    const QString path = root->filePath(QStringLiteral("patch.zip"));
    writeFile(path, zip);
    return path;
}

void tst_PatchArchive::unpacksOverTheApplication()
{
    const QString zip = writeArchive(makeZip({ { "Foo", "new program" },
                                               { "lib/", {} },
                                               { "lib/plugin.so", "plugin" },
                                               { "share/doc/readme", QByteArray(100000, 'x') } }));
    PatchArchive archive(zip);
    QVERIFY2(archive.extractTo(app), qPrintable(archive.errorString()));
    QCOMPARE(readFile(app + "/Foo"), QByteArray("new program"));
    QCOMPARE(readFile(app + "/data.txt"), QByteArray("old data"));
    QCOMPARE(readFile(app + "/lib/plugin.so"), QByteArray("plugin"));
    QCOMPARE(readFile(app + "/share/doc/readme").size(), 100000);
    QVERIFY(QFile::exists(zip)); // the archive stays where it is
    // No staging folder is left behind.
    QStringList left = QDir(app).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    left.sort();
    QCOMPARE(left, QStringList({ "Foo", "data.txt", "lib", "share" }));
}

void tst_PatchArchive::keepsExecutableBit()
{
    const QString zip = writeArchive(makeZip({ { "Foo", "#!/bin/sh\n" } }, true));
    PatchArchive archive(zip);
    QVERIFY2(archive.extractTo(app), qPrintable(archive.errorString()));
    QVERIFY(QFileInfo(app + "/Foo").isExecutable());
}

void tst_PatchArchive::refusesUnsafeNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("parent prefix") << "../evil";
    QTest::newRow("parent in the middle") << "a/../../evil";
    QTest::newRow("absolute path") << "/tmp/evil";
    QTest::newRow("drive letter") << "C:/evil";
    QTest::newRow("backslashes") << "..\\evil";
    QTest::newRow("dot component") << "./evil";
    QTest::newRow("empty component") << "a//evil";
}

void tst_PatchArchive::refusesUnsafeNames()
{
    QFETCH(QString, name);
    // A good entry first: a refused archive must not write even that one.
    const QString zip = writeArchive(makeZip({ { "Foo", "new program" }, { name, "evil" } }));
    const auto before = snapshot();
    PatchArchive archive(zip);
    QVERIFY(!archive.check());
    QVERIFY(!archive.extractTo(app));
    QVERIFY(!archive.errorString().isEmpty());
    QCOMPARE(snapshot(), before);
    QVERIFY(!unsafeEntryReason(name).isEmpty());
}

void tst_PatchArchive::refusesLinks()
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QZipWriter writer(&buffer);
        writer.addFile(QStringLiteral("Foo"), QByteArray("new program"));
        writer.addSymLink(QStringLiteral("escape"), root->path());
        writer.addFile(QStringLiteral("escape/evil"), QByteArray("evil"));
    }
    const QString zip = writeArchive(buffer.data());
    const auto before = snapshot();
    PatchArchive archive(zip);
    QVERIFY(!archive.extractTo(app));
    QVERIFY2(archive.errorString().contains(QLatin1String("link")), qPrintable(archive.errorString()));
    QCOMPARE(snapshot(), before);
}

void tst_PatchArchive::refusesDamagedArchives_data()
{
    QTest::addColumn<QByteArray>("zip");
    const QByteArray good = makeZip({ { "Foo", QByteArray(4000, 'a') + "new program" }, { "b", "bbbb" } });
    QByteArray flipped = good;
    flipped[60] = char(flipped.at(60) ^ 0x5a); // inside the first entry's data
    QTest::newRow("data damaged") << flipped;
    // A directory that claims 2 GB for a few bytes: a bomb, refused before inflating.
    QByteArray bomb = good;
    const int central = bomb.indexOf(QByteArray("PK\x01\x02", 4));
    QVERIFY(central > 0);
    bomb[central + 24] = '\xff';
    bomb[central + 25] = '\xff';
    bomb[central + 26] = '\xff';
    bomb[central + 27] = '\x7f';
    QTest::newRow("impossible size") << bomb;
    QTest::newRow("cut in half") << good.left(good.size() / 2);
    QTest::newRow("directory cut off") << good.left(good.size() - 10);
    QTest::newRow("not a zip") << QByteArray("<html>not found</html>");
    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("no files") << makeZip({ { "only-a-folder/", {} } });
    QTest::newRow("the same name twice") << makeZip({ { "Foo", "one" }, { "Foo", "two" } });
}

void tst_PatchArchive::refusesDamagedArchives()
{
    QFETCH(QByteArray, zip);
    const QString path = writeArchive(zip);
    const auto before = snapshot();
    PatchArchive archive(path);
    QVERIFY(!archive.extractTo(app));
    QVERIFY(!archive.errorString().isEmpty());
    QCOMPARE(snapshot(), before);
}

void tst_PatchArchive::refusesFileOverFolder()
{
    QVERIFY(QDir().mkpath(app + "/plugins"));
    const QString zip = writeArchive(makeZip({ { "Foo", "new" }, { "plugins", "a file now" } }));
    const auto before = snapshot();
    PatchArchive archive(zip);
    QVERIFY(!archive.extractTo(app));
    QCOMPARE(snapshot(), before);
}

void tst_PatchArchive::nonAsciiNames()
{
    const QString folder = QString::fromUtf8("donn\xC3\xA9" "es");
    const QString file = folder + QString::fromUtf8("/\xC3\xA9t\xC3\xA9 \xE6\x97\xA5.txt");
    const QString zip = writeArchive(makeZip({ { file, "summer" } }));
    PatchArchive archive(zip);
    QVERIFY2(archive.extractTo(app), qPrintable(archive.errorString()));
    QCOMPARE(readFile(app + "/" + file), QByteArray("summer"));
}

// Inputs the fuzzer once crashed on: they must be handled, inside the folder.
void tst_PatchArchive::fuzzRegressions_data()
{
    QTest::addColumn<QString>("input");
    const QDir dir(QStringLiteral(FUZZ_REGRESSIONS "/archive"));
    for (const QString &name : dir.entryList(QDir::Files))
        QTest::newRow(qPrintable(name)) << dir.filePath(name);
}

void tst_PatchArchive::fuzzRegressions()
{
    QFETCH(QString, input);
    const QString zip = writeArchive(readFile(input));
    const auto before = snapshot();
    PatchArchive archive(zip);
    const bool extracted = archive.extractTo(app);
    const auto after = snapshot();
    if (!extracted) {
        QCOMPARE(after, before);
        return;
    }
    for (auto it = after.cbegin(); it != after.cend(); ++it) {
        if (before.value(it.key()) != it.value())
            QVERIFY2(it.key().startsWith(app + "/"), qPrintable(it.key()));
    }
}

QTEST_GUILESS_MAIN(tst_PatchArchive)
#include "tst_patcharchive.moc"
