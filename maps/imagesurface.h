#pragma once
// PictureSurface over a persistent QImage: what the picture box shows, and
// what Save and Copy take.
#include "maps/surface.h"
#include <QFont>
#include <QImage>

namespace quillet {

class ImageSurface : public PictureSurface {
public:
    // outerWidth/outerHeight: the picture box's outer size in twips;
    // border: the frame width in pixels on each side (the image covers the
    // inside); devicePixelRatio: >1 on high-DPI screens for crisp output.
    ImageSurface(float outerWidth, float outerHeight, int border = 2, qreal devicePixelRatio = 1.0);

    void Resize(float outerWidth, float outerHeight, qreal devicePixelRatio);
    void SetBackColor(ColorValue c) { back_ = c; }
    void SetForeColor(ColorValue c) { fore_ = c; }

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
    void EndCurve() override;

    // The drawn picture (inner area of the picture box).
    const QImage& Image() const { return image_; }

private:
    float width_, height_;
    int border_;
    QImage image_;
    ColorValue back_ = 0x8000000E, fore_ = 0x80000012;
    float cx_ = 0, cy_ = 0;
    QString fontName_ = QStringLiteral("MS Sans Serif");
    float fontSize_ = 8.25f;
};

} // namespace quillet
