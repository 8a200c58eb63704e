// Drawing time of the G+C content map with 10 million windows on the
// picture box's image (10575 x 4695 twips), with the column-merged curve and,
// for comparison, with one line per segment. Target: under 100 ms.
#include "maps/gcmap.h"
#include "maps/imagesurface.h"

#include <QGuiApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <vector>

using namespace quillet;

namespace {

double TimeDraw(ImageSurface& s, const std::vector<float>& values, const MapInputs& in, int reps)
{
    std::vector<double> ms;
    for (int r = 0; r < reps; ++r) {
        const auto t0 = std::chrono::steady_clock::now();
        DrawGCMap(s, values, 0, in);
        const auto t1 = std::chrono::steady_clock::now();
        ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    constexpr int kWindows = 10'000'000;
    // A random walk between 20% and 80%, like the G+C content of a genome.
    std::vector<float> values(size_t(kWindows) + 2, 0.0f);
    std::mt19937 rng(1);
    std::normal_distribution<float> step(0.0f, 1.5f);
    float v = 50;
    for (int i = 1; i <= kWindows; ++i) {
        v = std::clamp(v + step(rng), 20.0f, 80.0f);
        values[size_t(i)] = std::round(v * 10) / 10;
    }
    MapInputs in;
    in.AvgGC = 50;
    in.totalBases = QString::number(qint64(kWindows) * 100 + 900);
    in.stepText = "100";
    in.windowText = "1000";
    in.curveColor = 0x000000FF;

    std::printf("DrawGCMap, %d windows, 10575 x 4695 twips (median of runs)\n", kWindows);
    for (qreal dpr : {1.0, 2.0}) {
        ImageSurface fast(10575, 4695, 2, dpr), plain(10575, 4695, 2, dpr);
        plain.SetFastCurve(false);
        const double fastMs = TimeDraw(fast, values, in, 7);
        // "fast" as the first argument skips the slow baseline (for profiling).
        const bool fastOnly = argc > 1 && QByteArray(argv[1]) == "fast";
        const double plainMs = fastOnly ? 0.0 : TimeDraw(plain, values, in, 3);
        if (fastOnly) {
            std::printf("  device pixel ratio %.0f: column-merged curve %8.1f ms\n", dpr, fastMs);
            continue;
        }
        const bool same = fast.Image() == plain.Image();
        std::printf("  device pixel ratio %.0f: column-merged curve %8.1f ms   one line per segment %8.1f ms"
                    "   (%.1fx, identical pixels: %s)\n",
                    dpr, fastMs, plainMs, plainMs / fastMs, same ? "yes" : "NO");
    }
    return 0;
}
