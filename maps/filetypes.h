#pragma once
// The kinds of file the programs read and write, told by a name's suffix,
// and the window's file dialogs: their filters (description|pattern pairs)
// and what the chosen entry of each (its filter index) asks for. The type
// follows the chosen entry unless the name's suffix says otherwise, and a
// name without a suffix gets the type's. quillet-map, the map's menu, the
// explorer and the overview take their rules from here.
#include "maps/exportfiles.h"

#include <QString>
#include <optional>

namespace quillet {

// The values format a name's suffix names, in any case: .tsv or .txt a
// table, .bedgraph or .bg a bedGraph track, .bw or .bigwig a bigWig;
// nothing for another suffix or none.
std::optional<ValueFormat> ValueFormatOfName(const QString& path);
// The picture format a name's suffix names, in any case: .png, .svg or
// .pdf; nothing for another suffix or none.
std::optional<PictureFormat> PictureFormatOfName(const QString& path);

// Open: FASTA files.
inline const QString kFastaFilter =
    QStringLiteral("fas Files (*.fas)|*.fas|fasta Files (*.fasta)|*.fasta|All Files (*.*)|*.*");
// Features…: annotation files, plain or compressed.
inline const QString kAnnotationFilter = QStringLiteral(
    "Annotation files (GFF3, GTF, BED, GenBank, EMBL)|*.gff;*.gff3;*.gtf;*.bed;*.gb;*.gbk;*.gbff;*.embl;*.gff.gz;"
    "*.gff3.gz;*.gtf.gz;*.bed.gz;*.gb.gz;*.gbk.gz;*.gbff.gz;*.embl.gz|All Files (*.*)|*.*");
// Save: the map as a bitmap.
inline const QString kBitmapFilter = QStringLiteral("bitmap picture Files (*.bmp)|*.bmp|All Files (*.*)|*.*");

// Export islands…: a BED file of composition islands.
inline const QString kIslandsFilter = QStringLiteral("BED islands (*.bed)|*.bed|All Files (*.*)|*.*");

// Export picture (the map, the explorer's tracks, the overview): PNG, PNG
// at 2x, PNG at 4x, SVG and PDF in that order. A PNG name keeps the chosen
// PNG size.
inline const QString kPictureFilter = QStringLiteral(
    "PNG picture|*.png|PNG picture, 2\u00d7 size|*.png|PNG picture, 4\u00d7 size|*.png|SVG drawing|*.svg|PDF "
    "document|*.pdf");
struct PictureChoice {
    PictureFormat format = PictureFormat::Png;
    int scale = 1;
    QString path;
};
PictureChoice ChoosePicture(const QString& path, int filterIndex);

// The map's Export values: TSV, bedGraph and bigWig, each of the shown
// record and of all records, in that order.
inline const QString kMapValuesFilter =
    QStringLiteral("TSV, shown record|*.tsv|TSV, all records|*.tsv|bedGraph, shown record|*.bedgraph|bedGraph, all "
                   "records|*.bedgraph|bigWig, shown record|*.bw|bigWig, all records|*.bw");
struct MapValuesChoice {
    ValueFormat format = ValueFormat::Tsv;
    ValuesScope scope = ValuesScope::Shown;
    QString path;
};
MapValuesChoice ChooseMapValues(const QString& path, int filterIndex);

// The explorer's Export values: a TSV table, then a bedGraph of each plot
// in the order of kPlots (G+C content, G-C/G+C, cumulative G-C/G+C). A
// .tsv or .txt name makes the table and a bedGraph name the G+C content's
// track unless a track was chosen; another suffix keeps the chosen entry.
inline const QString kExplorerValuesFilter = [] {
    QString filter = QStringLiteral("TSV|*.tsv");
    for (const PlotTraits& t : kPlots)
        filter += QStringLiteral("|bedGraph, %1|*.bedgraph").arg(PlotName(t.plot));
    return filter;
}();
struct ExplorerValuesChoice {
    ValueFormat format = ValueFormat::Tsv;
    Plot plot = Plot::GCContent;
    QString path;
};
ExplorerValuesChoice ChooseExplorerValues(const QString& path, int filterIndex);

} // namespace quillet
