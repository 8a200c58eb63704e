// Runs on real-world files in the window: compressed genomes show exactly
// what the plain file shows, damaged and foreign files are named in their
// message, many records end in the last record's state, and a long run
// takes no input but Esc or the close box, which cancel it.
#include "tests/ui/picturechecks.h"
#include "tests/ui/runfixtures.h"
#include "tests/ui/scriptedplatform.h"
#include "window/quillet.h"

#include <QDir>
#include <QProcess>
#include <QTimer>
#include <QtTest>

using namespace quillet;
using namespace quillet::test;

namespace {

QString Packed(const QTemporaryDir& dir, const QString& source, const QString& tool, const QStringList& args)
{
    const QString out = dir.filePath(QFileInfo(source).fileName() + QLatin1Char('.') + tool);
    QProcess p;
    p.setStandardInputFile(source);
    p.setStandardOutputFile(out);
    p.start(tool, args);
    if (!p.waitForFinished(120000) || p.exitCode() != 0)
        qFatal("%s failed", qPrintable(tool));
    return out;
}

struct Shown {
    QString name, length, average;
    QImage picture;
    int scroll;
    float barMax, barValue;
    QStringList messages;
};

Shown RunOn(const QString& path, int plot, const QString& window = QStringLiteral("1000"),
            const QString& step = QStringLiteral("500"))
{
    ScriptedPlatform p;
    Quillet w(p);
    w.Combo1->SetListIndex(int16_t(plot));
    w.Text1->SetText(path);
    w.Text_WS->SetText(window);
    w.Text_Step->SetText(step);
    w.Command_run_Click();
    return {w.Text5->Text(),     w.Label6->Caption(),   w.Label4->Caption(),     w.Picture1->Image(),
            w.VScroll1->Value(), w.ProgressBar1->Max(), w.ProgressBar1->Value(), p.messages};
}

// A zstd file of a few kilobytes holding gigabytes of one record.
QString Bomb(const QTemporaryDir& dir)
{
    const QString block = WriteFile(dir, QStringLiteral("block.fa"), ">bomb\n" + QByteArray(32 << 20, 'G'));
    QFile f(Packed(dir, block, QStringLiteral("zstd"), {QStringLiteral("-c"), QStringLiteral("-q")}));
    f.open(QIODevice::ReadOnly);
    const QByteArray frame = f.readAll();
    QByteArray bomb;
    for (int i = 0; i < 320; ++i) // 10 GiB of content
        bomb += frame;
    return WriteFile(dir, QStringLiteral("bomb.fa.zst"), bomb);
}

} // namespace

class LongRunsTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

private slots:
    void compressedGenomesShowThePlainFilesMap_data()
    {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("plot");
        for (int plot : {0, 1}) {
            QTest::addRow("gzip %d", plot) << "gzip" << QStringList{"-c"} << plot;
            QTest::addRow("zstd %d", plot) << "zstd" << QStringList{"-c", "-q"} << plot;
            QTest::addRow("xz %d", plot) << "xz" << QStringList{"-c"} << plot;
            QTest::addRow("bzip2 %d", plot) << "bzip2" << QStringList{"-c"} << plot;
        }
    }
    void compressedGenomesShowThePlainFilesMap()
    {
        QFETCH(QString, tool);
        QFETCH(QStringList, args);
        QFETCH(int, plot);
        const Shown plain = RunOn(Lambda(), plot);
        const Shown packed = RunOn(Packed(dir, Lambda(), tool, args), plot);
        QVERIFY(plain.messages.isEmpty());
        QCOMPARE(packed.messages, plain.messages);
        QCOMPARE(packed.name, plain.name);
        QCOMPARE(packed.length, QStringLiteral("48502"));
        QCOMPARE(packed.average, plain.average);
        QCOMPARE(packed.scroll, plain.scroll);
        QCOMPARE(packed.picture, plain.picture);
        // The bar ends where computing the record leaves it, as for the plain file.
        QCOMPARE(packed.barMax, 48502.0f);
        QCOMPARE(packed.barValue, 48500.0f);
    }

    void damagedAndForeignFilesAreNamed()
    {
        QFile f(Packed(dir, Lambda(), QStringLiteral("gzip"), {QStringLiteral("-c")}));
        f.open(QIODevice::ReadOnly);
        const QByteArray gz = f.readAll();
        const QString truncated = WriteFile(dir, QStringLiteral("cut.fa.gz"), gz.left(gz.size() / 2));
        const QString png = WriteFile(dir, QStringLiteral("map.fa"), QByteArray("\x89PNG\r\n\x1a\n\0\0>x\n", 14));
        const struct {
            QString path;
            QString message;
        } cases[] = {
            {truncated, QStringLiteral("%1 is damaged: the gzip data ends early (the file is truncated).")},
            {png, QStringLiteral("%1 is not a FASTA file: it is a PNG picture.")},
        };
        for (const auto& c : cases) {
            ScriptedPlatform p;
            Quillet w(p);
            w.Text1->SetText(Lambda());
            w.Command_run_Click(); // a result the failing run must not leave behind
            w.Text1->SetText(c.path);
            w.Command_run_Click();
            QCOMPARE(p.messages, QStringList{c.message.arg(QDir::toNativeSeparators(c.path))});
            QVERIFY(w.Text5->Text().isEmpty());
            QVERIFY(w.Label6->Caption().isEmpty());
            QVERIFY(IsBlank(w.Picture1->Image()));
            // Still usable.
            p.messages.clear();
            w.Text1->SetText(Lambda());
            w.Command_run_Click();
            QCOMPARE(w.Label6->Caption(), QStringLiteral("48502"));
        }
    }

    // Many records end as record-by-record processing leaves them: the last
    // record shown, or the record whose map could not be drawn and its message.
    void manyRecordsEndInTheLastRecordsState()
    {
        QByteArray many;
        for (int i = 0; i < 5000; ++i)
            many += ">r" + QByteArray::number(i) + "\n" + QByteArray(40 + i % 7, "ACGGT"[i % 5]) + "\n";
        const QString path = WriteFile(dir, QStringLiteral("many.fa"), many);
        ScriptedPlatform p;
        Quillet w(p);
        w.Text1->SetText(path);
        w.Text_WS->SetText(QStringLiteral("10"));
        w.Text_Step->SetText(QStringLiteral("5"));
        w.Command_run_Click();
        QVERIFY(p.messages.isEmpty());
        QCOMPARE(w.records->size(), size_t(5000));
        QCOMPARE(w.Text5->Text(), QStringLiteral("r4999"));
        QCOMPARE(w.Label6->Caption(), QStringLiteral("41"));
        QCOMPARE(w.VScroll1->Value(), int16_t(2));

        // Record c (one base) is too short for a map with so large a step
        // (its sequence axis overflows): the run stops there with the
        // analysis message, showing record c.
        QByteArray stops = ">a\n" + QByteArray(400, 'G') + "\n>b\n" + QByteArray(300, 'C') + "\n>c\nA\n>d\n" +
                           QByteArray(400, 'A') + "\n";
        p.messages.clear();
        w.Text1->SetText(WriteFile(dir, QStringLiteral("stops.fa"), stops));
        w.Text_WS->SetText(QStringLiteral("1"));
        w.Text_Step->SetText(QStringLiteral("9999999"));
        w.Command_run_Click();
        QCOMPARE(p.messages, QStringList{kAnalysis});
        QCOMPARE(w.Text5->Text(), QStringLiteral("c"));
        QCOMPARE(w.Label6->Caption(), QStringLiteral("1"));
        QCOMPARE(w.records->size(), size_t(3));
    }

    // Esc cancels a long run and leaves the window cleared and usable; the
    // close box cancels it and closes the window. Input during the run is
    // ignored: neither Open nor another Run starts.
    void escOrCloseBoxCancelsALongRun()
    {
        const QString bomb = Bomb(dir);
        for (const bool closeBox : {false, true}) {
            ScriptedPlatform p;
            Quillet w(p);
            w.show();
            QVERIFY(QTest::qWaitForWindowExposed(&w));
            w.Text1->SetText(Lambda());
            w.Command_run_Click();
            w.Text1->SetText(bomb);
            w.Text_WS->SetText(QStringLiteral("1000000"));
            w.Text_Step->SetText(QStringLiteral("1000000"));
            bool clickedDuringRun = false;
            QTimer::singleShot(300, &w, [&] {
                QTest::mouseClick(w.Command_open, Qt::LeftButton);
                QTest::keyClick(w.Text_WS, Qt::Key_Return);
                clickedDuringRun = w.RunActive();
                if (closeBox)
                    w.close();
                else
                    QTest::keyClick(&w, Qt::Key_Escape);
            });
            // A run that ignored the cancel would keep Run from returning:
            // end the test with a clear message rather than at the suite's
            // timeout.
            QTimer watchdog;
            watchdog.setSingleShot(true);
            connect(&watchdog, &QTimer::timeout, &w, [&] {
                if (w.RunActive())
                    qFatal("the run did not stop within 10 s of %s", closeBox ? "the close box" : "Esc");
            });
            watchdog.start(300 + 10000);
            QElapsedTimer t;
            t.start();
            w.Command_run_Click();
            QVERIFY(clickedDuringRun);
            QVERIFY2(t.elapsed() < 5000, "the run was not cancelled");
            QVERIFY(p.messages.isEmpty());
            QCOMPARE(p.openRequests.size(), size_t(0));
            QVERIFY(w.Text5->Text().isEmpty());
            QVERIFY(w.Label6->Caption().isEmpty());
            QVERIFY(IsBlank(w.Picture1->Image()));
            QCOMPARE(w.MousePointer(), 0);
            if (closeBox) {
                QTRY_VERIFY(!w.isVisible());
                continue;
            }
            w.Text1->SetText(Lambda());
            w.Command_run_Click();
            QCOMPARE(w.Label6->Caption(), QStringLiteral("48502"));
        }
    }
};

QTEST_MAIN(LongRunsTest)
#include "tst_longruns.moc"
