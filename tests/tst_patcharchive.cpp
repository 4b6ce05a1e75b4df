#include "archive/patcharchive.h"
#include "archive/zipreader.h"
#include "names/namerules.h"
#include "testutil.h"

#include <private/qzipwriter_p.h>

#include <QDirIterator>
#include <QTemporaryDir>
#include <QtTest>

#include <zlib.h>

using Entries = QList<QPair<QString, QByteArray>>;

namespace {

void put16(QByteArray *out, quint32 v)
{
    out->append(char(v & 0xff));
    out->append(char((v >> 8) & 0xff));
}

void put32(QByteArray *out, quint32 v)
{
    put16(out, v & 0xffff);
    put16(out, v >> 16);
}

void put64(QByteArray *out, quint64 v)
{
    put32(out, quint32(v));
    put32(out, quint32(v >> 32));
}

// One entry of a hand-made archive, for the shapes other zip tools write
// and the shapes attackers write.
struct Raw
{
    QByteArray name;
    QByteArray data;
    quint32 madeBy = 0x031e;       // Unix, zip 3.0
    quint32 mode = 0100644;        // Unix mode, in the high half of the attributes
    quint32 flags = 0x0800;        // UTF-8 names
    bool deflate = true;
    bool descriptor = false;       // sizes after the data, zero in the local header
    bool zip64 = false;            // sizes and offset in a zip64 extra field
    qint64 claimedSize = -1;       // a size other than the real one, in both headers
    QByteArray localName;          // a local header name other than the directory's
    QByteArray extra;              // extra fields of the directory record
    int sharesDataOf = -1;         // points at another entry's local header
    qint64 at = -1;                // points at this offset; no local header of its own
    qint64 localSize = -1;         // a size in the local header other than the directory's
};

QByteArray deflateRaw(const QByteArray &data)
{
    z_stream stream {};
    deflateInit2(&stream, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(int(deflateBound(&stream, uLong(data.size()))), '\0');
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
    stream.avail_in = uInt(data.size());
    stream.next_out = reinterpret_cast<Bytef *>(out.data());
    stream.avail_out = uInt(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(int(stream.total_out));
    deflateEnd(&stream);
    return out;
}

QByteArray buildZip(const QList<Raw> &entries, bool zip64End = false)
{
    QByteArray zip;
    QByteArray directory;
    QVector<quint32> offsets;
    for (const Raw &e : entries) {
        const QByteArray body = e.deflate ? deflateRaw(e.data) : e.data;
        const quint32 crc = quint32(crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef *>(e.data.constData()),
                                          uInt(e.data.size())));
        const quint32 size = quint32(e.claimedSize >= 0 ? e.claimedSize : e.data.size());
        const quint32 offset = e.at >= 0 ? quint32(e.at)
                : e.sharesDataOf >= 0 ? offsets.at(e.sharesDataOf) : quint32(zip.size());
        offsets.append(offset);
        const quint32 flags = e.flags | (e.descriptor ? 0x0008 : 0);
        const quint32 method = e.deflate ? 8 : 0;
        QByteArray zip64Local;
        if (e.zip64) {
            put16(&zip64Local, 1);
            put16(&zip64Local, 16);
            put64(&zip64Local, size);
            put64(&zip64Local, quint64(body.size()));
        }
        if (e.sharesDataOf < 0 && e.at < 0) {
            const QByteArray localName = e.localName.isEmpty() ? e.name : e.localName;
            put32(&zip, 0x04034b50);
            put16(&zip, e.zip64 ? 45 : 20);
            put16(&zip, flags);
            put16(&zip, method);
            put32(&zip, 0);
            put32(&zip, e.descriptor ? 0 : crc);
            put32(&zip, e.descriptor ? 0 : e.zip64 ? 0xffffffff : quint32(body.size()));
            put32(&zip, e.descriptor ? 0 : e.zip64 ? 0xffffffff : e.localSize >= 0 ? quint32(e.localSize) : size);
            put16(&zip, quint32(localName.size()));
            put16(&zip, quint32(zip64Local.size()));
            zip += localName + zip64Local + body;
            if (e.descriptor) {
                put32(&zip, 0x08074b50);
                put32(&zip, crc);
                put32(&zip, quint32(body.size()));
                put32(&zip, size);
            }
        }
        QByteArray extra = e.extra;
        if (e.zip64) {
            put16(&extra, 1);
            put16(&extra, 24);
            put64(&extra, size);
            put64(&extra, quint64(body.size()));
            put64(&extra, offset);
        }
        put32(&directory, 0x02014b50);
        put16(&directory, e.madeBy);
        put16(&directory, e.zip64 ? 45 : 20);
        put16(&directory, flags);
        put16(&directory, method);
        put32(&directory, 0);
        put32(&directory, crc);
        put32(&directory, e.zip64 ? 0xffffffff : quint32(body.size()));
        put32(&directory, e.zip64 ? 0xffffffff : size);
        put16(&directory, quint32(e.name.size()));
        put16(&directory, quint32(extra.size()));
        put16(&directory, 0);
        put16(&directory, 0);
        put16(&directory, 0);
        put32(&directory, e.mode << 16);
        put32(&directory, e.zip64 ? 0xffffffff : offset);
        directory += e.name + extra;
    }
    const quint32 start = quint32(zip.size());
    zip += directory;
    if (zip64End) {
        const quint32 record = quint32(zip.size());
        put32(&zip, 0x06064b50);
        put64(&zip, 44);
        put16(&zip, 45);
        put16(&zip, 45);
        put32(&zip, 0);
        put32(&zip, 0);
        put64(&zip, quint64(entries.size()));
        put64(&zip, quint64(entries.size()));
        put64(&zip, quint64(directory.size()));
        put64(&zip, start);
        put32(&zip, 0x07064b50);
        put32(&zip, 0);
        put64(&zip, record);
        put32(&zip, 1);
    }
    put32(&zip, 0x06054b50);
    put16(&zip, 0);
    put16(&zip, 0);
    put16(&zip, zip64End ? 0xffff : quint32(entries.size()));
    put16(&zip, zip64End ? 0xffff : quint32(entries.size()));
    put32(&zip, zip64End ? 0xffffffff : quint32(directory.size()));
    put32(&zip, zip64End ? 0xffffffff : start);
    put16(&zip, 0);
    return zip;
}

Raw file(const QByteArray &name, const QByteArray &data)
{
    Raw raw;
    raw.name = name;
    raw.data = data;
    return raw;
}

template<typename F>
Raw file(const QByteArray &name, const QByteArray &data, F change)
{
    Raw raw = file(name, data);
    change(raw);
    return raw;
}

} // namespace

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
    void readsWhatZipToolsWrite_data();
    void readsWhatZipToolsWrite();
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
    QVERIFY(QFile::setPermissions(app + "/Foo", QFile::permissions(app + "/Foo") | QFile::ExeOwner | QFile::ExeUser
                                  | QFile::ExeGroup | QFile::ExeOther));
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
    SKIP_WITHOUT_MODE_BITS();
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
    // The tool's own working names: recovery and the next download would read them as theirs.
    QTest::newRow("a planted journal") << ".update-transaction-zz/journal.json";
    QTest::newRow("a staging folder, any case") << ".Update-Staging-x/Foo";
    QTest::newRow("the lock") << ".update.lock";
    QTest::newRow("a part file") << "Foo-patch-v2.zip.part";
    QTest::newRow("a side file") << "Foo-patch-v2.zip.RESUME";
    // What Windows cannot hold as given, refused everywhere: the same patch serves it.
    QTest::newRow("a device name") << "CON";
    QTest::newRow("a device name with an extension, in a folder") << "lib/com1.dll";
    QTest::newRow("a character Windows forbids") << "what?.txt";
    QTest::newRow("a trailing dot") << "Foo.";
    QTest::newRow("a folder with a trailing space") << "lib /a.dll";
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
    QTest::addColumn<QString>("reason");
    const QByteArray good = makeZip({ { "Foo", QByteArray(4000, 'a') + "new program" }, { "b", "bbbb" } });
    QByteArray flipped = good;
    flipped[60] = char(flipped.at(60) ^ 0x5a); // inside the first entry's data
    QTest::newRow("data damaged") << flipped << QStringLiteral("inflates beyond");
    // A directory that claims 2 GB for a few bytes: a bomb, refused before inflating.
    QByteArray bomb = good;
    const int central = bomb.indexOf(QByteArray("PK\x01\x02", 4));
    QVERIFY(central > 0);
    bomb[central + 24] = '\xff';
    bomb[central + 25] = '\xff';
    bomb[central + 26] = '\xff';
    bomb[central + 27] = '\x7f';
    QTest::newRow("impossible size") << bomb << QStringLiteral("impossible size");
    QTest::newRow("cut in half") << good.left(good.size() / 2) << QStringLiteral("not a readable zip");
    QTest::newRow("directory cut off") << good.left(good.size() - 10) << QStringLiteral("not a readable zip");
    QTest::newRow("not a zip") << QByteArray("<html>not found</html>") << QStringLiteral("not a readable zip");
    QTest::newRow("empty file") << QByteArray() << QStringLiteral("not a readable zip");
    QTest::newRow("no files") << makeZip({ { "only-a-folder/", {} } }) << QStringLiteral("holds no files");
    QTest::newRow("the same name twice") << makeZip({ { "Foo", "one" }, { "Foo", "two" } }) << QStringLiteral("appears twice");
    QTest::newRow("the same name twice after decoding")
            << buildZip({ file("\x82t\x82", "cp437", [](Raw &r) { r.flags = 0; }), file("\xc3\xa9t\xc3\xa9", "utf-8") }) << QStringLiteral("appears twice");
    const QByteArray big(300000, 'z');
    QTest::newRow("inflates past its declared size")
            << buildZip({ file("Foo", big, [](Raw &r) { r.claimedSize = 1000; }) }) << QStringLiteral("inflates beyond its declared 1000 bytes");
    // The second entry's header and data lie inside the first one's data.
    const QByteArray inner = buildZip({ file("Bar", big) });
    QTest::newRow("overlapping entries")
            << buildZip({ file("Foo", inner.left(inner.indexOf("PK\x01\x02")), [](Raw &r) { r.deflate = false; }),
                          file("Bar", big, [](Raw &r) { r.at = 30 + 3; }) }) << QStringLiteral("overlap");
    QTest::newRow("local header names another file")
            << buildZip({ file("Foo", "new", [](Raw &r) { r.localName = "Bar"; }) }) << QStringLiteral("local header disagrees");
    QTest::newRow("local header with other sizes")
            << buildZip({ file("Foo", "new", [](Raw &r) { r.localSize = 4; }) }) << QStringLiteral("local header disagrees");
    QTest::newRow("a file that is also a folder") << buildZip({ file("lib", "x"), file("lib/a", "y") }) << QStringLiteral("both a file and a folder");
    QTest::newRow("a device node") << buildZip({ file("Foo", "x", [](Raw &r) { r.mode = 020644; }) }) << QStringLiteral("neither a file nor a folder");
    QTest::newRow("encrypted") << buildZip({ file("Foo", "x", [](Raw &r) { r.flags |= 1; }) }) << QStringLiteral("encrypted");
    // One file on Windows: the second move aside would overwrite the first one's backup.
    QTest::newRow("names that differ in case") << makeZip({ { "Foo", "one" }, { "foo", "two" } })
                                               << QStringLiteral("are one file on Windows");
    QTest::newRow("a folder and a file that differ in case")
            << makeZip({ { "lib/a.dll", "one" }, { "LIB", "two" } }) << QStringLiteral("both a file and a folder");
    // Another end record in the comment: other readers would list other entries.
    QByteArray hidden = good;
    const QByteArray other = makeZip({ { "Foo", "hidden program" } });
    hidden[hidden.size() - 2] = char(other.size() & 0xff);
    hidden[hidden.size() - 1] = char(other.size() >> 8);
    hidden += other;
    QTest::newRow("a second end record in the comment") << hidden << QStringLiteral("ambiguous");
    QByteArray fewer = good;
    fewer[fewer.size() - 12] = 1; // entries on this disk and in all: the directory holds two
    fewer[fewer.size() - 14] = 1;
    QTest::newRow("an end record that counts fewer entries") << fewer << QStringLiteral("ambiguous");
    QTest::newRow("bytes after the end record") << good + "trailing" << QStringLiteral("ambiguous");
}

void tst_PatchArchive::refusesDamagedArchives()
{
    QFETCH(QByteArray, zip);
    QFETCH(QString, reason);
    const QString path = writeArchive(zip);
    const auto before = snapshot();
    PatchArchive archive(path);
    QVERIFY(!archive.check());
    QVERIFY(!archive.extractTo(app));
    QVERIFY2(archive.errorString().contains(reason), qPrintable(archive.errorString()));
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

void tst_PatchArchive::readsWhatZipToolsWrite_data()
{
    QTest::addColumn<QByteArray>("zip");
    QTest::addColumn<QStringList>("expected"); // "name mode" of every file written, sorted

    QTest::newRow("dot names") << buildZip({ file(".env", "A=1"), file(".config/app.ini", "[x]") })
                               << QStringList { ".config/app.ini 644", ".env 644" };
    QTest::newRow("folder entry without attributes (jar)")
            << buildZip({ file("somedir/", {}, [](Raw &r) { r.madeBy = 20; r.mode = 0; r.deflate = false; }),
                          file("somedir/a.class", "cafe", [](Raw &r) { r.madeBy = 20; r.mode = 0; }) })
            << QStringList { "somedir/a.class 644" };
    QTest::newRow("data descriptors")
            << buildZip({ file("Foo", QByteArray(5000, 'f'), [](Raw &r) { r.descriptor = true; }),
                          file("b", "stored", [](Raw &r) { r.descriptor = true; r.deflate = false; }) })
            << QStringList { "Foo 644", "b 644" };
    QTest::newRow("zip64 records")
            << buildZip({ file("Foo", "zip64 data", [](Raw &r) { r.zip64 = true; }) }, true)
            << QStringList { "Foo 644" };
    QTest::newRow("code page 437 name")
            << buildZip({ file("\x82t\x82.txt", "summer", [](Raw &r) { r.flags = 0; }) })
            << QStringList { QString::fromUtf8("\xc3\xa9t\xc3\xa9.txt 644") };
    QByteArray unicodePath;
    {
        const QByteArray stored = "ete.txt";
        const QByteArray utf8 = QString::fromUtf8("\xc3\xa9t\xc3\xa9.txt").toUtf8();
        put16(&unicodePath, 0x7075);
        put16(&unicodePath, quint32(5 + utf8.size()));
        unicodePath.append(char(1));
        put32(&unicodePath, quint32(crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef *>(stored.constData()),
                                         uInt(stored.size()))));
        unicodePath += utf8;
    }
    QTest::newRow("Info-ZIP Unicode path")
            << buildZip({ file("ete.txt", "summer", [&](Raw &r) { r.flags = 0; r.extra = unicodePath; }) })
            << QStringList { QString::fromUtf8("\xc3\xa9t\xc3\xa9.txt 644") };
    QTest::newRow("made on NTFS, macOS and system 7")
            << buildZip({ file("a", "1", [](Raw &r) { r.madeBy = 0x0a14; r.mode = 0; }),
                          file("b", "2", [](Raw &r) { r.madeBy = 0x1314; r.mode = 0; }),
                          file("c", "3", [](Raw &r) { r.madeBy = 0x0714; r.mode = 0; }) })
            << QStringList { "a 644", "b 644", "c 644" };
    // Info-ZIP's zip on Linux and macOS stores UTF-8 without the flag.
    QTest::newRow("unflagged UTF-8 made on Unix")
            << buildZip({ file("\xc3\xa9t\xc3\xa9.txt", "summer", [](Raw &r) { r.flags = 0; }) })
            << QStringList { QString::fromUtf8("\xc3\xa9t\xc3\xa9.txt 644") };
    // Made on Windows, without modes: the program stays executable, a new file is readable by all.
    QTest::newRow("no modes: a replaced file keeps its own")
            << buildZip({ file("Foo", "new", [](Raw &r) { r.madeBy = 0x0a14; r.mode = 0; }),
                          file("new.txt", "n", [](Raw &r) { r.madeBy = 0x0a14; r.mode = 0; }) })
            << QStringList { "Foo 755", "new.txt 644" };
    QTest::newRow("set-ID, sticky and world-writable bits dropped")
            << buildZip({ file("Foo", "x", [](Raw &r) { r.mode = 0107777; }),
                          file("tool", "y", [](Raw &r) { r.mode = 0104755; }) })
            << QStringList { "Foo 775", "tool 755" };
}

void tst_PatchArchive::readsWhatZipToolsWrite()
{
    QFETCH(QByteArray, zip);
    QFETCH(QStringList, expected);
    const QString path = writeArchive(zip);
    const auto before = snapshot();
    PatchArchive archive(path);
    QVERIFY2(archive.extractTo(app), qPrintable(archive.errorString()));
    QStringList written;
    const auto after = snapshot();
    for (auto it = after.cbegin(); it != after.cend(); ++it) {
        const QFileInfo info(it.key());
        if (before.value(it.key()) == it.value() || info.isDir())
            continue;
        const QFile::Permissions p = info.permissions();
        const int mode = (p & QFile::ReadOwner ? 0400 : 0) | (p & QFile::WriteOwner ? 0200 : 0)
                | (p & QFile::ExeOwner ? 0100 : 0) | (p & QFile::ReadGroup ? 040 : 0)
                | (p & QFile::WriteGroup ? 020 : 0) | (p & QFile::ExeGroup ? 010 : 0)
                | (p & QFile::ReadOther ? 04 : 0) | (p & QFile::WriteOther ? 02 : 0) | (p & QFile::ExeOther ? 01 : 0);
        written << QDir(app).relativeFilePath(it.key()) + QLatin1Char(' ') + QString::number(mode, 8);
    }
    written.sort();
#ifdef Q_OS_WIN
    // Windows files have no mode bits: the names must still match.
    for (QStringList *list : { &written, &expected })
        for (QString &line : *list)
            line = line.section(QLatin1Char(' '), 0, -2);
#endif
    QCOMPARE(written, expected);
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
