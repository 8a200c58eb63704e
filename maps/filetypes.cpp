#include "maps/filetypes.h"

#include "maps/filename.h"

#include <QFileInfo>
#include <algorithm>

namespace quillet {

namespace {

QString Suffix(const QString& path)
{
    return QFileInfo(path).suffix().toLower();
}

QString ValueSuffix(ValueFormat format)
{
    return format == ValueFormat::BigWig     ? QStringLiteral("bw")
           : format == ValueFormat::BedGraph ? QStringLiteral("bedgraph")
                                             : QStringLiteral("tsv");
}

} // namespace

std::optional<ValueFormat> ValueFormatOfName(const QString& path)
{
    const QString suffix = Suffix(path);
    if (suffix == u"tsv" || suffix == u"txt")
        return ValueFormat::Tsv;
    if (suffix == u"bedgraph" || suffix == u"bg")
        return ValueFormat::BedGraph;
    if (suffix == u"bw" || suffix == u"bigwig")
        return ValueFormat::BigWig;
    return std::nullopt;
}

std::optional<PictureFormat> PictureFormatOfName(const QString& path)
{
    const QString suffix = Suffix(path);
    if (suffix == u"png")
        return PictureFormat::Png;
    if (suffix == u"svg")
        return PictureFormat::Svg;
    if (suffix == u"pdf")
        return PictureFormat::Pdf;
    return std::nullopt;
}

PictureChoice ChoosePicture(const QString& path, int filterIndex)
{
    const std::optional<PictureFormat> named = PictureFormatOfName(path);
    int type = std::clamp(filterIndex, 0, 4);
    if (named == PictureFormat::Svg)
        type = 3;
    else if (named == PictureFormat::Pdf)
        type = 4;
    else if (named == PictureFormat::Png && type > 2)
        type = 0;
    PictureChoice choice;
    choice.format = type <= 2 ? PictureFormat::Png : type == 3 ? PictureFormat::Svg : PictureFormat::Pdf;
    choice.scale = type == 1 ? 2 : type == 2 ? 4 : 1;
    choice.path = WithExtension(path, type <= 2   ? QStringLiteral("png")
                                      : type == 3 ? QStringLiteral("svg")
                                                  : QStringLiteral("pdf"));
    return choice;
}

MapValuesChoice ChooseMapValues(const QString& path, int filterIndex)
{
    MapValuesChoice choice;
    choice.format = ValueFormatOfName(path).value_or(filterIndex >= 4   ? ValueFormat::BigWig
                                                     : filterIndex >= 2 ? ValueFormat::BedGraph
                                                                        : ValueFormat::Tsv);
    choice.scope = filterIndex % 2 == 1 ? ValuesScope::All : ValuesScope::Shown;
    choice.path = WithExtension(path, ValueSuffix(choice.format));
    return choice;
}

ExplorerValuesChoice ChooseExplorerValues(const QString& path, int filterIndex)
{
    const std::optional<ValueFormat> named = ValueFormatOfName(path);
    int type = std::clamp(filterIndex, 0, kPlotCount);
    if (named == ValueFormat::Tsv)
        type = 0;
    else if (named == ValueFormat::BedGraph && type == 0)
        type = 1;
    ExplorerValuesChoice choice;
    choice.format = type == 0 ? ValueFormat::Tsv : ValueFormat::BedGraph;
    choice.plot = type == 0 ? Plot::GCContent : kPlots[std::size_t(type - 1)].plot;
    choice.path = WithExtension(path, ValueSuffix(choice.format));
    return choice;
}

} // namespace quillet
