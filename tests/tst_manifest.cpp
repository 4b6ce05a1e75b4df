#include "manifest/manifest.h"

#include <QtTest>

class tst_Manifest : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void notJson_data();
    void notJson();
    void fuzzRegressions();
    void decision_data();
    void decision();
    void patchFit_data();
    void patchFit();
};

void tst_Manifest::parse_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QStringList>("strings"); // changelog, patch, full, time, cnt, patch-url, full-url
    QTest::addColumn<bool>("downloadFull");

    QTest::newRow("complete record")
        << QByteArray(R"({"updates":{"windows":{"changelog":"fixes","patch-version":"1.2.4",
                      "full-version":"1.3.0","modify-time":"1700000000","modifyCnt":"5",
                      "download-full":true,"patch-url":"https://h/p/","full-url":"https://h/f/"}}})")
        << QStringList{ "fixes", "1.2.4", "1.3.0", "1700000000", "5", "https://h/p/", "https://h/f/" } << true;
    QTest::newRow("numbers read as empty strings")
        << QByteArray(R"({"updates":{"windows":{"patch-version":1.2,"modify-time":1700000000,"modifyCnt":5}}})")
        << QStringList{ "", "", "", "", "", "", "" } << false;
    QTest::newRow("quoted true is not a boolean")
        << QByteArray(R"({"updates":{"windows":{"download-full":"true"}}})")
        << QStringList{ "", "", "", "", "", "", "" } << false;
    QTest::newRow("other platforms ignored")
        << QByteArray(R"({"updates":{"linux":{"patch-version":"9"},"windows":{"patch-version":"2"}}})")
        << QStringList{ "", "2", "", "", "", "", "" } << false;
    QTest::newRow("keys are case-sensitive")
        << QByteArray(R"({"updates":{"windows":{"Patch-Version":"2","modifycnt":"3"}}})")
        << QStringList{ "", "", "", "", "", "", "" } << false;
    QTest::newRow("empty object") << QByteArray("{}") << QStringList{ "", "", "", "", "", "", "" } << false;
    QTest::newRow("top-level array") << QByteArray(R"([{"updates":{}}])")
                                     << QStringList{ "", "", "", "", "", "", "" } << false;
    QTest::newRow("updates not an object")
        << QByteArray(R"({"updates":["windows"]})") << QStringList{ "", "", "", "", "", "", "" } << false;
}

void tst_Manifest::parse()
{
    QFETCH(QByteArray, body);
    QFETCH(QStringList, strings);
    QFETCH(bool, downloadFull);

    ManifestRecord record;
    record.changelog = QStringLiteral("stale"); // every parse overwrites every field
    record.downloadFull = !downloadFull;
    QVERIFY(parseManifest(body, QStringLiteral("windows"), &record));
    const QStringList got{ record.changelog, record.patchVersion, record.fullVersion, record.modifyTime,
                           record.modifyCnt, record.patchUrlPrefix, record.fullUrlPrefix };
    QCOMPARE(got, strings);
    QCOMPARE(record.downloadFull, downloadFull);
}

void tst_Manifest::notJson_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::newRow("empty body") << QByteArray();
    QTest::newRow("html page") << QByteArray("<html><body>Not Found</body></html>");
    QTest::newRow("truncated") << QByteArray(R"({"updates":{"windows":{"patch-version":"1.)");
}

void tst_Manifest::notJson()
{
    QFETCH(QByteArray, body);
    ManifestRecord record;
    record.patchVersion = QStringLiteral("kept");
    QVERIFY(!parseManifest(body, QStringLiteral("windows"), &record));
    QCOMPARE(record.patchVersion, QStringLiteral("kept"));
}

// Inputs the fuzzer once flagged: read without a crash (or a leak of ours).
void tst_Manifest::fuzzRegressions()
{
    const QDir dir(QStringLiteral(FUZZ_REGRESSIONS "/manifest"));
    const QStringList inputs = dir.entryList(QDir::Files);
    QVERIFY(!inputs.isEmpty());
    for (const QString &name : inputs) {
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::ReadOnly));
        ManifestRecord record;
        parseManifest(file.readAll(), QStringLiteral("windows"), &record);
    }
}

void tst_Manifest::decision_data()
{
    QTest::addColumn<QString>("current");
    QTest::addColumn<QString>("latest");
    QTest::addColumn<QString>("latestTime");
    QTest::addColumn<QString>("latestCnt");
    QTest::addColumn<QString>("currentTime");
    QTest::addColumn<QString>("currentCnt");
    QTest::addColumn<bool>("expected");

    // Version parts; equal modification values so only the versions speak.
    QTest::newRow("1.2.3 -> 1.2.4: newer") << "1.2.3" << "1.2.4" << "0" << "0" << "0" << "0" << true;
    QTest::newRow("1.3.0 -> 1.2.9: no downgrade") << "1.3.0" << "1.2.9" << "0" << "0" << "0" << "0" << false;
    QTest::newRow("2.0 -> 1.5: no downgrade") << "2.0" << "1.5" << "0" << "0" << "0" << "0" << false;
    QTest::newRow("1.2.3 -> 1.2.3: modification rules") << "1.2.3" << "1.2.3" << "0" << "0" << "0" << "0" << false;
    QTest::newRow("1.10 -> 1.9: modification rules") << "1.10" << "1.9" << "0" << "0" << "0" << "0" << false;
    QTest::newRow("1.9 -> 1.10: numeric, not text") << "1.9" << "1.10" << "0" << "0" << "0" << "0" << true;
    QTest::newRow("1.2 -> 1.2.0: lengths differ") << "1.2" << "1.2.0" << "0" << "0" << "0" << "0" << true;
    QTest::newRow("1.2.3 -> empty: lengths differ") << "1.2.3" << "" << "0" << "0" << "0" << "0" << true;
    QTest::newRow("v1.2 -> v1.3: letters count as 0") << "v1.2" << "v1.3" << "0" << "0" << "0" << "0" << true;
    QTest::newRow("empty -> empty: modification rules") << "" << "" << "0" << "0" << "0" << "0" << false;
    QTest::newRow("-1 -> 0: negative counts as 0") << "-1" << "0" << "0" << "0" << "0" << "0" << false;
    QTest::newRow("4294967296 -> 1: beyond 32 bits is 0") << "4294967296" << "1" << "0" << "0" << "0" << "0" << true;
    QTest::newRow("2.0 -> 1.5 with newer time: time decides") << "2.0" << "1.5" << "9" << "0" << "1" << "0" << true;

    // Modification rules, versions equal.
    QTest::newRow("time greater") << "1" << "1" << "1700000000" << "" << "0" << "" << true;
    QTest::newRow("time equal") << "1" << "1" << "1700000000" << "" << "1700000000" << "" << false;
    QTest::newRow("time smaller") << "1" << "1" << "5" << "" << "6" << "" << false;
    QTest::newRow("time beyond 32 bits counts as 0") << "1" << "1" << "20240101120000" << "" << "0" << "" << false;
    QTest::newRow("time 4294967295 is the largest") << "1" << "1" << "4294967295" << "" << "4294967294" << "" << true;
    QTest::newRow("current time empty is 0") << "1" << "1" << "1" << "" << "" << "" << true;
    QTest::newRow("count greater") << "1" << "1" << "7" << "5" << "7" << "4" << true;
    QTest::newRow("count equal") << "1" << "1" << "7" << "5" << "7" << "5" << false;
    QTest::newRow("count skipped: current is a space") << "1" << "1" << "7" << "5" << "7" << " " << false;
    QTest::newRow("count skipped: current empty") << "1" << "1" << "7" << "5" << "7" << "" << false;
    QTest::newRow("count skipped: latest a space") << "1" << "1" << "7" << " " << "7" << "0" << false;
    QTest::newRow("count 0 takes part") << "1" << "1" << "7" << "1" << "7" << "0" << true;
    QTest::newRow("count with two spaces takes part, as 0") << "1" << "1" << "7" << "1" << "7" << "  " << true;
    QTest::newRow("count beyond 32 bits is 0") << "1" << "1" << "7" << "4294967296" << "7" << "0" << false;
}

void tst_Manifest::decision()
{
    QFETCH(QString, current);
    QFETCH(QString, latest);
    QFETCH(QString, latestTime);
    QFETCH(QString, latestCnt);
    QFETCH(QString, currentTime);
    QFETCH(QString, currentCnt);
    QFETCH(bool, expected);
    QCOMPARE(versionNeedsUpdate(current, latest, latestTime, latestCnt, currentTime, currentCnt), expected);
}

void tst_Manifest::patchFit_data()
{
    QTest::addColumn<QByteArray>("keys");
    QTest::addColumn<QString>("installed");
    QTest::addColumn<int>("offer");
    const QByteArray delta = R"("patch-deltas":{"0.9":{"url":"https://h/d.zip","size":"1","sha256":")"
            + QByteArray(64, 'a') + R"("}})";
    QTest::newRow("listed version: the patch") << QByteArray(R"("patch-for":["0.9","1.0"])") << "1.0"
                                               << int(PatchOffer::Patch);
    QTest::newRow("unlisted version: nothing") << QByteArray(R"("patch-for":["1.0"])") << "0.9" << int(PatchOffer::None);
    QTest::newRow("no list: a cumulative patch") << QByteArray(R"("x":1)") << "0.9" << int(PatchOffer::Patch);
    QTest::newRow("unlisted, with a delta from it: the delta")
            << QByteArray(R"("patch-for":["1.0"],)") + delta << "0.9" << int(PatchOffer::Delta);
    QTest::newRow("a list that is no list: nothing") << QByteArray(R"("patch-for":"1.0")") << "1.0" << int(PatchOffer::None);
    QTest::newRow("a list of no versions: nothing") << QByteArray(R"("patch-for":["../x"])") << "../x"
                                                    << int(PatchOffer::None);
}

void tst_Manifest::patchFit()
{
    QFETCH(QByteArray, keys);
    QFETCH(QString, installed);
    QFETCH(int, offer);
    ManifestRecord record;
    QVERIFY(parseManifest(R"({"updates":{"windows":{"patch-version":"1.1",)" + keys + "}}}", "windows", &record));
    QCOMPARE(int(patchOffer(record, installed)), offer);
}

QTEST_APPLESS_MAIN(tst_Manifest)
#include "tst_manifest.moc"
