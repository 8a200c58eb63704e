// The explorer as a user reaches it: opened from the map's menu and with
// Ctrl+E on the record shown, zoomed and panned with keys and the mouse
// without leaving the record, its values equal to a computation of the same
// stretch, the region box, and tracks shown and hidden.
#include "analysis/calcwindows.h"
#include "analysis/recordname.h"
#include "maps/syscolors.h"
#include "tests/ui/picturechecks.h"
#include "tests/ui/runfixtures.h"
#include "tests/ui/scriptedplatform.h"
#include "window/explorer.h"
#include "window/quillet.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace quillet;
using namespace quillet::test;

namespace {
const QString kExcerpt = QStringLiteral(QUILLET_SOURCE_DIR "/tests/data/athaliana_excerpt.fa");

void Run(Quillet& w, const QString& path, const char* window, const char* step)
{
    w.Text1->SetText(path);
    w.Text_WS->SetText(QString::fromLatin1(window));
    w.Text_Step->SetText(QString::fromLatin1(step));
    w.Command_run_Click();
}

QAction* ExploreAction(Quillet& w)
{
    for (QAction* a : w.MapMenu()->actions())
        if (a->text() == QStringLiteral("Explore\u2026"))
            return a;
    return nullptr;
}

// The sequence of the one-record FASTA file at `path`.
std::string Sequence(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    std::string s;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (!line.startsWith('>'))
            s += line.trimmed().toStdString();
    return s;
}

// The explorer of lambda, opened after a run.
ExplorerWindow* OpenLambda(Quillet& w)
{
    w.show();
    Run(w, Lambda(), "1000", "500");
    w.Explore_Click();
    return w.explorerWindow();
}

int64_t Span(const ExplorerWindow& e)
{
    return e.viewTo() - e.viewFrom() + 1;
}
} // namespace

class ExplorerTest : public QObject {
    Q_OBJECT

private slots:
    void opensFromMenuAndCtrlEOnTheRecordShown()
    {
        ScriptedPlatform p;
        Quillet w(p);
        w.show();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QAction* explore = ExploreAction(w);
        QVERIFY(explore);
        // Before a run: disabled in the menu, and Ctrl+E does nothing.
        emit w.MapMenu()->aboutToShow();
        QVERIFY(!explore->isEnabled());
        QTest::keyClick(&w, Qt::Key_E, Qt::ControlModifier);
        QVERIFY(!w.explorerWindow());

        Run(w, kExcerpt, "200", "100");
        QVERIFY(p.messages.isEmpty());
        QVERIFY(w.ShowRecord(1)); // Chr2, 30,000 bp
        emit w.MapMenu()->aboutToShow();
        QVERIFY(explore->isEnabled());
        explore->trigger();
        ExplorerWindow* e = w.explorerWindow();
        QVERIFY(e && e->isVisible());
        QCOMPARE(e->recordIndex(), int64_t(1));
        QCOMPARE(e->recordBox()->currentText(), QStringLiteral("Chr2 1..30000"));
        QCOMPARE(e->recordBox()->count(), 7);
        QCOMPARE(e->viewFrom(), int64_t(1));
        QCOMPARE(e->viewTo(), int64_t(30000));
        QVERIFY(!e->picture().gc.empty());

        e->close();
        QVERIFY(w.ShowRecord(5)); // ChrM
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QTest::keyClick(&w, Qt::Key_E, Qt::ControlModifier);
        QVERIFY(e->isVisible());
        QCOMPARE(e->recordIndex(), int64_t(5));
        QCOMPARE(e->viewTo(), int64_t(3669));

        // The chooser switches records.
        e->recordBox()->setCurrentIndex(2);
        emit e->recordBox()->activated(2);
        QCOMPARE(e->recordIndex(), int64_t(2));
        QCOMPARE(e->length(), int64_t(5000));
        // Opened again, it goes back to the record shown, and keeps the view
        // of a record it already shows.
        w.Explore_Click();
        QCOMPARE(e->recordIndex(), int64_t(5));
        e->setView(101, 600);
        w.Explore_Click();
        QCOMPARE(e->viewFrom(), int64_t(101));
        QCOMPARE(e->viewTo(), int64_t(600));
    }

    void aNewRunRefreshesAnOpenExplorer()
    {
        ScriptedPlatform p;
        Quillet w(p);
        ExplorerWindow* e = OpenLambda(w);
        QVERIFY(e && e->isVisible());
        const RecordStore* before = e->store();
        // A run on another file: the explorer shows the record now shown.
        Run(w, kExcerpt, "200", "100");
        QVERIFY(e->store() != before && e->store() == w.records.get());
        QCOMPARE(e->recordIndex(), int64_t(6));
        QCOMPARE(e->recordBox()->count(), 7);
        QCOMPARE(e->viewTo(), e->length());
        QVERIFY(e->messageLabel()->isHidden());
        // A run that fails leaves it empty, and says why.
        p.messages.clear();
        Run(w, QStringLiteral(QUILLET_SOURCE_DIR "/tests/data/no such file.fa"), "200", "100");
        QVERIFY(!e->store() && e->recordIndex() == -1 && e->picture().gc.empty());
        QVERIFY(!e->messageLabel()->isHidden() && !e->messageLabel()->text().isEmpty());
        QCOMPARE(e->recordBox()->count(), 0);
    }

    void exportsTheViewAsQuilletMapWritesIt()
    {
        ScriptedPlatform p;
        Quillet w(p);
        ExplorerWindow* e = OpenLambda(w);
        QTemporaryDir dir;
        e->setView(10001, 20000);
        const QString region =
            QStringLiteral("%1:%2-%3").arg(RecordId(e->store()->info(0).name)).arg(e->viewFrom()).arg(e->viewTo());
        const QStringList common = {QStringLiteral("-w"),       QString::number(e->window()), QStringLiteral("-s"),
                                    QString::number(e->step()), QStringLiteral("--region"),   region};
        // Ctrl+Shift+E; a name without extension gets the chosen type's.
        e->activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), e);
        p.saveOfTypeAnswers.push_back(SaveChoice{dir.filePath(QStringLiteral("view")), 0});
        QTest::keyClick(e->canvas(), Qt::Key_E, Qt::ControlModifier | Qt::ShiftModifier);
        QVERIFY(p.saveOfTypeAnswers.empty());
        QVERIFY2(QFile::exists(dir.filePath(QStringLiteral("view.tsv"))), qPrintable(p.messages.join(u'|')));
        const struct {
            const char* name;
            int filter;
            QStringList options;
        } values[] = {{"a.tsv", 0, {}},
                      {"b.bedgraph", 1, {}},
                      {"c.bedgraph", 2, {QStringLiteral("--plot"), QStringLiteral("skew")}},
                      {"d.bedgraph", 3, {QStringLiteral("--plot"), QStringLiteral("cumulative")}}};
        for (const auto& v : values) {
            const QString ours = dir.filePath(QString::fromLatin1(v.name)), cli = ours + QStringLiteral(".cli");
            p.saveOfTypeAnswers.push_back(SaveChoice{ours, v.filter});
            QVERIFY(e->exportValues());
            const QString suffix =
                ours.endsWith(QStringLiteral(".tsv")) ? QStringLiteral(".tsv") : QStringLiteral(".bedgraph");
            QProcess map;
            map.start(QStringLiteral(QUILLET_MAP),
                      common + v.options + QStringList{QStringLiteral("--values"), cli + suffix, Lambda()});
            QVERIFY(map.waitForFinished(60000) && map.exitCode() == 0);
            QFile a(ours), b(cli + suffix);
            QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
            const QByteArray mine = a.readAll();
            QCOMPARE(mine, b.readAll());
            QVERIFY(mine.count('\n') >= 1000);
        }
        // Ctrl+Shift+P and the tracks' menu: PNG at 1x, 2x and 4x, SVG with text as text, PDF.
        p.saveOfTypeAnswers.push_back(SaveChoice{dir.filePath(QStringLiteral("p1.png")), 0});
        QTest::keyClick(e->canvas(), Qt::Key_P, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(QImage(dir.filePath(QStringLiteral("p1.png"))).size(), e->canvas()->size());
        for (int scale : {2, 4}) {
            const QString png = dir.filePath(QStringLiteral("p%1.png").arg(scale));
            p.saveOfTypeAnswers.push_back(SaveChoice{png, scale / 2});
            QVERIFY(e->exportPicture());
            QCOMPARE(QImage(png).size(), e->canvas()->size() * scale);
        }
        p.saveOfTypeAnswers.push_back(SaveChoice{dir.filePath(QStringLiteral("v.svg")), 0});
        QVERIFY(e->exportPicture());
        QFile svg(dir.filePath(QStringLiteral("v.svg")));
        QVERIFY(svg.open(QIODevice::ReadOnly));
        const QByteArray drawing = svg.readAll();
        QVERIFY(drawing.contains("<text") && drawing.contains("G-C/G+C") && drawing.contains("<path"));
        QVERIFY(!drawing.contains("<image"));
        p.saveOfTypeAnswers.push_back(SaveChoice{dir.filePath(QStringLiteral("v")), 4});
        QVERIFY(e->exportPicture());
        QFile pdf(dir.filePath(QStringLiteral("v.pdf")));
        QVERIFY(pdf.open(QIODevice::ReadOnly) && pdf.read(5) == "%PDF-");
        QCOMPARE(e->canvas()->actions().size(), 3);
        // A cancelled dialog writes nothing.
        p.saveOfTypeAnswers.push_back(std::nullopt);
        QVERIFY(!e->exportValues());
        QVERIFY(p.messages.isEmpty());
    }

    void islandsAsQuilletMapWritesThem()
    {
        // E. coli at 5 kb windows every 1 kb: islands above and below the
        // mean. The map's menu writes those of the run, the explorer those
        // of its record, both as quillet-map does; the G+C track shades them.
        ScriptedPlatform p;
        Quillet w(p);
        w.show();
        const QString ecoli = QStringLiteral(QUILLET_SOURCE_DIR "/samples/ecoli_k12_mg1655.fna.gz");
        Run(w, ecoli, "5000", "1000");
        QTemporaryDir dir;
        const QString cli = dir.filePath(QStringLiteral("cli.bed"));
        QProcess map;
        map.start(QStringLiteral(QUILLET_MAP), {QStringLiteral("-w"), QStringLiteral("5000"), QStringLiteral("-s"),
                                                QStringLiteral("1000"), QStringLiteral("--islands"), cli, ecoli});
        QVERIFY(map.waitForFinished(60000) && map.exitCode() == 0);
        QFile expected(cli);
        QVERIFY(expected.open(QIODevice::ReadOnly));
        const QByteArray bed = expected.readAll();
        QVERIFY(bed.contains("\thigh\t") && bed.contains("\tlow\t"));
        const auto written = [&](const QString& path) {
            QFile f(path);
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(not written)");
        };
        p.saveOfTypeAnswers.push_back(SaveChoice{dir.filePath(QStringLiteral("map.bed")), 0});
        w.ExportIslands_Click();
        QCOMPARE(written(dir.filePath(QStringLiteral("map.bed"))), bed);

        w.Explore_Click();
        ExplorerWindow* e = w.explorerWindow();
        QCOMPARE(qsizetype(e->picture().islands.size()), bed.count('\n') - 1);
        p.saveOfTypeAnswers.push_back(SaveChoice{dir.filePath(QStringLiteral("explorer.bed")), 0});
        QVERIFY(e->exportIslands());
        QCOMPARE(written(dir.filePath(QStringLiteral("explorer.bed"))), bed);
        // A file that cannot be written is said so.
        p.saveOfTypeAnswers.push_back(SaveChoice{dir.filePath(QStringLiteral("none/i.bed")), 0});
        QVERIFY(!e->exportIslands());
        QVERIFY(p.messages.size() == 1 && p.messages[0].startsWith(QStringLiteral("The islands could not be saved")));
    }

    void accessibleDescriptionFollowsTheView()
    {
        ScriptedPlatform p;
        Quillet w(p);
        ExplorerWindow* e = OpenLambda(w);
        const auto description = [e] { return e->canvas()->accessibleDescription(); };
        QVERIFY(description().contains(QStringLiteral("bases 1 to 48,502 of 48,502; window %1 bp, step %2 bp.")
                                           .arg(GroupedInteger(e->window()), GroupedInteger(e->step()))));
        QVERIFY(description().contains(QStringLiteral("Origin at %1 bp").arg(GroupedInteger(*e->picture().origin))));
        QVERIFY(
            description().contains(QStringLiteral("terminus at %1 bp").arg(GroupedInteger(*e->picture().terminus))));
        e->setView(101, 600);
        const ExplorerPicture& v = e->picture();
        const auto low = std::min_element(v.gc.begin(), v.gc.end()) - v.gc.begin();
        const auto high = std::max_element(v.skew.begin(), v.skew.end()) - v.skew.begin();
        const auto at = [&](int64_t k) {
            return QStringLiteral("%1-%2").arg(101 + k * v.step).arg(101 + k * v.step + v.window - 1);
        };
        QVERIFY(description().startsWith(e->store()->info(0).name + QStringLiteral(", bases 101 to 600 of")));
        QVERIFY2(
            description().contains(
                QStringLiteral("G+C (%): lowest %1 at %2,").arg(QString::number(v.gc[size_t(low)], 'f', 1), at(low))),
            qPrintable(description()));
        QVERIFY(description().contains(
            QStringLiteral("highest %1 at %2.").arg(QString::number(v.skew[size_t(high)], 'f', 2), at(high))));
        QVERIFY(description().contains(QStringLiteral("(outside the view)")));
        e->setTrackShown(Plot::GCContent, false);
        QVERIFY(!description().contains(QStringLiteral("G+C (%)")));
        QVERIFY(description().contains(QStringLiteral("Cumulative G-C/G+C: lowest")));
    }

    void zoomAndPanStayInsideTheRecord()
    {
        ScriptedPlatform p;
        Quillet w(p);
        ExplorerWindow* e = OpenLambda(w);
        QVERIFY(e);
        QVERIFY(QTest::qWaitForWindowExposed(e));
        const int64_t L = 48502;
        QCOMPARE(Span(*e), L);
        QCOMPARE(
            e->windowLabel()->text(),
            QStringLiteral("Window %1 bp, step %2 bp").arg(GroupedInteger(e->window()), GroupedInteger(e->step())));

        // Keys: + halves the span around the middle, - doubles it.
        QTest::keyClick(e->canvas(), Qt::Key_Plus);
        QCOMPARE(Span(*e), L / 2);
        QVERIFY(std::abs(e->viewFrom() - 1 + e->viewTo() - L) <= 1); // centred
        QTest::keyClick(e->canvas(), Qt::Key_Plus);
        const int64_t span = Span(*e), from = e->viewFrom();
        QTest::keyClick(e->canvas(), Qt::Key_Right);
        QCOMPARE(e->viewFrom(), from + std::llround(double(span) / 10));
        QCOMPARE(Span(*e), span);
        QTest::keyClick(e->canvas(), Qt::Key_Left);
        QCOMPARE(e->viewFrom(), from);
        // Panning past either end stops at it.
        for (int i = 0; i < 30; ++i)
            QTest::keyClick(e->canvas(), Qt::Key_Right);
        QCOMPARE(e->viewTo(), L);
        QCOMPARE(Span(*e), span);
        for (int i = 0; i < 5; ++i)
            QTest::keyClick(e->canvas(), Qt::Key_PageUp);
        QCOMPARE(e->viewFrom(), int64_t(1));
        QTest::keyClick(e->canvas(), Qt::Key_Minus);
        QCOMPARE(Span(*e), 2 * span);
        QCOMPARE(e->viewFrom(), int64_t(1));
        // Zooming in as far as it goes stops at the shortest view.
        for (int i = 0; i < 20; ++i)
            QTest::keyClick(e->canvas(), Qt::Key_Plus);
        QCOMPARE(Span(*e), ExplorerWindow::kMinimumSpan);
        QVERIFY(e->viewFrom() >= 1 && e->viewTo() <= L);
        QTest::keyClick(e->canvas(), Qt::Key_Home);
        QCOMPARE(Span(*e), L);
        for (int i = 0; i < 3; ++i)
            QTest::keyClick(e->canvas(), Qt::Key_Minus);
        QCOMPARE(Span(*e), L);
    }

    void mouseZoomsPansAndShowsTheRecordWhole()
    {
        ScriptedPlatform p;
        Quillet w(p);
        ExplorerWindow* e = OpenLambda(w);
        QVERIFY(QTest::qWaitForWindowExposed(e));
        QWidget* c = e->canvas();
        const int y = c->height() / 2;
        const QPoint at(c->width() / 3, y);
        const auto positionAt = [&](int x) {
            const ExplorerLayout l = LayOutExplorer(float(c->width()) * 15, float(c->height()) * 15, e->picture());
            return ExplorerPositionAt(l, e->picture(), float(x) * 15);
        };
        // The wheel zooms in with the base under the pointer kept there.
        const double before = positionAt(at.x());
        QWheelEvent wheel(at, c->mapToGlobal(at), {}, QPoint(0, 360), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                          false);
        QApplication::sendEvent(c, &wheel);
        QVERIFY(Span(*e) < 48502 / 1.9);
        QVERIFY(std::abs(positionAt(at.x()) - before) <= 2.0);

        // Dragging right shows what was to the left.
        const int64_t from = e->viewFrom(), span = Span(*e);
        QTest::mousePress(c, Qt::LeftButton, {}, at);
        QTest::mouseMove(c, at + QPoint(100, 0));
        QTest::mouseRelease(c, Qt::LeftButton, {}, at + QPoint(100, 0));
        QVERIFY(e->viewFrom() < from);
        QCOMPARE(Span(*e), span);

        // Shift+drag shows the dragged stretch.
        const double a = positionAt(200), b = positionAt(400);
        QTest::mousePress(c, Qt::LeftButton, Qt::ShiftModifier, QPoint(200, y));
        QTest::mouseMove(c, QPoint(400, y));
        QTest::mouseRelease(c, Qt::LeftButton, Qt::ShiftModifier, QPoint(400, y));
        QVERIFY(std::abs(double(e->viewFrom() - 1) - a) <= 1.0);
        QVERIFY(std::abs(double(e->viewTo()) - b) <= 1.0);

        // The status line reads the position and every track there.
        QMouseEvent hover(QEvent::MouseMove, QPointF(300, y), c->mapToGlobal(QPointF(300, y)), Qt::NoButton,
                          Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(c, &hover);
        const QString status = e->statusLabel()->text();
        QVERIFY2(status.startsWith(QStringLiteral("Position ")) && status.contains(QStringLiteral("G+C (%) ")) &&
                     status.contains(QStringLiteral("Cumulative G-C/G+C ")),
                 qPrintable(status));

        QTest::mouseDClick(c, Qt::LeftButton, {}, QPoint(300, y));
        QCOMPARE(e->viewFrom(), int64_t(1));
        QCOMPARE(e->viewTo(), int64_t(48502));
    }

    void viewValuesEqualTheStretchComputedAlone()
    {
        ScriptedPlatform p;
        Quillet w(p);
        ExplorerWindow* e = OpenLambda(w);
        const std::string lambda = Sequence(Lambda());
        QCOMPARE(int64_t(lambda.size()), e->length());
        const std::pair<int64_t, int64_t> views[] = {{1, 48502}, {10001, 20000}, {1001, 1300}};
        for (const auto& [from, to] : views) {
            e->setView(from, to);
            QCOMPARE(e->viewFrom(), from);
            QCOMPARE(e->viewTo(), to);
            QVERIFY(e->window() >= 10 && e->step() >= 1 && e->step() <= e->window());
            WindowResults alone;
            CalcWindows(std::string_view(lambda).substr(size_t(from - 1), size_t(to - from + 1)), e->window(),
                        e->step(), alone);
            const ExplorerPicture& v = e->picture();
            QCOMPARE(v.gc.size() + 2, alone.GCValues.size());
            QVERIFY(v.gc.size() >= (to - from + 1 >= 10000 ? 1000u : 20u));
            // The running sum as the values table adds it: in hundredths.
            int64_t hundredths = 0;
            for (size_t k = 0; k < v.gc.size(); ++k) {
                QCOMPARE(v.gc[k], alone.GCValues[k + 1]);
                QCOMPARE(v.skew[k], alone.SkewValues[k + 1]);
                hundredths += std::llround(double(alone.SkewValues[k + 1]) * 100.0);
                QCOMPARE(v.cumulative[k], double(hundredths) / 100.0);
            }
        }
        // The origin and terminus: where the whole record's running sum at
        // the whole view's window and step is lowest and highest.
        e->showWhole();
        WindowResults whole;
        CalcWindows(lambda, e->window(), e->step(), whole);
        int64_t sum = 0, low = INT64_MAX, high = INT64_MIN;
        int64_t lowAt = 0, highAt = 0;
        for (size_t k = 1; k + 1 < whole.SkewValues.size(); ++k) {
            sum += std::llround(double(whole.SkewValues[k]) * 100.0);
            const int64_t middle = int64_t(k - 1) * e->step() + (e->window() + 1) / 2;
            if (sum < low)
                low = sum, lowAt = middle;
            if (sum > high)
                high = sum, highAt = middle;
        }
        QCOMPARE(e->picture().origin.value_or(-1), lowAt);
        QCOMPARE(e->picture().terminus.value_or(-1), highAt);
    }

    void regionBoxTakesRegionsAndRefusesGarbage()
    {
        ScriptedPlatform p;
        Quillet w(p);
        w.show();
        Run(w, kExcerpt, "200", "100");
        w.Explore_Click();
        ExplorerWindow* e = w.explorerWindow();
        QVERIFY(QTest::qWaitForWindowExposed(e));
        QCOMPARE(e->recordIndex(), int64_t(6)); // ChrC, the last record
        QLineEdit* box = e->regionBox();
        const auto type = [&](const QString& text) {
            box->setFocus();
            box->selectAll();
            QTest::keyClicks(box, text);
            QTest::keyClick(box, Qt::Key_Return);
        };
        // A name switches records; separators and suffixes are read.
        type(QStringLiteral("Chr2 1..30000:1,000-2k"));
        QCOMPARE(e->recordIndex(), int64_t(1));
        QCOMPARE(e->viewFrom(), int64_t(1000));
        QCOMPARE(e->viewTo(), int64_t(2000));
        QVERIFY(!e->messageLabel()->isVisible());
        type(QStringLiteral("Chr4:2,001-3k")); // a record's ID
        QCOMPARE(e->recordIndex(), int64_t(3));
        QCOMPARE(e->viewFrom(), int64_t(2001));
        QCOMPARE(e->viewTo(), int64_t(3000));
        type(QStringLiteral("101-4,000"));
        QCOMPARE(e->viewFrom(), int64_t(101));
        QCOMPARE(e->viewTo(), int64_t(4000));
        QCOMPARE(e->focusWidget(), e->canvas()); // the arrow keys pan again

        // Garbage: a visible message, no dialog, the view as it was.
        for (const char* garbage : {"12-3", "1-2x", "Chr9:1-100", "", "6000-7000"}) {
            type(QString::fromLatin1(garbage));
            QVERIFY2(e->messageLabel()->isVisible() && !e->messageLabel()->text().isEmpty(), garbage);
            QCOMPARE(e->viewFrom(), int64_t(101));
            QCOMPARE(e->recordIndex(), int64_t(3));
        }
        QVERIFY(p.messages.isEmpty());
        type(QStringLiteral("1-500"));
        QVERIFY(!e->messageLabel()->isVisible());
    }

    void hidingATrackRemovesIt()
    {
        ScriptedPlatform p;
        Quillet w(p);
        ExplorerWindow* e = OpenLambda(w);
        QVERIFY(QTest::qWaitForWindowExposed(e));
        const auto bands = [&] {
            return LayOutExplorer(float(e->canvas()->width()) * 15, float(e->canvas()->height()) * 15, e->picture())
                .bands.size();
        };
        const QColor skewColor = ResolveColor(kExplorerTrackColors[int(Plot::Skew)]);
        QCOMPARE(bands(), size_t(3));
        QVERIFY(Contains(e->canvas()->grab().toImage(), skewColor));
        e->trackBox(Plot::Skew)->click();
        QVERIFY(!e->picture().shown[int(Plot::Skew)]);
        QCOMPARE(bands(), size_t(2));
        QVERIFY(!Contains(e->canvas()->grab().toImage(), skewColor));
        QVERIFY(!e->statusAt(20000).contains(QStringLiteral("   G-C/G+C ")));
        QVERIFY(e->statusAt(20000).contains(QStringLiteral("Cumulative G-C/G+C ")));
        e->trackBox(Plot::Skew)->click();
        QCOMPARE(bands(), size_t(3));
        QVERIFY(Contains(e->canvas()->grab().toImage(), skewColor));

        // The origin and terminus are marked while they are in view.
        const QColor mark = ResolveColor(kExplorerMarkColor);
        const int64_t origin = e->picture().origin.value_or(0), terminus = e->picture().terminus.value_or(0);
        QVERIFY(origin >= 1 && terminus >= 1 && origin != terminus);
        QVERIFY(Contains(e->canvas()->grab().toImage(), mark));
        const int64_t low = std::min(origin, terminus), high = std::max(origin, terminus);
        e->setView(low + 100, high - 100);
        QVERIFY(!Contains(e->canvas()->grab().toImage(), mark));
        e->setView(high - 200, high + 200);
        QVERIFY(Contains(e->canvas()->grab().toImage(), mark));
    }
};

QTEST_MAIN(ExplorerTest)
#include "tst_explorer.moc"
