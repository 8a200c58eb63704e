// The explorer under a scripted walk: 200 zoom and pan steps from a whole
// record down to a 20 kb stretch and back, each timed from the step to the
// finished picture (the view's windows computed, the tracks drawn and
// painted). Prints the median and 95th percentile per file, the time to
// open the record and the process's peak memory beside the file's size.
// Inputs: E. coli (samples/, gzip) and a generated 250 Mb chromosome, plain
// and gzip; or the FASTA files given as arguments. Aim: 95th percentile
// under 30 ms on the 250 Mb plain chromosome.
#include "analysis/engine.h"
#include "analysis/recordstore.h"
#include "bench/benchdata.h"
#include "window/explorer.h"

#include <QApplication>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

using namespace quillet;
using namespace quillet::bench;

namespace {

struct Keep : RunListener {
    RecordStore& store;
    explicit Keep(RecordStore& s) : store(s) {}
    bool recordComputed(RecordResult&& r) override { return store.add(std::move(r)), true; }
};

// Every record of the file, at a coarse window: the explorer reads its
// record again itself.
std::shared_ptr<RecordStore> Records(const QString& path)
{
    RunSettings settings;
    settings.windowSize = 100000;
    settings.step = 100000;
    auto store = std::make_shared<RecordStore>(path, settings);
    Keep keep(*store);
    RunFile(path, settings, keep);
    return store;
}

// One step of the walk, then the picture painted.
double TimedStep(ExplorerWindow& e, const std::function<void()>& step)
{
    const auto t0 = Clock::now();
    step();
    e.canvas()->repaint();
    return Milliseconds(t0);
}

// 100 steps in towards a stretch of 20 kb (zooming at a point a third of
// the way along, panning every fourth step), then 100 steps back out.
std::vector<double> Walk(ExplorerWindow& e, int64_t& narrowest)
{
    std::vector<double> ms;
    narrowest = e.length();
    const int64_t length = e.length();
    const double in = std::pow(std::min(1.0, 20000.0 / double(length)), 1.0 / 75.0);
    for (int i = 0; i < 200; ++i) {
        const bool inward = i < 100;
        const double anchor = double(e.viewFrom()) + double(e.viewTo() - e.viewFrom()) / 3;
        if (i % 4 == 3)
            ms.push_back(TimedStep(e, [&] { e.pan(inward ? 0.1 : -0.1); }));
        else
            ms.push_back(TimedStep(e, [&] { e.zoom(inward ? in : 1 / in, anchor); }));
        narrowest = std::min(narrowest, e.viewTo() - e.viewFrom() + 1);
    }
    std::sort(ms.begin(), ms.end());
    return ms;
}

void Measure(const QString& path)
{
    const auto store = Records(path);
    if (store->size() == 0) {
        std::printf("%s: no record\n", qPrintable(path));
        return;
    }
    ExplorerWindow e;
    e.resize(1200, 700);
    e.show();
    QApplication::processEvents(); // laid out: the canvas has its size
    e.setStore(store);
    const auto t0 = Clock::now();
    if (!e.showRecord(store->size() - 1)) {
        std::printf("%s: the explorer could not read its record\n", qPrintable(path));
        return;
    }
    e.canvas()->repaint();
    const double open = Milliseconds(t0);
    std::printf("(canvas %d x %d)\n", e.canvas()->width(), e.canvas()->height());
    int64_t narrowest = 0;
    const std::vector<double> ms = Walk(e, narrowest);
    std::printf("%-28s %12s %9lld %9.0f %9.2f %9.2f %9.2f %8ld %8lld\n", qPrintable(QFileInfo(path).fileName()),
                qPrintable(QLocale::c().toString(qlonglong(e.length()))), qlonglong(narrowest), open, ms[ms.size() / 2],
                ms[ms.size() * 95 / 100], ms.back(), PeakMiB(), qlonglong(QFileInfo(path).size() >> 20));
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStringList files = QCoreApplication::arguments().mid(1);
    QTemporaryDir dir;
    if (files.isEmpty()) {
        files << QStringLiteral(QUILLET_SOURCE_DIR "/samples/ecoli_k12_mg1655.fna.gz");
        const QString big = dir.filePath(QStringLiteral("chromosome250m.fa"));
        if (!WriteFasta(big, 250'000'000, 60))
            return 1;
        QProcess gzip;
        gzip.setStandardOutputFile(big + QStringLiteral(".gz"));
        gzip.start(QStringLiteral("igzip"), {QStringLiteral("-1"), QStringLiteral("-c"), big});
        gzip.waitForFinished(-1);
        files << big << big + QStringLiteral(".gz");
    }
    std::printf("Explorer walk: 200 steps from the whole record to 20 kb and back, ms from step to picture\n");
    std::printf("(peak memory is the process's so far; it grows from file to file)\n");
    std::printf("%-28s %12s %9s %9s %9s %9s %9s %8s %8s\n", "file", "bases", "narrowest", "open ms", "median", "p95",
                "max", "peak MiB", "file MiB");
    for (const QString& f : files)
        Measure(f);
    return 0;
}
