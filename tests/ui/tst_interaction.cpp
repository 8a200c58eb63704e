// Working with the drawn map: the plot selector and scroll bar, the mouse
// readout, the plot colour, Save and Copy.
#include "tests/ui/picturechecks.h"
#include "tests/ui/runfixtures.h"
#include "tests/ui/scriptedplatform.h"
#include "window/quillet.h"

#include <QFile>
#include <QImageReader>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>
#include <set>

using namespace quillet;
using namespace quillet::test;

class InteractionTest : public QObject {
    Q_OBJECT

    std::unique_ptr<ScriptedPlatform> p;
    std::unique_ptr<Quillet> w;
    QTemporaryDir dir;

    void runOnLambda()
    {
        w->Text1->SetText(Lambda());
        w->Text_WS->SetText(QStringLiteral("1000"));
        w->Text_Step->SetText(QStringLiteral("500"));
        w->Command_run_Click();
        QVERIFY(p->messages.isEmpty());
    }

private slots:
    void init()
    {
        p = std::make_unique<ScriptedPlatform>();
        w = std::make_unique<Quillet>(*p);
        w->show();
    }
    void cleanup()
    {
        w.reset();
        p.reset();
    }

    void nothingRedrawsBeforeARun()
    {
        w->Combo1->SetListIndex(1);
        QCOMPARE(w->VScroll1->Max(), int16_t(32767));
        w->VScroll1->SetValue(1);
        w->VScroll1_Scroll();
        QVERIFY(IsBlank(w->Picture1->Image()));
        w->Command_save_Click();
        QVERIFY(p->saveRequests.empty());
        w->Command_copy_Click();
        QCOMPARE(p->copiedImages.size(), size_t(1));
        QCOMPARE(p->copiedImages[0].size(), w->Picture1->Image().size());
        QVERIFY(IsBlank(p->copiedImages[0]));
    }

    void eachScrollPositionDrawsItsOwnMap()
    {
        runOnLambda();
        std::set<QByteArray> gc;
        for (int16_t v = 0; v <= 4; ++v) {
            w->VScroll1->SetValue(v);
            gc.insert(QByteArray(reinterpret_cast<const char*>(w->Picture1->Image().constBits()),
                                 w->Picture1->Image().sizeInBytes()));
        }
        QCOMPARE(gc.size(), size_t(5));

        w->Combo1->SetListIndex(1);
        QCOMPARE(w->VScroll1->Min(), int16_t(0));
        QCOMPARE(w->VScroll1->Max(), int16_t(1));
        QCOMPARE(w->VScroll1->Value(), int16_t(0));
        const QImage scale20 = w->Picture1->Image();
        w->VScroll1->SetValue(1);
        QVERIFY(w->Picture1->Image() != scale20);
        w->Combo1->SetListIndex(0);
        QCOMPARE(w->VScroll1->Max(), int16_t(4));
        QCOMPARE(w->VScroll1->Value(), int16_t(2));
    }

    void userScrollRaisesRedraws()
    {
        runOnLambda();
        const QImage middle = w->Picture1->Image();
        w->VScroll1->triggerAction(QAbstractSlider::SliderSingleStepSub);
        QCOMPARE(w->VScroll1->Value(), int16_t(1));
        QVERIFY(w->Picture1->Image() != middle);
        w->VScroll1->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        QCOMPARE(w->Picture1->Image(), middle);

        // With the focus the bar takes a scroll bar's keys; each move redraws.
        w->VScroll1->setFocus();
        const std::pair<Qt::Key, int> keys[] = {
            {Qt::Key_Down, 3},     {Qt::Key_Down, 4}, {Qt::Key_Down, 4}, {Qt::Key_Up, 3},  {Qt::Key_PageUp, 2},
            {Qt::Key_PageDown, 3}, {Qt::Key_Home, 0}, {Qt::Key_Up, 0},   {Qt::Key_End, 4},
        };
        for (const auto& [key, value] : keys) {
            const QImage before = w->Picture1->Image();
            const int16_t was = w->VScroll1->Value();
            QTest::keyClick(w->VScroll1, key);
            QCOMPARE(w->VScroll1->Value(), int16_t(value));
            QCOMPARE(w->Picture1->Image() != before, value != was);
        }
        w->VScroll1->SetValue(2);
        QCOMPARE(w->Picture1->Image(), middle);
    }

    void typingIntoTheSelectorSelectsGcContentAgain()
    {
        runOnLambda();
        const QImage shift0 = w->Picture1->Image();
        w->Combo1->SetListIndex(1);
        QVERIFY(w->Picture1->Image() != shift0);
        QTest::keyClicks(w->Combo1->lineEdit(), QStringLiteral("x"));
        QCOMPARE(w->Combo1->ListIndex(), int16_t(0));
        QCOMPARE(w->Combo1->currentText(), QStringLiteral("G+C content"));
        QCOMPARE(w->VScroll1->Value(), int16_t(2));
        QCOMPARE(w->Picture1->Image(), shift0);
    }

    void failedRunLeavesSelectorAndBarInert()
    {
        runOnLambda();
        w->Text_Step->SetText(QStringLiteral("0"));
        w->Command_run_Click();
        QCOMPARE(p->messages, QStringList{QStringLiteral("1 to 1000000 is valid")});
        w->Combo1->SetListIndex(1);
        w->VScroll1->SetValue(0);
        w->Combo1->SetListIndex(0);
        QVERIFY(IsBlank(w->Picture1->Image()));
    }

    void editedBoxesDoNotChangeARedraw()
    {
        runOnLambda();
        const QImage before = w->Picture1->Image();
        w->Text_Step->SetText(QStringLiteral("abc"));
        w->Text_WS->SetText(QString());
        w->VScroll1->SetValue(3);
        w->VScroll1->SetValue(2);
        QCOMPARE(w->Picture1->Image(), before);
    }

    void readoutFollowsTheMouseInsideThePlot()
    {
        w->Picture1_MouseMove(0, 0, 5000, 2000);
        QVERIFY(!w->Line3->isVisible());
        QVERIFY(w->Label_move->Caption().isEmpty());

        runOnLambda();
        const float W = w->Picture1->Width();
        const float H = w->Picture1->Height();
        const float x = 600 + (W - 900) / 2;
        w->Picture1_MouseMove(1, 0, x, H / 2);
        QCOMPARE(w->Line3->DrawMode(), 13);
        QVERIFY(w->Line3->isVisible());
        QCOMPARE(w->Line3->X1(), x);
        QCOMPARE(w->Line3->X2(), x);
        QCOMPARE(w->Label_move->Caption(), QStringLiteral("24251"));
        QCOMPARE(w->Label_move->Left(), x + 100);
        QCOMPARE(w->Label_move->Top(), H / 2 - 350);

        for (const QPointF& outside :
             {QPointF(600, H / 2), QPointF(W - 300, H / 2), QPointF(x, 300), QPointF(x, H - 300), QPointF(x, 100)}) {
            w->Picture1_MouseMove(0, 0, float(outside.x()), float(outside.y()));
            QCOMPARE(w->Line3->DrawMode(), 11);
            QVERIFY(w->Label_move->Caption().isEmpty());
            QCOMPARE(w->Line3->X1(), x);
        }

        // A new map starts without them, also when the mouse stays where it
        // was: another run, a run that fails, another record of the run (as
        // the Records window shows it).
        const auto runOn = [&](const QString& path) {
            w->Text1->SetText(path);
            w->Command_run_Click();
        };
        const QString excerpt = QStringLiteral(QUILLET_SOURCE_DIR "/tests/data/athaliana_excerpt.fa");
        const struct {
            const char* what;
            QString before;
            std::function<void()> newMap;
        } newMaps[] = {
            {"run again", Lambda(), [&] { runOn(Lambda()); }},
            {"failed run", Lambda(), [&] { runOn(dir.filePath(QStringLiteral("gone.fa"))); }},
            {"another record", excerpt, [&] { w->ShowStoredRecord(2); }},
        };
        for (const auto& c : newMaps) {
            runOn(c.before);
            w->Picture1_MouseMove(0, 0, x, H / 2);
            QVERIFY2(w->Line3->isVisible() && !w->Label_move->Caption().isEmpty(), c.what);
            c.newMap();
            QVERIFY2(!w->Line3->isVisible() && w->Label_move->Caption().isEmpty(), c.what);
        }
        QCOMPARE(p->messages, QStringList{kFile});
        p->messages.clear();
        runOnLambda();

        // Where the number would run past the map's edge it stands left of
        // the line, whole ("48xxx", not "48").
        for (const float nearEdge : {W - 301, W - 700}) {
            w->Picture1_MouseMove(1, 0, nearEdge, H / 2);
            const QString caption = w->Label_move->Caption();
            QCOMPARE(caption.size(), 5);
            const float textWidth = float(w->Label_move->fontMetrics().horizontalAdvance(caption)) * 15;
            const float edge = float(w->Picture1->Inside()->width()) * 15;
            QVERIFY(w->Label_move->Left() + textWidth <= edge);
            QCOMPARE(w->Label_move->Left(),
                     nearEdge + 100 + textWidth + 30 <= edge ? nearEdge + 100 : nearEdge - 100 - textWidth - 30);
        }
    }

    void realMouseMovesReachTheReadout()
    {
        runOnLambda();
        QWidget* inside = w->Picture1->Inside();
        QTest::mouseMove(inside, QPoint(inside->width() / 2, inside->height() / 2));
        QTRY_VERIFY(!w->Label_move->Caption().isEmpty());
    }

    void colourChangeRedrawsAtTheSamePosition()
    {
        w->Text4_Click(); // cancelled before any colour: the swatch keeps its colour
        QCOMPARE(w->Text4->BackColor(), 0x80000002u);

        runOnLambda();
        w->VScroll1->SetValue(0);
        p->colorAnswers.push_back(QColor(255, 0, 0));
        w->Text4_Click();
        QCOMPARE(w->Text4->BackColor(), 0x000000FFu);
        QCOMPARE(w->VScroll1->Value(), int16_t(0));
        QVERIFY(Contains(w->Picture1->Image(), QColor(255, 0, 0)));
    }

    void saveWritesTheMapAsBitmap()
    {
        runOnLambda();
        w->Picture1_MouseMove(0, 0, 3000, 2000); // the cursor line is no part of the map
        w->Text5->SetText(QStringLiteral("seq1|contig 21\r"));
        const QString path = dir.filePath(QStringLiteral("map.png"));
        p->saveAnswers.push_back(path);
        w->Command_save_Click();
        QCOMPARE(p->saveRequests.size(), size_t(1));
        const FileDialogRequest& r = p->saveRequests.front();
        QCOMPARE(r.fileName, QStringLiteral("seq1contig 21"));
        QCOMPARE(r.flags, 0x80002L);
        QCOMPARE(r.title, QStringLiteral("Save G+C content map"));
        QCOMPARE(r.filter, QStringLiteral("bitmap picture Files (*.bmp)|*.bmp|All Files (*.*)|*.*"));
        QCOMPARE(w->CommonDialog1->CancelError, false);
        QCOMPARE(w->CommonDialog1->Flags, 0L);
        QImageReader reader(path);
        QCOMPARE(reader.format(), QByteArray("bmp"));
        const QImage saved = reader.read();
        QCOMPARE(saved.convertToFormat(QImage::Format_RGB32),
                 w->Picture1->Image().convertToFormat(QImage::Format_RGB32));
        QVERIFY(p->messages.isEmpty());

        // Save keeps the whole title; the exports propose the record's ID
        // (cancelled here).
        w->ExportPicture_Click();
        w->ExportValues_Click();
        QCOMPARE(p->saveOfTypeRequests.size(), size_t(2));
        QCOMPARE(p->saveOfTypeRequests[0].fileName, QStringLiteral("seq1contig.png"));
        QCOMPARE(p->saveOfTypeRequests[1].fileName, QStringLiteral("seq1contig.tsv"));
    }

    void cancelledSaveThenCancelledColourRaiseNothing()
    {
        runOnLambda();
        const QImage before = w->Picture1->Image();
        w->Command_save_Click();
        QCOMPARE(w->CommonDialog1->CancelError, false);
        QCOMPARE(w->CommonDialog1->Flags, 0L);
        w->Text4_Click();
        QVERIFY(p->messages.isEmpty());
        QCOMPARE(w->Picture1->Image(), before);
    }

    void failedSaveTellsTheUserAndKeepsTheMap()
    {
        runOnLambda();
        const QImage before = w->Picture1->Image();
        const QString label = w->Label4->Caption();
        const QString path = dir.filePath(QStringLiteral("no-such-folder/map.bmp"));
        p->saveAnswers.push_back(path);
        w->Command_save_Click();
        QCOMPARE(p->messages.size(), 1);
        QVERIFY(p->messages.front().contains(path));
        QCOMPARE(w->Picture1->Image(), before);
        QCOMPARE(w->Label4->Caption(), label);
        QCOMPARE(w->CommonDialog1->CancelError, false);
        QCOMPARE(w->CommonDialog1->Flags, 0L);
    }

    void copyPutsTheMapOnTheClipboard()
    {
        runOnLambda();
        w->Command_copy_Click();
        QCOMPARE(p->copiedImages.size(), size_t(1));
        QCOMPARE(p->copiedImages[0], w->Picture1->Image());
        p->clipboardWorks = false;
        w->Command_copy_Click();
        QVERIFY(p->messages.isEmpty());
    }
};

QTEST_MAIN(InteractionTest)
#include "tst_interaction.moc"
