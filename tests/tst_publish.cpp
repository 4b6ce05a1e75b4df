#include "manifest/manifest.h"
#include "archive/zipreader.h"
#include "archive/patcharchive.h"
#include "crypto/crypto.h"
#include "manifest/manifestfreshness.h"
#include "manifest/manifestsignature.h"
#include "manifest/offer.h"
#include "network/networkpolicy.h"
#include "delta/deltarebuild.h"
#include "publisher.h"
#include "releasepruner.h"
#include "testcerts.h"
#include "testserver.h"
#include "testutil.h"
#include "transaction/installtransaction.h"
#include "verifier.h"

#include <QCryptographicHash>
#include <QProcess>
#include <QSslCertificate>
#include <QSslKey>
#include <QDirIterator>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QTemporaryDir>
#include <QtTest>

class tst_Publish : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void laysOutWhatTheUpdaterExpects();
    void updatesAnExistingManifest();
    void sameInputSameArchive();
    void refusesBadInput_data();
    void refusesBadInput();
    void anyInstallerSize_data();
    void anyInstallerSize();
    void patchFolderInAnyForm_data();
    void patchFolderInAnyForm();
    void patchFromTwoReleases_data();
    void patchFromTwoReleases();
    void signsWhatOpensslVerifies();
    void verifyChecksTheDeployment_data();
    void verifyChecksTheDeployment();
    void deltasInTheManifest();
    void dryRun_data();
    void dryRun();
    void rolloutWidensAndHalts();
    void releaseStore();

private:
    PublishRequest request() const;
    QStringList outputFiles() const;
    QScopedPointer<QTemporaryDir> dir;
};

void tst_Publish::init()
{
    dir.reset(new QTemporaryDir);
    QVERIFY(QDir().mkpath(dir->filePath("patch/lib")));
    QVERIFY(writeFile(dir->filePath("patch/Foo"), "#!/bin/sh\necho new\n"));
    QFile::setPermissions(dir->filePath("patch/Foo"), QFile::permissions(dir->filePath("patch/Foo")) | QFile::ExeOwner);
    QVERIFY(writeFile(dir->filePath("patch/lib/plugin.so"), QByteArray(5000, 'p')));
    QVERIFY(writeFile(dir->filePath("setup.run"), "installer"));
}

PublishRequest tst_Publish::request() const
{
    PublishRequest r;
    r.name = QStringLiteral("Foo");
    r.patchVersion = QStringLiteral("1.2.4");
    r.fullVersion = QStringLiteral("1.3.0");
    r.modifyTime = QStringLiteral("1700000000");
    r.modifyCnt = QStringLiteral("2");
    r.changelog = QStringLiteral("fixes");
    r.patchUrl = QStringLiteral("https://files.example/p/");
    r.fullUrl = QStringLiteral("https://files.example/f/");
    r.installer = dir->filePath("setup.run");
    r.patchDir = dir->filePath("patch");
    r.output = dir->filePath("out");
    return r;
}

QStringList tst_Publish::outputFiles() const
{
    QStringList files;
    QDirIterator it(dir->filePath("out"), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(dir->filePath("out")).relativeFilePath(it.next());
    files.sort();
    return files;
}

void tst_Publish::laysOutWhatTheUpdaterExpects()
{
    SKIP_WITHOUT_MODE_BITS();
    Publisher publisher;
    QVERIFY2(publisher.publish(request()), qPrintable(publisher.errorString()));
    QCOMPARE(outputFiles(), QStringList({ "Foo/Foo-full-v1.3.0.exe", "Foo/Foo-patch-v1.2.4.zip", "Foo/updates.json" }));

    ManifestRecord record;
    QVERIFY(parseManifest(readFile(dir->filePath("out/Foo/updates.json")), "windows", &record));
    QCOMPARE(record.patchVersion, QStringLiteral("1.2.4"));
    QCOMPARE(record.fullVersion, QStringLiteral("1.3.0"));
    QCOMPARE(record.modifyTime, QStringLiteral("1700000000"));
    QCOMPARE(record.modifyCnt, QStringLiteral("2"));
    QCOMPARE(record.changelog, QStringLiteral("fixes"));
    QCOMPARE(record.patchUrlPrefix, QStringLiteral("https://files.example/p/"));
    const QByteArray zip = readFile(dir->filePath("out/Foo/Foo-patch-v1.2.4.zip"));
    QCOMPARE(record.patch.size, qint64(zip.size()));
    QCOMPARE(record.patch.sha256, QCryptographicHash::hash(zip, QCryptographicHash::Sha256));
    QCOMPARE(record.full.size, qint64(9));
    QCOMPARE(record.full.sha256, QCryptographicHash::hash("installer", QCryptographicHash::Sha256));
    QCOMPARE(readFile(dir->filePath("out/Foo/Foo-full-v1.3.0.exe")), QByteArray("installer"));

    // The updater's own archive check accepts it, and the program keeps its executable bit.
    PatchArchive archive(dir->filePath("out/Foo/Foo-patch-v1.2.4.zip"));
    QVERIFY(QDir().mkpath(dir->filePath("app")));
    QVERIFY2(archive.extractTo(dir->filePath("app")), qPrintable(archive.errorString()));
    QCOMPARE(readFile(dir->filePath("app/Foo")), QByteArray("#!/bin/sh\necho new\n"));
    QVERIFY(QFileInfo(dir->filePath("app/Foo")).isExecutable());
    QCOMPARE(readFile(dir->filePath("app/lib/plugin.so")), QByteArray(5000, 'p'));
    // The three files, and that a patch from a folder fits every earlier version.
    QCOMPARE(publisher.report().size(), 4);
    QVERIFY(publisher.report().last().contains("a cumulative patch"));
}

void tst_Publish::updatesAnExistingManifest()
{
    QVERIFY(QDir().mkpath(dir->filePath("out/Foo")));
    QVERIFY(writeFile(dir->filePath("out/Foo/updates.json"),
                      "{\"updates\":{\"linux\":{\"patch-version\":\"9\"},\"windows\":{\"patch-version\":\"1.0\","
                      "\"mirror\":\"keep me\"}},\"comment\":\"keep me too\"}"));
    Publisher publisher;
    QVERIFY2(publisher.publish(request()), qPrintable(publisher.errorString()));
    const QJsonObject root = QJsonDocument::fromJson(readFile(dir->filePath("out/Foo/updates.json"))).object();
    QCOMPARE(root.value("comment").toString(), QStringLiteral("keep me too"));
    const QJsonObject updates = root.value("updates").toObject();
    QCOMPARE(updates.value("linux").toObject().value("patch-version").toString(), QStringLiteral("9"));
    QCOMPARE(updates.value("windows").toObject().value("mirror").toString(), QStringLiteral("keep me"));
    QCOMPARE(updates.value("windows").toObject().value("patch-version").toString(), QStringLiteral("1.2.4"));
}

void tst_Publish::sameInputSameArchive()
{
    Publisher publisher;
    QVERIFY(publisher.publish(request()));
    const QByteArray first = readFile(dir->filePath("out/Foo/Foo-patch-v1.2.4.zip"));
    QVERIFY(publisher.publish(request()));
    QCOMPARE(readFile(dir->filePath("out/Foo/Foo-patch-v1.2.4.zip")), first);

    // Other bytes under a published name only when asked for, and said.
    QVERIFY(writeFile(dir->filePath("patch/lib/plugin.so"), QByteArray(5000, 'q')));
    PublishRequest replaced = request();
    replaced.replace = true;
    QVERIFY2(publisher.publish(replaced), qPrintable(publisher.errorString()));
    QVERIFY(readFile(dir->filePath("out/Foo/Foo-patch-v1.2.4.zip")) != first);
    QVERIFY2(publisher.report().join('\n').contains("raise --modify-count"), qPrintable(publisher.report().join('\n')));

    // A dry run writes nothing, and says what a publish would write.
    PublishRequest preview = request();
    preview.output = dir->filePath("preview");
    preview.dryRun = true;
    QVERIFY2(publisher.publish(preview), qPrintable(publisher.errorString()));
    QVERIFY(QDir(dir->filePath("preview/Foo")).entryList(QDir::Files).isEmpty());
    QVERIFY(publisher.report().join('\n').contains(QDir(dir->filePath("preview/Foo")).filePath("updates.json")));
    QVERIFY2(publisher.dryRun("1.2.3").startsWith("a client at 1.2.3 is offered the patch 1.2.4"),
             qPrintable(publisher.dryRun("1.2.3")));
}

void tst_Publish::refusesBadInput_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("message");
    QTest::newRow("empty name") << "name" << "" << "the application name is empty";
    QTest::newRow("name with a folder") << "name" << "a/b" << "is not a plain name";
    QTest::newRow("letters in a version") << "patch" << "1.x" << "not dot-separated decimal numbers";
    QTest::newRow("v prefix") << "full" << "v1.3" << "not dot-separated decimal numbers";
    QTest::newRow("empty part") << "patch" << "1..2" << "not dot-separated decimal numbers";
    QTest::newRow("empty version") << "patch" << "" << "not dot-separated decimal numbers";
    QTest::newRow("beyond 32 bits") << "patch" << "4294967296" << "not dot-separated decimal numbers";
    QTest::newRow("modify time not a number") << "time" << "2024-01-01" << "modify time";
    QTest::newRow("URL without a slash") << "patchUrl" << "https://files.example/p" << "must end in \"/\"";
    QTest::newRow("not a URL") << "fullUrl" << "files/" << "is not an http(s) URL";
    QTest::newRow("missing installer") << "installer" << "/nonexistent/setup" << "is not a file";
    QTest::newRow("missing patch folder") << "patchDir" << "/nonexistent/patch" << "is not a folder";
    QTest::newRow("empty patch folder") << "patchDir" << "EMPTY" << "holds no files";
#ifndef Q_OS_WIN // links need privileges there
    QTest::newRow("link in the patch") << "link" << "" << "is a link";
#endif
    QTest::newRow("signing key others can read") << "signKey" << "0644" << "can be read by others";
    QTest::newRow("signing key that is not a key") << "signKey" << "garbage" << "is not an Ed25519 private key";
    QTest::newRow("expiry not a date") << "expires" << "next spring" << "is not an ISO 8601 date and time";
    QTest::newRow("broken existing manifest") << "manifest" << "not json" << "is not a JSON object";
    QTest::newRow("a delta base that is not a folder") << "deltaFrom" << "nowhere=1.0" << "is not a folder";
    QTest::newRow("a delta base version with letters") << "deltaFrom" << "patch=1.x" << "not dot-separated decimal";
    QTest::newRow("a delta from the patch's own version") << "deltaFrom" << "patch=1.2.4" << "the patch's own version";
    QTest::newRow("another publisher writing into the output") << "lock" << "" << "another updater-publish is writing";
    QTest::newRow("releases without the version of --from") << "fromTo" << "" << "--from and --to need --patch-for";
    QTest::newRow("a patch for no version") << "patchFor" << "1.x" << "--patch-for version \"1.x\"";
    QTest::newRow("a rollout past 100 %") << "rollout" << "101" << "not a percentage from 0 to 100";
    // What it is told, against itself and against what the output has published.
    QTest::newRow("a patch for the version it brings") << "patchFor" << "1.2.4"
                                                       << "1.2.4 is not lower than the --patch-version 1.2.4";
    QTest::newRow("a patch for a later version") << "patchFor" << "1.3" << "is not lower than the --patch-version";
    QTest::newRow("an expiry that has passed") << "expires" << "2020-01-01T00:00:00Z" << "has passed";
    QTest::newRow("an older version over a newer one") << "published" << "1.3.0"
                                                       << "publishes version 1.3.0, newer than the --patch-version 1.2.4";
    QTest::newRow("releases from a version never published") << "publishedFrom" << "1.1.0"
                                                             << "--patch-for 1.0.0 names none of the versions";
    QTest::newRow("a published file with other bytes") << "republish" << "" << "is published already with other bytes";
}

void tst_Publish::refusesBadInput()
{
    QFETCH(QString, field);
    QFETCH(QString, value);
    QFETCH(QString, message);
    PublishRequest r = request();
    if (field == "name") r.name = value;
    if (field == "patch") r.patchVersion = value;
    if (field == "full") r.fullVersion = value;
    if (field == "time") r.modifyTime = value;
    if (field == "patchUrl") r.patchUrl = value;
    if (field == "fullUrl") r.fullUrl = value;
    if (field == "installer") r.installer = value;
    if (field == "patchDir") {
        r.patchDir = value;
        if (value == "EMPTY") {
            r.patchDir = dir->filePath("empty");
            QDir().mkpath(r.patchDir);
        }
    }
    if (field == "link")
        QVERIFY(QFile::link(dir->filePath("setup.run"), dir->filePath("patch/link")));
    if (field == "signKey") {
        QVERIFY(writeFile(dir->filePath("key.pem"), value == "garbage" ? "garbage" : Crypto::generateEd25519Key()));
        QFile::setPermissions(dir->filePath("key.pem"), value == "garbage" ? QFile::ReadOwner | QFile::WriteOwner
                                                                           : QFile::ReadOwner | QFile::ReadOther);
        SKIP_WITHOUT_MODE_BITS();
        r.signKeys << dir->filePath("key.pem");
    }
    if (field == "expires")
        r.expires = value;
    if (field == "fromTo") {
        QVERIFY(QDir().mkpath(dir->filePath("old")));
        r.fromDir = dir->filePath("old");
        r.toDir = r.patchDir;
        r.patchDir.clear();
    }
    if (field == "patchFor")
        r.patchFor << value;
    if (field == "rollout")
        r.rollout = value.toInt();
    if (field == "deltaFrom")
        r.deltaFrom.append({ dir->filePath(value.section('=', 0, 0)), value.section('=', 1) });
    QStringList before;
    QLockFile other(dir->filePath("out/Foo/.updater-publish.lock"));
    if (field == "lock") {
        QVERIFY(QDir().mkpath(dir->filePath("out/Foo")));
        QVERIFY(other.tryLock(0));
        before << "Foo/.updater-publish.lock";
    }
    if (field == "manifest" || field.startsWith("published")) {
        QVERIFY(QDir().mkpath(dir->filePath("out/Foo")));
        const QByteArray published = "{\"updates\":{\"windows\":{\"patch-version\":\"" + value.toUtf8()
                + "\",\"full-version\":\"" + value.toUtf8() + "\"}}}";
        QVERIFY(writeFile(dir->filePath("out/Foo/updates.json"), field == "manifest" ? value.toUtf8() : published));
        before << "Foo/updates.json";
    }
    if (field == "publishedFrom") {
        QVERIFY(QDir().mkpath(dir->filePath("old")));
        r.fromDir = dir->filePath("old");
        r.toDir = r.patchDir;
        r.patchDir.clear();
        r.patchFor << "1.0.0";
    }
    if (field == "republish") {
        QVERIFY(QDir().mkpath(dir->filePath("out/Foo")));
        QVERIFY(writeFile(dir->filePath("out/Foo/Foo-patch-v1.2.4.zip"), "the bytes published before"));
        before << "Foo/Foo-patch-v1.2.4.zip";
    }
    Publisher publisher;
    QVERIFY(!publisher.publish(r));
    QVERIFY2(publisher.errorString().contains(message), qPrintable(publisher.errorString()));
    QCOMPARE(outputFiles(), before); // nothing was written
}

namespace {

// Runs the openssl command line; the interoperability a publisher relies on.
bool openssl(const QStringList &arguments, QByteArray *output = nullptr)
{
    QProcess process;
    process.start(QStringLiteral("openssl"), arguments);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit)
        return false;
    if (output)
        *output = process.readAllStandardOutput();
    return process.exitCode() == 0;
}

} // namespace

void tst_Publish::anyInstallerSize_data()
{
    QTest::addColumn<QString>("what");     // "installer" or "patch file"
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QString>("refusal");  // empty: published
    QTest::newRow("installer above 2 GiB") << "installer" << (qint64(2) << 30) + 12345 << "";
    QTest::newRow("installer above 4 GiB") << "installer" << (qint64(4) << 30) + 12345 << "";
    QTest::newRow("patch file above what a client unpacks") << "patch file" << ZipReader::MaxEntrySize + 1
                                                           << "larger than the 8 GiB a client unpacks";
}

void tst_Publish::anyInstallerSize()
{
    SKIP_ON_WINDOWS("sparse files and sha256sum");
    QFETCH(QString, what);
    QFETCH(qint64, size);
    QFETCH(QString, refusal);
    // Sparse: the size is real, the disk barely used until it is copied.
    const QString big = what == "installer" ? dir->filePath("big-setup.run") : dir->filePath("patch/big.dat");
    QFile file(big);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(size));
    file.close();
    PublishRequest r = request();
    if (what == "installer")
        r.installer = big;
    Publisher publisher;
    const bool published = publisher.publish(r);
    if (!refusal.isEmpty()) {
        QVERIFY(!published);
        QVERIFY2(publisher.errorString().contains(refusal), qPrintable(publisher.errorString()));
        QCOMPARE(outputFiles(), QStringList());
        return;
    }
    QVERIFY2(published, qPrintable(publisher.errorString()));
    const QString copy = dir->filePath("out/Foo/Foo-full-v1.3.0.exe");
    QCOMPARE(QFileInfo(copy).size(), size);
    QProcess sha256sum;
    sha256sum.start("sha256sum", { big });
    QVERIFY(sha256sum.waitForFinished(300000));
    ManifestRecord record;
    QVERIFY(parseManifest(readFile(dir->filePath("out/Foo/updates.json")), "windows", &record));
    QCOMPARE(record.full.size, size);
    QCOMPARE(record.full.sha256.toHex(), sha256sum.readAllStandardOutput().left(64));
    QFile::remove(copy);
}

void tst_Publish::patchFolderInAnyForm_data()
{
    QTest::addColumn<QString>("form");
    QTest::addColumn<QString>("refusal"); // empty: entries "Foo" and "lib/plugin.so"
    QTest::newRow("relative") << "relative" << "";
    QTest::newRow("absolute") << "absolute" << "";
    QTest::newRow("through ..") << "dotdot" << "";
    QTest::newRow("trailing slash") << "slash" << "";
    QTest::newRow("output folder inside the patch folder") << "output inside" << "";
    QTest::newRow("a name with a backslash") << "a\\b" << "contains a backslash";
    QTest::newRow("a name with a colon") << "c:d" << "contains a drive letter or colon";
    QTest::newRow("a name with a newline") << "e\nf" << "contains a control character";
    QTest::newRow("a name with a tab") << "g\th" << "contains a control character";
    QTest::newRow("the updater's own lock") << ".update.lock" << "keeps for its own work";
    QTest::newRow("a part file") << "Foo-patch-v1.zip.part" << "keeps for its own work";
    QTest::newRow("a device name") << "NUL.txt" << "a device name on Windows";
    QTest::newRow("a character Windows forbids") << "why?" << "which Windows does not allow";
    QTest::newRow("two names of one file on Windows") << "foo" << "are one file on Windows";
    QTest::newRow("an application name on two lines") << "name" << "is not a single line of printable text";
    QTest::newRow("a platform key on two lines") << "platform" << "is not a single line of printable text";
}

void tst_Publish::patchFolderInAnyForm()
{
    QFETCH(QString, form);
    QFETCH(QString, refusal);
    PublishRequest r = request();
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dir->path());
    if (form == "relative")
        r.patchDir = "patch";
    else if (form == "dotdot")
        r.patchDir = "patch/lib/../../patch";
    else if (form == "slash")
        r.patchDir = dir->filePath("patch") + "/";
    else if (form == "output inside")
        r.output = dir->filePath("patch/site");
    else if (form == "name")
        r.name = "Foo\nBar";
    else if (form == "platform")
        r.platform = "windows\n";
    else if (form != "absolute") {
#ifdef Q_OS_WIN
        QSKIP("Windows file names cannot hold these characters");
#endif
        QVERIFY(writeFile(dir->filePath("patch/" + form), "x"));
    }
    Publisher publisher;
    const bool published = publisher.publish(r);
    // A second publication must not take the first one's output into the patch.
    const bool again = published && publisher.publish(r);
    QDir::setCurrent(previous);
    if (!refusal.isEmpty()) {
        QVERIFY(!published);
        QVERIFY2(publisher.errorString().contains(refusal), qPrintable(publisher.errorString()));
        QCOMPARE(outputFiles(), QStringList());
        return;
    }
    QVERIFY2(published && again, qPrintable(publisher.errorString()));
    ZipReader reader(QDir(r.output).filePath("Foo/Foo-patch-v1.2.4.zip"));
    QVERIFY2(reader.open(), qPrintable(reader.errorString()));
    QStringList names;
    for (const ZipReader::Entry &entry : reader.entries())
        names << entry.name;
    QCOMPARE(names, QStringList({ "Foo", "lib/plugin.so" }));
}

void tst_Publish::patchFromTwoReleases_data()
{
    QTest::addColumn<QStringList>("change");   // what NEW does to OLD: "edit X", "add X", "remove X", "exec X"
    QTest::addColumn<QStringList>("expected"); // the entries of the patch; empty: refused, nothing changed
    QTest::newRow("a changed file") << QStringList { "edit Foo" } << QStringList { "Foo" };
    QTest::newRow("a new file in a new folder") << QStringList { "add plugins/new.so" } << QStringList { "plugins/new.so" };
    QTest::newRow("a removed file: warned, not in the patch") << QStringList { "remove data.txt", "edit Foo" }
                                                              << QStringList { "Foo" };
#ifndef Q_OS_WIN
    QTest::newRow("the executable bit alone") << QStringList { "exec tool" } << QStringList { "tool" };
#endif
    QTest::newRow("same size, other bytes") << QStringList { "flip data.txt" } << QStringList { "data.txt" };
    QTest::newRow("nothing changed") << QStringList {} << QStringList {};
    const QString cannot = QStringLiteral("refused: a patch cannot remove a file");
    QTest::newRow("a file became a folder") << QStringList { "tofolder data.txt" } << QStringList { cannot };
    QTest::newRow("a folder became a file") << QStringList { "tofile lib" } << QStringList { cannot };
#ifndef Q_OS_WIN
    QTest::newRow("a link to a folder: named, left out") << QStringList { "link extras", "edit Foo" }
                                                         << QStringList { "Foo" };
#endif
}

void tst_Publish::patchFromTwoReleases()
{
    QFETCH(QStringList, change);
    QFETCH(QStringList, expected);
    for (const char *release : { "old", "new" }) {
        QVERIFY(QDir().mkpath(dir->filePath(QString(release) + "/lib")));
        QVERIFY(writeFile(dir->filePath(QString(release) + "/Foo"), "program 1"));
        QVERIFY(writeFile(dir->filePath(QString(release) + "/data.txt"), "abcdef"));
        QVERIFY(writeFile(dir->filePath(QString(release) + "/tool"), "tool"));
        QVERIFY(writeFile(dir->filePath(QString(release) + "/lib/a.so"), QByteArray(3000, 'a')));
    }
    for (const QString &step : change) {
        const QString name = step.section(' ', 1);
        const QString path = dir->filePath("new/" + name);
        const QString kind = step.section(' ', 0, 0);
        if (kind == "edit")
            QVERIFY(writeFile(path, "program 2, longer"));
        else if (kind == "flip")
            QVERIFY(writeFile(path, "abcdeX"));
        else if (kind == "add")
            QVERIFY(QDir().mkpath(QFileInfo(path).path()) && writeFile(path, "new"));
        else if (kind == "remove")
            QVERIFY(QFile::remove(path));
        else if (kind == "tofolder")
            QVERIFY(QFile::remove(path) && QDir().mkpath(path) && writeFile(path + "/inner", "x"));
        else if (kind == "tofile")
            QVERIFY(QDir(path).removeRecursively() && writeFile(path, "a file now"));
        else if (kind == "link")
            QVERIFY(QDir().mkpath(dir->filePath("elsewhere")) && QFile::link(dir->filePath("elsewhere"), path));
        else
            QVERIFY(QFile::setPermissions(path, QFile::permissions(path) | QFile::ExeOwner | QFile::ExeUser));
    }
    PublishRequest r = request();
    r.patchDir.clear();
    r.fromDir = dir->filePath("old");
    r.toDir = dir->filePath("new");
    r.patchFor = QStringList { QStringLiteral("1.2.3") };
    Publisher publisher;
    const bool published = publisher.publish(r);
    if (expected.isEmpty() || expected.first().startsWith("refused: ")) {
        QVERIFY(!published);
        const QString refusal = expected.isEmpty() ? QStringLiteral("nothing changed") : expected.first().mid(9);
        QVERIFY2(publisher.errorString().contains(refusal), qPrintable(publisher.errorString()));
        QCOMPARE(outputFiles(), QStringList());
        return;
    }
    QVERIFY2(published, qPrintable(publisher.errorString()));
    ZipReader reader(dir->filePath("out/Foo/Foo-patch-v1.2.4.zip"));
    QVERIFY(reader.open());
    QStringList names;
    for (const ZipReader::Entry &entry : reader.entries())
        names << entry.name;
    QCOMPARE(names, expected);
    const QString report = publisher.report().join('\n');
    QCOMPARE(report.contains("warning: data.txt is gone"), change.contains("remove data.txt"));
    QCOMPARE(report.contains("warning: extras is a link to a folder; it is left out"), change.contains("link extras"));
    if (change.contains("exec tool"))
        QVERIFY(reader.entries().first().mode & 0100);
}

void tst_Publish::signsWhatOpensslVerifies()
{
    SKIP_ON_WINDOWS("needs the openssl command line");
    // A key of our own and one made by openssl sign one manifest; each side checks the other's.
    QString error;
    const QString ours = generateSigningKey(dir->filePath("ours.pem"), &error);
    QVERIFY2(!ours.isEmpty(), qPrintable(error));
    QVERIFY(openssl({ "genpkey", "-algorithm", "ed25519", "-out", dir->filePath("theirs.pem") }));
    QFile::setPermissions(dir->filePath("theirs.pem"), QFile::ReadOwner | QFile::WriteOwner);
    PublishRequest r = request();
    r.signKeys << dir->filePath("ours.pem");
    Publisher publisher;
    QVERIFY2(publisher.publish(r), qPrintable(publisher.errorString()));
    const QString manifest = dir->filePath("out/Foo/updates.json");
    const QByteArray signatures = readFile(manifest + ".sig");
    QCOMPARE(signatures.count('\n'), 1);
    // Signed with its application and moment, so that clients can refuse borrowed and replayed ones.
    ManifestRecord record;
    QVERIFY(parseManifest(readFile(manifest), "windows", &record));
    QCOMPARE(record.name, QStringLiteral("Foo"));
    QVERIFY(qAbs(ManifestFreshness::parseIssued(record.issued).secsTo(QDateTime::currentDateTimeUtc())) < 600);

    // Ours, checked by openssl.
    QVERIFY(writeFile(dir->filePath("sig.bin"), QByteArray::fromBase64(signatures.trimmed())));
    QVERIFY(openssl({ "pkey", "-in", dir->filePath("ours.pem"), "-pubout", "-out", dir->filePath("ours.pub") }));
    QVERIFY(openssl({ "pkeyutl", "-verify", "-pubin", "-inkey", dir->filePath("ours.pub"), "-rawin",
                      "-in", manifest, "-sigfile", dir->filePath("sig.bin") }));

    // Theirs, the way the README tells a publisher to sign by hand, checked by the client's code.
    QByteArray raw;
    QVERIFY(openssl({ "pkeyutl", "-sign", "-rawin", "-inkey", dir->filePath("theirs.pem"), "-in", manifest,
                      "-out", dir->filePath("theirs.sig") }));
    const QByteArray line = readFile(dir->filePath("theirs.sig")).toBase64();
    const QByteArray theirKey = Crypto::ed25519PublicKey(readFile(dir->filePath("theirs.pem")));
    QCOMPARE(ManifestSignature::check(readFile(manifest), line, { theirKey }), QString());
    QCOMPARE(ManifestSignature::check(readFile(manifest), line, { ManifestSignature::fromBase64(ours.toLatin1()) }),
             QStringLiteral("manifest signature does not match any trusted key"));
}

void tst_Publish::verifyChecksTheDeployment_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addColumn<QString>("failure"); // empty: every check passes
    QTest::newRow("as published") << "" << "";
    QTest::newRow("a file changed after publishing") << "patch" << "FAILED  windows patch";
    QTest::newRow("a file missing") << "installer" << "unreachable";
    QTest::newRow("the manifest changed after signing") << "manifest" << "FAILED  signature manifest signature does not match";
    QTest::newRow("signature missing") << "signature" << "FAILED  signature manifest signature missing";
    QTest::newRow("expired") << "expired" << "FAILED  expires manifest expired on";
    QTest::newRow("a version that is a path") << "version" << "FAILED  windows version \"/../../escaped\" cannot be part of a file name (it holds a path separator)";
    QTest::newRow("an ftp URL") << "ftp" << "the scheme \"ftp\" is not https or http";
    QTest::newRow("deployed, checked by its URL") << "served" << "";
    QTest::newRow("deployed, a file changed on the server") << "served patch" << "FAILED  windows patch http://";
    QTest::newRow("deployed, a mirror's copy damaged") << "served mirror" << "FAILED  windows patch on a mirror http://";
    QTest::newRow("deployed, the manifest cached for a day: a warning") << "served cached" << "";
    QTest::newRow("deployed, a server that drips the installer") << "served drip"
                                                                 << "unreachable: the server is sending too slowly";
    // Over HTTPS behind a private CA: the reason when it is not trusted, every check once it is.
    QTest::newRow("deployed over HTTPS, a CA not trusted") << "served tls" << "FAILED  manifest https://";
    QTest::newRow("deployed over HTTPS, its CA given") << "served tls trusted" << "";
}

void tst_Publish::verifyChecksTheDeployment()
{
    QFETCH(QString, damage);
    QFETCH(QString, failure);
    QString error;
    const QByteArray key = ManifestSignature::fromBase64(generateSigningKey(dir->filePath("key.pem"), &error).toLatin1());
    PublishRequest r = request();
    r.signKeys << dir->filePath("key.pem");
    // An expiry that has passed is refused by the publisher: this one passes right after publishing.
    r.expires = damage == "expired" ? QDateTime::currentDateTimeUtc().addSecs(2).toString(Qt::ISODate)
                                    : "2999-01-01T00:00:00Z";
    Publisher publisher;
    QVERIFY2(publisher.publish(r), qPrintable(publisher.errorString()));
    if (damage == "expired")
        QTest::qWait(3000);
    const QString out = dir->filePath("out/Foo/");
    if (damage == "patch")
        QVERIFY(writeFile(out + "Foo-patch-v1.2.4.zip", "not the patch"));
    if (damage == "installer")
        QVERIFY(QFile::remove(out + "Foo-full-v1.3.0.exe"));
    if (damage == "manifest")
        QVERIFY(writeFile(out + "updates.json", readFile(out + "updates.json").replace("fixes", "fixed")));
    if (damage == "signature")
        QVERIFY(QFile::remove(out + "updates.json.sig"));
    if (damage == "version")
        QVERIFY(writeFile(out + "updates.json", readFile(out + "updates.json").replace("\"1.2.4\"", "\"/../../escaped\"")));
    if (damage == "ftp")
        QVERIFY(writeFile(out + "updates.json", readFile(out + "updates.json").replace("https://", "ftp://")));

    // Served as a static file server serves it; the manifest's URLs point there.
    TestServer server;
    QString location = out;
    QTemporaryDir certificates;
    if (damage.startsWith("served tls")) {
        SKIP_WITHOUT_PRIVATE_CA();
        const TestCertificates certs = TestCertificates::create(certificates.path(), QStringLiteral("verify"));
        QVERIFY2(certs.error.isEmpty(), qPrintable(certs.error));
        QVERIFY(server.startTls(QSslCertificate(certs.certPem), QSslKey(certs.keyPem, QSsl::Rsa)));
        if (damage.endsWith("trusted"))
            QCOMPARE(Verifier::trustCertificates(certs.caPem), 1);
    }
    if (damage.startsWith("served")) {
        if (!damage.startsWith("served tls"))
            QVERIFY(server.start());
        r.patchUrl = r.fullUrl = server.origin() + "/files/";
        if (damage == "served mirror")
            r.mirrors << server.origin() + "/mirror/";
        QVERIFY2(publisher.publish(r), qPrintable(publisher.errorString()));
        for (const QString &name : QDir(out).entryList(QDir::Files)) {
            QByteArray data = readFile(out + name);
            if (damage == "served mirror")
                server.setResponse("/mirror/Foo/" + name, TestResponse::ok(name.endsWith(".zip") ? "not the patch" : data));
            if (damage == "served patch" && name.endsWith(".zip"))
                data = "not the patch";
            TestResponse response = TestResponse::ok(data);
            if (damage == "served cached" && name == "updates.json")
                response.header("Cache-Control", "public, max-age=86400");
            if (damage == "served drip" && name.endsWith(".exe")) {
                response.chunkSize = 1;
                response.chunkDelayMs = 100;
            }
            server.setResponse((name.startsWith("updates.json") ? "/site/Foo/" : "/files/Foo/") + name, response);
        }
        location = server.origin() + "/site/Foo/updates.json";
    }
    // A dripping server is found out quickly; the other rows keep the usual rule, which a TLS
    // handshake on a loaded machine (under the sanitizers) can take longer than the quick one.
    if (damage == "served drip")
        NetworkPolicy::setSlowTransferRule(1024, 600);
    auto restore = qScopeGuard([] { NetworkPolicy::setSlowTransferRule(1024, 60000); });
    Verifier verifier({ key });
    const bool ok = verifier.verify(location);
    const QString report = verifier.report().join('\n');
    QCOMPARE(ok, failure.isEmpty());
    if (!failure.isEmpty())
        QVERIFY2(report.contains(failure), qPrintable(report));
    else
        QVERIFY2(!report.contains("FAILED") && report.count("SHA-256 ") == 2, qPrintable(report));
    QCOMPARE(report.contains("warning: caches may keep the manifest for 86400 s"), damage == "served cached");
}

void tst_Publish::deltasInTheManifest()
{
    // The release before: the same plugin, another program.
    QVERIFY(QDir().mkpath(dir->filePath("old/lib")));
    QByteArray plugin(200000, Qt::Uninitialized);
    for (int i = 0; i < plugin.size(); ++i)
        plugin[i] = char((quint32(i) * 7919u) >> 5);
    QVERIFY(writeFile(dir->filePath("old/lib/plugin.so"), plugin));
    plugin.replace(100000, 4, "NEW!");
    QVERIFY(writeFile(dir->filePath("patch/lib/plugin.so"), plugin));
    QVERIFY(writeFile(dir->filePath("old/Foo"), "#!/bin/sh\necho old\n"));
    PublishRequest r = request();
    r.deltaFrom.append({ dir->filePath("old"), QStringLiteral("1.0.0") });
    Publisher publisher;
    QVERIFY2(publisher.publish(r), qPrintable(publisher.errorString()));
    const QString out = dir->filePath("out/Foo/");
    ManifestRecord record;
    QVERIFY(parseManifest(readFile(out + "updates.json"), "windows", &record));
    QCOMPARE(record.deltas.keys(), QStringList({ "1.0.0" }));
    const DeltaOffer offer = record.deltas.value("1.0.0");
    QCOMPARE(offer.url, QStringLiteral("https://files.example/p/Foo/Foo-delta-v1.0.0-v1.2.4.zip"));
    QCOMPARE(offer.check.size, QFileInfo(out + "Foo-delta-v1.0.0-v1.2.4.zip").size());
    QVERIFY(offer.check.size < record.patch.size);
    QVERIFY2(publisher.report().join('\n').contains(QStringLiteral("Foo-delta-v1.0.0-v1.2.4.zip  %1 bytes, the whole-file "
                                                                    "patch %2 bytes").arg(offer.check.size)
                                                          .arg(record.patch.size)), qPrintable(publisher.report().join('\n')));

    // verify checks the delta as it checks the others.
    Verifier verifier({});
    QVERIFY2(verifier.verify(out), qPrintable(verifier.report().join('\n')));
    QVERIFY(verifier.report().join('\n').contains("windows delta from 1.0.0 "));
    QVERIFY(writeFile(out + "Foo-delta-v1.0.0-v1.2.4.zip", "not the delta"));
    QVERIFY(!verifier.verify(out));

    // The next version's release never takes this version's deltas; its previous release keeps them.
    r.deltaFrom.clear();
    r.patchVersion = QStringLiteral("1.2.5");
    QVERIFY2(publisher.publish(r), qPrintable(publisher.errorString()));
    ManifestRecord next;
    QVERIFY(parseManifest(readFile(out + "updates.json"), "windows", &next));
    QVERIFY(next.deltas.isEmpty());
    QVERIFY(next.previous && next.previous->deltas.contains("1.0.0"));
}

void tst_Publish::dryRun_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<bool>("downloadFull");
    QTest::addColumn<QString>("text");
    QTest::newRow("a version the patch was not made for: the installer") << "1.2.2" << false
        << "a client at 1.2.2 is offered the installer 1.3.0 (https://files.example/f/Foo/Foo-full-v1.3.0.exe, 9 bytes), "
           "since the patch is made for version(s) 1.2.3; rolled out to 10 % of installations";
    QTest::newRow("older: the patch") << "1.2.3" << false
        << "a client at 1.2.3 is offered the patch 1.2.4 (https://files.example/p/Foo/Foo-patch-v1.2.4.zip, ";
    QTest::newRow("version 0: the installer") << "0" << false
        << "a client at 0 is offered the installer 1.3.0 (https://files.example/f/Foo/Foo-full-v1.3.0.exe, 9 bytes)";
    QTest::newRow("download-full: the installer") << "1.2.3" << true << "a client at 1.2.3 is offered the installer 1.3.0";
    QTest::newRow("newer: up to date") << "1.2.5" << false << "a client at 1.2.5 is up to date (offered version 1.2.4)";
}

void tst_Publish::dryRun()
{
    QFETCH(QString, version);
    QFETCH(bool, downloadFull);
    QFETCH(QString, text);
    PublishRequest r = request();
    r.downloadFull = downloadFull;
    if (QByteArray(QTest::currentDataTag()).contains("not made for")) {
        r.patchFor << QStringLiteral("1.2.3");
        r.rollout = 10;
    }
    Publisher publisher;
    QVERIFY(publisher.publish(r));
    const QString result = publisher.dryRun(version, "1700000000", "2");
    QVERIFY2(result.startsWith(text), qPrintable(result));
}

void tst_Publish::rolloutWidensAndHalts()
{
    QString error;
    const QByteArray key = ManifestSignature::fromBase64(generateSigningKey(dir->filePath("key.pem"), &error).toLatin1());
    PublishRequest r = request();
    r.signKeys << dir->filePath("key.pem");
    r.rollout = 10;
    Publisher publisher;
    QVERIFY2(publisher.publish(r), qPrintable(publisher.errorString()));
    // Without an expiry, a host that keeps serving this manifest can hold clients at it.
    QVERIFY(publisher.report().join('\n').contains("warning: signed without --expires"));
    const QString out = dir->filePath("out/Foo/");
    const QByteArray patch = readFile(out + "Foo-patch-v1.2.4.zip");
    const QByteArray installer = readFile(out + "Foo-full-v1.3.0.exe");
    const auto rolloutTo = [&r](int percent) {
        RolloutRequest rollout;
        rollout.output = r.output;
        rollout.name = r.name;
        rollout.percent = percent;
        rollout.signKeys = r.signKeys;
        return rollout;
    };
    // One command each: widen, halt, complete; only the manifest and its signature change.
    for (const int percent : { 50, 0, 100 }) {
        const RolloutRequest rollout = rolloutTo(percent);
        QVERIFY2(publisher.setRollout(rollout), qPrintable(publisher.errorString()));
        ManifestRecord record;
        QVERIFY(parseManifest(readFile(out + "updates.json"), "windows", &record));
        QCOMPARE(record.rollout, percent);
        QCOMPARE(record.patchVersion, QStringLiteral("1.2.4"));
        // Signed inside (what this tool reads), and beside it over the final bytes (what earlier releases read).
        QByteArray signedBytes;
        QByteArray inside;
        QVERIFY(ManifestSignature::extract(readFile(out + "updates.json"), &signedBytes, &inside));
        QVERIFY(ManifestSignature::check(signedBytes, inside, { key }).isEmpty());
        QVERIFY(ManifestSignature::check(readFile(out + "updates.json"), readFile(out + "updates.json.sig"), { key })
                        .isEmpty());
        QCOMPARE(readFile(out + "Foo-patch-v1.2.4.zip"), patch);
        QCOMPARE(readFile(out + "Foo-full-v1.3.0.exe"), installer);
    }
    // Unsigned, the signature would turn every client away.
    RolloutRequest unsigned_ = rolloutTo(20);
    unsigned_.signKeys.clear();
    QVERIFY(!publisher.setRollout(unsigned_));
    QVERIFY2(publisher.errorString().contains("give --sign-key"), qPrintable(publisher.errorString()));
    // The same for a new release: the old signature would stay beside the new manifest.
    const QByteArray manifest = readFile(out + "updates.json");
    PublishRequest unsignedRelease = request();
    unsignedRelease.patchVersion = "1.2.5";
    QVERIFY(!publisher.publish(unsignedRelease));
    QVERIFY2(publisher.errorString().contains("updates.json.sig") && publisher.errorString().contains("give --sign-key"),
             qPrintable(publisher.errorString()));
    QCOMPARE(readFile(out + "updates.json"), manifest);
    QVERIFY(!QFile::exists(out + "Foo-patch-v1.2.5.zip"));

    // The next release at 20 %: the one it replaces stays offered to everyone outside the share.
    PublishRequest next = request();
    next.patchVersion = "1.2.5";
    next.fullVersion = "1.3.1";
    next.signKeys = r.signKeys;
    next.rollout = 20;
    QVERIFY2(publisher.publish(next), qPrintable(publisher.errorString()));
    ManifestRecord staged;
    QVERIFY(parseManifest(readFile(out + "updates.json"), "windows", &staged));
    QVERIFY(staged.previous);
    QCOMPARE(staged.previous->patchVersion, QStringLiteral("1.2.4"));
    QCOMPARE(staged.previous->patch.sha256, QCryptographicHash::hash(patch, QCryptographicHash::Sha256));
    Installation outside;
    outside.appName = "Foo";
    outside.version = "1.2.3";
    outside.rolloutNumber = 5000;
    const Offer offer = decideOffer(staged, outside);
    QVERIFY(offer.previousRelease && offer.newer);
    QCOMPARE(offer.patchUrl, QStringLiteral("https://files.example/p/Foo/Foo-patch-v1.2.4.zip"));
    outside.rolloutNumber = 100; // inside the 20 %
    QCOMPARE(decideOffer(staged, outside).patchUrl, QStringLiteral("https://files.example/p/Foo/Foo-patch-v1.2.5.zip"));

    // Rolled back: 1.2.4 is current again as it was, signed; there is nothing further to roll back to.
    RolloutRequest rollback = rolloutTo(-1);
    rollback.rollback = true;
    QVERIFY2(publisher.setRollout(rollback), qPrintable(publisher.errorString()));
    ManifestRecord back;
    QVERIFY(parseManifest(readFile(out + "updates.json"), "windows", &back));
    QCOMPARE(back.patchVersion, QStringLiteral("1.2.4"));
    QCOMPARE(back.rollout, 100);
    QVERIFY(!back.previous);
    QVERIFY(ManifestSignature::check(readFile(out + "updates.json"), readFile(out + "updates.json.sig"), { key })
                    .isEmpty());
    QVERIFY(!publisher.setRollout(rollback));
    QVERIFY2(publisher.errorString().contains("no previous release"), qPrintable(publisher.errorString()));
    // A mistyped name is said as such, not as another publisher at work.
    rollback.name = "Fooo";
    QVERIFY(!publisher.setRollout(rollback));
    QVERIFY2(publisher.errorString().contains("there is no "), qPrintable(publisher.errorString()));
}


// Releases recorded in a store, the next made from it alone: its patch, a delta from each of the
// last three, deltas made once, other bytes under a published version refused.
void tst_Publish::releaseStore()
{
    // Release n: a program changed in a few places each time, a library changed in 1.0.3, a data file.
    const auto release = [this](int n) {
        const QString folder = dir->filePath(QStringLiteral("rel%1").arg(n));
        QByteArray program(300000, Qt::Uninitialized);
        for (int i = 0; i < program.size(); ++i)
            program[i] = char((quint32(i) * 2654435761u) >> 24);
        for (int k = 1; k <= n; ++k)
            program.replace(k * 50000, 6, QByteArray("v1.0.") + char('0' + k));
        return QDir().mkpath(folder + "/lib") && QDir().mkpath(folder + "/share") && writeFile(folder + "/Foo", program)
                && writeFile(folder + "/lib/plugin.so", QByteArray(n >= 3 ? 9000 : 5000, 'p'))
                && writeFile(folder + "/share/data.txt", "the same in every release");
    };
    PublishRequest r = request();
    r.patchDir.clear();
    r.store = dir->filePath("store");
    // Clients the patch does not fit would take the installer: it is larger than their deltas.
    QVERIFY(writeFile(r.installer, QByteArray(400000, 'i')));
    for (int n = 0; n <= 3; ++n) {
        QVERIFY(release(n));
        r.toDir = dir->filePath(QStringLiteral("rel%1").arg(n));
        r.patchVersion = r.fullVersion = QStringLiteral("1.0.%1").arg(n);
        Publisher publisher;
        QVERIFY2(publisher.publish(r), qPrintable(publisher.errorString()));
        if (n < 3)
            QVERIFY(QDir(r.toDir).removeRecursively()); // no old folder is needed
    }
    ManifestRecord record;
    QVERIFY(parseManifest(readFile(dir->filePath("out/Foo/updates.json")), "windows", &record));
    QCOMPARE(record.patchFor, QStringList({ "1.0.2" }));
    QCOMPARE(record.deltas.keys(), QStringList({ "1.0.0", "1.0.1", "1.0.2" }));
    // A client at each old version reaches the new one exactly through its delta.
    for (int n = 0; n < 3; ++n) {
        QVERIFY(release(n));
        const QString app = dir->filePath(QStringLiteral("rel%1").arg(n));
        InstallTransaction transaction(app);
        DeltaRebuild rebuild(dir->filePath(QStringLiteral("out/Foo/Foo-delta-v1.0.%1-v1.0.3.zip").arg(n)));
        QVERIFY(transaction.begin());
        QVERIFY2(rebuild.stageInto(&transaction), qPrintable(rebuild.errorString()));
        QVERIFY2(transaction.commit(), qPrintable(transaction.errorString()));
        for (const char *name : { "Foo", "lib/plugin.so", "share/data.txt" })
            QCOMPARE(readFile(app + "/" + name), readFile(dir->filePath("rel3/") + name));
    }

    // The same release again reuses every delta; a data file the same in every release is kept once.
    const QDir objects(dir->filePath("store/objects"));
    int kept = 0;
    for (QDirIterator it(objects.path(), QDir::Files, QDirIterator::Subdirectories); it.hasNext(); it.next())
        ++kept;
    QCOMPARE(kept, 4 + 2 + 1); // four programs, two plugins, one data file
    r.output = dir->filePath("again");
    Publisher again;
    QVERIFY2(again.publish(r), qPrintable(again.errorString()));
    const QStringList made = again.report().filter(QRegularExpression("^  (matches|delta)"));
    QVERIFY(!made.isEmpty());
    QCOMPARE(made.filter("made before").size(), made.size());

    // A damaged delta kept from before is made again, never published.
    QDirIterator cached(dir->filePath("store/deltas"), { "*.json" }, QDir::Files, QDirIterator::Subdirectories);
    while (cached.hasNext()) {
        const QString json = cached.next();
        QString data = json;
        data.replace(".json", ".data");
        QByteArray bytes = readFile(data);
        bytes[bytes.size() / 2] = char(bytes.at(bytes.size() / 2) ^ 0x55);
        QJsonObject entry = QJsonDocument::fromJson(readFile(json)).object();
        entry.insert("data-sha256", QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex()));
        QVERIFY(writeFile(data, bytes) && writeFile(json, QJsonDocument(entry).toJson()));
    }
    r.output = dir->filePath("third");
    Publisher third;
    QVERIFY2(third.publish(r), qPrintable(third.errorString()));
    QVERIFY(third.report().join('\n').contains("does not rebuild the new release exactly"));
    QCOMPARE(readFile(dir->filePath("third/Foo/Foo-delta-v1.0.2-v1.0.3.zip")),
             readFile(dir->filePath("out/Foo/Foo-delta-v1.0.2-v1.0.3.zip")));

    // Other bytes under a recorded version are refused, naming the file, and change nothing.
    const QByteArray recorded = readFile(dir->filePath("store/releases/Foo/1.0.3.json"));
    QVERIFY(writeFile(dir->filePath("rel3/share/data.txt"), "changed after publishing"));
    r.output = dir->filePath("fourth");
    Publisher other;
    QVERIFY(!other.publish(r));
    QVERIFY2(other.errorString().contains("1.0.3 of Foo is in the store with other bytes (share/data.txt differs)"),
             qPrintable(other.errorString()));
    QCOMPARE(readFile(dir->filePath("store/releases/Foo/1.0.3.json")), recorded);
    QVERIFY(!QFileInfo::exists(dir->filePath("fourth/Foo/updates.json")));

    // A publisher killed before it recorded the release: the same command again records it.
    QVERIFY(writeFile(dir->filePath("rel3/share/data.txt"), "the same in every release"));
    QVERIFY(QFile::remove(dir->filePath("store/releases/Foo/1.0.3.json")));
    r.output = dir->filePath("out");
    Publisher rerun;
    QVERIFY2(rerun.publish(r), qPrintable(rerun.errorString()));
    QCOMPARE(readFile(dir->filePath("store/releases/Foo/1.0.3.json")), recorded);

    // Prune keeps one release, and what a manifest clients may still hold names: today, all of it.
    const QString out = dir->filePath("out/Foo/");
    PruneRequest prune { dir->filePath("store"), dir->filePath("out"), "Foo", 1, false };
    const QDateTime now = QDateTime::currentDateTimeUtc();
    ReleasePruner pruner;
    QVERIFY2(pruner.prune(prune, now), qPrintable(pruner.errorString()));
    QVERIFY(QFileInfo::exists(out + "Foo-patch-v1.0.1.zip"));
    QVERIFY(!QFileInfo::exists(dir->filePath("store/releases/Foo/1.0.2.json")));
    // Fifteen days on, the replaced manifests are past their grace: their files go, the current one's stay.
    prune.dryRun = true;
    QVERIFY2(pruner.prune(prune, now.addDays(15)), qPrintable(pruner.errorString()));
    QVERIFY(QFileInfo::exists(out + "Foo-patch-v1.0.1.zip"));
    prune.dryRun = false;
    QVERIFY2(pruner.prune(prune, now.addDays(15)), qPrintable(pruner.errorString()));
    const QString trash = dir->filePath("store/trash/") + now.addDays(15).date().toString(Qt::ISODate);
    for (const char *gone : { "Foo-patch-v1.0.1.zip", "Foo-full-v1.0.1.exe", "Foo-delta-v1.0.0-v1.0.1.zip" }) {
        QVERIFY2(!QFileInfo::exists(out + gone), gone);
        QVERIFY2(QFileInfo::exists(trash + "/output/Foo/" + gone), gone);
    }
    for (const char *named : { "Foo-patch-v1.0.2.zip", "Foo-delta-v1.0.1-v1.0.3.zip", "Foo-patch-v1.0.3.zip" })
        QVERIFY2(QFileInfo::exists(out + named), named);
    // And fourteen days after that, the trash is emptied.
    QVERIFY2(pruner.prune(prune, now.addDays(30)), qPrintable(pruner.errorString()));
    QVERIFY(!QFileInfo::exists(trash));

    // Two publishers on one store: the second is refused.
    QLockFile held(dir->filePath("store/publish.lock"));
    QVERIFY(held.tryLock(0));
    Publisher second;
    QVERIFY(!second.publish(r));
    QVERIFY2(second.errorString().contains("another updater-publish is using the store"), qPrintable(second.errorString()));
}

QTEST_GUILESS_MAIN(tst_Publish)
#include "tst_publish.moc"
