#pragma once
// A surface that draws nothing: running a map procedure on it tells whether
// the map can be drawn (the procedures fail before or during drawing in the
// same way on every surface) without the cost of painting.
#include "maps/surface.h"

namespace quillet {

class NullSurface : public PictureSurface {
public:
    NullSurface(float width, float height) : width_(width), height_(height) {}
    float Width() const override { return width_; }
    float Height() const override { return height_; }
    void Cls() override { x_ = y_ = 0; }
    void Line(float, float, float x2, float y2) override { x_ = x2, y_ = y2; }
    void Line(float, float, float x2, float y2, ColorValue) override { x_ = x2, y_ = y2; }
    void Print(const QString&) override { x_ = 0, y_ += size_ * 20; }
    float CurrentX() const override { return x_; }
    float CurrentY() const override { return y_; }
    void SetCurrentX(float x) override { x_ = x; }
    void SetCurrentY(float y) override { y_ = y; }
    void SetFontName(const QString& name) override { font_ = name; }
    void SetFontSize(float points) override { size_ = points; }
    QString FontName() const override { return font_; }
    float FontSize() const override { return size_; }
    void BeginCurve(ColorValue) override {}
    void CurveTo(float, float) override {}
    void EndCurve() override {}
    void CurveToMany(const CurvePoint*, size_t) override {}
    void Shade(float, float, float, float, ColorValue) override {}

private:
    float width_, height_;
    float x_ = 0, y_ = 0;
    float size_ = 9;
    QString font_;
};

} // namespace quillet
