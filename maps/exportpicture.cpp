#include "maps/exportpicture.h"

#include "maps/units.h"

#include <QImage>
#include <QImageWriter>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSvgGenerator>
#include <algorithm>

namespace quillet {

namespace {

bool WritePng(QIODevice& out, const PictureExport& r, const std::function<void(PictureSurface&)>& draw)
{
    const QSize inner = PainterSurface::InnerSize(r.outerWidth, r.outerHeight, r.border);
    const int scale = std::clamp(r.scale, 1, 8);
    QImage image(inner * scale, QImage::Format_RGB32);
    if (image.isNull())
        throw PictureNotMade(inner.width() * scale, inner.height() * scale);
    // 96 dpi keeps font sizes as on the screen; the painter scales.
    image.setDotsPerMeterX(kDotsPerMetre);
    image.setDotsPerMeterY(kDotsPerMetre);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing, scale > 1);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.scale(scale, scale);
        PainterSurface surface(painter, r.outerWidth, r.outerHeight, r.border, r.resolve, r.back, r.fore);
        surface.SetVectorOutput(false);
        draw(surface);
    }
    // The file says the true resolution, so the picture prints at screen size.
    image.setDotsPerMeterX(kDotsPerMetre * scale);
    image.setDotsPerMeterY(kDotsPerMetre * scale);
    QImageWriter writer(&out, "png");
    return writer.write(image);
}

bool WriteSvg(QIODevice& out, const PictureExport& r, const std::function<void(PictureSurface&)>& draw)
{
    const QSize inner = PainterSurface::InnerSize(r.outerWidth, r.outerHeight, r.border);
    QSvgGenerator svg;
    svg.setOutputDevice(&out);
    svg.setResolution(kDotsPerInch);
    svg.setSize(inner);
    svg.setViewBox(QRect(QPoint(0, 0), inner));
    svg.setTitle(r.title);
    QPainter painter;
    if (!painter.begin(&svg))
        return false;
    PainterSurface surface(painter, r.outerWidth, r.outerHeight, r.border, r.resolve, r.back, r.fore);
    draw(surface);
    return painter.end();
}

bool WritePdf(QIODevice& out, const PictureExport& r, const std::function<void(PictureSurface&)>& draw)
{
    const QSize inner = PainterSurface::InnerSize(r.outerWidth, r.outerHeight, r.border);
    QPdfWriter pdf(&out);
    pdf.setTitle(r.title);
    pdf.setCreator(QStringLiteral("Quillet"));
    pdf.setResolution(kDotsPerInch);
    // One page of exactly the picture's size (72 points per 96 pixels).
    const QPageSize page(QSizeF(inner.width() * 72.0 / kDotsPerInch, inner.height() * 72.0 / kDotsPerInch),
                         QPageSize::Point, QString(), QPageSize::ExactMatch);
    pdf.setPageLayout(QPageLayout(page, QPageLayout::Portrait, QMarginsF(0, 0, 0, 0), QPageLayout::Point));
    QPainter painter;
    if (!painter.begin(&pdf))
        return false;
    PainterSurface surface(painter, r.outerWidth, r.outerHeight, r.border, r.resolve, r.back, r.fore);
    draw(surface);
    return painter.end();
}

} // namespace

PictureNotMade::PictureNotMade(int w, int h) : std::runtime_error("picture too large for memory"), width(w), height(h)
{}

QString PictureNotMade::message(const QString& path) const
{
    return QStringLiteral("The picture of %1 x %2 pixels for %3 could not be made: there is not enough memory for it.")
        .arg(width)
        .arg(height)
        .arg(path);
}

bool WritePicture(QIODevice& out, const PictureExport& request, const std::function<void(PictureSurface&)>& draw)
{
    switch (request.format) {
    case PictureFormat::Png: return WritePng(out, request, draw);
    case PictureFormat::Svg: return WriteSvg(out, request, draw);
    case PictureFormat::Pdf: return WritePdf(out, request, draw);
    }
    return false;
}

} // namespace quillet
