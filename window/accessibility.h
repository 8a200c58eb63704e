#pragma once
// What the window shows, told to assistive technology: the result labels
// and the position readout carry their values in their accessible names,
// the map carries a description of what it shows, and with the map focused
// the arrow keys walk the cursor line window by window.
#include "maps/surface.h"

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace quillet {

class Quillet;

// A surface that passes every call on to another and keeps what a reader
// of the map needs from it: the labels printed beside the value axis and the
// height of the first full-width horizontal line (the reference line).
class MapTextTap : public PictureSurface {
public:
    explicit MapTextTap(PictureSurface& target) : t_(target) {}

    // Value-axis labels from the bottom of the axis to the top.
    QStringList ValueLabels() const;
    // The label level with the reference line; empty when there is none.
    QString ReferenceLabel() const;

    float Width() const override { return t_.Width(); }
    float Height() const override { return t_.Height(); }
    void Cls() override;
    void Line(float x1, float y1, float x2, float y2) override;
    void Line(float x1, float y1, float x2, float y2, ColorValue color) override { t_.Line(x1, y1, x2, y2, color); }
    void Print(const QString& text) override;
    float CurrentX() const override { return t_.CurrentX(); }
    float CurrentY() const override { return t_.CurrentY(); }
    void SetCurrentX(float x) override { t_.SetCurrentX(x); }
    void SetCurrentY(float y) override { t_.SetCurrentY(y); }
    void SetFontName(const QString& name) override { t_.SetFontName(name); }
    void SetFontSize(float points) override { t_.SetFontSize(points); }
    QString FontName() const override { return t_.FontName(); }
    float FontSize() const override { return t_.FontSize(); }
    void BeginCurve(ColorValue color) override { t_.BeginCurve(color); }
    void CurveTo(float x, float y) override { t_.CurveTo(x, y); }
    void CurveToMany(const CurvePoint* points, size_t count) override { t_.CurveToMany(points, count); }
    void EndCurve() override { t_.EndCurve(); }
    void Shade(float x1, float y1, float x2, float y2, ColorValue color) override { t_.Shade(x1, y1, x2, y2, color); }

private:
    struct AxisLabel {
        QString text;
        float y;
    };
    PictureSurface& t_;
    std::vector<AxisLabel> labels_;
    std::optional<float> referenceY_;
};

// What a map description is made of.
struct MapFacts {
    QString plot;                               // the plot selector's text
    QString record;                             // the sequence name
    bool percent = true;                        // values in percent (G+C) or plain (G-C/G+C)
    const std::vector<float>* values = nullptr; // windows 1 .. K at elements 1 .. K
    int64_t windowSize = 0, step = 0;
    QStringList valueLabels; // bottom to top
    QString referenceLabel;
};

// "G+C content map of NAME: K windows of W bp, step S bp. Lowest ... at
// window i (bases a to b); highest .... Value axis ... from bottom to top,
// reference line at ...."
QString DescribeMap(const MapFacts& facts);
// "Window k of K, bases a to b: G+C content 49.5%."
QString DescribeWindow(const MapFacts& facts, int32_t k);

// Connects the window's labels and map to the accessibility layer and the
// map to the keyboard.
void InstallAccessibility(Quillet& window);

// Tells assistive technology that a colour swatch is a push button, which
// its press action presses. Called before the swatch is made, so that no
// other account of it is given first.
void InstallSwatchAccess();

} // namespace quillet
