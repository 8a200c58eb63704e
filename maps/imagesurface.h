#pragma once
// PictureSurface over a persistent QImage: what the picture box shows, and
// what Save and Copy take.
//
// Geometry: the picture box is `outerWidth` x `outerHeight` twips, 15 twips
// to a logical pixel, with a frame of `border` logical pixels on each side.
// The image covers only the inside of the frame, and drawing coordinates are
// relative to that inside area: twip (0, 0) is the top-left inner pixel.
// Width()/Height() still report the outer size, from which the maps are laid
// out. On high-DPI screens the image holds devicePixelRatio device pixels per
// logical pixel (QImage::devicePixelRatio is set), so text and lines stay
// crisp when a widget paints it at its logical size.
//
// Lines are rasterised here, without antialiasing, with a square pen one
// logical pixel wide (round(devicePixelRatio) device pixels). A point at
// (x, y) twips lies in device pixel (floor(x * dpr / 15), floor(y * dpr / 15));
// the pen covers that pixel and extends right and down from it. Because the
// rasteriser is our own, the curve can be drawn column by column with exactly
// the pixels that segment-by-segment drawing gives (see the curve methods in
// imagesurface.cpp); CurveToMany takes the points in batches.
#include "maps/surface.h"
#include "maps/units.h"

#include <QFont>
#include <QImage>
#include <QRgb>
#include <cstdint>

namespace quillet {

class ImageSurface : public PictureSurface {
public:
    // outerWidth/outerHeight: the picture box's outer size in twips;
    // border: the frame width in logical pixels on each side (the image
    // covers the inside); devicePixelRatio: >1 on high-DPI screens.
    ImageSurface(float outerWidth, float outerHeight, int border = 2, qreal devicePixelRatio = 1.0);

    // New outer size or screen; the picture is cleared to the background
    // colour (callers redraw the map afterwards).
    void Resize(float outerWidth, float outerHeight, qreal devicePixelRatio);
    void SetBackColor(ColorValue c) { back_ = c; }
    void SetForeColor(ColorValue c) { fore_ = c; }
    ColorValue BackColor() const { return back_; }
    ColorValue ForeColor() const { return fore_; }
    int Border() const { return border_; }
    qreal DevicePixelRatio() const { return dpr_; }

    // Curve drawing strategy: true (default) merges runs of segments inside
    // one pixel column into one vertical span; false draws every segment as
    // its own Line. Both give the same pixels; false exists for comparison.
    void SetFastCurve(bool on) { fastCurve_ = on; }

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
    void SetFontName(const QString& name) override;
    void SetFontSize(float points) override;
    QString FontName() const override { return fontName_; }
    float FontSize() const override { return fontSize_; }

    void BeginCurve(ColorValue color) override;
    void CurveTo(float x, float y) override;
    void CurveToMany(const CurvePoint* points, size_t count) override;
    void EndCurve() override;
    // Fills the device pixels from the one holding (x1, y1) up to, not
    // including, the one holding (x2, y2).
    void Shade(float x1, float y1, float x2, float y2, ColorValue color) override;

    // The drawn picture (inner area of the picture box), at device
    // resolution with its devicePixelRatio set.
    const QImage& Image() const { return image_; }

    // Device pixel that holds the point at `twips` along either axis
    // (floor(twips * dpr / 15)). Coordinates are clamped to +-2^29 pixels so
    // that absurd values cannot overflow; NaN must be screened by the caller.
    int64_t DevicePixel(float twips) const;

private:
    QRgb Resolve(ColorValue c);
    void Plot(int64_t x, int64_t y, QRgb c);
    void RasterLine(int64_t x0, int64_t y0, int64_t x1, int64_t y1, QRgb c);
    void FillRect(int64_t x0, int64_t y0, int64_t x1, int64_t y1, QRgb c); // inclusive
    void FlushSpan();

    float width_, height_;
    int border_;
    qreal dpr_ = 1.0;
    int pen_ = 1; // pen width in device pixels
    QImage image_;
    ColorValue back_ = 0x8000000E, fore_ = 0x80000012;
    float cx_ = 0, cy_ = 0;
    QString fontName_ = QStringLiteral("MS Sans Serif");
    float fontSize_ = 8.25f;

    // One-entry cache of the last given line colour, so that a curve drawn
    // segment by segment does not query the palette per segment. Cleared by
    // Cls, since a new drawing may follow a palette change.
    bool lineColorCached_ = false;
    ColorValue lineColorValue_ = 0;
    QRgb lineColorRgb_ = 0;

    // Curve state (fast path).
    bool fastCurve_ = true;
    QRgb curveRgb_ = 0;
    bool curveStarted_ = false; // a point has been given since BeginCurve
    bool curveHasPrev_ = false; // the previous point can start a segment (not NaN)
    float prevY_ = 0;
    int64_t prevCol_ = 0;
    double colLow_ = 0, colHigh_ = 0; // bounds of prevCol_ in twips x dpr
    bool spanPending_ = false;        // a run of in-column segments awaits drawing
    int64_t spanCol_ = 0;
    float spanMinY_ = 0, spanMaxY_ = 0;
};

} // namespace quillet
