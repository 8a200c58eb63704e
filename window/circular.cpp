#include "window/circular.h"

#include "analysis/failure.h"
#include "analysis/numtext.h"
#include "maps/exportfiles.h"
#include "maps/exportpicture.h"
#include "maps/filetypes.h"
#include "maps/units.h"
#include "window/pageexport.h"
#include "window/platform.h"
#include "window/screenpicture.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QShortcut>
#include <QSpinBox>
#include <QVBoxLayout>
#include <cmath>

namespace quillet {

namespace {

constexpr float kTwips = kTwipsPerPixel;

const QString kHint = QStringLiteral("Click a circle to explore its record there; Left and Right move between the "
                                     "circles, Enter explores");

// The circles, drawn through a painter surface at the device pixel ratio
// and kept until the picture or the size changes.
class CircularCanvas : public QWidget {
public:
    explicit CircularCanvas(CircularWindow* owner) : QWidget(owner), owner_(owner)
    {
        setObjectName(QStringLiteral("CircularCanvas"));
        setFocusPolicy(Qt::StrongFocus);
        setMouseTracking(true);
        setAccessibleName(QStringLiteral("Circular map"));
    }
    void redraw()
    {
        cache_ = QImage();
        update();
    }
    CircularLayout layout() const
    {
        return LayOutCircular(float(width()) * kTwips, float(height()) * kTwips, owner_->picture());
    }

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override { cache_ = QImage(); }
    void mouseMoveEvent(QMouseEvent* e) override
    {
        const QString text = owner_->statusAt(float(e->position().x()), float(e->position().y()));
        owner_->statusLabel()->setText(text.isEmpty() ? kHint : text);
        setToolTip(text);
    }
    void leaveEvent(QEvent*) override { owner_->statusLabel()->setText(kHint); }
    void mousePressEvent(QMouseEvent* e) override
    {
        if (e->button() != Qt::LeftButton)
            return;
        const CircularLayout l = layout();
        const float x = float(e->position().x()) * kTwips, y = float(e->position().y()) * kTwips;
        const int c = CircleAt(l, x, y);
        if (c < 0)
            return;
        owner_->setFocusCircle(c);
        owner_->exploreAt(c, CirclePositionAt(l, owner_->picture(), c, x, y));
    }
    void keyPressEvent(QKeyEvent* e) override;

private:
    CircularWindow* owner_;
    QImage cache_;
};

void CircularCanvas::paintEvent(QPaintEvent*)
{
    if (cache_.isNull())
        cache_ = ScreenPicture(*this, rect(), [&](PictureSurface& s) { DrawCircular(s, owner_->picture()); });
    QPainter(this).drawImage(QPoint(0, 0), cache_);
}

void CircularCanvas::keyPressEvent(QKeyEvent* e)
{
    const int circles = int(owner_->picture().circles.size());
    const int focus = owner_->focusCircle();
    switch (e->key()) {
    case Qt::Key_Right:
    case Qt::Key_Down: owner_->setFocusCircle(std::min(circles - 1, focus + 1)); break;
    case Qt::Key_Left:
    case Qt::Key_Up: owner_->setFocusCircle(std::max(0, focus - 1)); break;
    case Qt::Key_Home: owner_->setFocusCircle(circles > 0 ? 0 : -1); break;
    case Qt::Key_End: owner_->setFocusCircle(circles - 1); break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (focus >= 0)
            owner_->exploreAt(focus, 0);
        break;
    default: QWidget::keyPressEvent(e); return;
    }
    e->accept();
}

} // namespace

CircularWindow::CircularWindow(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("CircularWindow"));
    setWindowTitle(QStringLiteral("Circular map"));
    QWidget* controls = createControls();
    canvas_ = new CircularCanvas(this);
    status_ = new QLabel(kHint, this);
    status_->setObjectName(QStringLiteral("CircularStatus"));
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(controls);
    layout->addWidget(canvas_, 1);
    layout->addWidget(status_);
    resize(900, 1000);
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

CircularWindow::~CircularWindow() = default;

QWidget* CircularWindow::createControls()
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
    minLength_ = new QSpinBox(box);
    minLength_->setObjectName(QStringLiteral("CircularMinLength"));
    minLength_->setRange(0, 2'000'000'000);
    minLength_->setGroupSeparatorShown(true);
    minLength_->setSuffix(QStringLiteral(" bp"));
    minLength_->setToolTip(QStringLiteral("Records shorter than this are not shown"));
    labelled(QStringLiteral("&Minimum length"), minLength_);
    maxRows_ = new QSpinBox(box);
    maxRows_->setObjectName(QStringLiteral("CircularMaxRows"));
    maxRows_->setRange(1, int(kMaxOverviewRows));
    maxRows_->setValue(int(kDefaultOverviewRows));
    maxRows_->setToolTip(QStringLiteral("The longest records get a circle each; the rest are summed up in one line"));
    labelled(QStringLiteral("&Circles"), maxRows_);
    row->addStretch(1);
    page_ = new QComboBox(box);
    page_->setObjectName(QStringLiteral("CircularPage"));
    page_->addItems({QStringLiteral("A4 portrait"), QStringLiteral("Letter portrait"), QStringLiteral("Pixels")});
    labelled(QStringLiteral("P&age"), page_);
    pageSize_ = new QLineEdit(QStringLiteral("1200x1200"), box);
    pageSize_->setObjectName(QStringLiteral("CircularPageSize"));
    pageSize_->setAccessibleName(QStringLiteral("Page size in pixels"));
    pageSize_->setToolTip(QStringLiteral("The picture's size in pixels, WIDTHxHEIGHT"));
    pageSize_->setMaximumWidth(90);
    pageSize_->setEnabled(false);
    row->addWidget(pageSize_);
    auto* exportButton = new QPushButton(QStringLiteral("&Export picture\u2026"), box);
    exportButton->setObjectName(QStringLiteral("CircularExport"));
    row->addWidget(exportButton);

    const auto changed = [this] {
        choice_.minLength = minLength_->value();
        choice_.maxRows = maxRows_->value();
        rebuild();
    };
    connect(minLength_, qOverload<int>(&QSpinBox::valueChanged), this, changed);
    connect(maxRows_, qOverload<int>(&QSpinBox::valueChanged), this, changed);
    connect(page_, qOverload<int>(&QComboBox::currentIndexChanged), this,
            [this](int i) { pageSize_->setEnabled(i == 2); });
    connect(exportButton, &QPushButton::clicked, this, [this] { exportPicture(); });
    return box;
}

bool CircularWindow::setStore(std::shared_ptr<const RecordStore> store,
                              std::vector<std::shared_ptr<const FeatureSet>> sets)
{
    store_ = std::move(store);
    sets_ = std::move(sets);
    setWindowTitle(store_ ? QStringLiteral("Circular map of %1").arg(QFileInfo(store_->path()).fileName())
                          : QStringLiteral("Circular map"));
    return rebuild();
}

void CircularWindow::setMinLength(int64_t bases)
{
    minLength_->setValue(int(std::clamp<int64_t>(bases, 0, minLength_->maximum())));
}

void CircularWindow::setMaxRows(int64_t rows)
{
    maxRows_->setValue(int(std::clamp<int64_t>(rows, 1, maxRows_->maximum())));
}

bool CircularWindow::rebuild()
{
    picture_ = CircularPicture{};
    bool ok = true;
    if (store_) {
        try {
            picture_ =
                LoadCircularMap(store_->path(), QFileInfo(store_->path()).fileName(), store_->infos(), choice_, sets_)
                    .value_or(CircularPicture{});
        } catch (const std::exception& e) {
            ok = false;
            if (platform_)
                platform_->message(this, QStringLiteral("Quillet"), QString::fromUtf8(e.what()));
        }
    }
    canvas_->setAccessibleDescription(DescribeCircular(picture_));
    static_cast<CircularCanvas*>(canvas_)->redraw();
    return ok;
}

void CircularWindow::setFocusCircle(int circle)
{
    circle = std::min(circle, int(picture_.circles.size()) - 1);
    if (circle == picture_.focus)
        return;
    picture_.focus = circle;
    static_cast<CircularCanvas*>(canvas_)->redraw();
    if (circle < 0)
        return;
    const CircleRecord& c = picture_.circles[std::size_t(circle)];
    status_->setText(QStringLiteral("Circle %1 of %2: %3, %4 bp")
                         .arg(circle + 1)
                         .arg(picture_.circles.size())
                         .arg(c.id, GroupedInteger(c.length)));
}

void CircularWindow::exploreAt(int circle, double position)
{
    if (circle < 0 || std::size_t(circle) >= picture_.circles.size())
        return;
    const CircleRecord& c = picture_.circles[std::size_t(circle)];
    emit explore(c.record, std::clamp<int64_t>(int64_t(position) + 1, 1, std::max<int64_t>(c.length, 1)));
}

QString CircularWindow::statusAt(float x, float y) const
{
    const CircularLayout l = static_cast<CircularCanvas*>(canvas_)->layout();
    const int c = CircleAt(l, x * kTwips, y * kTwips);
    if (c < 0)
        return {};
    const double position = CirclePositionAt(l, picture_, c, x * kTwips, y * kTwips);
    QString text = CircleReadout(picture_, c, position);
    // Over a feature ring: the strand's feature there.
    const std::optional<Ring> ring = RingAt(l, c, x * kTwips, y * kTwips);
    if (ring != Ring::Plus && ring != Ring::Minus)
        return text;
    const CircleRecord& circle = picture_.circles[std::size_t(c)];
    std::vector<uint32_t> found;
    const uint64_t base = uint64_t(position) + 1;
    for (const FeatureSource& source : circle.features.sources) {
        found.clear();
        source.set->overlapping(source.record, base, base, found);
        for (const uint32_t i : found) {
            const Feature f = source.set->feature(i);
            const bool inPart = std::any_of(f.parts.begin(), f.parts.end(), [base](const FeaturePart& part) {
                return part.start <= base && base <= part.end;
            });
            if (inPart && DrawnType(f.type) && (f.strand == Strand::Reverse) == (ring == Ring::Minus))
                return text + QStringLiteral("; ") + DescribeFeature(*source.set, i);
        }
    }
    return text;
}

std::optional<PageSize> CircularWindow::page() const
{
    return ChosenPage(page_->currentIndex(), pageSize_->text());
}

bool CircularWindow::exportPicture()
{
    if (!platform_ || !store_ || picture_.circles.empty())
        return false;
    // The page shows the circles as they are, without the keyboard's highlight.
    auto page = picture_;
    page.focus = -1;
    const QFileInfo source(store_->path());
    return ExportPage(
        this, *platform_, this->page(),
        {QStringLiteral("Export circular map"), source.completeBaseName() + QStringLiteral("_circular.png"),
         source.absolutePath(),
         [&page](PictureFormat format, int scale, PageSize size) { return CircularExport(page, format, scale, size); },
         [&page](PictureSurface& surface) { DrawCircular(surface, page); }});
}

} // namespace quillet
