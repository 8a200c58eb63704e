#include "window/toolkit.h"

#include "maps/syscolors.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <cmath>

namespace quillet::tk {

int ToPixels(double twips)
{
    return int(std::lround(twips / kTwipsPerPixel));
}

void TwipsGeometry::Move(float left, float top, float width, float height)
{
    left_ = left;
    top_ = top;
    width_ = width;
    height_ = height;
    apply();
}

void TwipsGeometry::apply()
{
    self_->setGeometry(ToPixels(left_), ToPixels(top_), std::max(0, ToPixels(width_)), std::max(0, ToPixels(height_)));
    geometryApplied();
}

void SetBackColor(QWidget* w, uint32_t value, QPalette::ColorRole role)
{
    QPalette p = w->palette();
    p.setColor(role, ResolveColor(value));
    w->setPalette(p);
    w->setAutoFillBackground(true);
}

int16_t ShiftStateOf(Qt::KeyboardModifiers m)
{
    int16_t s = 0;
    if (m & Qt::ShiftModifier)
        s |= 1;
    if (m & Qt::ControlModifier)
        s |= 2;
    if (m & Qt::AltModifier)
        s |= 4;
    return s;
}

int16_t KeyCodeOf(const QKeyEvent* e)
{
    switch (e->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: return 13;
    case Qt::Key_Escape: return 27;
    case Qt::Key_Tab: return 9;
    case Qt::Key_Backspace: return 8;
    case Qt::Key_Space: return 32;
    default: break;
    }
    const int k = e->key();
    if ((k >= Qt::Key_0 && k <= Qt::Key_9) || (k >= Qt::Key_A && k <= Qt::Key_Z))
        return int16_t(k);
    return int16_t(k & 0x7fff);
}

namespace {
// Fills a band `width` pixels wide along the inside of `r`.
void FillRing(QPainter& p, const QRect& r, int width, const QColor& color)
{
    p.fillRect(QRect(r.left(), r.top(), r.width(), width), color);
    p.fillRect(QRect(r.left(), r.bottom() - width + 1, r.width(), width), color);
    p.fillRect(QRect(r.left(), r.top() + width, width, r.height() - 2 * width), color);
    p.fillRect(QRect(r.right() - width + 1, r.top() + width, width, r.height() - 2 * width), color);
}
} // namespace

// ---- TextBox ----

TextBox::TextBox(QWidget* parent) : QLineEdit(parent), TwipsGeometry(this)
{
    setTextMargins(1, 0, 1, 0);
}

void TextBox::SetBackColor(uint32_t value)
{
    backColor_ = value;
    tk::SetBackColor(this, value, QPalette::Base);
}

void TextBox::keyReleaseEvent(QKeyEvent* e)
{
    QLineEdit::keyReleaseEvent(e);
    if (!e->isAutoRepeat())
        emit KeyUp(KeyCodeOf(e), ShiftStateOf(e->modifiers()));
}

void TextBox::mouseReleaseEvent(QMouseEvent* e)
{
    QLineEdit::mouseReleaseEvent(e);
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()))
        emit Click();
}

// ---- ColorSwatch ----

namespace {
bool PressesSwatch(const QKeyEvent* e)
{
    const int k = e->key();
    return (k == Qt::Key_Space || k == Qt::Key_Return || k == Qt::Key_Enter) &&
           !(e->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
}
} // namespace

ColorSwatch::ColorSwatch(QWidget* parent) : TextBox(parent)
{
    setReadOnly(true);
    setCursor(Qt::PointingHandCursor);
}

void ColorSwatch::keyPressEvent(QKeyEvent* e)
{
    if (!PressesSwatch(e)) {
        TextBox::keyPressEvent(e);
        return;
    }
    if (!e->isAutoRepeat())
        keyDown_ = true;
    e->accept();
}

void ColorSwatch::keyReleaseEvent(QKeyEvent* e)
{
    TextBox::keyReleaseEvent(e);
    // Only a key that went down here presses: the release of the key that
    // closed the colour dialog must not open it again.
    if (PressesSwatch(e) && !e->isAutoRepeat() && keyDown_) {
        keyDown_ = false;
        emit Click();
    }
}

void ColorSwatch::focusOutEvent(QFocusEvent* e)
{
    keyDown_ = false;
    TextBox::focusOutEvent(e);
}

void ColorSwatch::paintEvent(QPaintEvent* e)
{
    TextBox::paintEvent(e);
    if (!hasFocus())
        return;
    QPainter p(this);
    FillRing(p, rect(), 2, palette().color(QPalette::Highlight));
    FillRing(p, rect().adjusted(2, 2, -2, -2), 1, palette().color(QPalette::HighlightedText));
}

// ---- Label ----

Label::Label(QWidget* parent, const QString& caption) : QLabel(caption, parent), TwipsGeometry(this)
{
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

void Label::mouseReleaseEvent(QMouseEvent* e)
{
    QLabel::mouseReleaseEvent(e);
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()))
        emit Click();
}

void Label::paintEvent(QPaintEvent* e)
{
    if (captionBackground_.isValid() && !text().isEmpty()) {
        QPainter p(this);
        const QRect r = fontMetrics().boundingRect(contentsRect(), int(alignment()), text());
        p.fillRect(r.adjusted(-2, 0, 2, 0), captionBackground_);
    }
    QLabel::paintEvent(e);
}

// ---- CommandButton ----

CommandButton::CommandButton(QWidget* parent, const QString& caption) : QToolButton(parent), TwipsGeometry(this)
{
    setText(caption);
    setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    setFocusPolicy(Qt::StrongFocus);
    setAutoRaise(false);
}

void CommandButton::SetPicture(const QIcon& icon)
{
    setIcon(icon);
}

void CommandButton::resizeEvent(QResizeEvent* e)
{
    QToolButton::resizeEvent(e);
    // The largest picture size that fits above the caption, so that the
    // icon is drawn from an image of exactly that size and stays sharp.
    const int room = std::min(width() - 8, height() - fontMetrics().height() - 6);
    int side = 16;
    for (int s : {32, 48})
        if (s <= room)
            side = s;
    setIconSize(QSize(side, side));
}

// ---- Frame ----

Frame::Frame(QWidget* parent, const QString& caption) : QGroupBox(caption, parent), TwipsGeometry(this) {}

// ---- ComboBox ----

ComboBox::ComboBox(QWidget* parent) : QComboBox(parent), TwipsGeometry(this)
{
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    connect(this, &QComboBox::activated, this, [this](int) { emit Click(); });
    connect(lineEdit(), &QLineEdit::textEdited, this, [this](const QString&) { emit Change(); });
}

void ComboBox::SetListIndex(int16_t index)
{
    setCurrentIndex(index);
    setEditText(index >= 0 && index < count() ? itemText(index) : QString());
    emit Click();
}

void ComboBox::AddItem(const QString& text, int index)
{
    insertItem(index, text);
}

void ComboBox::SetFontName(const QString& family)
{
    QFont f = font();
    f.setFamily(family);
    setFont(f);
    fitHeightToFont();
}

void ComboBox::SetFontSize(float points)
{
    QFont f = font();
    f.setPointSizeF(points);
    setFont(f);
    fitHeightToFont();
}

void ComboBox::fitHeightToFont()
{
    // A drop-down combo box is as tall as its font needs, whatever height
    // it was given.
    SetHeight(float(sizeHint().height()) * kTwipsPerPixel);
}

// ---- VScrollBar ----

VScrollBar::VScrollBar(QWidget* parent) : QScrollBar(Qt::Vertical, parent), TwipsGeometry(this)
{
    setFocusPolicy(Qt::StrongFocus);
    setRange(0, 32767);
    setSingleStep(1);
    setPageStep(1);
    setValue(0);
    connect(this, &QScrollBar::valueChanged, this, [this](int) {
        if (quiet_)
            return;
        if (isSliderDown())
            emit Scroll();
        else
            emit Change();
    });
    connect(this, &QScrollBar::sliderPressed, this, [this] { pressValue_ = value(); });
    connect(this, &QScrollBar::sliderReleased, this, [this] {
        if (value() != pressValue_)
            emit Change();
    });
}

void VScrollBar::paintEvent(QPaintEvent* e)
{
    QScrollBar::paintEvent(e);
    if (!hasFocus())
        return;
    QPainter p(this);
    FillRing(p, rect(), 2, palette().color(QPalette::Highlight));
}

template <typename F>
void VScrollBar::setQuietly(F&& f)
{
    const int before = value();
    quiet_ = true;
    f();
    quiet_ = false;
    if (value() != before)
        emit Change();
}

void VScrollBar::SetMin(int16_t v)
{
    setQuietly([&] { setMinimum(v); });
}

void VScrollBar::SetMax(int16_t v)
{
    setQuietly([&] { setMaximum(v); });
}

void VScrollBar::SetValue(int16_t v)
{
    setQuietly([&] { setValue(v); });
}

// ---- ProgressBar ----

ProgressBar::ProgressBar(QWidget* parent) : QProgressBar(parent), TwipsGeometry(this)
{
    QProgressBar::setRange(0, 10000);
    QProgressBar::setValue(0);
    setTextVisible(false);
}

void ProgressBar::refresh()
{
    // Mapped onto a fixed integer range, so that any float range works and
    // nothing overflows for very long sequences.
    double frac = 0.0;
    if (max_ > min_ && std::isfinite(value_))
        frac = std::clamp((double(value_) - min_) / (double(max_) - min_), 0.0, 1.0);
    const int pos = int(std::lround(frac * 10000.0));
    if (pos != QProgressBar::value()) {
        QProgressBar::setValue(pos);
        repaint();
    }
}

// ---- LineControl ----

LineControl::LineControl(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void LineControl::SetDrawMode(int mode)
{
    drawMode_ = mode;
    setVisible(mode != 11);
}

void LineControl::place()
{
    const int x1 = ToPixels(x1_), x2 = ToPixels(x2_), y1 = ToPixels(y1_), y2 = ToPixels(y2_);
    const int w = std::max(borderWidth_, std::abs(x2 - x1) + (x1 == x2 ? borderWidth_ : 1));
    const int h = std::max(borderWidth_, std::abs(y2 - y1) + (y1 == y2 ? borderWidth_ : 1));
    setGeometry(std::min(x1, x2), std::min(y1, y2), w, h);
}

void LineControl::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), ResolveColor(borderColor_));
}

// ---- PictureBox ----

namespace {
qreal screenRatio()
{
    const QScreen* s = QGuiApplication::primaryScreen();
    return s ? s->devicePixelRatio() : 1.0;
}

// The inside of the picture box: shows the persistent image.
class PictureInside : public QWidget {
public:
    explicit PictureInside(PictureBox* box) : QWidget(box), box_(box)
    {
        setMouseTracking(true);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent* e) override
    {
        QPainter p(this);
        const QImage& img = box_->Surface().Image();
        const qreal r = img.devicePixelRatio();
        p.drawImage(QRectF(e->rect()), img, QRectF(QPointF(e->rect().topLeft()) * r, QSizeF(e->rect().size()) * r));
    }

private:
    PictureBox* box_;
};
} // namespace

PictureBox::PictureBox(QWidget* parent) : QFrame(parent), TwipsGeometry(this)
{
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(2);
    surface_ = std::make_unique<ImageSurface>(0.0f, 0.0f, 2, screenRatio());
    inside_ = new PictureInside(this);
    inside_->installEventFilter(this);
    setFocusPolicy(Qt::StrongFocus);
    SetBackColor(backColor_);
}

void PictureBox::SetBackColor(uint32_t value)
{
    backColor_ = value;
    surface_->SetBackColor(value);
    surface_->Cls();
    inside_->update();
}

void PictureBox::geometryApplied()
{
    inside_->setGeometry(contentsRect());
    surface_->Resize(Width(), Height(), screenRatio());
    inside_->update();
}

bool PictureBox::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == inside_ && event->type() == QEvent::MouseMove) {
        auto* me = static_cast<QMouseEvent*>(event);
        int16_t buttons = 0;
        if (me->buttons() & Qt::LeftButton)
            buttons |= 1;
        if (me->buttons() & Qt::RightButton)
            buttons |= 2;
        if (me->buttons() & Qt::MiddleButton)
            buttons |= 4;
        const QPointF pos = me->position();
        emit MouseMove(buttons, ShiftStateOf(me->modifiers()), float(pos.x() * kTwipsPerPixel),
                       float(pos.y() * kTwipsPerPixel));
    }
    return QFrame::eventFilter(watched, event);
}

void PictureBox::paintEvent(QPaintEvent* e)
{
    // The border only: the inside, which shows the image, is a widget of
    // its own.
    if (!hasFocus()) {
        QFrame::paintEvent(e);
        return;
    }
    QPainter p(this);
    FillRing(p, rect(), lineWidth(), palette().color(QPalette::Highlight));
}

// ---- ImageControl ----

ImageControl::ImageControl(QWidget* parent) : QLabel(parent), TwipsGeometry(this)
{
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

} // namespace quillet::tk
