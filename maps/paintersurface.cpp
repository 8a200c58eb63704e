#include "maps/paintersurface.h"

#include "maps/surfacefont.h"
#include "maps/syscolors.h"
#include "maps/units.h"

#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <vector>

namespace quillet {

namespace {

// Pixel coordinate of the centre of the pixel that holds `twips`.
qreal Centre(float twips)
{
    return qreal(twips) / kTwipsPerPixel + 0.5;
}

int InnerPixels(float outerTwips, int border)
{
    const double outer = std::isfinite(outerTwips) ? double(outerTwips) : 0.0;
    const double px = std::nearbyint(outer / kTwipsPerPixel) - 2.0 * border;
    return int(std::clamp(px, 0.0, 32767.0));
}

bool Finite(float a, float b)
{
    return std::isfinite(a) && std::isfinite(b);
}

} // namespace

PainterSurface::PainterSurface(QPainter& painter, float outerWidth, float outerHeight, int border,
                               ColorResolver resolve, ColorValue back, ColorValue fore)
    : painter_(painter), width_(outerWidth), height_(outerHeight), inner_(InnerSize(outerWidth, outerHeight, border)),
      resolve_(resolve ? std::move(resolve) : ColorResolver(ResolveColor)), back_(back), fore_(fore)
{}

QSize PainterSurface::InnerSize(float outerWidth, float outerHeight, int border)
{
    border = std::max(0, border);
    return QSize(InnerPixels(outerWidth, border), InnerPixels(outerHeight, border));
}

void PainterSurface::Cls()
{
    columnPending_ = false;
    curve_ = QPainterPath();
    curveOpen_ = false;
    painter_.fillRect(QRectF(0, 0, inner_.width(), inner_.height()), resolve_(back_));
    cx_ = 0;
    cy_ = 0;
}

void PainterSurface::StrokeLine(float x1, float y1, float x2, float y2, const QColor& color)
{
    cx_ = x2;
    cy_ = y2;
    if (!Finite(x1, y1) || !Finite(x2, y2))
        return;
    const QPen pen(color, 1.0, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin);
    if (vector_) {
        QPainterPath path(QPointF(Centre(x1), Centre(y1)));
        path.lineTo(Centre(x2), Centre(y2));
        painter_.strokePath(path, pen);
    } else {
        painter_.setPen(pen);
        painter_.drawLine(QPointF(Centre(x1), Centre(y1)), QPointF(Centre(x2), Centre(y2)));
    }
}

void PainterSurface::Line(float x1, float y1, float x2, float y2)
{
    StrokeLine(x1, y1, x2, y2, resolve_(fore_));
}

void PainterSurface::Line(float x1, float y1, float x2, float y2, ColorValue color)
{
    StrokeLine(x1, y1, x2, y2, resolve_(color));
}

void PainterSurface::Print(const QString& text)
{
    const QFont font = SurfaceFont(fontName_, fontSize_);
    const QFontMetrics fm(font, &TextMetricsDevice());
    if (!text.isEmpty() && Finite(cx_, cy_)) {
        painter_.setFont(font);
        painter_.setPen(resolve_(fore_));
        const qreal left = std::floor(qreal(cx_) / kTwipsPerPixel);
        const qreal top = std::floor(qreal(cy_) / kTwipsPerPixel);
        painter_.drawText(QPointF(left, top + fm.ascent()), text);
    }
    cx_ = 0;
    cy_ += float(fm.height()) * kTwipsPerPixel;
}

void PainterSurface::Shade(float x1, float y1, float x2, float y2, ColorValue color)
{
    if (!Finite(x1, y1) || !Finite(x2, y2))
        return;
    const qreal left = qreal(std::min(x1, x2)) / kTwipsPerPixel, right = qreal(std::max(x1, x2)) / kTwipsPerPixel;
    const qreal top = qreal(std::min(y1, y2)) / kTwipsPerPixel, bottom = qreal(std::max(y1, y2)) / kTwipsPerPixel;
    painter_.fillRect(QRectF(left, top, std::max<qreal>(right - left, 1.0), bottom - top), resolve_(color));
}

void PainterSurface::BeginCurve(ColorValue color)
{
    curveColor_ = resolve_(color);
    curve_ = QPainterPath();
    curveOpen_ = false;
    columnPending_ = false;
}

void PainterSurface::CurveTo(float x, float y)
{
    if (!Finite(x, y)) { // a break: no segment to or from this point
        FlushColumn();
        curveOpen_ = false;
        return;
    }
    cx_ = x;
    cy_ = y;
    const int64_t column = int64_t(std::floor(double(x) * kCurveColumnsPerPixel / kTwipsPerPixel));
    if (columnPending_ && column == column_) {
        // Screen y grows downwards: "low" is the smallest y.
        if (y < low_.y) {
            low_ = {x, y};
            lowFirst_ = false;
        }
        if (y > high_.y) {
            high_ = {x, y};
            lowFirst_ = true;
        }
        last_ = {x, y};
        return;
    }
    FlushColumn();
    columnPending_ = true;
    column_ = column;
    first_ = low_ = high_ = last_ = {x, y};
    lowFirst_ = true;
}

void PainterSurface::CurveToMany(const CurvePoint* points, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        CurveTo(points[i].x, points[i].y);
}

void PainterSurface::FlushColumn()
{
    if (!columnPending_)
        return;
    columnPending_ = false;
    const CurvePoint order[4] = {first_, lowFirst_ ? low_ : high_, lowFirst_ ? high_ : low_, last_};
    for (int k = 0; k < 4; ++k) {
        const QPointF p(Centre(order[k].x), Centre(order[k].y));
        if (!curveOpen_) {
            curve_.moveTo(p);
            curveOpen_ = true;
        } else if (curve_.currentPosition() != p) {
            curve_.lineTo(p);
        }
    }
}

void PainterSurface::StrokeCurve()
{
    const QPen pen(curveColor_, 1.0, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin);
    if (curve_.isEmpty()) {
    } else if (vector_) {
        painter_.strokePath(curve_, pen);
    } else {
        std::vector<QLineF> lines;
        lines.reserve(size_t(curve_.elementCount()));
        for (int i = 1; i < curve_.elementCount(); ++i) {
            const QPainterPath::Element e = curve_.elementAt(i);
            if (e.isLineTo())
                lines.emplace_back(QPointF(curve_.elementAt(i - 1)), QPointF(e));
        }
        painter_.setPen(pen);
        painter_.drawLines(lines.data(), int(lines.size()));
    }
    curve_ = QPainterPath();
}

void PainterSurface::EndCurve()
{
    FlushColumn();
    StrokeCurve();
    curveOpen_ = false;
}

} // namespace quillet
