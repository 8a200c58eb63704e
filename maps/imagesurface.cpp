#include "maps/imagesurface.h"

#include "maps/surfacefont.h"
#include "maps/syscolors.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace quillet {

namespace {

// Largest device pixel coordinate handled; beyond it coordinates are clamped.
constexpr double kPixelLimit = double(int64_t(1) << 29);

int InnerPixels(float outerTwips, int border)
{
    const double outer = std::isfinite(outerTwips) ? double(outerTwips) : 0.0;
    const double px = std::nearbyint(outer / kTwipsPerPixel) - 2.0 * border;
    return int(std::clamp(px, 0.0, 32767.0));
}

} // namespace

ImageSurface::ImageSurface(float outerWidth, float outerHeight, int border, qreal devicePixelRatio)
    : width_(outerWidth), height_(outerHeight), border_(std::max(0, border))
{
    Resize(outerWidth, outerHeight, devicePixelRatio);
}

void ImageSurface::Resize(float outerWidth, float outerHeight, qreal devicePixelRatio)
{
    width_ = outerWidth;
    height_ = outerHeight;
    dpr_ = (devicePixelRatio > 0 && std::isfinite(devicePixelRatio)) ? devicePixelRatio : 1.0;
    pen_ = std::max(1, int(std::lround(dpr_)));
    const int w = int(std::ceil(InnerPixels(outerWidth, border_) * dpr_));
    const int h = int(std::ceil(InnerPixels(outerHeight, border_) * dpr_));
    if (w > 0 && h > 0) {
        image_ = QImage(w, h, QImage::Format_RGB32);
        image_.setDevicePixelRatio(dpr_);
        image_.setDotsPerMeterX(kDotsPerMetre);
        image_.setDotsPerMeterY(kDotsPerMetre);
    } else {
        image_ = QImage();
    }
    Cls();
}

int64_t ImageSurface::DevicePixel(float twips) const
{
    double t = double(twips) * dpr_;
    if (!(t == t))
        return 0;
    t = std::clamp(t, -kPixelLimit * kTwipsPerPixel, kPixelLimit * kTwipsPerPixel);
    // The quotient is correctly rounded, and t is never within half an ulp
    // of a multiple of 15 without being one, so its floor is the exact pixel.
    const double q = t / kTwipsPerPixel;
    const int64_t p = int64_t(q); // truncates; floor below
    return q < double(p) ? p - 1 : p;
}

QRgb ImageSurface::Resolve(ColorValue c)
{
    return ResolveColor(c).rgb();
}

void ImageSurface::Cls()
{
    spanPending_ = false;
    curveHasPrev_ = false;
    lineColorCached_ = false;
    if (!image_.isNull())
        image_.fill(Resolve(back_));
    cx_ = 0;
    cy_ = 0;
}

void ImageSurface::FillRect(int64_t x0, int64_t y0, int64_t x1, int64_t y1, QRgb c)
{
    const int64_t w = image_.width(), h = image_.height();
    x0 = std::max<int64_t>(x0, 0);
    y0 = std::max<int64_t>(y0, 0);
    x1 = std::min<int64_t>(x1, w - 1);
    y1 = std::min<int64_t>(y1, h - 1);
    if (x0 > x1 || y0 > y1)
        return;
    uchar* bits = image_.bits();
    const qsizetype stride = image_.bytesPerLine();
    for (int64_t y = y0; y <= y1; ++y) {
        QRgb* row = reinterpret_cast<QRgb*>(bits + y * stride);
        for (int64_t x = x0; x <= x1; ++x)
            row[x] = c;
    }
}

void ImageSurface::Plot(int64_t x, int64_t y, QRgb c)
{
    if (pen_ == 1) {
        if (x >= 0 && y >= 0 && x < image_.width() && y < image_.height())
            reinterpret_cast<QRgb*>(image_.scanLine(int(y)))[x] = c;
        return;
    }
    FillRect(x, y, x + pen_ - 1, y + pen_ - 1, c);
}

// Bresenham's line from (x0, y0) to (x1, y1), both ends included, in closed
// form: along the major axis step i puts the minor coordinate at
// round-half-up(i * minor / major) from the start. The closed form lets us
// start at the first step that can touch the image, so far-off end points
// cost nothing, while the pixels stay those of the unclipped line.
void ImageSurface::RasterLine(int64_t x0, int64_t y0, int64_t x1, int64_t y1, QRgb c)
{
    const int64_t w = image_.width(), h = image_.height();
    if (w == 0 || h == 0)
        return;
    const int64_t dx = x1 - x0, dy = y1 - y0;
    const int64_t ax = dx < 0 ? -dx : dx, ay = dy < 0 ? -dy : dy;
    if (ax == 0 && ay == 0) {
        Plot(x0, y0, c);
        return;
    }
    // A pen placed at lo .. size-1 along an axis still covers a pixel.
    const int64_t lo = -(pen_ - 1);
    const bool xMajor = ax >= ay;
    const int64_t major = xMajor ? ax : ay, minor = xMajor ? ay : ax;
    const int64_t m0 = xMajor ? x0 : y0, n0 = xMajor ? y0 : x0;
    const int64_t ms = (xMajor ? dx : dy) < 0 ? -1 : 1;
    const int64_t ns = (xMajor ? dy : dx) < 0 ? -1 : 1;
    const int64_t mSize = xMajor ? w : h;

    int64_t first, last;
    if (ms > 0) {
        first = std::max<int64_t>(0, lo - m0);
        last = std::min<int64_t>(major, mSize - 1 - m0);
    } else {
        first = std::max<int64_t>(0, m0 - (mSize - 1));
        last = std::min<int64_t>(major, m0 - lo);
    }
    if (first > last)
        return;
    const int64_t den = 2 * major;
    const int64_t num = 2 * first * minor + major;
    int64_t q = num / den, r = num % den;
    const int64_t inc = 2 * minor;
    for (int64_t i = first; i <= last; ++i) {
        const int64_t m = m0 + ms * i, n = n0 + ns * q;
        if (xMajor)
            Plot(m, n, c);
        else
            Plot(n, m, c);
        r += inc;
        if (r >= den) {
            r -= den;
            ++q;
        }
    }
}

void ImageSurface::Line(float x1, float y1, float x2, float y2)
{
    FlushSpan();
    cx_ = x2;
    cy_ = y2;
    if (std::isnan(x1) || std::isnan(y1) || std::isnan(x2) || std::isnan(y2))
        return;
    RasterLine(DevicePixel(x1), DevicePixel(y1), DevicePixel(x2), DevicePixel(y2), Resolve(fore_));
}

void ImageSurface::Line(float x1, float y1, float x2, float y2, ColorValue color)
{
    FlushSpan();
    cx_ = x2;
    cy_ = y2;
    if (std::isnan(x1) || std::isnan(y1) || std::isnan(x2) || std::isnan(y2))
        return;
    if (!lineColorCached_ || lineColorValue_ != color) {
        lineColorValue_ = color;
        lineColorRgb_ = Resolve(color);
        lineColorCached_ = true;
    }
    RasterLine(DevicePixel(x1), DevicePixel(y1), DevicePixel(x2), DevicePixel(y2), lineColorRgb_);
}

void ImageSurface::Print(const QString& text)
{
    FlushSpan();
    const QFont font = SurfaceFont(fontName_, fontSize_);
    // Metrics at 96 logical dpi whatever the image (also when it is empty).
    const QFontMetrics fm(font, &TextMetricsDevice());
    if (!image_.isNull() && !text.isEmpty() && !std::isnan(cx_) && !std::isnan(cy_)) {
        QPainter p(&image_);
        p.setFont(font);
        p.setPen(ResolveColor(fore_));
        // Top-left corner of the text on the pixel that holds the current point.
        const qreal left = qreal(DevicePixel(cx_)) / dpr_;
        const qreal top = qreal(DevicePixel(cy_)) / dpr_;
        p.drawText(QPointF(left, top + fm.ascent()), text);
    }
    cx_ = 0;
    cy_ += float(fm.height() * kTwipsPerPixel);
}

void ImageSurface::SetFontName(const QString& name)
{
    fontName_ = name;
}

void ImageSurface::SetFontSize(float points)
{
    fontSize_ = points;
}

// The fast curve. Consecutive points are joined by segments exactly as Line
// would draw them, except that a run of segments whose end points all lie in
// one device pixel column is drawn as the one vertical span from the lowest
// to the highest of their rows. Each such segment is itself a vertical run in
// that column, and the segments of a run are joined end to end, so their
// union is that span: the pixels are the same, at one fill per column instead
// of one line per window. Segments that change column are drawn as lines.
void ImageSurface::BeginCurve(ColorValue color)
{
    if (!fastCurve_) {
        PictureSurface::BeginCurve(color);
        return;
    }
    FlushSpan();
    curveRgb_ = Resolve(color);
    curveHasPrev_ = false;
    curveStarted_ = false;
}

void ImageSurface::CurveTo(float x, float y)
{
    if (!fastCurve_) {
        PictureSurface::CurveTo(x, y);
        return;
    }
    if (curveStarted_) { // a segment ends here: Line would move the current point
        cx_ = x;
        cy_ = y;
    }
    curveStarted_ = true;
    if (std::isnan(x) || std::isnan(y)) { // no segment to or from this point
        FlushSpan();
        curveHasPrev_ = false;
        return;
    }
    // Most points fall in the column of the previous one: test that with
    // the column's bounds (x * dpr in [15 col, 15 col + 15)) before working
    // out the column from scratch.
    const double t = double(x) * dpr_;
    const bool sameColumn = curveHasPrev_ && t >= colLow_ && t < colHigh_;
    const int64_t col = sameColumn ? prevCol_ : DevicePixel(x);
    if (!sameColumn) {
        colLow_ = double(col) * kTwipsPerPixel;
        colHigh_ = colLow_ + kTwipsPerPixel;
    }
    if (curveHasPrev_) {
        if (col == prevCol_) {
            if (!spanPending_) {
                spanPending_ = true;
                spanCol_ = col;
                spanMinY_ = std::min(prevY_, y);
                spanMaxY_ = std::max(prevY_, y);
            } else {
                spanMinY_ = std::min(spanMinY_, y);
                spanMaxY_ = std::max(spanMaxY_, y);
            }
        } else {
            FlushSpan();
            RasterLine(prevCol_, DevicePixel(prevY_), col, DevicePixel(y), curveRgb_);
        }
    }
    prevY_ = y;
    prevCol_ = col;
    curveHasPrev_ = true;
}

void ImageSurface::CurveToMany(const CurvePoint* points, size_t count)
{
    if (!fastCurve_) {
        PictureSurface::CurveToMany(points, count);
        return;
    }
    size_t i = 0;
    while (i < count) {
        if (curveHasPrev_) {
            // Points that stay in the previous point's column only widen the
            // pending span: the loop of CurveTo without its other branches.
            float lowY = spanPending_ ? spanMinY_ : prevY_;
            float highY = spanPending_ ? spanMaxY_ : prevY_;
            size_t j = i;
            for (; j < count; ++j) {
                const double t = double(points[j].x) * dpr_; // NaN fails the test below
                const float y = points[j].y;
                if (!(t >= colLow_ && t < colHigh_) || std::isnan(y))
                    break;
                lowY = std::min(lowY, y);
                highY = std::max(highY, y);
            }
            if (j > i) {
                spanPending_ = true;
                spanCol_ = prevCol_;
                spanMinY_ = lowY;
                spanMaxY_ = highY;
                prevY_ = points[j - 1].y;
                cx_ = points[j - 1].x;
                cy_ = points[j - 1].y;
                i = j;
                continue;
            }
        }
        ImageSurface::CurveTo(points[i].x, points[i].y);
        ++i;
    }
}

void ImageSurface::EndCurve()
{
    if (!fastCurve_) {
        PictureSurface::EndCurve();
        return;
    }
    FlushSpan();
    curveHasPrev_ = false;
    curveStarted_ = false;
}

void ImageSurface::Shade(float x1, float y1, float x2, float y2, ColorValue color)
{
    FlushSpan();
    if (std::isnan(x1) || std::isnan(y1) || std::isnan(x2) || std::isnan(y2))
        return;
    const int64_t left = DevicePixel(std::min(x1, x2)), right = DevicePixel(std::max(x1, x2));
    const int64_t top = DevicePixel(std::min(y1, y2)), bottom = DevicePixel(std::max(y1, y2));
    // A band narrower than a pixel still shows as one column.
    FillRect(left, top, std::max(left, right - 1), std::max(top, bottom - 1), Resolve(color));
}

void ImageSurface::FlushSpan()
{
    if (!spanPending_)
        return;
    spanPending_ = false;
    // Pixel rows grow with y, so the rows of the extreme values bound the rows
    // of every point of the run.
    FillRect(spanCol_, DevicePixel(spanMinY_), spanCol_ + pen_ - 1, DevicePixel(spanMaxY_) + pen_ - 1, curveRgb_);
}

} // namespace quillet
