// Figures for the annotation readers (printed, not tested): a generated
// GFF3 of a human-like annotation, 3,000,000 lines by default (about 1 GB,
// genes with their mRNA, exons and CDS lines as RefSeq writes them), plain
// and gzip-compressed (by the gzip command, into a temporary folder).
// Prints the load speed in MB/s of content (from the file, read in blocks
// while the next block is fetched, and from the whole content already in
// memory), the features, the bytes a feature takes without the text pool
// and with it, overlap and name queries, and the peak memory. Aims: at least 200 MB/s, at most 64 bytes a feature
// beside the pool. Argument: the number of lines.
#include "analysis/annotation.h"
#include "bench/benchdata.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <algorithm>
#include <array>
#include <chrono>
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

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const uint64_t lines = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 3'000'000;
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
    std::printf("Peak memory at the end (after the whole content in memory as well): %ld MiB\n", PeakMiB());
    return 0;
}
