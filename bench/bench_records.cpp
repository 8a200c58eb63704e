// Figures for the Records window and the exports (printed, not tested):
// opening the window on 200,000 records (target under 0.2 s), one filter
// keystroke (under 50 ms), showing a record (under 0.1 s), exporting a
// million windows as TSV and bedGraph (under 1 s), and the map of a million
// windows as PNG 4x, SVG and PDF. With a FASTA path as argument it also
// times showing that file's largest record kept in memory and read again.
#include "maps/exportfiles.h"
#include "maps/gcmap.h"
#include "maps/syscolors.h"
#include "window/quillet.h"
#include "window/recordswindow.h"

#include <QApplication>
#include <QLineEdit>
#include <QTableView>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <random>

using namespace quillet;

namespace {

double Ms(const std::function<void()>& f)
{
    const auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

// Windows of a random walk like a genome's G+C content.
WindowResults Walk(int64_t windows, uint32_t seed)
{
    WindowResults w;
    w.GCValues.assign(size_t(windows) + 2, 0.0f);
    w.SkewValues.assign(size_t(windows) + 2, 0.0f);
    w.UnknownCounts.assign(size_t(windows) + 2, 0);
    std::mt19937 rng(seed);
    std::normal_distribution<float> step(0.0f, 1.5f);
    float v = 40;
    for (int64_t i = 1; i <= windows; ++i) {
        v = std::clamp(v + step(rng), 20.0f, 80.0f);
        w.GCValues[size_t(i)] = std::round(v * 10) / 10;
        w.SkewValues[size_t(i)] = std::round(std::clamp(step(rng) / 10, -1.0f, 1.0f) * 100) / 100;
        w.UnknownCounts[size_t(i)] = i % 97 == 0 ? 60 : 0;
    }
    w.AvgGC = 40;
    return w;
}

class NoProgress : public RunListener {
public:
    bool recordComputed(RecordResult&&) override { return true; }
};

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;

    // 200,000 records of 100 windows each, the last one of 100,000.
    constexpr int kRecords = 200'000;
    RunSettings settings;
    settings.windowSize = 1000;
    settings.step = 100;
    auto store = std::make_shared<RecordStore>(QString(), settings);
    const WindowResults small = Walk(100, 1);
    for (int i = 1; i <= kRecords; ++i) {
        RecordResult r;
        r.info.number = i;
        r.info.name = QStringLiteral("contig_%1 length=%2 sample%3")
                          .arg(i, 6, 10, QLatin1Char('0'))
                          .arg(10900 + i % 5000)
                          .arg(i % 13);
        r.info.length = 10900;
        r.info.windows = 100;
        r.info.AvgGC = small.AvgGC;
        r.windows = i == kRecords ? Walk(100'000, 2) : small;
        r.info.length = i == kRecords ? 100'000 * 100 + 900 : 10900;
        r.info.windows = i == kRecords ? 100'000 : 100;
        store->add(std::move(r));
    }

    std::printf("Records window, %d records\n", kRecords);
    RecordsWindow window;
    const double open = Ms([&] {
        window.setStore(store);
        window.show();
        app.processEvents();
        window.repaint();
    });
    std::printf("  open (list, show, first paint): %.1f ms\n", open);
    double worst = 0;
    const QString typed = QStringLiteral("contig_0999");
    for (qsizetype n = 1; n <= typed.size(); ++n) {
        const double ms = Ms([&] {
            window.filterBox()->setText(typed.left(n));
            window.table()->viewport()->repaint();
        });
        worst = std::max(worst, ms);
        std::printf("  keystroke %-12s %7.1f ms, %d rows\n", qPrintable(typed.left(n)), ms, window.proxy()->rowCount());
    }
    window.filterBox()->clear();
    std::printf("  slowest keystroke: %.1f ms\n", worst);
    const double sort = Ms([&] { window.table()->sortByColumn(RecordsModel::Name, Qt::DescendingOrder); });
    std::printf("  sort by name: %.1f ms\n", sort);

    {
        QtPlatform platform;
        Quillet q(platform);
        q.records = store;
        q.computedWindowText = "1000";
        q.computedStepText = "100";
        q.show();
        app.processEvents();
        bool ok1 = false, ok2 = false;
        const double small1 = Ms([&] { ok1 = q.ShowRecord(0); });
        const double large = Ms([&] { ok2 = q.ShowRecord(kRecords - 1); });
        std::printf("ShowRecord, kept: 100 windows %.1f ms%s, 100,000 windows %.1f ms%s\n", small1,
                    ok1 ? "" : " (FAILED)", large, ok2 ? "" : " (FAILED)");
        if (argc > 1) {
            const QString path = QString::fromLocal8Bit(argv[1]);
            for (uint64_t budget : {RecordStore::kDefaultBudget, uint64_t(0)}) {
                RunSettings s;
                s.windowSize = 1000;
                s.step = 100;
                auto fileStore = std::make_shared<RecordStore>(path, s, budget);
                struct Keep : RunListener {
                    RecordStore& st;
                    explicit Keep(RecordStore& store) : st(store) {}
                    bool recordComputed(RecordResult&& r) override { return st.add(std::move(r)), true; }
                } keep(*fileStore);
                RunFile(path, s, keep);
                q.records = fileStore;
                size_t largest = 0;
                for (size_t i = 0; i < fileStore->size(); ++i)
                    if (fileStore->info(i).length > fileStore->info(largest).length)
                        largest = i;
                bool ok = false;
                const double ms = Ms([&] { ok = q.ShowRecord(largest); });
                std::printf("ShowRecord%s %s (%lld bp, %lld windows), %s: %.1f ms\n", ok ? "" : " (FAILED)",
                            qPrintable(fileStore->info(largest).name), (long long)fileStore->info(largest).length,
                            (long long)fileStore->info(largest).windows,
                            fileStore->kept(largest) ? "kept" : "read again", ms);
            }
        }
    }

    // Exports of a million windows.
    const WindowResults million = Walk(1'000'000, 3);
    std::printf("Export of 1,000,000 windows\n");
    for (ValueFormat f : {ValueFormat::Tsv, ValueFormat::BedGraph}) {
        ValuesSource s;
        s.shownName = QStringLiteral("chrBench");
        s.shown = &million;
        s.windowSize = 1000;
        s.step = 100;
        const QString path = dir.filePath(f == ValueFormat::Tsv ? "m.tsv" : "m.bedgraph");
        const double ms = Ms([&] { WriteValuesFile(path, f, Plot::GCContent, ValuesScope::Shown, s); });
        std::printf("  %-8s %7.1f ms, %lld bytes\n", f == ValueFormat::Tsv ? "TSV" : "bedGraph", ms,
                    (long long)QFileInfo(path).size());
    }
    MapInputs in;
    in.AvgGC = 40;
    in.totalBases = QString::number(1'000'000LL * 100 + 900);
    in.stepText = "100";
    in.windowText = "1000";
    in.curveColor = 0x000000FF;
    for (auto [format, scale, name] :
         {std::tuple{PictureFormat::Png, 4, "PNG 4x"}, std::tuple{PictureFormat::Svg, 1, "SVG"},
          std::tuple{PictureFormat::Pdf, 1, "PDF"}}) {
        PictureExport r;
        r.format = format;
        r.scale = scale;
        r.outerWidth = 10575;
        r.outerHeight = 4695;
        r.resolve = [](ColorValue c) { return ResolveColor(c); };
        const QString path = dir.filePath(QStringLiteral("map.%1").arg(name));
        const double ms =
            Ms([&] { WritePictureFile(path, r, [&](PictureSurface& s) { DrawGCMap(s, million.GCValues, 0, in); }); });
        std::printf("  map %-7s %7.1f ms, %lld bytes\n", name, ms, (long long)QFileInfo(path).size());
    }
    return 0;
}
