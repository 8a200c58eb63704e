// The genome overview: the time from the menu (Overview_Click) to the drawn
// overview after a run, the first time (the window made) and again (the
// window shown anew), a change of plot, and an SVG export of 50 rows; with
// the memory the records' profiles take and the process's peak memory.
// Inputs: a generated yeast-like genome (17 records, 12.2 Mb) and a
// generated draft fly assembly (26,454 records, 56 Mb); or the FASTA files
// given as arguments. Aim: under 100 ms from the menu to the drawn overview.
#include "analysis/proposal.h"
#include "bench/benchdata.h"
#include "maps/exportfiles.h"
#include "window/overview.h"
#include "window/quillet.h"

#include <QApplication>
#include <QComboBox>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>

using namespace quillet;
using namespace quillet::bench;

namespace {

// Paints the rows as the screen would show them: grab() runs the canvas's
// paint event whether or not the window is exposed yet.
void Paint(OverviewWindow* o)
{
    QApplication::processEvents();
    (void)o->canvas()->grab();
}

// From the menu to the overview painted.
double Open(Quillet& w)
{
    const auto t0 = Clock::now();
    w.Overview_Click();
    Paint(w.overviewWindow());
    return Milliseconds(t0);
}

void Measure(const QString& path, const QString& svg)
{
    QtPlatform platform;
    Quillet w(platform);
    w.show();
    const Proposal proposal = ProposeParameters(QFileInfo(path).size());
    w.Text1->SetText(path);
    w.Text_WS->SetText(proposal.window);
    w.Text_Step->SetText(proposal.step);
    auto t0 = Clock::now();
    w.Command_run_Click();
    const double run = Milliseconds(t0);
    if (!w.records || w.records->size() == 0) {
        std::printf("%s: no record\n", qPrintable(path));
        return;
    }
    uint64_t profileBytes = 0;
    for (const RecordProfile& p : w.records->profiles())
        profileBytes += p.bytes();
    const double first = Open(w);
    w.overviewWindow()->hide();
    const double again = Open(w);
    t0 = Clock::now();
    w.overviewWindow()->plotBox()->setCurrentIndex(2);
    Paint(w.overviewWindow());
    const double plot = Milliseconds(t0);
    OverviewWindow* o = w.overviewWindow();
    t0 = Clock::now();
    const bool saved = WritePictureFile(svg, OverviewExport(o->picture(), PictureFormat::Svg, 1, kA4Page),
                                        [o](PictureSurface& s) { DrawOverview(s, o->picture()); });
    const double exported = Milliseconds(t0);
    std::printf("%-26s %8zu %6zu %9.0f %9.1f %9.1f %9.1f %9.1f %9.1f %8ld\n", qPrintable(QFileInfo(path).fileName()),
                w.records->size(), o->picture().rows.size(), run, first, again, plot, saved ? exported : -1.0,
                double(QFileInfo(svg).size()) / 1024, PeakMiB());
    std::printf("%26s profiles of all records: %.1f MiB (window %s, step %s; canvas %d x %d)\n", "",
                double(profileBytes) / 1048576, qPrintable(proposal.window), qPrintable(proposal.step),
                o->canvas()->width(), o->canvas()->height());
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStringList files = QCoreApplication::arguments().mid(1);
    QTemporaryDir dir;
    if (files.isEmpty()) {
        files << dir.filePath(QStringLiteral("yeast_like.fa")) << dir.filePath(QStringLiteral("draft_fly.fa"));
        if (!WriteRecords(files[0], YeastLikeRecords(), 60) || !WriteRecords(files[1], DraftFlyRecords(), 60))
            return 1;
    }
    std::printf("Overview: ms from the menu to the painted overview (first: the window made; again: shown anew),\n"
                "a change of plot, and an SVG export of the rows shown on an A4 page\n");
    std::printf("%-26s %8s %6s %9s %9s %9s %9s %9s %9s %8s\n", "file", "records", "rows", "run ms", "first", "again",
                "plot", "svg ms", "svg KiB", "peak MiB");
    for (int i = 0; i < files.size(); ++i)
        Measure(files[i], dir.filePath(QStringLiteral("overview%1.svg").arg(i)));
    return 0;
}
