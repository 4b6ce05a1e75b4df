#include "delta/branchtransform.h"
#include "delta/resultwriter.h"
#include "executableranges.h"

#include <QBuffer>
#include <QFile>
#include <QRandomGenerator>
#include <QtTest>

namespace {

// \a data through a transform fed \a chunk bytes at a time, as a rebuild feeds it.
QByteArray transformed(const QByteArray &data, BranchTransform::Machine machine, const BranchTransform::Ranges &ranges,
                       BranchTransform::Direction direction, qint64 chunk)
{
    BranchTransform transform(machine, ranges, direction);
    QByteArray out;
    QByteArray pending;
    for (qint64 at = 0; at < data.size() || !pending.isEmpty();) {
        const qint64 now = qMin<qint64>(chunk, data.size() - at);
        pending += data.mid(int(at), int(now));
        at += now;
        const bool last = at == data.size();
        const qint64 done = transform.process(pending.data(), pending.size(), last);
        out += pending.left(int(done));
        pending.remove(0, int(done));
        if (last && !pending.isEmpty())
            return QByteArray("bytes held back at the end");
    }
    return out;
}

// The same through a result writer, written \a chunk bytes at a time: its thread transforms each of
// its own chunks, led by what the transform held back of the one before.
QByteArray throughWriter(const QByteArray &data, BranchTransform::Machine machine, const BranchTransform::Ranges &ranges,
                         BranchTransform::Direction direction, qint64 chunk)
{
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    ResultWriter writer(&out);
    writer.setTransform(machine, ranges, direction);
    for (qint64 at = 0; at < data.size(); at += chunk)
        writer.write(data.constData() + at, qMin<qint64>(chunk, data.size() - at));
    if (!writer.finish() || writer.written() != data.size())
        return QByteArray("the writer failed");
    return out.data();
}

} // namespace

class tst_BranchTransform : public QObject
{
    Q_OBJECT

private slots:
    void exactOnAnyInput_data();
    void exactOnAnyInput();
};

void tst_BranchTransform::exactOnAnyInput_data()
{
    QTest::addColumn<int>("machine");
    QTest::addColumn<QString>("input");
    QTest::addColumn<qint64>("chunk");
    QTest::addColumn<bool>("viaWriter");
    for (const int machine : { int(BranchTransform::X86_64), int(BranchTransform::Arm64) }) {
        const QString name = BranchTransform::machineName(BranchTransform::Machine(machine));
        // Random bytes are full of opcodes and fields cut at every chunk boundary.
        for (const qint64 chunk : { qint64(1), qint64(7), qint64(4096), qint64(1) << 30 }) {
            QTest::addRow("%s, random bytes, %lld-byte chunks", qPrintable(name), chunk) << machine << "random" << chunk << false;
            QTest::addRow("%s, ranges past the end, %lld-byte chunks", qPrintable(name), chunk) << machine << "past" << chunk << false;
        }
        // Bytes over several of the writer's chunks, given in odd pieces and whole.
        for (const qint64 chunk : { qint64(4093), qint64(1) << 30 })
            QTest::addRow("%s, through the result writer, %lld-byte writes", qPrintable(name), chunk) << machine << "large" << chunk << true;
    }
    // A far value (not converted) whose bytes a later call's field would overlap.
    QTest::newRow("x86-64, a call within a far value") << int(BranchTransform::X86_64) << "overlap" << (qint64(1) << 30) << false;
    // A real program: this test's own, through the section table or program headers.
    QTest::newRow("this program") << int(BranchTransform::X86_64) << "self" << qint64(65536) << false;
    QTest::newRow("this program, odd chunks") << int(BranchTransform::X86_64) << "self" << qint64(4093) << false;
}

void tst_BranchTransform::exactOnAnyInput()
{
    QFETCH(int, machine);
    QFETCH(QString, input);
    QFETCH(qint64, chunk);
    QFETCH(bool, viaWriter);
    QByteArray data;
    BranchTransform::Ranges ranges;
    if (input == "self") {
        QFile self(QCoreApplication::applicationFilePath());
        QVERIFY(self.open(QIODevice::ReadOnly));
        const ExecutableRanges::Found found = ExecutableRanges::read(&self);
        QCOMPARE(int(found.machine), machine);
        data = self.readAll();
        ranges = found.ranges;
    } else if (input == "overlap") {
        data = QByteArray(9, '\xe8') + QByteArray(3, '\0') + QByteArray(9, '\xe8') + QByteArray(3, '\0');
        ranges = { { 0, data.size(), 0x400000 } };
    } else {
        QRandomGenerator random(quint32(machine * 1000 + chunk));
        data.resize(input == "large" ? 3 << 20 : 200000);
        random.fillRange(reinterpret_cast<quint32 *>(data.data()), data.size() / 4);
        // Unaligned ranges at odd addresses, one ending a byte before the next starts.
        ranges = { { 3, 50001, 0x401001 }, { 50005, 70000, 0x7fff0000 }, { 130000, 60000, 0x10 } };
        if (input == "past")
            ranges.append({ 199990, 4000, 0x5000 }); // a lie: beyond the bytes
        if (input == "large")
            ranges = { { 1001, data.size() - 2000, 0x401001 } };
    }
    const auto kind = BranchTransform::Machine(machine);
    const auto run = viaWriter ? throughWriter : transformed;
    const QByteArray forward = run(data, kind, ranges, BranchTransform::Forward, chunk);
    QVERIFY(forward != data); // it did convert something
    QCOMPARE(forward.size(), data.size());
    // The same whatever the chunks, and exactly undone.
    QVERIFY(forward == transformed(data, kind, ranges, BranchTransform::Forward, qint64(1) << 30));
    QVERIFY(run(forward, kind, ranges, BranchTransform::Inverse, chunk) == data);
}

QTEST_MAIN(tst_BranchTransform)
#include "tst_branchtransform.moc"
