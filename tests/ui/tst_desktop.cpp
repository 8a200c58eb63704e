// The window for keyboard, desktop and screen-reader users: files opened
// by drop and from the command line, the button shortcuts and their
// tooltips, the values told to assistive technology, the keyboard cursor
// over the map, and the value axis at every scroll position.
#include "analysis/fileio.h"
#include "maps/readout.h"
#include "tests/ui/runfixtures.h"
#include "tests/ui/scriptedplatform.h"
#include "window/about.h"
#include "window/accessibility.h"
#include "window/dropopen.h"
#include "window/quillet.h"

#include <QAccessible>
#include <QDir>
#include <QMimeData>
#include <QTemporaryDir>
#include <QToolTip>
#include <QtTest>
#include <fcntl.h>
#include <functional>

using namespace quillet;
using namespace quillet::test;

namespace {
QString AccessibleText(QWidget* w, QAccessible::Text t)
{
    QAccessibleInterface* i = QAccessible::queryAccessibleInterface(w);
    return i ? i->text(t) : QStringLiteral("<no interface>");
}

QMimeData* Urls(const QList<QUrl>& urls)
{
    auto* m = new QMimeData;
    m->setUrls(urls);
    return m;
}
} // namespace

class DesktopTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    std::unique_ptr<ScriptedPlatform> p;
    std::unique_ptr<Quillet> w;

    // Four windows of four bases: G+C 0, 100, 50 and 0 percent.
    QString tiny() { return WriteFile(dir, QStringLiteral("tiny.fa"), ">tiny\nAAAACCCCGCTATTTT\n"); }

    void run(const QString& path, const char* window, const char* step)
    {
        w->Text1->SetText(path);
        w->Text_WS->SetText(QString::fromLatin1(window));
        w->Text_Step->SetText(QString::fromLatin1(step));
        w->Command_run_Click();
        QVERIFY(p->messages.isEmpty());
    }

    // Drags `data` over `target` and drops it there; true when both the
    // entry and the drop were taken.
    static bool dropOn(QWidget* target, QMimeData* data)
    {
        std::unique_ptr<QMimeData> owned(data);
        const QPoint at = target->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction | Qt::LinkAction, data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &enter);
        QDropEvent drop(QPointF(at), Qt::CopyAction | Qt::LinkAction, data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &drop);
        return enter.isAccepted() && drop.isAccepted();
    }

private slots:
    void init()
    {
        p = std::make_unique<ScriptedPlatform>();
        w = std::make_unique<Quillet>(*p);
        w->show();
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
    }
    void cleanup()
    {
        w.reset();
        p.reset();
    }

    // A dropped file or one named on the command line ends as Open ends:
    // path in the box, window and step proposed, focus on Run.
    void filesOpenByDropAndCommandLine()
    {
        const QString lambda = Lambda();
        const QString missing = dir.filePath(QStringLiteral("gone.fa"));
        const QString relative = QDir::current().relativeFilePath(lambda);
        // A copy under a Latin-1 name, which is no valid UTF-8.
        const QByteArray latin1 = QFile::encodeName(dir.path()) + "/Soci\xE9t\xE9.fa";
        {
            QFile from(lambda), to;
            QVERIFY(from.open(QIODevice::ReadOnly));
            const int fd = ::open(latin1.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            QVERIFY(fd >= 0 && to.open(fd, QIODevice::WriteOnly, QFile::AutoCloseHandle));
            to.write(from.readAll());
        }
        const QString latin1Path = PathFromNative(latin1);
        const QUrl latin1Url = QUrl::fromEncoded("file://" + latin1.toPercentEncoding("/"));
        struct Case {
            const char* how;
            std::function<void()> open;
            QString path, window, step; // expected boxes
        } cases[] = {
            {"drop on the window", [&] { QVERIFY(dropOn(w.get(), Urls({QUrl::fromLocalFile(lambda)}))); }, lambda,
             "100", "50"},
            {"drop on the file box", [&] { QVERIFY(dropOn(w->Text1, Urls({QUrl::fromLocalFile(lambda)}))); }, lambda,
             "100", "50"},
            {"drop on the step box", [&] { QVERIFY(dropOn(w->Text_Step, Urls({QUrl::fromLocalFile(lambda)}))); },
             lambda, "100", "50"},
            {"drop of a missing file", [&] { QVERIFY(dropOn(w.get(), Urls({QUrl::fromLocalFile(missing)}))); }, missing,
             "1", "1"},
            {"relative path argument",
             [&] {
                 OpenFilePath(*w, *CommandLineFile({"quillet", relative}));
             },
             lambda, "100", "50"},
            {"URL argument",
             [&] {
                 OpenFilePath(*w, *CommandLineFile({"quillet", QUrl::fromLocalFile(lambda).toString()}));
             },
             lambda, "100", "50"},
            {"drop of a file whose name is no valid UTF-8", [&] { QVERIFY(dropOn(w.get(), Urls({latin1Url}))); },
             latin1Path, "100", "50"},
            {"argument whose bytes are no valid UTF-8",
             [&] {
                 OpenFilePath(*w, *CommandLineFile({"quillet", latin1Path}));
             },
             latin1Path, "100", "50"},
            {"URL argument of such a file",
             [&] {
                 OpenFilePath(*w, *CommandLineFile({"quillet", QString::fromLatin1(latin1Url.toEncoded())}));
             },
             latin1Path, "100", "50"},
        };
        for (const Case& c : cases) {
            w->Text1->SetText(QStringLiteral("before"));
            w->Text_WS->SetText(QStringLiteral("1"));
            w->Text_Step->SetText(QStringLiteral("1"));
            w->Command_open->setFocus();
            c.open();
            QVERIFY2(w->Text1->Text() == c.path, c.how);
            QVERIFY2(w->Text_WS->Text() == c.window && w->Text_Step->Text() == c.step, c.how);
            QVERIFY2(w->focusWidget() == w->Command_run, c.how);
        }
        QVERIFY(p->openRequests.empty() && p->messages.isEmpty());
        // and the run reads it.
        run(latin1Path, "1000", "500");
        QCOMPARE(w->Label6->Caption(), QStringLiteral("48502"));

        // An annotation dropped adds its features and leaves the boxes (its
        // features are on a record the run lacks, which is said); a GFF3
        // file that holds its sequences opens as a sequence file does.
        const QString gff3 = QStringLiteral(QUILLET_SOURCE_DIR "/tests/data/ecoli_excerpt.gff3");
        const QString withSequence =
            WriteFile(dir, QStringLiteral("withseq.gff3"),
                      "##gff-version 3\nc1\t.\tgene\t1\t4\t.\t+\t.\tID=g1\n##FASTA\n>c1\nACGTACGT\n");
        QVERIFY(dropOn(w.get(), Urls({QUrl::fromLocalFile(gff3)})));
        QCOMPARE(w->Text1->Text(), latin1Path);
        QCOMPARE(w->FeatureSets().size(), std::size_t(1));
        QCOMPARE(p->messages.size(), 1);
        QVERIFY2(p->messages[0].contains(QStringLiteral("ecoli_excerpt.gff3")) &&
                     p->messages[0].contains(QStringLiteral("on NC_000913.3, which the sequence file does not hold")),
                 qPrintable(p->messages[0]));
        p->messages.clear();
        QVERIFY(dropOn(w.get(), Urls({QUrl::fromLocalFile(withSequence)})));
        QCOMPARE(w->Text1->Text(), withSequence);
        QCOMPARE(w->FeatureSets().size(), std::size_t(1));

        // Only local files are taken; text dropped into a box stays the box's.
        QVERIFY(!CommandLineFile({"quillet"}));
        const std::unique_ptr<QMimeData> remote(Urls({QUrl(QStringLiteral("https://example.org/x.fa"))}));
        QVERIFY(!DroppedFile(remote.get()));
        auto* text = new QMimeData;
        text->setText(QStringLiteral("typed"));
        w->Text1->SetText(QString());
        w->Text_WS->SetText(QStringLiteral("1"));
        QVERIFY(!dropOn(w.get(), text));
        text = new QMimeData;
        text->setText(QStringLiteral("typed"));
        dropOn(w->Text1, text);
        QCOMPARE(w->Text1->Text(), QStringLiteral("typed"));
        QCOMPARE(w->Text_WS->Text(), QStringLiteral("1"));
    }

    // Each shortcut presses its button from anywhere in the window, and
    // each button's tooltip names its keys.
    void shortcutsPressTheirButtons()
    {
        const std::pair<QWidget*, QString> tips[] = {
            {w->Command_open, "Open a FASTA file (Ctrl+O)"},
            {w->Command_run, "Run the analysis (Ctrl+R, F5)"},
            {w->Command_copy, "Copy the map to the clipboard (Ctrl+Shift+C)"},
            {w->Command_save, "Save the map as a bitmap file (Ctrl+S)"},
            {w->Command_about, "About Quillet (F1)"},
        };
        for (const auto& [button, tip] : tips)
            QCOMPARE(button->toolTip(), tip);

        p->openAnswers.push_back(Lambda());
        bool aboutShown = false;
        struct Case {
            QWidget* focus;
            Qt::Key key;
            Qt::KeyboardModifiers mods;
            std::function<bool()> done;
        } cases[] = {
            {w->Command_open, Qt::Key_O, Qt::ControlModifier, [&] { return w->Text1->Text() == Lambda(); }},
            {w->Text_WS, Qt::Key_F5, Qt::NoModifier, [&] { return w->Label6->Caption() == "48502"; }},
            {w->Picture1, Qt::Key_S, Qt::ControlModifier, [&] { return p->saveRequests.size() == 1; }},
            {w->Text_Step, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier,
             [&] { return p->copiedImages.size() == 1; }},
            {w->Text1, Qt::Key_R, Qt::ControlModifier, [&] { return p->messages == QStringList{kFile}; }},
            {w->Combo1, Qt::Key_F1, Qt::NoModifier, [&] { return aboutShown; }},
            // The colour swatch is pressed like a button.
            {w->Text4, Qt::Key_Space, Qt::NoModifier, [&] { return p->colorRequests.size() == 1; }},
            {w->Text4, Qt::Key_Return, Qt::NoModifier, [&] { return p->colorRequests.size() == 2; }},
        };
        for (const Case& c : cases) {
            if (c.key == Qt::Key_R)
                w->Text1->SetText(dir.filePath(QStringLiteral("gone.fa")));
            if (c.key == Qt::Key_F1) {
                QTimer::singleShot(0, this, [&] {
                    if (AboutWindow* a = w->aboutWindow() ? w->aboutWindow()->window() : nullptr) {
                        aboutShown = true;
                        a->reject();
                    }
                });
            }
            c.focus->setFocus();
            QTest::keyClick(c.focus, c.key, c.mods);
            QVERIFY2(c.done(), qPrintable(QKeySequence(c.key | c.mods).toString()));
        }
    }

    // The result labels, the readout and the map carry what they show; the
    // colour swatch is a push button.
    void valuesAreToldToAssistiveTechnology()
    {
        QAccessibleInterface* swatch = QAccessible::queryAccessibleInterface(w->Text4);
        QVERIFY(swatch && swatch->actionInterface());
        QCOMPARE(swatch->role(), QAccessible::Button);
        QCOMPARE(swatch->text(QAccessible::Name), QStringLiteral("Color"));
        QVERIFY(swatch->state().focusable);
        QCOMPARE(swatch->actionInterface()->actionNames().value(0), QAccessibleActionInterface::pressAction());
        swatch->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(p->colorRequests.size(), size_t(1));

        QCOMPARE(AccessibleText(w->Label6, QAccessible::Name), QStringLiteral("Total bases (bp):"));
        run(Lambda(), "1000", "500");
        QCOMPARE(AccessibleText(w->Label6, QAccessible::Name), QStringLiteral("Total bases (bp): 48502"));
        QCOMPARE(AccessibleText(w->Label4, QAccessible::Name), QStringLiteral("Average G+C (%): 49.9"));
        QCOMPARE(AccessibleText(w->Label4, QAccessible::Description), QStringLiteral("49.9"));
        QCOMPARE(w->Label6->Caption(), QStringLiteral("48502")); // captions unchanged
        const QString map = AccessibleText(w->Picture1, QAccessible::Description);
        QVERIFY2(map.startsWith("G+C content map of " + w->Text5->Text() + ": 96 windows of 1000 bp, step 500 bp."),
                 qPrintable(map));

        run(tiny(), "4", "4");
        QCOMPARE(AccessibleText(w->Picture1, QAccessible::Description),
                 QStringLiteral("G+C content map of tiny: 4 windows of 4 bp, step 4 bp. Lowest 0% at window 1 "
                                "(bases 1 to 4); highest 100% at window 2 (bases 5 to 8). Value axis 30%, 40%, "
                                "50%, 60%, 70% from bottom to top, reference line at 50%."));
        w->Combo1->SetListIndex(1);
        const QString skew = AccessibleText(w->Picture1, QAccessible::Description);
        QVERIFY2(skew.startsWith("G-C/G+C map of tiny: 4 windows of 4 bp, step 4 bp. Lowest -1 at window 2"),
                 qPrintable(skew));

        // A failed run takes the values and the description away again.
        w->Text1->SetText(dir.filePath(QStringLiteral("gone.fa")));
        w->Command_run_Click();
        QCOMPARE(p->messages, QStringList{kFile});
        QCOMPARE(AccessibleText(w->Label6, QAccessible::Name), QStringLiteral("Total bases (bp):"));
        QCOMPARE(AccessibleText(w->Label4, QAccessible::Name), QStringLiteral("Average G+C (%):"));
        QVERIFY(AccessibleText(w->Picture1, QAccessible::Description).isEmpty());
    }

    // Tab visits every control that takes input in the tab order, and
    // Shift+Tab goes back; each shows that it has the focus, by at least a
    // two-pixel ring where the style shows none of its own (map, scroll bar,
    // colour swatch). The map's ring is no part of its picture.
    void tabVisitsEveryControlVisiblyFocused()
    {
        run(tiny(), "4", "4");
        const QList<QWidget*> order = {w->Command_open, w->Command_run, w->Picture1, w->Text_WS,      w->Text_Step,
                                       w->Command_copy, w->Text4,       w->Text5,    w->Command_save, w->Command_about,
                                       w->Text1,        w->VScroll1,    w->Combo1};
        const QList<QWidget*> ringed = {w->Picture1, w->VScroll1, w->Text4};
        const auto names = [](const QList<QWidget*>& ws) {
            QStringList n;
            for (QWidget* c : ws)
                n << c->objectName();
            return n.join(' ');
        };
        const auto focused = [&] {
            for (QWidget* c : order)
                if (c->hasFocus())
                    return c;
            return static_cast<QWidget*>(nullptr);
        };
        for (const Qt::Key key : {Qt::Key_Tab, Qt::Key_Backtab}) {
            // Into Open by the key, as a keyboard user comes to it.
            (key == Qt::Key_Tab ? static_cast<QWidget*>(w->Combo1) : w->Command_run)->setFocus();
            QTest::keyClick(QApplication::focusWidget(), key);
            QList<QWidget*> visited{focused()};
            QMap<QWidget*, QImage> withFocus;
            for (qsizetype i = 0; i < order.size(); ++i) {
                QWidget* now = visited.last();
                QVERIFY(now);
                withFocus[now] = now->grab().toImage();
                QTest::keyClick(QApplication::focusWidget(), key);
                const QImage without = now->grab().toImage();
                QVERIFY2(without != withFocus[now], qPrintable(now->objectName() + " shows no focus"));
                if (ringed.contains(now)) {
                    int changed = 0;
                    for (int y = 0; y < without.height(); ++y)
                        for (int x = 0; x < without.width(); ++x)
                            changed += without.pixel(x, y) != withFocus[now].pixel(x, y);
                    const int ring = 2 * 2 * (without.width() + without.height()) - 16;
                    QVERIFY2(changed >= ring * 9 / 10, qPrintable(QStringLiteral("%1: %2 pixels of a %3-pixel ring")
                                                                      .arg(now->objectName())
                                                                      .arg(changed)
                                                                      .arg(ring)));
                }
                visited << focused();
            }
            QList<QWidget*> expected = order;
            if (key == Qt::Key_Backtab)
                std::reverse(expected.begin() + 1, expected.end());
            expected << w->Command_open;
            QCOMPARE(names(visited), names(expected));
        }
        w->Picture1->setFocus();
        QCOMPARE(w->Picture1->Inside()->grab().toImage().convertToFormat(QImage::Format_RGB32),
                 w->Picture1->Image().convertToFormat(QImage::Format_RGB32));
    }

    // With the map focused the keys move the cursor line window by window,
    // through the mouse's readout; the window's value goes to the tooltip.
    void keyboardCursorWalksTheWindows()
    {
        run(tiny(), "4", "4");
        w->Picture1->setFocus();
        struct Case {
            Qt::Key key;
            int window;
            QString value;
        } cases[] = {
            {Qt::Key_Right, 1, "0%"},      {Qt::Key_Right, 2, "100%"}, {Qt::Key_End, 4, "0%"},
            {Qt::Key_Right, 4, "0%"},      {Qt::Key_Left, 3, "50%"},   {Qt::Key_Home, 1, "0%"},
            {Qt::Key_PageDown, 2, "100%"}, {Qt::Key_PageUp, 1, "0%"},  {Qt::Key_Left, 1, "0%"},
        };
        for (const Case& c : cases) {
            QTest::keyClick(w->Picture1, c.key);
            const int middle = (c.window - 1) * 4 + 2; // window k's middle base, counted from 0
            const auto shown = ReadoutPosition(w->Line3->X1(), w->Picture1->Height() / 2, w->Picture1->Width(),
                                               w->Picture1->Height(), w->Label6->Caption());
            QVERIFY(shown);
            QCOMPARE(*shown, int64_t(middle));
            QCOMPARE(w->Line3->DrawMode(), 13);
            QCOMPARE(w->Label_move->Caption(), QString::number(middle));
            QCOMPARE(AccessibleText(w->Label_move, QAccessible::Name), "Position " + QString::number(middle));
            const QString window = QStringLiteral("Window %1 of 4, bases %2 to %3: G+C content %4.")
                                       .arg(c.window)
                                       .arg(middle - 1)
                                       .arg(middle + 2)
                                       .arg(c.value);
            QCOMPARE(w->Picture1->toolTip(), window);
            QVERIFY(AccessibleText(w->Picture1, QAccessible::Description).endsWith(" Cursor at " + window));
        }
        // The mouse takes the line over: the keyboard's window is no longer
        // told in the description, and the tooltip tells the window under
        // the mouse just as the keyboard told it; outside the plot, none.
        QTest::mouseMove(w->Picture1->Inside(), QPoint(300, 100));
        QVERIFY(w->Picture1->toolTip().startsWith("Window "));
        QVERIFY(!AccessibleText(w->Picture1, QAccessible::Description).contains("Cursor at"));
        for (int k = 1; k <= 4; ++k) {
            QTest::keyClick(w->Picture1, Qt::Key_Home);
            for (int right = 1; right < k; ++right)
                QTest::keyClick(w->Picture1, Qt::Key_Right);
            const QString told = w->Picture1->toolTip();
            QVERIFY(told.startsWith(QStringLiteral("Window %1 of 4,").arg(k)));
            QTest::mouseMove(w->Picture1->Inside(), QPoint(2, 2));
            QVERIFY(w->Picture1->toolTip().isEmpty());
            QTest::mouseMove(w->Picture1->Inside(), QPoint(tk::ToPixels(w->Line3->X1()), 100));
            QCOMPARE(w->Picture1->toolTip(), told);
        }
        QTest::keyClick(w->Picture1, Qt::Key_Right);
        QVERIFY(w->Picture1->toolTip().startsWith("Window 1 of 4,"));
        QVERIFY(QToolTip::isVisible());

        // The next run's map starts with no window told or under the cursor.
        run(tiny(), "4", "4");
        QTRY_VERIFY(!QToolTip::isVisible()); // it fades out
        QVERIFY(w->Picture1->toolTip().isEmpty());
        QVERIFY(!AccessibleText(w->Picture1, QAccessible::Description).contains("Cursor at"));
        QTest::keyClick(w->Picture1, Qt::Key_Right);
        QVERIFY(w->Picture1->toolTip().startsWith("Window 1 of 4,"));
    }

    // The scroll bar's position sets the value axis: 0 puts it lowest,
    // each step down the bar raises it by ten points; the drawing is the map
    // with that shift.
    void scrollPositionsSetTheValueAxis()
    {
        run(Lambda(), "1000", "500");
        struct Case {
            int plot, position, shift;
            QString labels, reference;
        } cases[] = {
            {0, 0, -20, "10%, 20%, 30%, 40%, 50%", "30%"}, {0, 1, -10, "20%, 30%, 40%, 50%, 60%", "40%"},
            {0, 2, 0, "30%, 40%, 50%, 60%, 70%", "50%"},   {0, 3, 10, "40%, 50%, 60%, 70%, 80%", "60%"},
            {0, 4, 20, "50%, 60%, 70%, 80%, 90%", "70%"},  {1, 0, 20, "-1.0, -0.5, 0.0, 0.5, 1.0", "0.0"},
            {1, 1, 10, "-0.5, 0.0, 0.5", "0.0"},
        };
        for (const Case& c : cases) {
            const QByteArray what = QByteArray::number(c.plot) + " at " + QByteArray::number(c.position);
            w->Combo1->SetListIndex(int16_t(c.plot));
            w->VScroll1->SetValue(int16_t(c.position));
            const QString d = AccessibleText(w->Picture1, QAccessible::Description);
            QVERIFY2(
                d.endsWith(" Value axis " + c.labels + " from bottom to top, reference line at " + c.reference + "."),
                what + ": " + d.toUtf8());

            ImageSurface expected(w->Picture1->Width(), w->Picture1->Height(), w->Picture1->Surface().Border(),
                                  w->Picture1->Surface().DevicePixelRatio());
            expected.SetBackColor(w->Picture1->Surface().BackColor());
            expected.SetForeColor(w->Picture1->Surface().ForeColor());
            MapInputs in{w->AvgGC, w->Label6->Caption(), w->computedStepText, w->computedWindowText,
                         w->Text4->BackColor()};
            if (c.plot == 0)
                DrawGCMap(expected, w->GCValues, int16_t(c.shift), in);
            else
                DrawSkewMap(expected, w->SkewValues, int16_t(c.shift), in);
            QVERIFY2(w->Picture1->Image() == expected.Image(), what);
        }
        // The down arrow raises the axis.
        w->Combo1->SetListIndex(0);
        w->VScroll1->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        QVERIFY(AccessibleText(w->Picture1, QAccessible::Description).contains("Value axis 40%, 50%, 60%, 70%, 80%"));
    }
};

QTEST_MAIN(DesktopTest)
#include "tst_desktop.moc"
