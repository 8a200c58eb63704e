// The map as PNG, SVG and PDF: drawn by the same map procedure as the
// screen, laid out like the screen picture, with text as text and lines as
// paths in the vector formats.
#include "excerptrecords.h"
#include "maps/exportpicture.h"
#include "maps/gcmap.h"
#include "maps/imagesurface.h"
#include "maps/syscolors.h"
#include "recordingsurface.h"

#include <QBuffer>
#include <QImage>
#include <QRegularExpression>
#include <QXmlStreamReader>
#include <gtest/gtest.h>

using namespace quillet;
using namespace quillet::test;

namespace {

constexpr float kW = 10575, kH = 4695;
constexpr ColorValue kRed = 0x000000FF;

struct Map {
    WindowResults windows;
    MapInputs in;
};

// Chr2 of the excerpt (30,000 bases, two N runs) in 200 bp windows.
const Map& Chr2()
{
    static const Map map = [] {
        auto records = ExcerptRecords(200, 100);
        Map m{records.at(1).windows, {}};
        m.in = MapInputs{m.windows.AvgGC, "30000", "100", "200", kRed};
        return m;
    }();
    return map;
}

void Draw(PictureSurface& s)
{
    DrawGCMap(s, Chr2().windows.GCValues, 0, Chr2().in);
}

QByteArray Export(PictureFormat format, int scale = 1)
{
    PictureExport r;
    r.format = format;
    r.scale = scale;
    r.outerWidth = kW;
    r.outerHeight = kH;
    r.resolve = [](ColorValue c) { return ResolveColor(c); };
    r.title = QStringLiteral("Chr2");
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(WritePicture(buffer, r, Draw));
    return buffer.data();
}

bool IsInk(QRgb c, QRgb background)
{
    return std::abs(qGray(c) - qGray(background)) > 96 || (qRed(c) > 160 && qGreen(c) < 128);
}

int Inked(const QImage& a)
{
    int n = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            n += IsInk(a.pixel(x, y), a.pixel(0, 0));
    return n;
}

// Inked pixels of `a` with no inked pixel of `b` at most one pixel away.
int Unmatched(const QImage& a, const QImage& b)
{
    int n = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            if (!IsInk(a.pixel(x, y), a.pixel(0, 0)))
                continue;
            bool near = false;
            for (int dy = -1; dy <= 1 && !near; ++dy)
                for (int dx = -1; dx <= 1 && !near; ++dx)
                    near = b.valid(x + dx, y + dy) && IsInk(b.pixel(x + dx, y + dy), b.pixel(0, 0));
            n += !near;
        }
    return n;
}

} // namespace

TEST(ExportPicture, PngAtEachScaleShowsTheScreenPicture)
{
    ImageSurface screen(kW, kH, 2);
    Draw(screen);
    for (int scale : {1, 2, 4}) {
        SCOPED_TRACE(scale);
        QImage png = QImage::fromData(Export(PictureFormat::Png, scale), "PNG");
        ASSERT_FALSE(png.isNull());
        EXPECT_EQ(png.size(), screen.Image().size() * scale);
        EXPECT_EQ(png.dotsPerMeterX(), 3780 * scale);
        EXPECT_EQ(png.dotsPerMeterY(), 3780 * scale);
        // Scaled down to the screen size, every inked pixel of either
        // picture has ink within a pixel in the other: lines may step
        // differently, but a shifted layout, a wrong font size or a missing
        // curve leaves ink unmatched.
        png = png.convertToFormat(QImage::Format_RGB32);
        if (scale > 1)
            png = png.scaled(screen.Image().size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        const int inked = Inked(screen.Image());
        EXPECT_LT(Unmatched(screen.Image(), png), inked / 100);
        EXPECT_LT(Unmatched(png, screen.Image()), inked / 100);
    }
}

TEST(ExportPicture, SvgHasEveryTextAsTextAndTheCurveAsAPath)
{
    RecordingSurface recorded(kW, kH);
    Draw(recorded);
    QXmlStreamReader xml(Export(PictureFormat::Svg));
    QStringList texts;
    int paths = 0, redPaths = 0;
    QString viewBox, stroke; // the stroke of the group a path is in
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == u"svg")
            viewBox = xml.attributes().value("viewBox").toString();
        if (xml.name() == u"g")
            stroke = xml.attributes().value("stroke").toString();
        if (xml.name() == u"path") {
            ++paths;
            redPaths += stroke == u"#ff0000";
        }
        if (xml.name() == u"text")
            texts << xml.readElementText();
    }
    ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_EQ(viewBox, "0 0 701 309"); // the screen picture: 10575 x 4695 twips less a 2-pixel frame
    QStringList printed;
    for (const auto& p : recorded.Prints())
        printed << p.text;
    texts.sort();
    printed.sort();
    EXPECT_EQ(texts, printed);
    EXPECT_EQ(redPaths, 1); // one unbroken curve
    EXPECT_EQ(paths - redPaths, int(recorded.Lines(true).size()));
}

TEST(ExportPicture, PdfIsOnePageOfThePictureSizeWithText)
{
    const QByteArray pdf = Export(PictureFormat::Pdf);
    ASSERT_TRUE(pdf.startsWith("%PDF-"));
    EXPECT_EQ(pdf.count("/Type /Page\n") + pdf.count("/Type /Page\r") + pdf.count("/Type /Page "), 1);
    // 701 x 309 pixels at 96 dpi = 525.75 x 231.75 points.
    const QRegularExpression mediaBox(QStringLiteral("/MediaBox \\[0 0 ([0-9.]+) ([0-9.]+)\\]"));
    const auto m = mediaBox.match(QString::fromLatin1(pdf));
    ASSERT_TRUE(m.hasMatch());
    EXPECT_NEAR(m.captured(1).toDouble(), 525.75, 0.5);
    EXPECT_NEAR(m.captured(2).toDouble(), 231.75, 0.5);
    EXPECT_TRUE(pdf.contains("/Font")); // text as text, with its font
    EXPECT_TRUE(pdf.contains("/Title"));
}
