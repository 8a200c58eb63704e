#include "maps/surface.h"

namespace quillet {

void PictureSurface::BeginCurve(ColorValue color)
{
    curveColor_ = color;
    curveHasPoint_ = false;
}

void PictureSurface::CurveTo(float x, float y)
{
    if (curveHasPoint_)
        Line(curveX_, curveY_, x, y, curveColor_);
    curveX_ = x;
    curveY_ = y;
    curveHasPoint_ = true;
}

void PictureSurface::CurveToMany(const CurvePoint* points, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        CurveTo(points[i].x, points[i].y);
}

void PictureSurface::EndCurve()
{
    curveHasPoint_ = false;
}

} // namespace quillet
