#pragma once
// The drawing surface the maps draw on: a picture in twips with a current
// point, a font, and lines and text in the foreground or a given colour.
// Production paints a persistent image (ImageSurface); tests record calls.
#include <QString>
#include <cstddef>
#include <cstdint>

namespace quillet {

// A colour value as the window stores it: 0x00BBGGRR, or 0x800000nn for
// system colour nn (see maps/syscolors.h).
using ColorValue = uint32_t;

class PictureSurface {
public:
    virtual ~PictureSurface() = default;

    // Outer size of the picture box in twips (border included).
    virtual float Width() const = 0;
    virtual float Height() const = 0;

    // Clears to the background colour; the current point becomes (0, 0).
    virtual void Cls() = 0;
    // A straight line in the foreground colour; the current point becomes (x2, y2).
    virtual void Line(float x1, float y1, float x2, float y2) = 0;
    // The same in the given colour.
    virtual void Line(float x1, float y1, float x2, float y2, ColorValue color) = 0;
    // Line (x1, y1)-Step(dx, dy).
    void LineStep(float x1, float y1, float dx, float dy) { Line(x1, y1, x1 + dx, y1 + dy); }
    // Draws text with its top-left corner at the current point in the current
    // font, then moves to x = 0 on the next text line.
    virtual void Print(const QString& text) = 0;

    virtual float CurrentX() const = 0;
    virtual float CurrentY() const = 0;
    virtual void SetCurrentX(float x) = 0;
    virtual void SetCurrentY(float y) = 0;
    virtual void SetFontName(const QString& name) = 0;
    virtual void SetFontSize(float points) = 0;
    virtual QString FontName() const = 0;
    virtual float FontSize() const = 0;

    // A polyline through many points in one colour: the map curve. The
    // default draws one Line per segment; a surface may draw fewer
    // primitives as long as the pixels are the same.
    virtual void BeginCurve(ColorValue color);
    virtual void CurveTo(float x, float y);
    virtual void EndCurve();
    // The next `count` points of the curve at once: the same as CurveTo for
    // each in turn (the default does exactly that), at one call per batch.
    struct CurvePoint {
        float x, y;
    };
    virtual void CurveToMany(const CurvePoint* points, size_t count);

    // Fills the rectangle between (x1, y1) and (x2, y2) in the given colour,
    // without outline and without moving the current point: the light band
    // behind windows of mostly unknown bases. Every surface must say what it
    // does with it (a wrapper passes it on), so there is no default.
    virtual void Shade(float x1, float y1, float x2, float y2, ColorValue color) = 0;

private:
    ColorValue curveColor_ = 0;
    bool curveHasPoint_ = false;
    float curveX_ = 0, curveY_ = 0;
};

} // namespace quillet
