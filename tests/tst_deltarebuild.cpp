#include "archive/zipreader.h"
#include "delta/deltaindex.h"
#include "delta/deltarebuild.h"
#include "delta/zstdframes.h"
#include "deltawriter.h"
#include "testutil.h"
#include "transaction/installtransaction.h"
#include "zipwriter.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#endif

namespace {

QByteArray pseudoRandom(qint64 size, quint32 seed)
{
    QByteArray data(int(size), Qt::Uninitialized);
    for (char &c : data) {
        seed = seed * 1103515245u + 12345u;
        c = char(seed >> 24);
    }
    return data;
}

// Everything below \a root: what a refused rebuild must leave as it found it.
QMap<QString, QByteArray> snapshot(const QString &root)
{
    QMap<QString, QByteArray> state;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info(path);
        state.insert(path, info.isDir() ? QByteArray("dir") : info.isFile() ? readFile(path) : QByteArray("special"));
    }
    return state;
}

} // namespace

class tst_DeltaRebuild : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void rebuildsTheNewRelease_data();
    void rebuildsTheNewRelease();
    void refusesWhatDoesNotFit_data();
    void refusesWhatDoesNotFit();
    void publisherChoosesDeltaOrWhole();

private:
    QString writeDelta(const QString &name = QStringLiteral("delta.zip"),
                       DeltaWriter::Methods methods = DeltaWriter::AllMethods);
    QString writeLyingMatches(const QString &lie);
    QString writeMatches(const QByteArray &control, const QByteArray &diff, const QByteArray &extra,
                         const std::function<void(QJsonObject &, QByteArray &)> &change);
    QString rewriteIndex(const QString &delta, const std::function<void(QJsonObject &)> &change);

    QScopedPointer<QTemporaryDir> root;
    QString app;
    QString next;
    QStringList report; // the last writeDelta()'s
};

void tst_DeltaRebuild::init()
{
    root.reset(new QTemporaryDir);
    QVERIFY(root->isValid());
    app = root->filePath("app");
    next = root->filePath("next");
    for (const QString &folder : { app, next })
        QVERIFY(QDir().mkpath(folder + "/lib"));
    const QByteArray program = pseudoRandom(300000, 1);
    QVERIFY(writeFile(app + "/Foo", program));
    QVERIFY(writeFile(app + "/lib/data.bin", pseudoRandom(200000, 2)));
    QByteArray changed = program;
    changed.replace(1000, 4, "NEW!");
    changed.insert(250000, "inserted bytes");
    QVERIFY(writeFile(next + "/Foo", changed));
    QVERIFY(writeFile(next + "/lib/data.bin", pseudoRandom(200000, 2).replace(7, 3, "abc")));
    QVERIFY(writeFile(next + "/lib/new.txt", "a new file"));
}

QString tst_DeltaRebuild::writeDelta(const QString &name, DeltaWriter::Methods methods)
{
    QList<DeltaWriter::File> files;
    QDirIterator it(next, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        // The whole-file patch would hold it deflated: random data as it is.
        files.append({ QDir(next).relativeFilePath(path), path, QFileInfo(path).size() });
    }
    const QString path = root->filePath(name);
    QFile out(path);
    DeltaWriter writer;
    writer.setMethods(methods);
    if (!out.open(QIODevice::ReadWrite) || !writer.write(files, app, &out))
        qWarning("%s", qPrintable(writer.errorString()));
    report = writer.report();
    return path;
}

// A delta of Foo alone as approximate matches made by hand, its streams as given (Zstandard),
// its one segment's index entry changed by \a change: what a lying publisher could send.
QString tst_DeltaRebuild::writeMatches(const QByteArray &control, const QByteArray &diff, const QByteArray &extra,
                                       const std::function<void(QJsonObject &, QByteArray &)> &change)
{
    const QByteArray base = readFile(app + "/Foo");
    const QByteArray result = readFile(next + "/Foo");
    QByteArray data;
    QJsonObject segment;
    for (const auto &stream : { qMakePair(QStringLiteral("control"), control), qMakePair(QStringLiteral("diff"), diff),
                                qMakePair(QStringLiteral("extra"), extra) }) {
        const QByteArray compressed = stream.second.isEmpty()
                ? QByteArray() : ZstdFrames::compressStream(stream.second.constData(), stream.second.size(), 3);
        data += compressed;
        segment.insert(stream.first, QJsonObject { { "codec", "zstd" }, { "window", 1 << 20 },
                                                   { "size", compressed.size() }, { "length", stream.second.size() } });
    }
    change(segment, data);
    const auto sha256 = [](const QByteArray &bytes) {
        return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
    };
    const QJsonObject file { { "name", "Foo" }, { "kind", "matches" }, { "base-size", base.size() },
                             { "base-sha256", sha256(base) }, { "size", result.size() }, { "sha256", sha256(result) },
                             { "mode", 0644 }, { "frames", QJsonArray { segment } } };
    // A packed segment needs the format that brought it.
    const QJsonObject index { { "format", segment.contains("layout") ? 3 : 2 }, { "segment", double(ZstdFrames::SegmentSize) },
                              { "margin", double(ZstdFrames::Margin) }, { "files", QJsonArray { file } } };
    const QString path = root->filePath("matches.zip");
    QFile out(path);
    out.open(QIODevice::WriteOnly);
    ZipWriter writer(&out);
    QBuffer indexData;
    indexData.setData(QJsonDocument(index).toJson());
    indexData.open(QIODevice::ReadOnly);
    QBuffer fileData(&data);
    fileData.open(QIODevice::ReadOnly);
    writer.addFile(DeltaIndex::IndexName, &indexData, QFile::ReadOwner | QFile::WriteOwner, ZipWriter::Stored);
    writer.addFile("files/Foo", &fileData, QFile::ReadOwner | QFile::WriteOwner, ZipWriter::Stored);
    writer.finish();
    return path;
}

// The same archive with its index changed as an attacker (or a bug) would.
QString tst_DeltaRebuild::rewriteIndex(const QString &delta, const std::function<void(QJsonObject &)> &change)
{
    ZipReader reader(delta);
    if (!reader.open())
        return QString();
    const QString path = delta + ".changed.zip";
    QFile out(path);
    out.open(QIODevice::WriteOnly);
    ZipWriter writer(&out);
    for (int i = 0; i < reader.entries().size(); ++i) {
        QBuffer extracted;
        extracted.open(QIODevice::WriteOnly);
        reader.extract(i, &extracted);
        QByteArray bytes = extracted.data();
        if (reader.entries().at(i).name == QLatin1String(DeltaIndex::IndexName)) {
            QJsonObject index = QJsonDocument::fromJson(bytes).object();
            change(index);
            bytes = QJsonDocument(index).toJson();
        }
        QBuffer data(&bytes);
        data.open(QIODevice::ReadOnly);
        writer.addFile(reader.entries().at(i).name, &data, QFile::ReadOwner | QFile::WriteOwner, ZipWriter::Stored);
    }
    writer.finish();
    return path;
}

void tst_DeltaRebuild::rebuildsTheNewRelease_data()
{
    QTest::addColumn<qint64>("bigSize"); // a file of several segments, 0 for none
    QTest::addColumn<int>("methods");
    QTest::addColumn<QString>("kind");   // what the publisher reports for Foo or the big file
    QTest::newRow("small files, frames") << qint64(0) << int(DeltaWriter::PatchFrom) << "delta Foo";
    QTest::newRow("small files, matches") << qint64(0) << int(DeltaWriter::Matches) << "matches Foo";
    QTest::newRow("a program, transformed matches") << qint64(0) << int(DeltaWriter::TransformedMatches)
                                                    << "matches, transformed Foo";
    // Over 16 MiB, the client keeps the transformed base in a scratch file instead of memory.
    QTest::newRow("a program of two segments, transformed matches") << (qint64(20) << 20)
                                                                    << int(DeltaWriter::TransformedMatches)
                                                                    << "matches, transformed Foo";
    QTest::newRow("a file of three segments, frames") << (qint64(33) << 20) << int(DeltaWriter::PatchFrom)
                                                      << "delta big.dat";
    QTest::newRow("a file of three segments, matches") << (qint64(33) << 20) << int(DeltaWriter::Matches)
                                                       << "matches big.dat";
}

void tst_DeltaRebuild::rebuildsTheNewRelease()
{
    QFETCH(qint64, bigSize);
    QFETCH(int, methods);
    QFETCH(QString, kind);
    if (methods & DeltaWriter::TransformedMatches) {
        // A real program (this test's own), its code shifted by an insertion as a new release shifts it.
        QByteArray program = readFile(QCoreApplication::applicationFilePath());
        program += QByteArray(int(bigSize), '\x5a'); // data after the program: its headers stay as they are
        QVERIFY(writeFile(app + "/Foo", program));
        program.insert(program.size() / 3, QByteArray(37, '\x90'));
        QVERIFY(writeFile(next + "/Foo", program));
    }
    if (bigSize > 0 && !(methods & DeltaWriter::TransformedMatches)) {
        // Compressible, so that level 19 is quick; changed in the first and the last segment.
        QByteArray big(int(bigSize), Qt::Uninitialized);
        for (int i = 0; i < big.size(); ++i)
            big[i] = char((i / 4096) * 31 + (i % 7));
        QVERIFY(writeFile(app + "/big.dat", big));
        big.replace(100, 6, "first!");
        big.replace(big.size() - 100, 5, "last!");
        QVERIFY(writeFile(next + "/big.dat", big));
    }
    const QString delta = writeDelta(QStringLiteral("delta.zip"), DeltaWriter::Methods(methods));
    QVERIFY2(report.join('\n').contains("  " + kind + ":"), qPrintable(report.join('\n')));
    InstallTransaction transaction(app);
    QVERIFY(transaction.begin());
    DeltaRebuild rebuild(delta);
    QVERIFY2(rebuild.stageInto(&transaction), qPrintable(rebuild.errorString()));
    QVERIFY2(transaction.commit(), qPrintable(transaction.errorString()));
    QCOMPARE(snapshot(app).keys().size(), snapshot(next).keys().size());
    QDirIterator it(next, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QCOMPARE(readFile(app + "/" + QDir(next).relativeFilePath(path)), readFile(path));
    }
}

// Foo's honest matches (the first 250000 bytes, the 14 inserted, the rest), then \a lie told in them.
QString tst_DeltaRebuild::writeLyingMatches(const QString &lie)
{
    const QByteArray base = readFile(app + "/Foo");
    const QByteArray result = readFile(next + "/Foo");
    QByteArray diff(result.size() - 14, Qt::Uninitialized);
    for (int i = 0; i < diff.size(); ++i)
        diff[i] = char(result.at(i < 250000 ? i : i + 14) - base.at(i));
    const auto triples = [](const QVector<qint64> &values) {
        QByteArray bytes;
        for (const qint64 value : values)
            bytes.append(QByteArray::fromRawData(reinterpret_cast<const char *>(&value), 8)); // little-endian hosts
        return bytes;
    };
    // The honest streams rebuild Foo: each lie below is the only thing wrong.
    const auto rebuilds = [this](const QString &delta) {
        InstallTransaction transaction(app);
        DeltaRebuild honest(delta);
        if (!transaction.begin() || !honest.stageInto(&transaction)) {
            qWarning("the honest matches do not rebuild: %s", qPrintable(honest.errorString()));
            return false;
        }
        return true;
    };
    // Packed: seven bits a byte, the seek zigzag-signed, the triples in groups; the differences as (zeros, byte) pairs, a count
    // of 255 or more as 255 and the rest.
    const auto varint = [](quint64 value) {
        QByteArray bytes;
        for (; value >= 0x80; value >>= 7)
            bytes.append(char(value | 0x80));
        return bytes.append(char(value));
    };
    if (lie.startsWith("packed")) {
        // One group of two: the seeks, the adds, the copies.
        const QByteArray control = lie == "packed-group" ? varint(5000) + varint(0)
                                                         : varint(2) + varint(0) + varint(0) + varint(250000) + varint(50000) + varint(14)
                + varint(0);
        QByteArray pairs;
        qint64 zeros = 0;
        for (const char difference : qAsConst(diff)) {
            if (difference == 0) {
                ++zeros;
                continue;
            }
            pairs += (zeros < 255 ? QByteArray(1, char(zeros)) : '\xff' + varint(quint64(zeros - 255))) + difference;
            zeros = 0;
        }
        const auto packed = [](QJsonObject &segment, QByteArray &) { segment.insert("layout", "packed"); };
        if (lie != "packed-group" && !rebuilds(writeMatches(control, pairs, "inserted bytes", packed)))
            return QString();
        if (lie == "packed-past")
            pairs += '\xff' + varint(quint64(zeros) - 254) + '\x01';
        else if (lie == "packed-cut")
            pairs += '\x05';
        return writeMatches(control, pairs, "inserted bytes", packed);
    }
    QByteArray control = triples({ 0, 250000, 14, 0, 50000, 0 });
    if (!rebuilds(writeMatches(control, diff, "inserted bytes", [](QJsonObject &, QByteArray &) {})))
        return QString();
    std::function<void(QJsonObject &, QByteArray &)> change = [](QJsonObject &, QByteArray &) {};
    if (lie == "matches-length")
        control = triples({ 0, 300015, 0 });
    else if (lie == "matches-before")
        control = triples({ -1, 10, 0 }) + control;
    else if (lie == "matches-past")
        control = triples({ 299995, 10, 0 }) + control;
    else if (lie == "matches-totals")
        control = triples({ 0, 250000, 14 });
    else if (lie == "matches-cut")
        change = [](QJsonObject &segment, QByteArray &data) {
            // The difference stream's second half is missing, and its size says so.
            QJsonObject stream = segment.value("diff").toObject();
            const int size = stream.value("size").toInt();
            data.remove(segment.value("control").toObject().value("size").toInt() + size / 2, size - size / 2);
            stream.insert("size", size / 2);
            segment.insert("diff", stream);
        };
    else if (lie == "matches-dictionary")
        change = [](QJsonObject &segment, QByteArray &) {
            segment.insert("control", QJsonObject { { "codec", "lzma2" }, { "window", 64 << 20 },
                                                    { "size", 100 }, { "length", 48 } });
        };
    return writeMatches(control, diff, "inserted bytes", change);
}

void tst_DeltaRebuild::refusesWhatDoesNotFit_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addColumn<int>("failure");
    QTest::addColumn<QString>("reason");
    QTest::newRow("an installed file changed") << "installed" << int(DeltaRebuild::BaseDiffers)
                                               << "the installed Foo is not the file the delta was made from";
    QTest::newRow("the index lies about a base") << "base-sha256" << int(DeltaRebuild::BaseDiffers)
                                                  << "is not the file the delta was made from";
    QTest::newRow("the index lies about a result") << "sha256" << int(DeltaRebuild::Damaged)
                                                    << "is not the one the delta promises";
    QTest::newRow("a frame declares another size") << "size" << int(DeltaRebuild::Damaged) << "a frame declares";
    QTest::newRow("a damaged frame") << "frame" << int(DeltaRebuild::Damaged) << "cannot be rebuilt";
    QTest::newRow("a frame that asks for a dictionary") << "dictionary" << int(DeltaRebuild::Damaged)
                                                        << "a frame asks for a dictionary";
#ifndef Q_OS_WIN
    // Opening a FIFO by name waits for a writer for ever; the base is checked on its handle.
    QTest::newRow("an installed file swapped for a FIFO") << "fifo" << int(DeltaRebuild::BaseDiffers)
                                                          << "is not the file the delta was made from";
#endif
    QTest::newRow("not the archive the manifest announced") << "expected" << int(DeltaRebuild::Damaged)
                                                             << "not the one the manifest announced";
    QTest::newRow("an index naming a file outside") << "name" << int(DeltaRebuild::Damaged) << "leaves its folder";
    // Approximate matches made by hand, each with one lie in what an honest delta has.
    QTest::newRow("matches: a length past the segment") << "matches-length" << int(DeltaRebuild::Damaged)
                                                        << "a length past the segment";
    QTest::newRow("matches: a seek before the base region") << "matches-before" << int(DeltaRebuild::Damaged)
                                                            << "a seek outside the base region";
    QTest::newRow("matches: a seek past the base region") << "matches-past" << int(DeltaRebuild::Damaged)
                                                          << "a seek outside the base region";
    QTest::newRow("matches: totals that do not add up") << "matches-totals" << int(DeltaRebuild::Damaged)
                                                        << "do not add up to the segment";
    QTest::newRow("matches: a stream that ends early") << "matches-cut" << int(DeltaRebuild::Damaged)
                                                       << "a stream ends early";
    QTest::newRow("packed matches: differences past the segment") << "packed-past" << int(DeltaRebuild::Damaged)
                                                                 << "a length past the segment";
    QTest::newRow("packed matches: a group larger than any") << "packed-group" << int(DeltaRebuild::Damaged)
                                                             << "a group of 5000 matches";
    QTest::newRow("packed matches: a pair cut short") << "packed-cut" << int(DeltaRebuild::Damaged)
                                                      << "the differences end inside a pair";
    QTest::newRow("matches: a dictionary too large") << "matches-dictionary" << int(DeltaRebuild::Damaged)
                                                     << "a stream asks for a window larger than 8 MiB";
}

void tst_DeltaRebuild::refusesWhatDoesNotFit()
{
    QFETCH(QString, damage);
    QFETCH(int, failure);
    QFETCH(QString, reason);
    // The frames' rows damage Foo's frames: it is made as frames alone.
    QString delta = writeDelta(QStringLiteral("delta.zip"), DeltaWriter::PatchFrom);
    const auto onFoo = [&](const std::function<void(QJsonObject &)> &change) {
        return rewriteIndex(delta, [&](QJsonObject &index) {
            QJsonArray files = index.value("files").toArray();
            for (int i = 0; i < files.size(); ++i) {
                QJsonObject file = files.at(i).toObject();
                if (file.value("name").toString() == "Foo")
                    change(file);
                files[i] = file;
            }
            index.insert("files", files);
        });
    };
    const QString lie = QString(64, QLatin1Char('a'));
    if (damage == "installed")
        QVERIFY(writeFile(app + "/Foo", "the user's own program"));
    else if (damage == "base-sha256" || damage == "sha256")
        delta = onFoo([&](QJsonObject &file) { file.insert(damage, lie); });
    else if (damage == "size")
        delta = onFoo([](QJsonObject &file) { file.insert("size", file.value("size").toDouble() + 1); });
    else if (damage == "name")
        delta = onFoo([](QJsonObject &file) { file.insert("name", "../Foo"); });
    else if (damage == "frame") {
        QByteArray bytes = readFile(delta);
        const int at = bytes.indexOf(QByteArray("files/Foo")) + 200;
        bytes[at] = char(bytes.at(at) ^ 0x20);
        QVERIFY(writeFile(delta, bytes));
    } else if (damage == "dictionary") {
        // The first frame's descriptor says a four-byte dictionary ID follows.
        QByteArray bytes = readFile(delta);
        const int at = bytes.indexOf(QByteArray("\x28\xb5\x2f\xfd"), bytes.indexOf(QByteArray("files/Foo")));
        QVERIFY(at > 0);
        bytes[at + 4] = char(bytes.at(at + 4) | 0x03);
        QVERIFY(writeFile(delta, bytes));
    } else if (damage.startsWith("matches") || damage.startsWith("packed")) {
        delta = writeLyingMatches(damage);
        QVERIFY(!delta.isEmpty());
    } else if (damage == "fifo") {
#ifndef Q_OS_WIN
        QVERIFY(QFile::remove(app + "/Foo"));
        QVERIFY(::mkfifo(QFile::encodeName(app + "/Foo").constData(), 0644) == 0);
#endif
    }
    const auto before = snapshot(app);
    {
        InstallTransaction transaction(app);
        QVERIFY(transaction.begin());
        DeltaRebuild rebuild(delta);
        if (damage == "expected")
            rebuild.setExpected(QFileInfo(delta).size(), QCryptographicHash::hash("other", QCryptographicHash::Sha256));
        QVERIFY(!rebuild.stageInto(&transaction));
        QCOMPARE(int(rebuild.failure()), failure);
        QVERIFY2(rebuild.errorString().contains(reason), qPrintable(rebuild.errorString()));
    }
    // Not committed: the staging is gone with the transaction, the application as it was.
    QCOMPARE(snapshot(app), before);
}

void tst_DeltaRebuild::publisherChoosesDeltaOrWhole()
{
    // Rewritten through and through: a delta would gain nothing over the file compressed.
    QVERIFY(writeFile(next + "/lib/data.bin", pseudoRandom(200000, 99)));
    const QString delta = writeDelta();
    ZipReader reader(delta);
    QVERIFY(reader.open());
    QBuffer data;
    data.open(QIODevice::WriteOnly);
    QVERIFY(reader.extract(0, &data));
    DeltaIndex index;
    QString error;
    QVERIFY2(DeltaIndex::parse(data.data(), &index, &error), qPrintable(error));
    QStringList kinds;
    for (const DeltaIndex::File &file : index.files)
        kinds << file.name + (file.kind == DeltaIndex::Whole ? " whole" : " delta");
    kinds.sort();
    QCOMPARE(kinds, QStringList({ "Foo delta", "lib/data.bin whole", "lib/new.txt whole" }));
    // A few bytes changed in a 300 kB random file: the delta is a small fraction of it.
    QVERIFY(QFileInfo(delta).size() < 200000 + 20000);

    // Written on Windows, entries carry no mode: the replaced file keeps its own (a program stays one).
    SKIP_WITHOUT_MODE_BITS();
    const QFile::Permissions program = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadUser
            | QFile::WriteUser | QFile::ExeUser;
    QVERIFY(QFile::setPermissions(app + "/lib/data.bin", program));
    const QString modeless = rewriteIndex(delta, [](QJsonObject &index) {
        QJsonArray files = index.value("files").toArray();
        for (int i = 0; i < files.size(); ++i) {
            QJsonObject file = files.at(i).toObject();
            file.insert("mode", 0);
            files[i] = file;
        }
        index.insert("files", files);
    });
    InstallTransaction transaction(app);
    QVERIFY(transaction.begin());
    DeltaRebuild rebuild(modeless);
    QVERIFY2(rebuild.stageInto(&transaction), qPrintable(rebuild.errorString()));
    QVERIFY2(transaction.commit(), qPrintable(transaction.errorString()));
    QCOMPARE(readFile(app + "/lib/data.bin"), readFile(next + "/lib/data.bin"));
    QCOMPARE(QFile::permissions(app + "/lib/data.bin") & program, program);
}

QTEST_MAIN(tst_DeltaRebuild)
#include "tst_deltarebuild.moc"
