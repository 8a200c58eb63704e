// The circular map: the time from the menu (CircularMap_Click) to the
// painted map after a run, then quillet-map's SVG and PNG of the same file
// (run included, and without a map for the run alone). Inputs: a generated
// E. coli-sized chromosome (4.6 Mb) with a GFF3 of 4,500 genes on both
// strands, the same chromosome with two plasmids, and a draft of 500
// contigs (5 Mb); or the FASTA files given as arguments. Aim: under 150 ms
// from the menu to the painted map of E. coli.
#include "analysis/proposal.h"
#include "bench/benchdata.h"
#include "window/circular.h"
#include "window/quillet.h"

#include <QApplication>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

using namespace quillet;
using namespace quillet::bench;

namespace {

// Genes of about 1 kb, every kilobase, on alternating strands.
bool WriteGenes(const QString& path, const char* record, int64_t length, int genes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    QByteArray text = "##gff-version 3\n";
    const int64_t spacing = length / genes;
    for (int i = 0; i < genes; ++i) {
        const int64_t start = 1 + i * spacing, end = start + spacing * 9 / 10;
        text += QByteArray(record) + "\tbench\tgene\t" + QByteArray::number(start) + '\t' + QByteArray::number(end) +
                "\t.\t" + (i % 3 ? '+' : '-') + "\t.\tID=gene" + QByteArray::number(i) + ";Name=g" +
                QByteArray::number(i) + '\n';
    }
    return f.write(text) == text.size();
}

double CliMilliseconds(const QStringList& arguments)
{
    const QString map = QCoreApplication::applicationDirPath() + QStringLiteral("/../quillet-map");
    return MedianSeconds([&] {
               QProcess p;
               p.start(map, arguments);
               p.waitForFinished(-1);
           }) *
           1000;
}

void Measure(const QString& path, const QString& genes, const QTemporaryDir& dir)
{
    QtPlatform platform;
    Quillet w(platform);
    w.show();
    const Proposal proposal = ProposeParameters(QFileInfo(path).size());
    w.Text1->SetText(path);
    w.Text_WS->SetText(proposal.window);
    w.Text_Step->SetText(proposal.step);
    w.Command_run_Click();
    if (!w.records || w.records->size() == 0) {
        std::printf("%s: no record\n", qPrintable(path));
        return;
    }
    if (!genes.isEmpty() && !w.AddFeatures(genes))
        return;
    const auto open = [&w] {
        const auto t0 = Clock::now();
        w.CircularMap_Click();
        QApplication::processEvents();
        (void)w.circularWindow()->canvas()->grab();
        return Milliseconds(t0);
    };
    const double first = open();
    const double again = MedianSeconds([&] {
                             w.circularWindow()->hide();
                             open();
                         }) *
                         1000;
    const QString svg = dir.filePath(QStringLiteral("c.svg")), png = dir.filePath(QStringLiteral("c.png"));
    const double run = CliMilliseconds({QStringLiteral("--summary"), path});
    const double svgMs = CliMilliseconds({QStringLiteral("--circular"), svg, path});
    const double pngMs = CliMilliseconds({QStringLiteral("--circular"), png, path});
    std::printf("%-22s %8zu %8zu %9.1f %9.1f %9.1f %9.1f %9.1f %9.0f %8ld\n", qPrintable(QFileInfo(path).fileName()),
                w.records->size(), w.circularWindow()->picture().circles.size(), first, again, run, svgMs, pngMs,
                double(QFileInfo(svg).size()) / 1024, PeakMiB());
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStringList files = QCoreApplication::arguments().mid(1);
    QStringList genes;
    QTemporaryDir dir;
    if (files.isEmpty()) {
        files << dir.filePath(QStringLiteral("ecoli_like.fa")) << dir.filePath(QStringLiteral("with_plasmids.fa"))
              << dir.filePath(QStringLiteral("draft.fa"));
        std::vector<BenchRecord> draft;
        uint64_t state = 0x9E3779B97F4A7C15ULL;
        for (int i = 0; i < 500; ++i)
            draft.push_back({"contig" + std::to_string(i + 1), 2'000 + int64_t(NextRandom(state) % 18'000)});
        if (!WriteRecords(files[0], {{"ecoli_like [topology=circular]", 4'641'652}}, 80) ||
            !WriteRecords(files[1],
                          {{"ecoli_like [topology=circular]", 4'641'652},
                           {"pOne [topology=circular]", 96'000},
                           {"pTwo [topology=circular]", 5'500}},
                          80) ||
            !WriteRecords(files[2], draft, 80))
            return 1;
        const QString gff = dir.filePath(QStringLiteral("genes.gff3"));
        genes << gff << gff << QString();
        if (!WriteGenes(gff, "ecoli_like", 4'641'652, 4'500))
            return 1;
    }
    std::printf("Circular map: ms from the menu to the painted map (first: the window made; again: shown anew),\n"
                "quillet-map's run alone (--summary), its run with an A4 SVG and PNG; medians of %d\n",
                kRepeats);
    std::printf("%-22s %8s %8s %9s %9s %9s %9s %9s %9s %8s\n", "file", "records", "circles", "first", "again",
                "cli run", "cli svg", "cli png", "svg KiB", "peak MiB");
    for (int i = 0; i < files.size(); ++i)
        Measure(files[i], genes.value(i), dir);
    return 0;
}
