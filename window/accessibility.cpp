#include "window/accessibility.h"

#include "analysis/numtext.h"
#include "maps/readout.h"
#include "window/quillet.h"

#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QToolTip>
#include <algorithm>
#include <cmath>

namespace quillet {

namespace {
// The maps print their value-axis labels at x = 100 or 120 twips; the
// sequence-axis labels start at 420 or further right.
constexpr float kValueLabelRight = 300;
// Labels stand 90 twips above the height they label.
constexpr float kLabelRaise = 90;
} // namespace

void MapTextTap::Cls()
{
    labels_.clear();
    referenceY_.reset();
    t_.Cls();
}

void MapTextTap::Line(float x1, float y1, float x2, float y2)
{
    // The reference line runs across the plot from the value axis.
    if (!referenceY_ && y1 == y2 && x1 == 600 && x2 == t_.Width() - 300)
        referenceY_ = y1;
    t_.Line(x1, y1, x2, y2);
}

void MapTextTap::Print(const QString& text)
{
    if (t_.CurrentX() < kValueLabelRight)
        labels_.push_back({text, t_.CurrentY() + kLabelRaise});
    t_.Print(text);
}

QStringList MapTextTap::ValueLabels() const
{
    std::vector<AxisLabel> sorted = labels_;
    std::stable_sort(sorted.begin(), sorted.end(), [](const AxisLabel& a, const AxisLabel& b) { return a.y > b.y; });
    QStringList out;
    for (const AxisLabel& l : sorted)
        out << l.text;
    return out;
}

QString MapTextTap::ReferenceLabel() const
{
    if (!referenceY_)
        return {};
    for (const AxisLabel& l : labels_)
        if (std::fabs(l.y - *referenceY_) <= 2)
            return l.text;
    return {};
}

namespace {
int32_t WindowCountOf(const MapFacts& f)
{
    return f.values && f.values->size() >= 2 ? int32_t(f.values->size() - 2) : 0;
}

QString ValueText(const MapFacts& f, float v)
{
    return f.percent ? FormatSingle(v) + QStringLiteral("%") : FormatSingle(v);
}

// First and last base of window k (1-based), as the computation took them.
QString BasesOf(const MapFacts& f, int32_t k)
{
    const int64_t first = int64_t(k - 1) * std::max<int64_t>(f.step, 0) + 1;
    return QStringLiteral("bases %1 to %2").arg(first).arg(first + f.windowSize - 1);
}
} // namespace

QString DescribeMap(const MapFacts& f)
{
    const int32_t K = WindowCountOf(f);
    QString d = f.plot + QStringLiteral(" map of ") + f.record + QStringLiteral(": ");
    if (K == 0) {
        d += QStringLiteral("no windows.");
    } else {
        d += QStringLiteral("%1 window%2 of %3 bp, step %4 bp. ")
                 .arg(K)
                 .arg(K == 1 ? "" : "s")
                 .arg(f.windowSize)
                 .arg(f.step);
        const auto first = f.values->begin() + 1, last = first + K;
        const auto low = std::min_element(first, last), high = std::max_element(first, last);
        const int32_t lowK = int32_t(low - first) + 1, highK = int32_t(high - first) + 1;
        d += QStringLiteral("Lowest %1 at window %2 (%3); highest %4 at window %5 (%6).")
                 .arg(ValueText(f, *low))
                 .arg(lowK)
                 .arg(BasesOf(f, lowK), ValueText(f, *high))
                 .arg(highK)
                 .arg(BasesOf(f, highK));
    }
    if (!f.valueLabels.isEmpty()) {
        d += QStringLiteral(" Value axis %1 from bottom to top").arg(f.valueLabels.join(QStringLiteral(", ")));
        if (!f.referenceLabel.isEmpty())
            d += QStringLiteral(", reference line at ") + f.referenceLabel;
        d += QStringLiteral(".");
    }
    return d;
}

QString DescribeWindow(const MapFacts& f, int32_t k)
{
    const int32_t K = WindowCountOf(f);
    if (k < 1 || k > K)
        return {};
    return QStringLiteral("Window %1 of %2, %3: %4 %5.")
        .arg(k)
        .arg(K)
        .arg(BasesOf(f, k), f.plot, ValueText(f, (*f.values)[size_t(k)]));
}

namespace {

// Keeps the accessible texts in step with the window and walks the cursor
// line over the map with the keyboard.
class WindowAccess : public QObject {
public:
    explicit WindowAccess(Quillet& w) : QObject(&w), w_(w), picture_(w.Picture1)
    {
        carryValue(w.Label6, QStringLiteral("Total bases (bp):"));
        carryValue(w.Label4, QStringLiteral("Average G+C (%):"));
        carryValue(w.Label_move, QStringLiteral("Position"));
        // A run starts by emptying the total: the map is gone until drawn.
        connect(w.Label6, &tk::Label::CaptionChanged, this, [this](const QString& c) {
            if (c.isEmpty())
                forgetMap();
        });
        // An emptied readout (a new map, or the mouse off the plot) leaves
        // no window under the keyboard cursor either, nor one told in the
        // map's tooltip.
        connect(w.Label_move, &tk::Label::CaptionChanged, this, [this](const QString& c) {
            if (!c.isEmpty())
                return;
            if (QToolTip::isVisible() && !w_.Picture1->toolTip().isEmpty() &&
                QToolTip::text() == w_.Picture1->toolTip())
                QToolTip::hideText();
            if (cursor_ != 0) {
                cursor_ = 0;
                describe();
            }
        });
        connect(&w, &Quillet::MapDrawn, this, &WindowAccess::mapDrawn);
        // The mouse takes the cursor line over; the tooltip tells the window
        // under it as it told the keyboard cursor's.
        connect(w.Picture1, &tk::PictureBox::MouseMove, this, [this](int16_t, int16_t, float x, float y) {
            if (cursor_ != 0) {
                cursor_ = 0;
                describe();
            }
            if (drawn_)
                w_.Picture1->setToolTip(DescribeWindow(facts(), windowAt(x, y)));
        });
        w.Picture1->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        // The map is compared through its own pointer: while the window is
        // being destroyed its controls still send events, and the window
        // itself is no Quillet any more.
        if (watched != picture_ || event->type() != QEvent::KeyPress)
            return false;
        const int key = static_cast<QKeyEvent*>(event)->key();
        const int32_t K = windowCount();
        if (!drawn_ || K == 0)
            return false;
        const int32_t page = std::max<int32_t>(1, K / 10);
        int64_t k = cursor_;
        switch (key) {
        case Qt::Key_Left: k -= 1; break;
        case Qt::Key_Right: k += 1; break;
        case Qt::Key_PageUp: k -= page; break;
        case Qt::Key_PageDown: k += page; break;
        case Qt::Key_Home: k = 1; break;
        case Qt::Key_End: k = K; break;
        default: return false;
        }
        moveCursorTo(int32_t(std::clamp<int64_t>(k, 1, K)));
        return true;
    }

private:
    // The label's accessible name is its caption's meaning, followed by the
    // caption once there is one.
    void carryValue(tk::Label* label, const QString& meaning)
    {
        label->setAccessibleName(meaning);
        connect(label, &tk::Label::CaptionChanged, this, [label, meaning](const QString& c) {
            label->setAccessibleName(c.isEmpty() ? meaning : meaning + QStringLiteral(" ") + c);
            label->setAccessibleDescription(c);
        });
    }

    MapFacts facts() const
    {
        MapFacts f;
        const std::optional<Plot> plot = w_.ShownPlot();
        const bool gc = plot == Plot::GCContent;
        f.plot = plot ? QString(TraitsOf(*plot).selectorText) : QString();
        f.record = w_.Text5->Text();
        f.percent = gc;
        f.values = gc ? &w_.GCValues : &w_.SkewValues;
        try {
            f.windowSize = ToInt32(w_.computedWindowText);
            f.step = ToInt32(w_.computedStepText);
        } catch (const std::exception&) {
        }
        f.valueLabels = valueLabels_;
        f.referenceLabel = referenceLabel_;
        return f;
    }

    int32_t windowCount() const
    {
        const MapFacts f = facts();
        return f.values->size() >= 2 ? int32_t(f.values->size() - 2) : 0;
    }

    void mapDrawn(const QStringList& labels, const QString& reference)
    {
        drawn_ = true;
        valueLabels_ = labels;
        referenceLabel_ = reference;
        if (cursor_ > windowCount())
            cursor_ = 0;
        describe();
    }

    void forgetMap()
    {
        drawn_ = false;
        cursor_ = 0;
        valueLabels_.clear();
        referenceLabel_.clear();
        describe();
    }

    // The map's description, followed by the window under the keyboard
    // cursor; the tooltip holds that window alone.
    void describe()
    {
        if (!drawn_) {
            w_.Picture1->setAccessibleDescription(QString());
            w_.Picture1->setToolTip(QString());
            return;
        }
        const MapFacts f = facts();
        const QString window = DescribeWindow(f, cursor_);
        QString d = DescribeMap(f);
        if (!window.isEmpty())
            d += QStringLiteral(" Cursor at ") + window;
        w_.Picture1->setAccessibleDescription(d);
        w_.Picture1->setToolTip(window);
    }

    // The window whose middle base (where the keyboard puts the cursor
    // line) is nearest the position under (x, y); 0 outside the plot.
    int32_t windowAt(float x, float y) const
    {
        const MapFacts f = facts();
        const int32_t K = windowCount();
        const auto position = ReadoutPosition(x, y, w_.Picture1->Width(), w_.Picture1->Height(), w_.Label6->Caption());
        if (!position || K == 0 || f.step <= 0)
            return 0;
        const double k = std::floor((double(*position) - double(f.windowSize / 2)) / double(f.step) + 0.5) + 1;
        return int32_t(std::clamp<double>(k, 1, K));
    }

    // Puts the cursor line where window k's middle base lies on the
    // sequence axis and lets the mouse readout show that position.
    void moveCursorTo(int32_t k)
    {
        cursor_ = k;
        const MapFacts f = facts();
        const auto total = ReadNumber(w_.Label6->Caption(), NumberLocale::c());
        if (total && *total > 0) {
            const double middle = double(k - 1) * double(std::max<int64_t>(f.step, 0)) + double(f.windowSize / 2);
            const double base = std::min(middle, *total - 1) + 0.5;
            const float W = w_.Picture1->Width(), H = w_.Picture1->Height();
            const float x = float(600.0 + base * (double(W) - 900.0) / *total);
            const float y = H / 2;
            w_.Picture1_MouseMove(0, 0, x, y);
            describe();
            const QPoint at(tk::ToPixels(x), tk::ToPixels(y));
            QToolTip::showText(w_.Picture1->Inside()->mapToGlobal(at), w_.Picture1->toolTip(), w_.Picture1);
        } else {
            describe();
        }
    }

    Quillet& w_;
    QObject* picture_;
    bool drawn_ = false;
    int32_t cursor_ = 0; // window under the keyboard cursor, 0 for none
    QStringList valueLabels_;
    QString referenceLabel_;
};

} // namespace

void InstallAccessibility(Quillet& window)
{
    new WindowAccess(window);
}

namespace {
// The swatch as a push button: its name, focus and tooltip as any widget
// tells them, and a press action.
class SwatchAccess : public QAccessibleWidget {
public:
    explicit SwatchAccess(tk::ColorSwatch* swatch) : QAccessibleWidget(swatch, QAccessible::Button) {}

    QStringList actionNames() const override { return QStringList{pressAction()} + QAccessibleWidget::actionNames(); }
    void doAction(const QString& name) override
    {
        if (name == pressAction())
            static_cast<tk::ColorSwatch*>(widget())->Press();
        else
            QAccessibleWidget::doAction(name);
    }
};

QAccessibleInterface* SwatchAccessFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String(tk::ColorSwatch::staticMetaObject.className()) && object && object->isWidgetType())
        return new SwatchAccess(static_cast<tk::ColorSwatch*>(object));
    return nullptr;
}
} // namespace

void InstallSwatchAccess()
{
    // Qt keeps a factory once, however often it is installed.
    QAccessible::installFactory(SwatchAccessFactory);
}

} // namespace quillet
