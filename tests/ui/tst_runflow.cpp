// The main window from start-up through Open and Run: design state, the
// proposed parameters, the three failure messages and what stays written,
// and a successful run on a real genome.
#include "maps/syscolors.h"
#include "quillet/version.h"
#include "tests/ui/picturechecks.h"
#include "tests/ui/runfixtures.h"
#include "tests/ui/scriptedplatform.h"
#include "window/quillet.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace quillet;
using namespace quillet::test;

class RunFlowTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString write(const QString& name, const QByteArray& content) { return WriteFile(dir, name, content); }

private slots:
    void startsInDesignState()
    {
        ScriptedPlatform p;
        Quillet w(p);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(w.windowTitle(), QStringLiteral("Quillet V") + QString::fromLatin1(kVersion));
        QCOMPARE(w.Combo1->count(), 2);
        QCOMPARE(w.Combo1->itemText(0), QStringLiteral("G+C content"));
        QCOMPARE(w.Combo1->itemText(1), QStringLiteral("G-C/G+C"));
        QCOMPARE(w.Combo1->ListIndex(), int16_t(0));
        QCOMPARE(w.Combo1->currentText(), QStringLiteral("G+C content"));
        QVERIFY(IsBlank(w.Picture1->Image()));
        QCOMPARE(w.Line3->DrawMode(), 11);
        QVERIFY(!w.Line3->isVisible());
        for (auto* box : {w.Text1, w.Text5})
            QVERIFY(box->Text().isEmpty());
        QVERIFY(w.Label4->Caption().isEmpty() && w.Label6->Caption().isEmpty() && w.Label_move->Caption().isEmpty());
        QCOMPARE(w.Text_WS->Text(), QStringLiteral("100"));
        QCOMPARE(w.Text_Step->Text(), QStringLiteral("100"));
        QCOMPARE(w.ProgressBar1->Value(), 0.0f);
        QCOMPARE(w.VScroll1->Max(), int16_t(32767));
        QVERIFY(p.messages.isEmpty());
        QCOMPARE(w.focusWidget(), static_cast<QWidget*>(w.Command_open));
        // Captions and labels as the user reads them.
        QCOMPARE(w.Frame1->title(), QStringLiteral("Options"));
        QCOMPARE(w.Frame2->title(), QStringLiteral("File directory"));
        QCOMPARE(w.Label5->Caption(), QStringLiteral("* Single DNA sequence is valid with FASTA format"));
        QCOMPARE(w.Command_open->text(), QStringLiteral("Open"));
        QCOMPARE(w.Command_run->text(), QStringLiteral("Run"));
        // Tab order starts Open, Run, map.
        QCOMPARE(w.Command_open->nextInFocusChain(), static_cast<QWidget*>(w.Command_run));
    }

    void parameterBoxesTakeSevenCharacters()
    {
        ScriptedPlatform p;
        Quillet w(p);
        w.show();
        for (auto* box : {w.Text_WS, w.Text_Step}) {
            box->clear();
            box->setFocus();
            QTest::keyClicks(box, QStringLiteral("10000000"));
            QCOMPARE(box->Text(), QStringLiteral("1000000"));
        }
    }

    void openProposesParametersByFileSize_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<QString>("step");
        QTest::addColumn<QString>("window");
        QTest::newRow("10,000") << 10000 << "10"
                                << "50";
        QTest::newRow("10,001") << 10001 << "50"
                                << "100";
        QTest::newRow("1,000,001") << 1000001 << "1500"
                                   << "3000";
    }

    void openProposesParametersByFileSize()
    {
        QFETCH(int, size);
        ScriptedPlatform p;
        Quillet w(p);
        w.show();
        const QString path = write(QStringLiteral("sized.fa"), QByteArray(size, 'A'));
        p.openAnswers.push_back(path);
        w.Command_open_Click();
        QCOMPARE(w.Text1->Text(), path);
        QTEST(w.Text_Step->Text(), "step");
        QTEST(w.Text_WS->Text(), "window");
        QCOMPARE(w.focusWidget(), static_cast<QWidget*>(w.Command_run));
        QCOMPARE(p.openRequests.size(), size_t(1));
        const FileDialogRequest& r = p.openRequests.front();
        QCOMPARE(r.flags, 0x81000L);
        QCOMPARE(r.title, QStringLiteral("Open DNA data in FASTA format"));
        QCOMPARE(r.filter, QStringLiteral("fas Files (*.fas)|*.fas|fasta Files (*.fasta)|*.fasta|All Files (*.*)|*.*"));
        QVERIFY(r.fileName.isEmpty());
        QVERIFY(r.initDir.endsWith(QStringLiteral("/ok~)")));
    }

    void cancellingOpenEmptiesThePathOnly()
    {
        ScriptedPlatform p;
        Quillet w(p);
        w.Text1->SetText(QStringLiteral("/some/where.fa"));
        w.Text_WS->SetText(QStringLiteral("77"));
        w.Command_open_Click();
        QVERIFY(w.Text1->Text().isEmpty());
        QCOMPARE(w.Text_WS->Text(), QStringLiteral("77"));
        QCOMPARE(w.Text_Step->Text(), QStringLiteral("100"));
        QVERIFY(p.messages.isEmpty());
    }

    void runShowsTheResultsOfARealGenome()
    {
        ScriptedPlatform p;
        Quillet w(p);
        w.show();
        w.Text1->SetText(Lambda());
        w.Command_run_Click();
        QVERIFY(p.messages.isEmpty());
        QCOMPARE(w.Text5->Text(),
                 QStringLiteral("gi|9626243|ref|NC_001416.1| Enterobacteria phage lambda, complete genome"));
        QCOMPARE(w.Label6->Caption(), QStringLiteral("48502"));
        QCOMPARE(w.Label4->Caption(), QStringLiteral("49.9"));
        QCOMPARE(w.GCValues.size(), size_t((48502 - 100) / 100 + 1 + 2));
        QCOMPARE(w.VScroll1->Min(), int16_t(0));
        QCOMPARE(w.VScroll1->Max(), int16_t(4));
        QCOMPARE(w.VScroll1->Value(), int16_t(2));
        QCOMPARE(w.ProgressBar1->Max(), 48502.0f);
        QCOMPARE(w.ProgressBar1->Value(), 48500.0f);
        QCOMPARE(w.MousePointer(), 0);
        QVERIFY(!IsBlank(w.Picture1->Image()));

        // The other plot sets the scroll bar to its own range.
        w.Combo1->setCurrentIndex(1);
        w.Command_run_Click();
        QCOMPARE(w.VScroll1->Max(), int16_t(1));
        QCOMPARE(w.VScroll1->Value(), int16_t(0));
    }

    void runDrawsTheMapWhereItsTwipsLie()
    {
        ScriptedPlatform p;
        Quillet w(p);
        w.Text1->SetText(Lambda());
        w.Text_WS->SetText(QStringLiteral("1000"));
        w.Text_Step->SetText(QStringLiteral("500"));
        w.Command_run_Click();
        QVERIFY(p.messages.isEmpty());

        const QImage img = w.Picture1->Image();
        const float W = w.Picture1->Width(), H = w.Picture1->Height();
        const auto px = [](double twips) { return int(std::floor(twips / 15.0)); };
        const QColor ink(Qt::black);
        const QColor curve = ResolveColor(w.Text4->BackColor());
        // Value axis at x = 600 from y = 200 down to H - 200.
        for (double y : {400.0, H / 2.0, H - 400.0})
            QCOMPARE(img.pixelColor(px(600), px(y)), ink);
        // Reference line across the plot at the middle height.
        int onLine = 0;
        const int row = px(std::round(H) / 2), first = px(600) + 1, last = px(W - 300);
        for (int x = first; x <= last; ++x)
            onLine += img.pixelColor(x, row) == ink || img.pixelColor(x, row) == curve;
        QVERIFY2(onLine >= (last - first) * 9 / 10, qPrintable(QString::number(onLine)));
        // A value tick and its label to the left of the axis.
        const double u = (H - 400) / 60.0;
        const double tick = H - 200 - 10 * u;
        QCOMPARE(img.pixelColor(px(550), px(tick)), ink);
        int labelInk = 0;
        for (int x = px(100); x < px(480); ++x)
            for (int y = px(tick - 90); y < px(tick + 150); ++y)
                labelInk += img.pixelColor(x, y).lightness() < 128;
        QVERIFY(labelInk > 20);
        // The curve starts at window 1 on the axis, at its value's height.
        const double y1 = H - 200 - (w.GCValues[1] - 20) * u;
        bool curveFound = false;
        for (int dy = -1; dy <= 1; ++dy)
            curveFound |= img.pixelColor(px(600), px(y1) + dy) == curve;
        QVERIFY(curveFound);
    }

    void crlfFileGivesTheSameSequenceAsLf()
    {
        ScriptedPlatform p;
        Quillet w(p);
        w.Text1->SetText(QStringLiteral(QUILLET_SOURCE_DIR "/samples/phix174.fa"));
        w.Text_WS->SetText(QStringLiteral("50"));
        w.Text_Step->SetText(QStringLiteral("10"));
        w.Command_run_Click();
        QVERIFY(p.messages.isEmpty());
        QCOMPARE(w.Label6->Caption(), QStringLiteral("5386"));
        QVERIFY(w.Text5->Text().endsWith(u'\r'));
    }

    void failuresShowTheirStageMessage_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("step");
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("fieldsFilled");
        const QByteArray ok = ">seq1\tdescription\nACGTACGTACGTACGTACGT\n";
        QTest::newRow("step empty") << ok << ""
                                    << "10" << kValidation << false;
        QTest::newRow("step 0") << ok << "0"
                                << "10" << kValidation << false;
        QTest::newRow("step -5") << ok << "-5"
                                 << "10" << kValidation << false;
        QTest::newRow("step abc") << ok << "abc"
                                  << "10" << kValidation << false;
        QTest::newRow("step 1e30") << ok << "1e30"
                                   << "10" << kAnalysis << false;
        QTest::newRow("step 0.4 fails in drawing") << ok << "0.4"
                                                   << "10" << kAnalysis << true;
        QTest::newRow("window abc") << ok << "5"
                                    << "abc" << kAnalysis << false;
        QTest::newRow("window empty") << ok << "5"
                                      << "" << kAnalysis << false;
        QTest::newRow("empty body") << QByteArray(">seq1\n") << "5"
                                    << "10" << kAnalysis << false;
        QTest::newRow("only record without line feed") << QByteArray(">seq1") << "5"
                                                       << "10" << kFile << false;
        QTest::newRow("empty header") << QByteArray(">\nACGT\n") << "5"
                                      << "10" << kFile << false;
        QTest::newRow("second record without line feed") << (ok + ">seq2") << "5"
                                                         << "10" << kAnalysis << true;
        // A file without any record says so (%1 is its path).
        const QString noRecord = QStringLiteral("No FASTA record found in %1.");
        QTest::newRow("no record at all") << QByteArray("ACGT\n") << "5"
                                          << "10" << noRecord << false;
        QTest::newRow("empty file") << QByteArray() << "5"
                                    << "10" << noRecord << false;
        QTest::newRow("step 2000000 accepted") << ok << "2000000"
                                               << "10" << QString() << true;
        QTest::newRow("window larger than sequence") << ok << "5"
                                                     << "500" << QString() << true;
        QTest::newRow("window 0") << ok << "5"
                                  << "0" << QString() << true;
        // 2,000 windows take more than the 4 kB the run may hold here: it
        // stops where its arrays would grow past that.
        QTest::newRow("windows beyond the memory for them")
            << QByteArray(">big\tone\n" + QByteArray(2000, 'G') + "\n") << "1"
            << "1"
            << QStringLiteral(
                   "%1: record \"big\" needs more than 254 windows; they do not fit in the 4.1 kB of memory a "
                   "run may hold.")
            << false;
    }

    void failuresShowTheirStageMessage()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, step);
        QFETCH(QString, window);
        QFETCH(QString, message);
        QFETCH(bool, fieldsFilled);
        ScriptedPlatform p;
        Quillet w(p);
        w.show();
        // A previous successful run whose results must be cleared.
        w.Text1->SetText(Lambda());
        w.Command_run_Click();
        QVERIFY(!w.Label6->Caption().isEmpty());
        w.windowMemoryLimit = 4096; // a few hundred windows

        const QString path = write(QStringLiteral("in.fa"), content);
        w.Text1->SetText(path);
        w.Text_Step->SetText(step);
        w.Text_WS->SetText(window);
        w.Command_run_Click();
        if (message.contains(QLatin1String("%1")))
            message = message.arg(path);
        QCOMPARE(p.messages, message.isEmpty() ? QStringList() : QStringList{message});
        QCOMPARE(!w.Label6->Caption().isEmpty(), fieldsFilled);
        QCOMPARE(!w.Label4->Caption().isEmpty(), fieldsFilled);
        QCOMPARE(!w.Text5->Text().isEmpty(), fieldsFilled);
        QCOMPARE(w.MousePointer(), 0);
        if (!fieldsFilled) {
            QVERIFY(IsBlank(w.Picture1->Image()));
        }
    }

    void missingFileGivesFileMessage()
    {
        ScriptedPlatform p;
        Quillet w(p);
        for (const QString& path : {dir.filePath(QStringLiteral("nothing-here.fa")), QString(), dir.path()}) {
            p.messages.clear();
            w.Text1->SetText(path);
            w.Command_run_Click();
            QCOMPARE(p.messages, QStringList{kFile});
        }
    }

    void secondRecordReplacesTheFirst()
    {
        ScriptedPlatform p;
        Quillet w(p);
        w.Text1->SetText(write(QStringLiteral("two.fa"), ">first\nGGGGGGGGGG\n>second one\r\nAC GT\r\nNN-n\r\n"));
        w.Text_WS->SetText(QStringLiteral("4"));
        w.Text_Step->SetText(QStringLiteral("2"));
        w.Command_run_Click();
        QVERIFY(p.messages.isEmpty());
        QCOMPARE(w.Text5->Text(), QStringLiteral("second one\r"));
        QCOMPARE(w.Label6->Caption(), QStringLiteral("8"));
        QCOMPARE(w.GCValues.size(), size_t(3 + 2));
    }

    void enterReleasedInAParameterBoxRuns()
    {
        ScriptedPlatform p;
        Quillet w(p);
        w.show();
        w.Text1->SetText(Lambda());
        w.Text_WS->setFocus();
        QTest::keyRelease(w.Text_WS, Qt::Key_A);
        QVERIFY(w.Label6->Caption().isEmpty());
        QTest::keyRelease(w.Text_WS, Qt::Key_Return, Qt::ShiftModifier);
        QCOMPARE(w.Label6->Caption(), QStringLiteral("48502"));
        w.Text_Step->SetText(QStringLiteral("0"));
        QTest::keyRelease(w.Text_Step, Qt::Key_Enter);
        QCOMPARE(p.messages, QStringList{kValidation});
    }
};

QTEST_MAIN(RunFlowTest)
#include "tst_runflow.moc"
