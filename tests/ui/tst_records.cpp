// Every record of a run and the numbers and pictures behind the map, as a
// user reaches them: the map's context menu, the Records window (list,
// filter, sorting, choosing), exports of values and pictures through the
// scripted save dialog, and the marking of mostly unknown windows.
#include "analysis/numtext.h"
#include "tests/ui/picturechecks.h"
#include "tests/ui/runfixtures.h"
#include "tests/ui/scriptedplatform.h"
#include "window/circular.h"
#include "window/explorer.h"
#include "window/overview.h"
#include "window/quillet.h"
#include "window/recordswindow.h"

#include <QFile>
#include <QHeaderView>
#include <QImageReader>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QScrollBar>
#include <QSpinBox>
#include <QStyle>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <cmath>

using namespace quillet;
using namespace quillet::test;

namespace {
const QString kExcerpt = QStringLiteral(QUILLET_SOURCE_DIR "/tests/data/athaliana_excerpt.fa");

// Runs the seven-record excerpt in 200 bp windows, step 100.
void RunExcerpt(Quillet& w)
{
    w.Text1->SetText(kExcerpt);
    w.Text_WS->SetText(QStringLiteral("200"));
    w.Text_Step->SetText(QStringLiteral("100"));
    w.Command_run_Click();
}

QAction* Action(Quillet& w, const QString& text)
{
    for (QAction* a : w.MapMenu()->actions())
        if (a->text() == text)
            return a;
    return nullptr;
}

QByteArrayList Lines(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QByteArrayList lines = f.readAll().split('\n');
    if (!lines.isEmpty() && lines.back().isEmpty())
        lines.pop_back();
    return lines;
}

// A bigWig's chromosomes as pyBigWig reads them: "ID:length:intervals",
// with " past its end" when an interval ends past the length and " without
// statistics" when the reader gives none.
QStringList BigWigChromosomes(const QString& path)
{
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral("-c"),
                  QStringLiteral("import pyBigWig, sys\nb = pyBigWig.open(sys.argv[1])\n"
                                 "for c, n in b.chroms().items():\n"
                                 "    i = b.intervals(c)\n"
                                 "    print(f'{c}:{n}:{len(i)}' + (' past its end' if i[-1][1] > n else '')"
                                 " + (' without statistics' if None in b.stats(c, exact=True) else ''))"),
                  path});
    python.waitForFinished(30000);
    return QString::fromUtf8(python.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
}
} // namespace

class RecordsTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

private slots:
    void mapMenuOpensFromMouseAndKeys()
    {
        ScriptedPlatform p;
        Quillet w(p);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QStringList texts;
        for (QAction* a : w.MapMenu()->actions())
            if (!a->isSeparator())
                texts << a->text();
        QCOMPARE(texts, (QStringList{"Records\u2026", "Explore\u2026", "Overview\u2026", "Circular map\u2026",
                                     "Export values\u2026", "Export picture\u2026", "Export islands\u2026",
                                     "Features\u2026", "Mark windows of mostly unknown bases"}));
        // Features…: an annotation is added, a sequence file is refused
        // with a message that names it, and a cancelled dialog does nothing.
        const QString data = QStringLiteral(QUILLET_SOURCE_DIR "/tests/data/");
        p.openAnswers = {data + "ecoli_excerpt.gff3", data + "athaliana_excerpt.fa", std::nullopt};
        QVERIFY(w.Features_Click());
        QVERIFY(!w.Features_Click());
        QVERIFY(!w.Features_Click());
        QCOMPARE(w.FeatureSets().size(), std::size_t(1));
        QCOMPARE(p.messages.size(), 1);
        QVERIFY2(p.messages[0].contains(QStringLiteral("athaliana_excerpt.fa")), qPrintable(p.messages[0]));
        p.messages.clear();
        QAction* mark = Action(w, "Mark windows of mostly unknown bases");
        QVERIFY(mark->isCheckable() && !mark->isChecked());

        const auto opens = [&](const std::function<void()>& how) {
            w.MapMenu()->hide();
            how();
            return QTest::qWaitFor([&] { return w.MapMenu()->isVisible(); }, 2000);
        };
        QVERIFY(opens([&] {
            QContextMenuEvent e(QContextMenuEvent::Mouse, QPoint(30, 30), w.Picture1->mapToGlobal(QPoint(30, 30)));
            QApplication::sendEvent(w.Picture1->Inside(), &e);
        }));
        w.Picture1->setFocus();
        QVERIFY(opens([&] { QTest::keyClick(w.Picture1, Qt::Key_Menu); }));
        QVERIFY(opens([&] { QTest::keyClick(w.Picture1, Qt::Key_F10, Qt::ShiftModifier); }));
        w.MapMenu()->hide();
        // Before a run there is nothing to export: no dialog is asked for.
        Action(w, "Export values\u2026")->trigger();
        Action(w, "Export picture\u2026")->trigger();
        QVERIFY(p.saveOfTypeRequests.empty());
    }

    void recordsWindowListsFiltersSortsAndChooses()
    {
        ScriptedPlatform p;
        Quillet w(p);
        w.show();
        RunExcerpt(w);
        QVERIFY(p.messages.isEmpty());
        QVERIFY(w.records && w.records->size() == 7);
        QCOMPARE(w.Text5->Text(), QStringLiteral("ChrC 1..1544")); // the run ends on the last record

        // A double click on the sequence name opens the list.
        QTest::mouseDClick(w.Text5, Qt::LeftButton);
        RecordsWindow* r = w.recordsWindow();
        QVERIFY(r && r->isVisible());
        QAbstractItemModel* m = r->table()->model();
        QCOMPARE(m->rowCount(), 7);
        QStringList headers;
        for (int c = 0; c < m->columnCount(); ++c)
            headers << m->headerData(c, Qt::Horizontal).toString();
        QCOMPARE(headers, (QStringList{"No.", "Name", "Length (bp)", "Avg G+C (%)", "Unknown (%)", "Windows",
                                       "Origin (bp)", "Terminus (bp)"}));
        QVERIFY(m->headerData(RecordsModel::CumulativeMin, Qt::Horizontal, Qt::ToolTipRole)
                    .toString()
                    .contains("circular bacterial chromosome"));
        QStringList chr2;
        for (int c = 0; c < m->columnCount(); ++c)
            chr2 << m->index(1, c).data().toString();
        // 1,120 of 30,000 positions are N; (30000 - 200) / 100 + 1 windows.
        const RecordInfo& info = w.records->info(1);
        QCOMPARE(chr2, (QStringList{"2", "Chr2 1..30000", "30000", FormatSingle(info.AvgGC), "3.73", "299",
                                    QString::number(info.cumulativeMinPosition),
                                    QString::number(info.cumulativeMaxPosition)}));
        QVERIFY(info.cumulativeMinPosition >= 100 && info.cumulativeMaxPosition <= 29900);

        // At its default size every column shows whole, the last one too,
        // even beside a vertical scroll bar, and has room for its title
        // and for its widest number, in any digits: ten for positions and
        // lengths, 100.00 % unknown, 88.8 % G+C. The text is measured in
        // the table's own font, inside the margins the style keeps around a
        // cell's text and the grid line.
        QHeaderView* header = r->table()->horizontalHeader();
        const int bar = r->table()->verticalScrollBar()->isVisible()
                            ? 0
                            : r->table()->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, r->table());
        const int last = RecordsModel::ColumnCount - 1;
        QVERIFY2(header->sectionViewportPosition(last) + header->sectionSize(last) + bar <=
                     r->table()->viewport()->width(),
                 qPrintable(QString::number(r->width())));
        QTableView* table = r->table();
        const QFontMetricsF text(table->font());
        const int margins = 2 * (table->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, table) + 1) +
                            (table->showGrid() ? 1 : 0);
        const QChar point = NumberLocale::system().decimalPoint;
        for (int c = 0; c < RecordsModel::ColumnCount; ++c) {
            QVERIFY2(header->sectionSize(c) - 8 >= header->fontMetrics().horizontalAdvance(headers[c]),
                     qPrintable(headers[c]));
            const QString shape = c == RecordsModel::Unknown     ? QStringLiteral("000") + point + "00"
                                  : c == RecordsModel::AverageGC ? QStringLiteral("00") + point + "0"
                                  : c == RecordsModel::Name || c == RecordsModel::Number ? QString()
                                                                                         : QStringLiteral("0000000000");
            for (char16_t d = u'0'; d <= u'9' && !shape.isEmpty(); ++d) {
                const QString number = QString(shape).replace(u'0', QChar(d));
                QVERIFY2(header->sectionSize(c) - margins >= std::ceil(text.horizontalAdvance(number)),
                         qPrintable(headers[c] + ": " + number + " in " + table->font().family() + ", " +
                                    QString::number(header->sectionSize(c)) + " px"));
            }
        }

        // Filtering as you type, case-insensitive, on the name.
        QTest::keyClicks(r->filterBox(), QStringLiteral("chrm"));
        QCOMPARE(m->rowCount(), 1);
        r->filterBox()->clear();
        QTest::keyClicks(r->filterBox(), QStringLiteral("1..5"));
        QCOMPARE(m->rowCount(), 4); // Chr1, Chr3, Chr4, Chr5
        r->filterBox()->clear();
        QCOMPARE(m->rowCount(), 7);

        // Every numeric column sorts as numbers, both ways (as text, 299
        // windows would come before 35 and 30000 bp before 3669 bp).
        for (const int column : {int(RecordsModel::Number), int(RecordsModel::Length), int(RecordsModel::AverageGC),
                                 int(RecordsModel::Unknown), int(RecordsModel::Windows),
                                 int(RecordsModel::CumulativeMin), int(RecordsModel::CumulativeMax)}) {
            for (const Qt::SortOrder order : {Qt::AscendingOrder, Qt::DescendingOrder}) {
                r->table()->sortByColumn(column, order);
                QList<double> values;
                for (int row = 0; row < m->rowCount(); ++row) {
                    bool ok = false;
                    values << m->index(row, column).data().toString().toDouble(&ok);
                    QVERIFY(ok);
                }
                QList<double> sorted = values;
                std::sort(sorted.begin(), sorted.end());
                if (order == Qt::DescendingOrder)
                    std::reverse(sorted.begin(), sorted.end());
                QVERIFY2(values == sorted, qPrintable(headers[column]));
            }
        }

        // Sorting by length, longest first.
        r->table()->sortByColumn(RecordsModel::Length, Qt::DescendingOrder);
        QCOMPARE(m->index(0, RecordsModel::Name).data().toString(), QStringLiteral("Chr2 1..30000"));
        QCOMPARE(m->index(6, RecordsModel::Name).data().toString(), QStringLiteral("ChrC 1..1544"));

        // Enter in the filter box chooses the row left; the window shows it.
        QTest::keyClicks(r->filterBox(), QStringLiteral("ChrM"));
        const QImage before = w.Picture1->Image();
        QTest::keyClick(r->filterBox(), Qt::Key_Return);
        QCOMPARE(w.Text5->Text(), QStringLiteral("ChrM 1..3669"));
        QCOMPARE(w.Label6->Caption(), QStringLiteral("3669"));
        QVERIFY(w.Picture1->Image() != before);

        // A double click on a row chooses it as well.
        r->filterBox()->clear();
        const QModelIndex row = m->index(3, RecordsModel::Name); // still sorted by length
        r->table()->scrollTo(row);
        const QString name = row.data().toString();
        const QRect cell = r->table()->visualRect(row);
        // (a real double click starts with a press and release)
        QTest::mouseClick(r->table()->viewport(), Qt::LeftButton, {}, cell.center());
        QTest::mouseDClick(r->table()->viewport(), Qt::LeftButton, {}, cell.center());
        QCOMPARE(w.Text5->Text(), name);
        QVERIFY(p.messages.isEmpty());

        // Opening the list again keeps the filter; a new run clears it and
        // lists its own records.
        QTest::keyClicks(r->filterBox(), QStringLiteral("ChrM"));
        w.Records_Click();
        QCOMPARE(m->rowCount(), 1);
        RunExcerpt(w);
        QCOMPARE(r->store(), w.records.get());
        QVERIFY(r->filterBox()->text().isEmpty());
        QCOMPARE(m->rowCount(), 7);
        r->close();
        r->filterBox()->setText(QStringLiteral("ChrM"));
        RunExcerpt(w);
        w.Records_Click();
        QVERIFY(r->filterBox()->text().isEmpty());
        QCOMPARE(m->rowCount(), 7);

        // With an annotation of Chr2's dnaA and dif, its origin and
        // terminus say how far they lie from them; the other rows stay.
        const QString genes = dir.filePath(QStringLiteral("chr2.gff3"));
        QFile gff3(genes);
        QVERIFY(gff3.open(QIODevice::WriteOnly));
        gff3.write("##gff-version 3\nChr2\t.\tgene\t100\t200\t.\t+\t.\tID=g1;Name=dnaA\n"
                   "Chr2\t.\tmisc_feature\t5000\t5028\t.\t+\t.\tID=s1;Name=dif\n");
        gff3.close();
        QVERIFY(w.AddFeatures(genes));
        QVERIFY(p.messages.isEmpty());
        const RecordInfo& chr2Info = w.records->info(1);
        const auto note = [](int64_t at, int64_t lo, int64_t hi, const char* feature) {
            const int64_t d = at < lo ? lo - at : at > hi ? at - hi : 0;
            return QString::number(at) +
                   (d == 0 ? QStringLiteral(" (in %1)").arg(QLatin1String(feature))
                           : QStringLiteral(" (%1 bp from %2)").arg(GroupedInteger(d), QLatin1String(feature)));
        };
        for (int k = 0; k < m->rowCount(); ++k) {
            const bool isChr2 = m->index(k, RecordsModel::Name).data().toString() == chr2Info.name;
            const QString origin = m->index(k, RecordsModel::CumulativeMin).data().toString();
            const QString terminus = m->index(k, RecordsModel::CumulativeMax).data().toString();
            QCOMPARE(origin.contains(u'('), isChr2);
            if (isChr2) {
                QCOMPARE(origin, note(chr2Info.cumulativeMinPosition, 100, 200, "dnaA"));
                QCOMPARE(terminus, note(chr2Info.cumulativeMaxPosition, 5000, 5028, "dif"));
            }
        }
        // What a header says a record is stands beside its ID.
        const QString named = dir.filePath(QStringLiteral("named.fa"));
        QFile file(named);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(">ref|NC_001136| [chromosome=IV]\nACGTACGTGG\n>pX1 [plasmid=pX]\nACGTAC\n>chrM x\nACGTACGT\n");
        file.close();
        w.Text1->SetText(named);
        w.Text_WS->SetText(QStringLiteral("4"));
        w.Text_Step->SetText(QStringLiteral("2"));
        w.Command_run_Click();
        w.Records_Click();
        QStringList names;
        for (int k = 0; k < m->rowCount(); ++k)
            names << m->index(k, RecordsModel::Name).data().toString();
        names.sort();
        QCOMPARE(names, (QStringList{"chrM x", "pX1 (plasmid pX) [plasmid=pX]",
                                     "ref|NC_001136| (chromosome IV) [chromosome=IV]"}));
    }

    void exportsValuesOfTheShownRecordAndOfAll()
    {
        ScriptedPlatform p;
        Quillet w(p);
        w.show();
        RunExcerpt(w);
        QVERIFY(w.ShowRecord(1)); // Chr2
        const QString tsv = dir.filePath("chr2"), bed = dir.filePath("all.bedgraph");
        p.saveOfTypeAnswers = {SaveChoice{tsv, 0}, SaveChoice{bed, 3}};
        Action(w, "Export values\u2026")->trigger();
        w.Combo1->SetListIndex(1); // G-C/G+C
        Action(w, "Export values\u2026")->trigger();
        QVERIFY(p.messages.isEmpty());
        QCOMPARE(p.saveOfTypeRequests.at(0).fileName, QStringLiteral("Chr2.tsv")); // the record's ID

        const QByteArrayList shown = Lines(tsv + ".tsv"); // the type's extension is added
        QCOMPARE(shown.size(), 1 + 299);
        QVERIFY(shown[1].startsWith("Chr2 1..30000\t1\t200\t50\t0\t100\t0"));
        // The record's origin and terminus are the middles of the windows
        // where the table's cumulative column is first lowest and highest.
        double low = 0, high = 0;
        qlonglong lowAt = 0, highAt = 0;
        for (qsizetype i = 1; i < shown.size(); ++i) {
            const QByteArrayList field = shown[i].split('\t');
            const double cumulative = field[6].toDouble();
            if (i == 1 || cumulative < low)
                low = cumulative, lowAt = field[1].toLongLong();
            if (i == 1 || cumulative > high)
                high = cumulative, highAt = field[1].toLongLong();
        }
        QCOMPARE(w.records->info(1).cumulativeMinPosition, lowAt + 99);
        QCOMPARE(w.records->info(1).cumulativeMaxPosition, highAt + 99);

        const QByteArrayList all = Lines(bed);
        QVERIFY(all[0].startsWith("track type=bedGraph name=\"G-C/G+C\""));
        qsizetype windows = 0;
        QSet<QByteArray> chromosomes;
        for (std::size_t i = 0; i < w.records->size(); ++i)
            windows += w.records->info(i).windows;
        for (qsizetype i = 1; i < all.size(); ++i)
            chromosomes << all[i].split('\t')[0];
        QCOMPARE(all.size(), 1 + windows);
        QCOMPARE(chromosomes, (QSet<QByteArray>{"Chr1", "Chr2", "Chr3", "Chr4", "Chr5", "ChrM", "ChrC"}));

        // bigWig of the shown record and of all: every record with its
        // length and one interval a window, as a real reader sees them.
        const QString bw = dir.filePath("chr2.bw"), allBw = dir.filePath("all");
        p.saveOfTypeAnswers = {SaveChoice{bw, 4}, SaveChoice{allBw, 5}};
        Action(w, "Export values\u2026")->trigger();
        Action(w, "Export values\u2026")->trigger();
        QVERIFY(p.messages.isEmpty());
        QCOMPARE(BigWigChromosomes(bw), QStringList{"Chr2:30000:299"});
        QStringList every;
        for (const RecordInfo& info : w.records->infos())
            every << QStringLiteral("%1:%2:%3").arg(info.name.section(u' ', 0, 0)).arg(info.length).arg(info.windows);
        QCOMPARE(BigWigChromosomes(allBw + ".bw"), every);

        // A folder cannot be replaced: the user is told, with the path.
        const QString folder = dir.filePath("folder.tsv");
        QVERIFY(QDir().mkdir(folder));
        p.saveOfTypeAnswers = {SaveChoice{folder, 0}};
        Action(w, "Export values\u2026")->trigger();
        QCOMPARE(p.messages,
                 QStringList{QStringLiteral("The values could not be saved to %1: it is a folder.").arg(folder)});
    }

    void exportsThePictureInEachFormat()
    {
        ScriptedPlatform p;
        Quillet w(p);
        w.show();
        RunExcerpt(w);
        const QImage screen = w.Picture1->Image();
        const QSize logical = screen.size() / screen.devicePixelRatio();
        // The chosen type, unless the name says another one.
        p.saveOfTypeAnswers = {SaveChoice{dir.filePath("map1.png"), 0},  SaveChoice{dir.filePath("map2"), 1},
                               SaveChoice{dir.filePath("map.svg"), 3},   SaveChoice{dir.filePath("map.pdf"), 4},
                               SaveChoice{dir.filePath("named.svg"), 4}, SaveChoice{dir.filePath("named.png"), 3}};
        for (int i = 0; i < 6; ++i)
            Action(w, "Export picture\u2026")->trigger();
        QVERIFY(p.messages.isEmpty());
        QCOMPARE(QImageReader(dir.filePath("map1.png")).size(), logical);
        QCOMPARE(QImageReader(dir.filePath("map2.png")).size(), logical * 2);
        QFile svg(dir.filePath("map.svg")), pdf(dir.filePath("map.pdf"));
        QVERIFY(svg.open(QIODevice::ReadOnly) && pdf.open(QIODevice::ReadOnly));
        const QByteArray svgText = svg.readAll();
        QVERIFY(svgText.contains(">ChrC 1..1544</title>") && svgText.contains(">Window: 200bp</text>"));
        QVERIFY(pdf.readAll().startsWith("%PDF-"));
        QFile namedSvg(dir.filePath("named.svg"));
        QVERIFY(namedSvg.open(QIODevice::ReadOnly) && namedSvg.readAll().contains("<svg"));
        QCOMPARE(QImageReader(dir.filePath("named.png")).size(), logical);
        QCOMPARE(w.Picture1->Image(), screen); // the screen picture is left alone
    }

    void overviewShowsEveryRecordAndLeadsToThem()
    {
        ScriptedPlatform p;
        Quillet w(p);
        w.show();
        RunExcerpt(w);
        QTest::keyClick(&w, Qt::Key_G, Qt::ControlModifier);
        OverviewWindow* o = w.overviewWindow();
        QVERIFY(o && o->isVisible());
        const auto ids = [o] {
            QStringList list;
            for (const OverviewRow& row : o->picture().rows)
                list << row.id;
            return list;
        };
        // Longest first, file order among equals; the rows' own lengths.
        QCOMPARE(ids(), (QStringList{"Chr2", "Chr1", "Chr3", "Chr4", "Chr5", "ChrM", "ChrC"}));
        QCOMPARE(o->picture().rows[0].length, 30000);
        QVERIFY(o->picture().notes.isEmpty());
        QVERIFY(o->canvas()->accessibleDescription().contains(
            QStringLiteral("Row 1: Chr2, 30,000 bp, average G+C %1 %, G+C (%) from ")
                .arg(FormatFixed(w.records->info(1).AvgGC, 2))));

        // The row limit and the minimum length, each with its line.
        o->maxRowsBox()->setValue(3);
        QCOMPARE(ids(), (QStringList{"Chr2", "Chr1", "Chr3"}));
        QCOMPARE(o->picture().notes, QStringList{"and 4 shorter records, 15.2 kb"});
        o->maxRowsBox()->setValue(50);
        o->minLengthBox()->setValue(4000);
        QCOMPARE(ids().size(), 5);
        QCOMPARE(o->picture().notes, QStringList{"2 records under 4,000 bp not shown, 5.2 kb"});
        o->minLengthBox()->setValue(0);
        // The Records window's filter carries over, as it is typed.
        w.Records_Click();
        w.recordsWindow()->filterBox()->setText(QStringLiteral("chr5"));
        QCOMPARE(ids(), QStringList{"Chr5"});
        QCOMPARE(o->picture().notes, QStringList{"6 left out by the name filter"});
        w.recordsWindow()->filterBox()->clear();
        QCOMPARE(ids().size(), 7);

        // A click shows the row's record in the main window, Shift+click
        // explores it; the keyboard moves between rows and does the same.
        const OverviewLayout l =
            LayOutOverview(float(o->canvas()->width()) * 15, float(o->canvas()->height()) * 15, o->picture());
        const auto rowPoint = [&](int r) {
            return QPoint(int(OverviewXOf(l, 1500) / 15), int((l.rowTop(r) + l.rowHeight / 2) / 15));
        };
        QTest::mouseClick(o->canvas(), Qt::LeftButton, {}, rowPoint(0));
        QCOMPARE(w.Text5->Text(), QStringLiteral("Chr2 1..30000"));
        QTest::mouseClick(o->canvas(), Qt::LeftButton, Qt::ShiftModifier, rowPoint(5));
        QVERIFY(w.explorerWindow() && w.explorerWindow()->isVisible());
        QCOMPARE(w.explorerWindow()->recordIndex(), 5); // ChrM
        QMouseEvent move(QEvent::MouseMove, rowPoint(0), o->canvas()->mapToGlobal(rowPoint(0)), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(o->canvas(), &move);
        QVERIFY2(o->statusLabel()->text().startsWith(QStringLiteral("Chr2: position 1,")),
                 qPrintable(o->statusLabel()->text()));
        QVERIFY2(o->statusLabel()->text().contains(QStringLiteral("G+C (%) ")), qPrintable(o->statusLabel()->text()));
        o->canvas()->setFocus();
        QTest::keyClick(o->canvas(), Qt::Key_Down);
        QTest::keyClick(o->canvas(), Qt::Key_End);
        QCOMPARE(o->focusRow(), 6);
        QTest::keyClick(o->canvas(), Qt::Key_Return);
        QCOMPARE(w.Text5->Text(), QStringLiteral("ChrC 1..1544"));

        // Page-sized pictures; the keyboard's highlight stays off them.
        o->plotBox()->setCurrentIndex(2);
        QCOMPARE(o->picture().plot, Plot::Cumulative);
        p.saveOfTypeAnswers = {SaveChoice{dir.filePath("ov.png"), 1}, SaveChoice{dir.filePath("ov.svg"), 3},
                               SaveChoice{dir.filePath("ov-px.png"), 0}};
        QVERIFY(o->exportPicture() && o->exportPicture());
        o->pageBox()->setCurrentIndex(2);
        o->pageSizeBox()->setText(QStringLiteral("640x480"));
        QVERIFY(o->exportPicture());
        QCOMPARE(QImageReader(dir.filePath("ov.png")).size(), QSize(794 * 2, 1123 * 2));
        QCOMPARE(QImageReader(dir.filePath("ov-px.png")).size(), QSize(640, 480));
        QFile svg(dir.filePath("ov.svg"));
        QVERIFY(svg.open(QIODevice::ReadOnly));
        const QByteArray svgText = svg.readAll();
        QVERIFY(svgText.contains(">Chr2</text>") && svgText.contains("Cumulative G-C/G+C"));
        o->pageSizeBox()->setText(QStringLiteral("640"));
        QVERIFY(!o->exportPicture());
        QVERIFY(p.messages.last().startsWith(QStringLiteral("The page size must be")));
    }

    // The circular map: every record a circle, longest first; hover, click
    // and keys lead to the explorer; the description names each replicon.
    void circularMapShowsEveryRepliconAndLeadsToThem()
    {
        ScriptedPlatform p;
        Quillet w(p);
        w.show();
        QVERIFY(Action(w, QStringLiteral("Circular map\u2026")));
        RunExcerpt(w);
        QTest::keyClick(&w, Qt::Key_G, Qt::ControlModifier | Qt::ShiftModifier);
        CircularWindow* c = w.circularWindow();
        QVERIFY(c && c->isVisible());
        QStringList ids;
        for (const CircleRecord& circle : c->picture().circles)
            ids << circle.id;
        QCOMPARE(ids, (QStringList{"Chr2", "Chr1", "Chr3", "Chr4", "Chr5", "ChrM", "ChrC"}));
        // 30 kb at windows of 20: 1,000 to 2,000 windows; Chr2's N run is a gap.
        const CircleRecord& chr2 = c->picture().circles[0];
        QCOMPARE(std::make_pair(chr2.window, chr2.step), std::make_pair(20, 20));
        QVERIFY(chr2.gap[0] && !chr2.gap[100]);
        const QString description = c->canvas()->accessibleDescription();
        QVERIFY2(
            description.contains(QStringLiteral("Chr2: 30,000 bp, window 20 bp, step 20 bp, mean G+C %1 %, G+C from ")
                                     .arg(FormatFixed(w.records->info(1).AvgGC, 2))),
            qPrintable(description));
        QCOMPARE(description.count(QStringLiteral(", origin ")), 7);

        // Hover on the G+C ring at the right of Chr2's circle, a quarter round.
        const CircularLayout l =
            LayOutCircular(float(c->canvas()->width()) * 15, float(c->canvas()->height()) * 15, c->picture());
        const CircleGeometry& g = l.circles[0];
        const QPoint right(int((g.cx + (g.inner[int(Ring::GCContent)] + g.outer[int(Ring::GCContent)]) / 2) / 15),
                           int(g.cy / 15));
        QMouseEvent move(QEvent::MouseMove, right, c->canvas()->mapToGlobal(right), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(c->canvas(), &move);
        QVERIFY2(c->statusLabel()->text().startsWith(QStringLiteral("Chr2, position 7,")) &&
                     c->statusLabel()->text().contains(QStringLiteral(": G+C ")),
                 qPrintable(c->statusLabel()->text()));
        // A click explores there; the keyboard explores the last circle.
        QTest::mouseClick(c->canvas(), Qt::LeftButton, {}, right);
        QVERIFY(w.explorerWindow() && w.explorerWindow()->isVisible());
        QCOMPARE(w.explorerWindow()->recordIndex(), 1);
        QVERIFY(w.explorerWindow()->picture().from < 7500 && w.explorerWindow()->picture().to > 7500);
        c->canvas()->setFocus();
        QTest::keyClick(c->canvas(), Qt::Key_End);
        QCOMPARE(c->focusCircle(), 6);
        QTest::keyClick(c->canvas(), Qt::Key_Return);
        QCOMPARE(w.explorerWindow()->recordIndex(), 6);
        QVERIFY(p.messages.isEmpty());
    }

    void markingMostlyUnknownWindowsRedrawsAndRestores()
    {
        ScriptedPlatform p;
        Quillet w(p);
        w.show();
        RunExcerpt(w);
        QVERIFY(w.ShowRecord(3)); // Chr4 starts with 1,000 N
        const QImage plain = w.Picture1->Image();
        QAction* mark = Action(w, "Mark windows of mostly unknown bases");
        mark->trigger();
        QVERIFY(w.markUnknownWindows);
        const QImage marked = w.Picture1->Image();
        QVERIFY(marked != plain);
        // Windows 1 .. 9 (bases 1 .. 1000) are N: about ten of 49 steps
        // from the value axis (40 px) are shaded over most of the height.
        const QRgb shade = qRgb(0xE4, 0xE4, 0xE4);
        const int column = int(60 * marked.devicePixelRatio());
        int shaded = 0;
        for (int y = 0; y < marked.height(); ++y)
            shaded += marked.pixel(column, y) == shade;
        QVERIFY2(shaded > marked.height() / 2, qPrintable(QString::number(shaded)));
        mark->trigger();
        QCOMPARE(w.Picture1->Image(), plain);
    }
};

QTEST_MAIN(RecordsTest)
#include "tst_records.moc"
