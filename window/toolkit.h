#pragma once
// The window toolkit the handlers are written against, built from Qt's
// standard widgets: positions and sizes in twips (15 to a logical pixel),
// captions and texts under their classic names, and events that property
// sets raise synchronously (a combo box's ListIndex raises Click, a scroll
// bar's Value or a lowered Max raises Change). Events are Qt signals, so
// handlers connect with pointer-to-member connects and run at once.
#include "analysis/calcwindows.h"
#include "maps/imagesurface.h"
#include "maps/units.h"

#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QScrollBar>
#include <QToolButton>
#include <cstdint>
#include <memory>

namespace quillet::tk {

// Repaints a widget on every way out of a scope that draws on it, so that
// what was drawn shows also when drawing stopped part-way.
struct RepaintOnExit {
    QWidget* w;
    ~RepaintOnExit() { w->update(); }
};

using quillet::kTwipsPerPixel; // maps/units.h
int ToPixels(double twips);

// Keeps a control's Left, Top, Width and Height in twips as floats (so that
// scaling multiplies the exact values) and places the widget in whole pixels.
class TwipsGeometry {
public:
    explicit TwipsGeometry(QWidget* self) : self_(self) {}
    virtual ~TwipsGeometry() = default;
    float Left() const { return left_; }
    float Top() const { return top_; }
    float Width() const { return width_; }
    float Height() const { return height_; }
    void SetLeft(float v)
    {
        left_ = v;
        apply();
    }
    void SetTop(float v)
    {
        top_ = v;
        apply();
    }
    void SetWidth(float v)
    {
        width_ = v;
        apply();
    }
    void SetHeight(float v)
    {
        height_ = v;
        apply();
    }
    void Move(float left, float top, float width, float height);

protected:
    virtual void geometryApplied() {}

private:
    void apply();
    QWidget* self_;
    float left_ = 0, top_ = 0, width_ = 0, height_ = 0;
};

// Background colour as a colour value (literal or system colour).
void SetBackColor(QWidget* w, uint32_t value, QPalette::ColorRole role);

class TextBox : public QLineEdit, public TwipsGeometry {
    Q_OBJECT
public:
    explicit TextBox(QWidget* parent);
    QString Text() const { return text(); }
    // Shows the beginning of a long text, as a result field should.
    void SetText(const QString& t)
    {
        setText(t);
        setCursorPosition(0);
    }
    uint32_t BackColor() const { return backColor_; }
    void SetBackColor(uint32_t value);
signals:
    // Key released: key code (13 for Enter) and shift state (1 Shift, 2 Ctrl, 4 Alt).
    void KeyUp(int16_t keyCode, int16_t shift);
    void Click();

protected:
    void keyReleaseEvent(QKeyEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    uint32_t backColor_ = 0x80000005;
};

// A text box that shows only its background colour and works as a button:
// it takes no text, a click, Space or Enter presses it (raising Click), and
// with the focus it shows a ring inside its border, in the highlight colour
// with a line of the text background inside it, so the ring stands out on
// any colour the swatch shows.
class ColorSwatch : public TextBox {
    Q_OBJECT
public:
    explicit ColorSwatch(QWidget* parent);
    // Presses the swatch as a click does.
    void Press() { emit Click(); }

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void paintEvent(QPaintEvent* e) override;

private:
    // A key that presses the swatch went down here; it presses on release.
    bool keyDown_ = false;
};

class Label : public QLabel, public TwipsGeometry {
    Q_OBJECT
public:
    explicit Label(QWidget* parent, const QString& caption = {});
    QString Caption() const { return text(); }
    void SetCaption(const QString& c)
    {
        setText(c);
        emit CaptionChanged(c);
    }
    // Paints this colour just behind the caption (not the whole label), so
    // a caption over a drawing stays readable.
    void SetCaptionBackground(const QColor& c)
    {
        captionBackground_ = c;
        update();
    }
signals:
    void Click();
    // Raised by every SetCaption, also when the caption stays the same.
    void CaptionChanged(const QString& caption);

protected:
    void mouseReleaseEvent(QMouseEvent* e) override;
    void paintEvent(QPaintEvent* e) override;

private:
    QColor captionBackground_;
};

// A command button in the graphical style: picture above caption.
class CommandButton : public QToolButton, public TwipsGeometry {
    Q_OBJECT
public:
    CommandButton(QWidget* parent, const QString& caption);
    QString Caption() const { return text(); }
    void SetPicture(const QIcon& icon);

protected:
    void resizeEvent(QResizeEvent* e) override;
};

class Frame : public QGroupBox, public TwipsGeometry {
    Q_OBJECT
public:
    Frame(QWidget* parent, const QString& caption);
};

// A combo box with an editable text part. Setting ListIndex always raises
// Click (also when the index does not change) and shows the entry's text;
// a user's pick raises Click; typing into the text part raises Change.
class ComboBox : public QComboBox, public TwipsGeometry {
    Q_OBJECT
public:
    explicit ComboBox(QWidget* parent);
    int16_t ListIndex() const { return int16_t(currentIndex()); }
    void SetListIndex(int16_t index);
    void AddItem(const QString& text, int index);
    void SetFontName(const QString& family);
    void SetFontSize(float points);
signals:
    void Click();
    void Change();

private:
    void fitHeightToFont();
};

// A vertical scroll bar. Setting Value, or Min/Max so that Value moves,
// raises Change; a user's arrow or track click raises Change; dragging the
// thumb raises Scroll repeatedly and Change when released on a new position.
// It takes the focus (by Tab or a click) and then the keys of a scroll bar:
// Up and Down one step, PageUp and PageDown one page, Home and End to Min
// and Max, each raising Change.
class VScrollBar : public QScrollBar, public TwipsGeometry {
    Q_OBJECT
public:
    explicit VScrollBar(QWidget* parent);
    int16_t Min() const { return int16_t(minimum()); }
    int16_t Max() const { return int16_t(maximum()); }
    int16_t Value() const { return int16_t(value()); }
    void SetMin(int16_t v);
    void SetMax(int16_t v);
    void SetValue(int16_t v);
signals:
    void Change();
    void Scroll();

protected:
    // With the focus, a ring in the highlight colour inside its edge.
    void paintEvent(QPaintEvent* e) override;

private:
    template <typename F>
    void setQuietly(F&& f);
    bool quiet_ = false;
    int pressValue_ = 0;
};

// A progress bar with float Min, Max and Value. It repaints at once when
// the value moves, so progress shows while a computation holds the thread.
class ProgressBar : public QProgressBar, public TwipsGeometry, public ProgressSink {
    Q_OBJECT
public:
    explicit ProgressBar(QWidget* parent);
    float Min() const { return min_; }
    float Max() const { return max_; }
    float Value() const { return value_; }
    void SetMin(float v)
    {
        min_ = v;
        refresh();
    }
    void SetMax(float v)
    {
        max_ = v;
        refresh();
    }
    void SetValue(float v)
    {
        value_ = v;
        refresh();
    }
    // ProgressSink
    void setRange(float min, float max) override
    {
        SetMin(min);
        SetMax(max);
    }
    void setValue(float v) override { SetValue(v); }

private:
    void refresh();
    float min_ = 0, max_ = 100, value_ = 0;
};

// A straight line control (only vertical and horizontal lines are needed).
// DrawMode 13 draws it in its colour, 11 draws nothing.
class LineControl : public QWidget {
    Q_OBJECT
public:
    explicit LineControl(QWidget* parent);
    float X1() const { return x1_; }
    float Y1() const { return y1_; }
    float X2() const { return x2_; }
    float Y2() const { return y2_; }
    void SetX1(float v)
    {
        x1_ = v;
        place();
    }
    void SetY1(float v)
    {
        y1_ = v;
        place();
    }
    void SetX2(float v)
    {
        x2_ = v;
        place();
    }
    void SetY2(float v)
    {
        y2_ = v;
        place();
    }
    int DrawMode() const { return drawMode_; }
    void SetDrawMode(int mode);
    void SetBorderColor(uint32_t value)
    {
        borderColor_ = value;
        update();
    }
    void SetBorderWidth(int pixels)
    {
        borderWidth_ = pixels;
        place();
    }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    void place();
    float x1_ = 0, y1_ = 0, x2_ = 0, y2_ = 0;
    int drawMode_ = 13;
    int borderWidth_ = 1;
    uint32_t borderColor_ = 0x80000012;
};

// The picture box: a border around a persistent image that the maps draw
// on. Child controls (the cursor line and the readout) sit on the inside
// area, whose top-left corner is the origin of drawing and mouse
// coordinates. With the focus its border is drawn in the highlight colour;
// the image, which Save and Copy take, is the same either way.
class PictureBox : public QFrame, public TwipsGeometry {
    Q_OBJECT
public:
    explicit PictureBox(QWidget* parent);
    ImageSurface& Surface() { return *surface_; }
    QImage Image() const { return surface_->Image(); }
    QWidget* Inside() const { return inside_; }
    void SetBackColor(uint32_t value);
signals:
    void MouseMove(int16_t button, int16_t shift, float x, float y);

protected:
    void geometryApplied() override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* e) override;

private:
    QWidget* inside_;
    std::unique_ptr<ImageSurface> surface_;
    uint32_t backColor_ = 0x8000000E;
};

// The title banner picture; Stretch makes it fill its size.
class ImageControl : public QLabel, public TwipsGeometry {
    Q_OBJECT
public:
    explicit ImageControl(QWidget* parent);
    void SetStretch(bool on) { setScaledContents(on); }
    bool Stretch() const { return hasScaledContents(); }
};

// Key code and shift state of a key event, as KeyUp reports them.
int16_t KeyCodeOf(const QKeyEvent* e);
int16_t ShiftStateOf(Qt::KeyboardModifiers m);

} // namespace quillet::tk
