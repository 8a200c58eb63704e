#include "window/overview.h"

#include "analysis/numtext.h"
#include "maps/exportfiles.h"
#include "maps/exportpicture.h"
#include "maps/filename.h"
#include "maps/filetypes.h"
#include "maps/plottext.h"
#include "maps/units.h"
#include "window/pageexport.h"
#include "window/platform.h"
#include "window/screenpicture.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QSpinBox>
#include <QVBoxLayout>
#include <cmath>

namespace quillet {

namespace {

constexpr float kTwips = kTwipsPerPixel;

const QString kHint = QStringLiteral("Click a row to show its record in the main window, Shift+click to explore it; "
                                     "Up and Down move between rows, Enter shows, Shift+Enter explores");

// The rows, drawn through a painter surface at the device pixel ratio and
// kept until the picture or the size changes.
class OverviewCanvas : public QWidget {
public:
    explicit OverviewCanvas(OverviewWindow* owner) : QWidget(owner), owner_(owner)
    {
        setObjectName(QStringLiteral("OverviewCanvas"));
        setFocusPolicy(Qt::StrongFocus);
        setMouseTracking(true);
        setAccessibleName(QStringLiteral("Overview rows"));
    }
    void redraw()
    {
        cache_ = QImage();
        update();
    }
    OverviewLayout layout() const
    {
        return LayOutOverview(float(width()) * kTwips, float(height()) * kTwips, owner_->picture());
    }

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override { cache_ = QImage(); }
    void mouseMoveEvent(QMouseEvent* e) override
    {
        const OverviewLayout l = layout();
        const int row = OverviewRowAt(l, owner_->picture(), float(e->position().y()) * kTwips);
        const QString text = owner_->statusAt(row, OverviewPositionAt(l, float(e->position().x()) * kTwips));
        owner_->statusLabel()->setText(text.isEmpty() ? kHint : text);
        setToolTip(text);
    }
    void leaveEvent(QEvent*) override { owner_->statusLabel()->setText(kHint); }
    void mousePressEvent(QMouseEvent* e) override
    {
        if (e->button() != Qt::LeftButton)
            return;
        const int row = OverviewRowAt(layout(), owner_->picture(), float(e->position().y()) * kTwips);
        if (row < 0)
            return;
        owner_->setFocusRow(row);
        owner_->chooseRow(row, e->modifiers().testFlag(Qt::ShiftModifier));
    }
    void keyPressEvent(QKeyEvent* e) override;

private:
    OverviewWindow* owner_;
    QImage cache_;
    QRect cached_; // the part of the canvas in cache_
};

void OverviewCanvas::paintEvent(QPaintEvent* e)
{
    // Only the part the scroll area shows is drawn: a thousand rows are
    // 28,000 pixels tall.
    const QRect visible = visibleRegion().boundingRect().united(e->rect());
    if (cache_.isNull() || !cached_.contains(e->rect())) {
        cached_ = visible;
        cache_ = ScreenPicture(*this, visible, [&](PictureSurface& s) { DrawOverview(s, owner_->picture()); });
    }
    QPainter(this).drawImage(cached_.topLeft(), cache_);
}

void OverviewCanvas::keyPressEvent(QKeyEvent* e)
{
    const int rows = int(owner_->picture().rows.size());
    const int focus = owner_->focusRow();
    const int page = std::max(1, int(parentWidget()->height() / std::max(1.0f, layout().rowHeight / kTwips)) - 1);
    const bool shift = e->modifiers().testFlag(Qt::ShiftModifier);
    switch (e->key()) {
    case Qt::Key_Down: owner_->setFocusRow(std::min(rows - 1, focus + 1)); break;
    case Qt::Key_Up: owner_->setFocusRow(std::max(0, focus - 1)); break;
    case Qt::Key_PageDown: owner_->setFocusRow(std::min(rows - 1, focus + page)); break;
    case Qt::Key_PageUp: owner_->setFocusRow(std::max(0, focus - page)); break;
    case Qt::Key_Home: owner_->setFocusRow(rows > 0 ? 0 : -1); break;
    case Qt::Key_End: owner_->setFocusRow(rows - 1); break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (focus >= 0)
            owner_->chooseRow(focus, shift);
        break;
    default: QWidget::keyPressEvent(e); return;
    }
    e->accept();
}

// "1,000,000 bp": lengths as the rows label them.
QString Bases(int64_t n)
{
    return GroupedInteger(n) + QStringLiteral(" bp");
}

QString Value(double v, Plot plot)
{
    return FormatFixed(v, TraitsOf(plot).overviewDecimals);
}

// The lowest and highest value of a profile's plot.
std::pair<float, float> Extremes(const RecordProfile& p, Plot plot)
{
    switch (plot) {
    case Plot::GCContent: return {p.gcLow, p.gcHigh};
    case Plot::Skew: return {p.skewLow, p.skewHigh};
    case Plot::Cumulative: return {p.cumulativeLow, p.cumulativeHigh};
    }
    return {0, 0};
}

} // namespace

OverviewWindow::OverviewWindow(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("OverviewWindow"));
    setWindowTitle(QStringLiteral("Overview"));
    QWidget* controls = createControls();
    auto* canvas = new OverviewCanvas(this);
    canvas_ = canvas;
    scroll_ = new QScrollArea(this);
    scroll_->setWidget(canvas_);
    scroll_->setWidgetResizable(true);
    scroll_->setFocusProxy(canvas_);
    status_ = new QLabel(kHint, this);
    status_->setObjectName(QStringLiteral("OverviewStatus"));
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(controls);
    layout->addWidget(scroll_, 1);
    layout->addWidget(status_);
    resize(1000, 720);
    auto* close = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(close, &QShortcut::activated, this, &QWidget::close);
    auto* exportAction = new QAction(QStringLiteral("Export picture\u2026"), this);
    exportAction->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+P")));
    exportAction->setShortcutContext(Qt::WindowShortcut);
    connect(exportAction, &QAction::triggered, this, [this] { exportPicture(); });
    addAction(exportAction);
    canvas_->setContextMenuPolicy(Qt::ActionsContextMenu);
    canvas_->addAction(exportAction);
}

OverviewWindow::~OverviewWindow() = default;

QWidget* OverviewWindow::createControls()
{
    auto* box = new QWidget(this);
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    const auto labelled = [&](const QString& text, QWidget* control) {
        auto* label = new QLabel(text, box);
        label->setBuddy(control);
        row->addWidget(label);
        row->addWidget(control);
    };
    plot_ = new QComboBox(box);
    plot_->setObjectName(QStringLiteral("OverviewPlot"));
    for (const PlotTraits& t : kPlots)
        plot_->addItem(QString(t.trackName));
    labelled(QStringLiteral("&Plot"), plot_);
    minLength_ = new QSpinBox(box);
    minLength_->setObjectName(QStringLiteral("OverviewMinLength"));
    minLength_->setRange(0, 2'000'000'000);
    minLength_->setGroupSeparatorShown(true);
    minLength_->setSuffix(QStringLiteral(" bp"));
    minLength_->setToolTip(QStringLiteral("Records shorter than this are not shown"));
    labelled(QStringLiteral("&Minimum length"), minLength_);
    maxRows_ = new QSpinBox(box);
    maxRows_->setObjectName(QStringLiteral("OverviewMaxRows"));
    maxRows_->setRange(1, int(kMaxOverviewRows));
    maxRows_->setValue(int(kDefaultOverviewRows));
    maxRows_->setToolTip(QStringLiteral("The longest records get a row each; the rest are summed up in one line"));
    labelled(QStringLiteral("&Rows"), maxRows_);
    row->addStretch(1);
    page_ = new QComboBox(box);
    page_->setObjectName(QStringLiteral("OverviewPage"));
    page_->addItems({QStringLiteral("A4 portrait"), QStringLiteral("Letter portrait"), QStringLiteral("Pixels")});
    labelled(QStringLiteral("P&age"), page_);
    pageSize_ = new QLineEdit(QStringLiteral("1200x900"), box);
    pageSize_->setObjectName(QStringLiteral("OverviewPageSize"));
    pageSize_->setAccessibleName(QStringLiteral("Page size in pixels"));
    pageSize_->setToolTip(QStringLiteral("The picture's size in pixels, WIDTHxHEIGHT"));
    pageSize_->setMaximumWidth(90);
    pageSize_->setEnabled(false);
    row->addWidget(pageSize_);
    auto* exportButton = new QPushButton(QStringLiteral("&Export picture\u2026"), box);
    exportButton->setObjectName(QStringLiteral("OverviewExport"));
    row->addWidget(exportButton);

    connect(plot_, qOverload<int>(&QComboBox::currentIndexChanged), this, &OverviewWindow::choiceChanged);
    connect(minLength_, qOverload<int>(&QSpinBox::valueChanged), this, &OverviewWindow::choiceChanged);
    connect(maxRows_, qOverload<int>(&QSpinBox::valueChanged), this, &OverviewWindow::choiceChanged);
    connect(page_, qOverload<int>(&QComboBox::currentIndexChanged), this,
            [this](int i) { pageSize_->setEnabled(i == 2); });
    connect(exportButton, &QPushButton::clicked, this, [this] { exportPicture(); });
    return box;
}

void OverviewWindow::setStore(std::shared_ptr<const RecordStore> store, const QString& windowText,
                              const QString& stepText, std::function<bool(std::size_t)> accept)
{
    store_ = std::move(store);
    windowText_ = windowText;
    stepText_ = stepText;
    accept_ = std::move(accept);
    setWindowTitle(store_ ? QStringLiteral("Overview of %1").arg(QFileInfo(store_->path()).fileName())
                          : QStringLiteral("Overview"));
    rebuild();
}

// The controls hold the choice: setting one redraws through its signal.
void OverviewWindow::setPlot(Plot plot)
{
    plot_->setCurrentIndex(int(plot));
}

void OverviewWindow::setMarkUnknown(bool on)
{
    if (choice_.markUnknown == on)
        return;
    choice_.markUnknown = on;
    rebuild();
}

void OverviewWindow::setMinLength(int64_t bases)
{
    minLength_->setValue(int(std::clamp<int64_t>(bases, 0, minLength_->maximum())));
}

void OverviewWindow::setMaxRows(int64_t rows)
{
    maxRows_->setValue(int(std::clamp<int64_t>(rows, 1, maxRows_->maximum())));
}

void OverviewWindow::choiceChanged()
{
    choice_.plot = Plot(std::clamp(plot_->currentIndex(), 0, kPlotCount - 1));
    choice_.minLength = minLength_->value();
    choice_.maxRows = maxRows_->value();
    rebuild();
}

void OverviewWindow::rebuild()
{
    const int focus = picture_.focus;
    if (store_)
        picture_ =
            MakeOverview(store_->path(), store_->infos(), store_->profiles(), choice_, windowText_, stepText_, accept_);
    else
        picture_ = OverviewPicture{};
    picture_.focus = std::min(focus, int(picture_.rows.size()) - 1);
    // Rows keep a comfortable height; more of them than fit scroll.
    canvas_->setMinimumHeight(int(std::ceil(OverviewHeightFor(picture_.rows.size(), picture_) / kTwips)));
    canvas_->setAccessibleDescription(describe());
    static_cast<OverviewCanvas*>(canvas_)->redraw();
}

void OverviewWindow::setFocusRow(int row)
{
    row = std::min(row, int(picture_.rows.size()) - 1);
    if (row == picture_.focus)
        return;
    picture_.focus = row;
    static_cast<OverviewCanvas*>(canvas_)->redraw();
    if (row < 0)
        return;
    const OverviewLayout l = static_cast<OverviewCanvas*>(canvas_)->layout();
    const int top = int(l.rowTop(row) / kTwips), height = int(l.rowHeight / kTwips);
    scroll_->ensureVisible(0, top + height / 2, 0, height);
    const OverviewRow& r = picture_.rows[std::size_t(row)];
    status_->setText(
        QStringLiteral("Row %1 of %2: %3, %4").arg(row + 1).arg(picture_.rows.size()).arg(r.id, Bases(r.length)));
}

void OverviewWindow::chooseRow(int row, bool explore)
{
    if (row < 0 || std::size_t(row) >= picture_.rows.size())
        return;
    const std::size_t record = picture_.rows[std::size_t(row)].record;
    if (explore)
        emit recordExplored(record);
    else
        emit recordChosen(record);
}

QString OverviewWindow::statusAt(int row, double position) const
{
    if (row < 0 || std::size_t(row) >= picture_.rows.size())
        return {};
    const OverviewRow& r = picture_.rows[std::size_t(row)];
    if (position < 0 || position > double(r.length))
        return QStringLiteral("%1, %2").arg(r.id, Bases(r.length));
    const int64_t base = std::clamp<int64_t>(int64_t(std::floor(position)) + 1, 1, r.length);
    const double v = OverviewValueAt(picture_, row, position);
    const QString value = std::isnan(v)
                              ? QStringLiteral("no value (mostly unknown bases)")
                              : QStringLiteral("%1 %2").arg(TrackName(picture_.plot), Value(v, picture_.plot));
    return QStringLiteral("%1: position %2, %3").arg(r.id, Bases(base), value);
}

QString OverviewWindow::describe() const
{
    if (picture_.rows.empty())
        return QStringLiteral("No record shown.");
    QString text = QStringLiteral("Overview of %1: %2 of %3 records, longest first; %4.")
                       .arg(picture_.title)
                       .arg(picture_.rows.size())
                       .arg(picture_.records)
                       .arg(TrackName(picture_.plot));
    for (std::size_t r = 0; r < picture_.rows.size(); ++r) {
        const OverviewRow& row = picture_.rows[r];
        text += QStringLiteral(" Row %1: %2, %3, average G+C %4 %")
                    .arg(r + 1)
                    .arg(row.id, Bases(row.length), FormatFixed(row.averageGC, 2));
        if (row.profile && row.profile->windows > 0) {
            const RecordProfile& p = *row.profile;
            const auto [low, high] = Extremes(p, picture_.plot);
            text += QStringLiteral(", %1 from %2 to %3")
                        .arg(TrackName(picture_.plot), Value(low, picture_.plot), Value(high, picture_.plot));
            if (picture_.plot == Plot::Cumulative && row.origin > 0)
                text += QStringLiteral(", origin at %1, terminus at %2").arg(Bases(row.origin), Bases(row.terminus));
        }
        text += u'.';
    }
    for (const QString& note : picture_.notes)
        text += u' ' + note + u'.';
    return text;
}

std::optional<PageSize> OverviewWindow::page() const
{
    return ChosenPage(page_->currentIndex(), pageSize_->text());
}

bool OverviewWindow::exportPicture()
{
    if (!platform_ || !store_ || picture_.rows.empty())
        return false;
    // The page shows the rows as they are, without the keyboard's highlight.
    auto page = picture_;
    page.focus = -1;
    const QFileInfo source(store_->path());
    return ExportPage(
        this, *platform_, this->page(),
        {QStringLiteral("Export overview"), source.completeBaseName() + QStringLiteral("_overview.png"),
         source.absolutePath(),
         [&page](PictureFormat format, int scale, PageSize size) { return OverviewExport(page, format, scale, size); },
         [&page](PictureSurface& surface) { DrawOverview(surface, page); }});
}

} // namespace quillet
