#pragma once
// PictureSurface over a QPainter: the map as vectors (SVG, PDF) or on an
// image of any scale, laid out exactly like ImageSurface lays it out on the
// screen.
//
// The painter works in logical pixels of the picture's inner area (the
// picture box without its frame), 15 twips to a pixel, on a device of 96
// logical dots per inch, so fonts get the sizes they get on the screen;
// a painter transform may scale the result (2x, 4x). ImageSurface puts a
// point in the pixel floor(twips / 15) and its one-pixel pen covers that
// pixel; here a line runs through the pixel's centre (twips / 15 + 0.5)
// with a pen one pixel wide, which covers the same pixels at 1x. Text has
// its top-left corner on the pixel of the current point and moves the
// current point down by the height of a line at 96 dpi, as on the screen.
//
// For vector output every line is one path and the curve one path per
// unbroken run; on an image lines and curve segments are drawn as lines,
// which the raster engine draws one by one far faster than it fills the
// outline of one long self-crossing path. Either way the curve is thinned
// to the first, lowest, highest and last point in each eighth of a pixel
// column, which draws the same shape with a few points per column however
// many windows there are.
#include "maps/surface.h"

#include <QColor>
#include <QFont>
#include <QPainterPath>
#include <QSize>
#include <functional>

class QPainter;

namespace quillet {

class PainterSurface : public PictureSurface {
public:
    // Turns colour values (system colours included) into colours; a null
    // resolver resolves them as the picture box does (application palette).
    using ColorResolver = std::function<QColor(ColorValue)>;

    // outerWidth/outerHeight: the picture box's outer size in twips; border:
    // its frame in logical pixels on each side, left out of the picture.
    PainterSurface(QPainter& painter, float outerWidth, float outerHeight, int border, ColorResolver resolve,
                   ColorValue back, ColorValue fore);

    // The inner area in logical pixels, as ImageSurface sizes its image.
    static QSize InnerSize(float outerWidth, float outerHeight, int border);

    float Width() const override { return width_; }
    float Height() const override { return height_; }
    void Cls() override;
    void Line(float x1, float y1, float x2, float y2) override;
    void Line(float x1, float y1, float x2, float y2, ColorValue color) override;
    void Print(const QString& text) override;
    float CurrentX() const override { return cx_; }
    float CurrentY() const override { return cy_; }
    void SetCurrentX(float x) override { cx_ = x; }
    void SetCurrentY(float y) override { cy_ = y; }
    void SetFontName(const QString& name) override { fontName_ = name; }
    void SetFontSize(float points) override { fontSize_ = points; }
    QString FontName() const override { return fontName_; }
    float FontSize() const override { return fontSize_; }

    void BeginCurve(ColorValue color) override;
    void CurveTo(float x, float y) override;
    void CurveToMany(const CurvePoint* points, size_t count) override;
    void EndCurve() override;
    void Shade(float x1, float y1, float x2, float y2, ColorValue color) override;

    // Paths (SVG, PDF) rather than lines (images); paths by default.
    void SetVectorOutput(bool on) { vector_ = on; }

    // Columns per logical pixel of the curve thinning.
    static constexpr int kCurveColumnsPerPixel = 8;

private:
    void StrokeLine(float x1, float y1, float x2, float y2, const QColor& color);
    void FlushColumn();
    void StrokeCurve();

    QPainter& painter_;
    bool vector_ = true;
    float width_, height_;
    QSize inner_;
    ColorResolver resolve_;
    ColorValue back_, fore_;
    float cx_ = 0, cy_ = 0;
    QString fontName_ = QStringLiteral("MS Sans Serif");
    float fontSize_ = 8.25f;

    // Curve: the path so far, and the points of the current column.
    QColor curveColor_;
    QPainterPath curve_;
    bool curveOpen_ = false; // the path has a current point to continue from
    bool columnPending_ = false;
    int64_t column_ = 0;
    CurvePoint first_{}, low_{}, high_{}, last_{};
    bool lowFirst_ = true; // the lowest point came before the highest
};

} // namespace quillet
