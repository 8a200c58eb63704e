// Figures for the annotation readers (printed, not tested): a generated
// GFF3 of a human-like annotation, 3,000,000 lines by default (about 1 GB,
// genes with their mRNA, exons and CDS lines as RefSeq writes them), plain
// and gzip-compressed (by the gzip command, into a temporary folder).
// Prints the load speed in MB/s of content (from the file, read in blocks
// while the next block is fetched, and from the whole content already in
// memory), the features, the bytes a feature takes without the text pool
// and with it, overlap and name queries, and the peak memory. Aims: at least 200 MB/s, at most 64 bytes a feature
// beside the pool. Then the explorer's features track of the first
// chromosome (250 Mb) on a canvas 1,200 pixels wide, each step timed from
// the zoom to the painted track: the whole chromosome again and again, 20 kb
// stretches along it, and a walk of 100 zoom steps between the two; the
// median and 95th percentile of each (aim: under 30 ms at the 95th).
// Arguments: the number of lines; "track" after it measures the track alone
// (no gzip, one load).
#include "analysis/annotation.h"
#include "bench/benchdata.h"
#include "maps/featuretrack.h"
#include "maps/paintersurface.h"
#include "maps/units.h"

#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

using namespace quillet;
using namespace quillet::bench;

namespace {

// Writes about `lines` lines: genes across 24 chromosomes, each with an
// mRNA, 1 to 12 exons and as many CDS lines of one ID. Returns the names
// of a few genes for the queries.
std::vector<std::string> WriteGff3(const QString& path, uint64_t lines)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return {};
    std::string out = "##gff-version 3\n#!processor bench\n";
    const int kChromosomes = 24;
    const uint64_t genesPerChromosome = lines / 15 / kChromosomes + 1;
    uint64_t state = 0x9E3779B97F4A7C15ULL, written = 0, gene = 0;
    std::vector<std::string> names;
    for (int c = 1; c <= kChromosomes && written < lines; ++c) {
        const std::string chrom = "NC_0000" + std::string(c < 10 ? "0" : "") + std::to_string(c) + ".11";
        out += "##sequence-region " + chrom + " 1 250000000\n";
        uint64_t pos = 10'000;
        for (uint64_t g = 0; g < genesPerChromosome && written < lines; ++g, ++gene) {
            const uint64_t r = NextRandom(state);
            const int exons = 1 + int(r % 12);
            const char strand = (r >> 8) & 1 ? '+' : '-';
            const std::string sym = "GENE" + std::to_string(gene), nm = "NM_" + std::to_string(100000 + gene) + ".2",
                              np = "NP_" + std::to_string(100000 + gene) + ".1";
            const std::string dbx = "Dbxref=GeneID:" + std::to_string(700000 + gene) + ",Genbank:" + nm +
                                    ",HGNC:HGNC:" + std::to_string(30000 + gene % 20000) + ";";
            const std::string tags = "tag=MANE Select;experiment=COORDINATES: polyA evidence [ECO:0006239];";
            const std::string product = "product=protein kinase family " + std::to_string(gene % 977) + " member " +
                                        std::to_string(gene % 13) + "%2C transcript variant 1;";
            std::vector<std::pair<uint64_t, uint64_t>> ex;
            uint64_t p = pos;
            for (int e = 0; e < exons; ++e) {
                const uint64_t len = 80 + (NextRandom(state) % 400), gap = 500 + NextRandom(state) % 6000;
                ex.push_back({p, p + len});
                p += len + gap;
            }
            const uint64_t end = ex.back().second;
            const auto line = [&](const char* type, uint64_t s, uint64_t e, char phase, const std::string& attrs) {
                out += chrom + "\tBestRefSeq\t" + type + "\t" + std::to_string(s) + "\t" + std::to_string(e) + "\t.\t" +
                       strand + "\t" + phase + "\t" + attrs + "\n";
                ++written;
            };
            line("gene", pos, end, '.',
                 "ID=gene-" + sym + ";" + dbx + "Name=" + sym + ";description=protein kinase family " +
                     std::to_string(gene % 977) + ";gbkey=Gene;gene=" + sym + ";gene_biotype=protein_coding");
            line("mRNA", pos, end, '.',
                 "ID=rna-" + nm + ";Parent=gene-" + sym + ";" + dbx + "Name=" + nm + ";gbkey=mRNA;gene=" + sym + ";" +
                     product + tags + "transcript_id=" + nm);
            for (int e = 0; e < exons; ++e)
                line("exon", ex[e].first, ex[e].second, '.',
                     "ID=exon-" + nm + "-" + std::to_string(e + 1) + ";Parent=rna-" + nm + ";" + dbx +
                         "gbkey=mRNA;gene=" + sym + ";" + product + tags + "transcript_id=" + nm);
            for (int e = 0; e < exons; ++e)
                line("CDS", ex[e].first + (e == 0 ? 20 : 0), ex[e].second, char('0' + e % 3),
                     "ID=cds-" + np + ";Parent=rna-" + nm + ";" + dbx + "Name=" + np + ";gbkey=CDS;gene=" + sym +
                         ";product=protein kinase " + std::to_string(gene % 977) + ";protein_id=" + np +
                         ";tag=MANE Select");
            if (gene % 997 == 0)
                names.push_back(sym);
            pos = end + 2'000 + NextRandom(state) % 20'000;
            if (out.size() > (1u << 20)) {
                f.write(out.data(), qint64(out.size()));
                out.clear();
            }
        }
    }
    f.write(out.data(), qint64(out.size()));
    return f.error() == QFileDevice::NoError ? names : std::vector<std::string>{};
}

double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The medians of kRepeats runs, by the clock and by the processor time of
// this process (the machine may be shared: a busy neighbour lengthens the
// first, not the second), as MB/s of content.
void Report(const char* what, uint64_t bytes, const std::function<void()>& work)
{
    std::array<double, kRepeats> wall{}, cpu{};
    for (int i = 0; i < kRepeats; ++i) {
        const auto t0 = Clock::now();
        const double c0 = CpuSeconds();
        work();
        cpu[i] = CpuSeconds() - c0;
        wall[i] = std::chrono::duration<double>(Clock::now() - t0).count();
    }
    std::sort(wall.begin(), wall.end());
    std::sort(cpu.begin(), cpu.end());
    const double mb = double(bytes) / 1e6;
    std::printf("  %-34s %6.2f s %7.1f MB/s, processor time %6.2f s %7.1f MB/s\n", what, wall[kRepeats / 2],
                mb / wall[kRepeats / 2], cpu[kRepeats / 2], mb / cpu[kRepeats / 2]);
}

// The features track as the explorer paints it on its canvas: a features
// track of the view from .. to, drawn onto the canvas's image.
class TrackCanvas {
public:
    explicit TrackCanvas(const TrackFeatures& features) : features_(features)
    {
        const float height = FeatureTrackHeight(kFontSize) + 40 * kTwipsPerPixel;
        image_ = QImage(kWidth, int(height / kTwipsPerPixel), QImage::Format_RGB32);
        band_ = FeatureBand{72.0f * kTwipsPerPixel, float(kWidth - 18) * kTwipsPerPixel, 36.0f * kTwipsPerPixel,
                            height - 4 * kTwipsPerPixel};
    }
    // Milliseconds from the step to the painted track, by the clock; the
    // processor time of this process goes to `cpu` (the machine may be
    // shared: a busy neighbour lengthens the first, not the second).
    double paint(int64_t from, int64_t to, std::vector<double>* cpu = nullptr)
    {
        const auto t0 = Clock::now();
        const double c0 = CpuSeconds();
        image_.fill(Qt::white);
        QPainter painter(&image_);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        PainterSurface surface(painter, float(image_.width()) * kTwipsPerPixel, float(image_.height()) * kTwipsPerPixel,
                               0, nullptr, 0x00FFFFFF, 0x00000000);
        surface.SetVectorOutput(false);
        surface.SetFontName(kFont);
        surface.SetFontSize(kFontSize);
        DrawFeatureTrack(surface, features_, band_, from, to, kFont, kFontSize);
        painter.end();
        if (cpu)
            cpu->push_back((CpuSeconds() - c0) * 1000);
        return Milliseconds(t0);
    }

    const FeatureBand& band() const { return band_; }

private:
    static constexpr int kWidth = 1200;
    static constexpr float kFontSize = 8.25f;
    inline static const QString kFont = QStringLiteral("Arial");
    const TrackFeatures& features_;
    QImage image_;
    FeatureBand band_;
};

void PrintTimes(const char* what, std::vector<double> ms, std::vector<double> cpu = {})
{
    std::sort(ms.begin(), ms.end());
    std::printf("  %-36s median %6.2f ms, p95 %6.2f ms, max %6.2f ms (%zu steps)", what, ms[ms.size() / 2],
                ms[ms.size() * 95 / 100], ms.back(), ms.size());
    if (!cpu.empty()) {
        std::sort(cpu.begin(), cpu.end());
        std::printf("; processor time median %6.2f, p95 %6.2f ms", cpu[cpu.size() / 2], cpu[cpu.size() * 95 / 100]);
    }
    std::printf("\n");
}

// The track of the set's first record: the whole of it, 20 kb stretches
// spread along it, and a walk between the two.
void MeasureTrack(const std::shared_ptr<const FeatureSet>& set)
{
    const FeatureRecord& record = set->records().front();
    const auto length = int64_t(record.length > 0 ? record.length : 250'000'000);
    const TrackFeatures features = TrackFeatures::Of({set}, record.id);
    TrackCanvas canvas(features);
    std::vector<uint32_t> all;
    set->overlapping(0, 1, uint64_t(length), all);
    std::printf("Features track of %s (%lld bp, %zu features), canvas 1200 px, ms from step to painted track\n",
                record.id.c_str(), (long long)length, all.size());
    canvas.paint(1, length); // the first paint loads the fonts
    std::vector<double> whole, narrow, walk, wholeCpu, narrowCpu, walkCpu;
    for (int i = 0; i < 50; ++i)
        whole.push_back(canvas.paint(1, length, &wholeCpu));
    uint64_t state = 99;
    for (int i = 0; i < 100; ++i) {
        // Stretches in the annotated part, where the genes are.
        const int64_t span = int64_t(set->feature(all.back()).end);
        const auto from = 1 + int64_t(NextRandom(state) % uint64_t(std::max<int64_t>(1, span - 20'000)));
        narrow.push_back(canvas.paint(from, from + 19'999, &narrowCpu));
    }
    const double in = std::pow(20'000.0 / double(length), 1.0 / 50.0);
    double spanNow = double(length);
    const int64_t middle = int64_t(set->feature(all[all.size() / 3]).start);
    for (int i = 0; i < 100; ++i) {
        spanNow = i < 50 ? spanNow * in : spanNow / in;
        const auto span = int64_t(std::llround(std::clamp(spanNow, 20'000.0, double(length))));
        const int64_t from = std::clamp<int64_t>(middle - span / 2, 1, length - span + 1);
        walk.push_back(canvas.paint(from, from + span - 1, &walkCpu));
    }
    std::vector<double> layout;
    std::size_t placed = 0;
    for (int i = 0; i < 20; ++i) {
        const auto t0 = Clock::now();
        const FeatureLayout l = LayOutFeatures(features, canvas.band(), 1, length, QStringLiteral("Arial"), 8.25f);
        layout.push_back(Milliseconds(t0));
        placed = l.placed.size();
    }
    std::printf("  (the whole chromosome draws %zu of its features)\n", placed);
    std::vector<double> query;
    for (int i = 0; i < 20; ++i) {
        const auto t0 = Clock::now();
        all.clear();
        set->overlapping(0, 1, uint64_t(length), all);
        query.push_back(Milliseconds(t0));
    }
    PrintTimes("whole chromosome, its features found", query);
    PrintTimes("whole chromosome, layout alone", layout);
    PrintTimes("whole chromosome", whole, wholeCpu);
    PrintTimes("20 kb stretches", narrow, narrowCpu);
    PrintTimes("zoom walk, whole to 20 kb and back", walk, walkCpu);
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const uint64_t lines = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 3'000'000;
    const bool trackOnly = argc > 2 && std::string(argv[2]) == "track";
    QTemporaryDir dir;
    const QString plain = dir.filePath(QStringLiteral("bench.gff3")), gz = plain + QStringLiteral(".gz");

    auto t0 = Clock::now();
    const std::vector<std::string> names = WriteGff3(plain, lines);
    if (names.empty()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(plain));
        return 1;
    }
    const uint64_t size = uint64_t(QFileInfo(plain).size());
    std::printf("GFF3 of %llu lines, %.1f MB, written in %.1f s\n", (unsigned long long)lines, double(size) / 1e6,
                Milliseconds(t0) / 1000);
    if (trackOnly) {
        const auto set = std::make_shared<const FeatureSet>(ReadAnnotationFile(plain).features);
        std::printf("%u features; peak memory after the load: %ld MiB\n", set->size(), PeakMiB());
        MeasureTrack(set);
        std::printf("Peak memory at the end: %ld MiB\n", PeakMiB());
        return 0;
    }
    t0 = Clock::now();
    QProcess gzip;
    gzip.setStandardInputFile(plain);
    gzip.setStandardOutputFile(gz);
    gzip.start(QStringLiteral("gzip"), {QStringLiteral("-c"), QStringLiteral("-6")});
    if (!gzip.waitForFinished(-1) || gzip.exitCode() != 0) {
        std::fprintf(stderr, "gzip failed\n");
        return 1;
    }
    std::printf("gzip -6: %.1f MB, in %.1f s\n", double(QFileInfo(gz).size()) / 1e6, Milliseconds(t0) / 1000);

    // One load first, for the peak memory of loading a file (read in
    // blocks of 64 MiB, two at a time).
    AnnotationFile file = ReadAnnotationFile(plain);
    std::printf("Peak memory after one load from the file: %ld MiB\n", PeakMiB());
    std::printf("Loading (medians of %d)\n", kRepeats);
    Report("plain file", size, [&] {
        file = AnnotationFile();
        file = ReadAnnotationFile(plain);
    });
    Report("gzip file", size, [&] {
        file = AnnotationFile();
        file = ReadAnnotationFile(gz);
    });
    {
        QFile f(plain);
        f.open(QIODevice::ReadOnly);
        const QByteArray content = f.readAll();
        const std::string_view view(content.constData(), std::size_t(content.size()));
        Report("content in memory (parsing alone)", size, [&] {
            file = AnnotationFile();
            file = ReadGff3(view, "bench.gff3");
        });
    }

    const FeatureSet& set = file.features;
    const double features = set.size();
    std::printf("%u features (the CDS lines of one ID are one feature) on %zu records\n", set.size(),
                set.records().size());
    std::printf("  memory without the text pool: %.1f MB, %.1f bytes a feature\n", double(set.memoryBytes()) / 1e6,
                double(set.memoryBytes()) / features);
    std::printf("  with the text pool:           %.1f MB, %.1f bytes a feature\n",
                double(set.memoryBytes() + set.poolBytes()) / 1e6,
                double(set.memoryBytes() + set.poolBytes()) / features);

    uint64_t state = 12345, found = 0;
    std::vector<uint32_t> out;
    t0 = Clock::now();
    constexpr int kQueries = 10'000;
    for (int q = 0; q < kQueries; ++q) {
        const uint64_t from = 1 + NextRandom(state) % 200'000'000;
        out.clear();
        set.overlapping(uint32_t(q % set.records().size()), from, from + 1'000'000, out);
        found += out.size();
    }
    std::printf("  overlap queries of 1 Mb: %.2f us each, %.0f features each\n", Milliseconds(t0) * 1000 / kQueries,
                double(found) / kQueries);
    t0 = Clock::now();
    found = 0;
    for (int round = 0; round < 10; ++round)
        for (const std::string& name : names)
            found += set.find(name).size();
    std::printf("  find by name: %.2f us each, %.1f features each\n",
                Milliseconds(t0) * 1000 / double(10 * names.size()), double(found) / double(10 * names.size()));
    MeasureTrack(std::make_shared<const FeatureSet>(std::move(file.features)));
    std::printf("Peak memory at the end (after the whole content in memory as well): %ld MiB\n", PeakMiB());
    return 0;
}
