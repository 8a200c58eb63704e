#pragma once
// A PictureSurface that records Cls, Line, Print and Shade calls, with the
// current point and font at each Print. A printed line is 25 twips per font point.
#include "maps/surface.h"
#include <QString>
#include <vector>

namespace quillet::test {

struct DrawCall {
    enum Kind { Cls, Line, Print, Shade } kind = Cls;
    static DrawCall Of(Kind k)
    {
        DrawCall call;
        call.kind = k;
        return call;
    }
    float x1 = 0, y1 = 0, x2 = 0, y2 = 0; // Line end points, Shade corners
    bool foreground = true;               // false: Line in `color`
    ColorValue color = 0;
    QString text; // Print: text, current point and font
    float x = 0, y = 0;
    QString fontName;
    float fontSize = 0;
};

class RecordingSurface : public PictureSurface {
public:
    RecordingSurface(float width, float height) : width_(width), height_(height) {}
    static constexpr float kLineHeightPerPoint = 25;
    std::vector<DrawCall> calls;

    float Width() const override { return width_; }
    float Height() const override { return height_; }
    void Cls() override { calls.push_back(DrawCall::Of(DrawCall::Cls)), cx_ = cy_ = 0; }
    void Line(float x1, float y1, float x2, float y2) override { AddLine(x1, y1, x2, y2, true, 0); }
    void Line(float x1, float y1, float x2, float y2, ColorValue c) override { AddLine(x1, y1, x2, y2, false, c); }
    void Print(const QString& text) override
    {
        DrawCall c = DrawCall::Of(DrawCall::Print);
        c.text = text, c.x = cx_, c.y = cy_, c.fontName = font_, c.fontSize = size_;
        calls.push_back(c);
        cx_ = 0;
        cy_ += size_ * kLineHeightPerPoint;
    }
    void Shade(float x1, float y1, float x2, float y2, ColorValue c) override
    {
        DrawCall d = DrawCall::Of(DrawCall::Shade);
        d.x1 = x1, d.y1 = y1, d.x2 = x2, d.y2 = y2, d.foreground = false, d.color = c;
        calls.push_back(d);
    }
    float CurrentX() const override { return cx_; }
    float CurrentY() const override { return cy_; }
    void SetCurrentX(float x) override { cx_ = x; }
    void SetCurrentY(float y) override { cy_ = y; }
    void SetFontName(const QString& name) override { font_ = name; }
    void SetFontSize(float points) override { size_ = points; }
    QString FontName() const override { return font_; }
    float FontSize() const override { return size_; }

    // Lines in the foreground colour (axes, ticks) or in a given colour (the curve).
    std::vector<DrawCall> Lines(bool foreground) const
    {
        std::vector<DrawCall> out;
        for (const auto& c : calls)
            if (c.kind == DrawCall::Line && c.foreground == foreground)
                out.push_back(c);
        return out;
    }
    std::vector<DrawCall> Prints() const
    {
        std::vector<DrawCall> out;
        for (const auto& c : calls)
            if (c.kind == DrawCall::Print)
                out.push_back(c);
        return out;
    }
    std::vector<DrawCall> Shades() const
    {
        std::vector<DrawCall> out;
        for (const auto& c : calls)
            if (c.kind == DrawCall::Shade)
                out.push_back(c);
        return out;
    }
    const DrawCall* FindPrint(const QString& text) const
    {
        for (const auto& c : calls)
            if (c.kind == DrawCall::Print && c.text == text)
                return &c;
        return nullptr;
    }

private:
    void AddLine(float x1, float y1, float x2, float y2, bool fore, ColorValue color)
    {
        DrawCall c = DrawCall::Of(DrawCall::Line);
        c.x1 = x1, c.y1 = y1, c.x2 = x2, c.y2 = y2, c.foreground = fore, c.color = color;
        calls.push_back(c);
        cx_ = x2, cy_ = y2;
    }

    float width_, height_;
    float cx_ = 0, cy_ = 0;
    QString font_ = QStringLiteral("MS Sans Serif");
    float size_ = 8.25f;
};

} // namespace quillet::test
