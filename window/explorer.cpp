#include "window/explorer.h"

#include "analysis/explorerdata.h"
#include "analysis/recordname.h"
#include "analysis/region.h"
#include "maps/exportfiles.h"
#include "maps/exportpicture.h"
#include "maps/filename.h"
#include "maps/filetypes.h"
#include "maps/gcmap.h"
#include "maps/units.h"
#include "window/platform.h"
#include "window/screenpicture.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QShortcut>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <utility>

namespace quillet {

namespace {

constexpr float kTwips = kTwipsPerPixel;

// What the status line says while the pointer is off the tracks.
const QString kHint = QStringLiteral("Wheel or + and - zoom, dragging or the arrow keys pan, Shift+drag zooms to a "
                                     "stretch, a double click or Home shows the whole record");

// The tracks, drawn at the device pixel ratio through a painter surface and
// kept until the view or the size changes; the pointer's line and the
// stretch being dragged are drawn over them.
class ExplorerCanvas : public QWidget {
public:
    explicit ExplorerCanvas(ExplorerWindow* owner) : QWidget(owner), owner_(owner)
    {
        setObjectName(QStringLiteral("ExplorerCanvas"));
        setFocusPolicy(Qt::StrongFocus);
        setMouseTracking(true);
        setMinimumSize(320, 200);
        setAccessibleName(QStringLiteral("Tracks"));
        setCursor(Qt::CrossCursor);
    }
    void redraw()
    {
        cache_ = QImage();
        update();
    }
    // The continuous position under x logical pixels.
    double positionAt(double x) const
    {
        const ExplorerLayout l = LayOutExplorer(float(width()) * kTwips, float(height()) * kTwips, owner_->picture());
        return ExplorerPositionAt(l, owner_->picture(), float(x) * kTwips);
    }

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent*) override { owner_->showWhole(); }
    void wheelEvent(QWheelEvent* e) override
    {
        const int delta = e->angleDelta().y();
        if (delta != 0) {
            owner_->zoom(std::pow(0.8, delta / 120.0), positionAt(e->position().x()));
            owner_->statusLabel()->setText(owner_->statusAt(positionAt(e->position().x())));
        }
        e->accept();
    }
    void leaveEvent(QEvent*) override
    {
        hoverX_ = -1;
        owner_->statusLabel()->setText(kHint);
        update();
    }
    void resizeEvent(QResizeEvent*) override { cache_ = QImage(); }

private:
    void render();

    ExplorerWindow* owner_;
    QImage cache_;
    double hoverX_ = -1;
    enum class Drag { None, Pan, Stretch } drag_ = Drag::None;
    double dragX_ = 0, dragNowX_ = 0;
    int64_t dragFrom_ = 0, dragTo_ = 0;
};

void ExplorerCanvas::render()
{
    cache_ = ScreenPicture(*this, rect(), [&](PictureSurface& s) { DrawExplorer(s, owner_->picture()); });
}

void ExplorerCanvas::paintEvent(QPaintEvent*)
{
    if (cache_.isNull() || cache_.size() != size() * devicePixelRatioF())
        render();
    QPainter painter(this);
    painter.drawImage(QPoint(0, 0), cache_);
    const ExplorerLayout l = LayOutExplorer(float(width()) * kTwips, float(height()) * kTwips, owner_->picture());
    const qreal top = l.bands.empty() ? 0 : l.bands.front().top / kTwips;
    const qreal bottom = l.axisY / kTwips;
    if (drag_ == Drag::Stretch) {
        const QRectF band(QPointF(std::min(dragX_, dragNowX_), top), QPointF(std::max(dragX_, dragNowX_), bottom));
        painter.fillRect(band, QColor(60, 120, 220, 60));
        painter.setPen(QColor(60, 120, 220));
        painter.drawRect(band);
    } else if (hoverX_ >= l.left / kTwips && hoverX_ <= l.right / kTwips) {
        painter.setPen(QPen(QColor(120, 120, 120), 1, Qt::DashLine));
        painter.drawLine(QPointF(hoverX_ + 0.5, top), QPointF(hoverX_ + 0.5, bottom));
    }
}

void ExplorerCanvas::mousePressEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton)
        return;
    drag_ = e->modifiers() & Qt::ShiftModifier ? Drag::Stretch : Drag::Pan;
    dragX_ = dragNowX_ = e->position().x();
    dragFrom_ = owner_->viewFrom();
    dragTo_ = owner_->viewTo();
    if (drag_ == Drag::Pan)
        setCursor(Qt::ClosedHandCursor);
}

void ExplorerCanvas::mouseMoveEvent(QMouseEvent* e)
{
    const double x = e->position().x();
    hoverX_ = x;
    dragNowX_ = x;
    if (drag_ == Drag::Pan) {
        const ExplorerLayout l = LayOutExplorer(float(width()) * kTwips, float(height()) * kTwips, owner_->picture());
        const double basesPerPixel = double(dragTo_ - dragFrom_ + 1) / double((l.right - l.left) / kTwips);
        const auto shift = int64_t(std::llround((x - dragX_) * basesPerPixel));
        owner_->setView(dragFrom_ - shift, dragTo_ - shift);
    }
    const std::optional<PlacedFeature> feature = drag_ == Drag::None ? owner_->featureAt(e->position()) : std::nullopt;
    owner_->statusLabel()->setText(
        feature ? DescribeFeature(*owner_->picture().features.sources[feature->source].set, feature->index)
                : owner_->statusAt(positionAt(x)));
    update();
}

void ExplorerCanvas::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton)
        return;
    const Drag drag = std::exchange(drag_, Drag::None);
    setCursor(Qt::CrossCursor);
    if (drag == Drag::Stretch && std::abs(e->position().x() - dragX_) >= 3) {
        const double a = positionAt(std::min(dragX_, e->position().x()));
        const double b = positionAt(std::max(dragX_, e->position().x()));
        owner_->setView(int64_t(std::floor(a)) + 1, int64_t(std::ceil(b)));
    } else if (drag == Drag::Pan && std::abs(e->position().x() - dragX_) < 3) {
        // A click on a feature zooms to it.
        if (const std::optional<PlacedFeature> feature = owner_->featureAt(e->position()))
            owner_->zoomToFeature(*feature);
    }
    owner_->statusLabel()->setText(owner_->statusAt(positionAt(e->position().x())));
    update();
}

// Positions as people read them: 1,234,567.
QString Bases(int64_t n)
{
    return GroupedInteger(n);
}

} // namespace

ExplorerWindow::ExplorerWindow(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("ExplorerWindow"));
    setWindowTitle(QStringLiteral("Explorer"));
    QWidget* controls = createControls();
    canvas_ = new ExplorerCanvas(this);
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("ExplorerStatus"));
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(controls);
    layout->addWidget(canvas_, 1);
    layout->addWidget(status_);
    resize(1000, 640);
    UseExplorerFont(view_.settings(), font());
    auto* close = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(close, &QShortcut::activated, this, &QWidget::close);
    // The exports: keys anywhere in the window, and the tracks' menu.
    canvas_->setContextMenuPolicy(Qt::ActionsContextMenu);
    const auto addExport = [this](const QString& text, const QString& keys, bool (ExplorerWindow::*run)()) {
        auto* action = new QAction(text, this);
        action->setShortcut(QKeySequence(keys));
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, [this, run] { (this->*run)(); });
        addAction(action);
        canvas_->addAction(action);
    };
    addExport(QStringLiteral("Export values\u2026"), QStringLiteral("Ctrl+Shift+E"), &ExplorerWindow::exportValues);
    addExport(QStringLiteral("Export picture\u2026"), QStringLiteral("Ctrl+Shift+P"), &ExplorerWindow::exportPicture);
    addExport(QStringLiteral("Export islands\u2026"), QStringLiteral("Ctrl+Shift+I"), &ExplorerWindow::exportIslands);
}

ExplorerWindow::~ExplorerWindow() = default;

QWidget* ExplorerWindow::createControls()
{
    auto* box = new QWidget(this);
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    records_ = new QComboBox(box);
    records_->setObjectName(QStringLiteral("ExplorerRecord"));
    records_->setAccessibleName(QStringLiteral("Record"));
    records_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    records_->setMinimumContentsLength(24);
    region_ = new QLineEdit(box);
    region_->setObjectName(QStringLiteral("ExplorerRegion"));
    region_->setAccessibleName(QStringLiteral("Region"));
    region_->setPlaceholderText(QStringLiteral("START-END, NAME:START-END or a gene"));
    region_->setToolTip(QStringLiteral("A stretch to show: 1,000-2,000, 1.5M-2M or NAME:10k-20k (Enter)"));
    row->addWidget(records_, 2);
    row->addWidget(region_, 2);
    for (int t = 0; t < kPlotCount; ++t) {
        auto* check = new QCheckBox(TrackName(Plot(t)), box);
        check->setChecked(true);
        connect(check, &QCheckBox::toggled, this, [this, t](bool on) { setTrackShown(Plot(t), on); });
        tracks_[size_t(t)] = check;
        row->addWidget(check);
    }
    featuresBox_ = new QCheckBox(QStringLiteral("Features"), box);
    featuresBox_->setChecked(true);
    featuresBox_->hide(); // until a record with features is shown
    connect(featuresBox_, &QCheckBox::toggled, this, [this](bool on) { setFeaturesShown(on); });
    row->addWidget(featuresBox_);
    windowLabel_ = new QLabel(box);
    windowLabel_->setObjectName(QStringLiteral("ExplorerWindowStep"));
    row->addWidget(windowLabel_, 1, Qt::AlignRight);
    message_ = new QLabel(this);
    message_->setObjectName(QStringLiteral("ExplorerMessage"));
    message_->setStyleSheet(QStringLiteral("color: #b00000"));
    message_->hide();
    auto* column = new QWidget(this);
    auto* stack = new QVBoxLayout(column);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->addWidget(box);
    stack->addWidget(message_);
    connect(records_, qOverload<int>(&QComboBox::activated), this, [this](int i) {
        // A record that cannot be read leaves the one shown, and says why.
        if (i >= 0 && !showRecord(std::size_t(i)) && index_ >= 0)
            records_->setCurrentIndex(int(index_));
    });
    // A region shown hands the keys back to the tracks, for zooming and panning on.
    connect(region_, &QLineEdit::returnPressed, this, [this] {
        if (applyRegion(region_->text()))
            canvas_->setFocus();
    });
    connect(region_, &QLineEdit::textEdited, this, [this] { message_->hide(); });
    return column;
}

void ExplorerWindow::setStore(std::shared_ptr<const RecordStore> store)
{
    if (store == store_)
        return;
    store_ = std::move(store);
    index_ = -1;
    view_.clear();
    records_->clear();
    if (store_) {
        QStringList names;
        names.reserve(qsizetype(store_->size()));
        for (const RecordInfo& info : store_->infos())
            names << info.name;
        records_->addItems(names);
    }
    viewChanged();
}

bool ExplorerWindow::showRecord(std::size_t index)
{
    if (!store_ || index >= store_->size())
        return false;
    std::unique_ptr<ExplorerData> loaded;
    QString failure;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        loaded = ExplorerData::Load(store_->path(), store_->info(index));
    } catch (const std::exception& e) {
        failure = QString::fromUtf8(e.what());
    }
    QApplication::restoreOverrideCursor();
    if (!loaded) {
        showMessage(QStringLiteral("Record %1 could not be read again from %2. %3")
                        .arg(store_->info(index).number)
                        .arg(store_->path(), failure));
        return false;
    }
    index_ = int64_t(index);
    records_->setCurrentIndex(int(index));
    setWindowTitle(QStringLiteral("Explorer \u2013 %1").arg(store_->info(index).name));
    message_->hide();
    const QString viewFailure = view_.setRecord(std::move(loaded), store_->info(index));
    // The islands at the run's window and step, as quillet-map --islands finds them.
    if (view_.data())
        view_.settings().islands = RecordIslands(*view_.data(), store_->settings().windowSize, store_->settings().step);
    featuresBox_->setVisible(!picture().features.empty());
    if (!viewFailure.isEmpty())
        showMessage(viewFailure);
    viewChanged();
    return true;
}

void ExplorerWindow::setFeatureSets(std::vector<std::shared_ptr<const FeatureSet>> sets)
{
    view_.setFeatureSets(std::move(sets));
    featuresBox_->setVisible(!picture().features.empty());
    viewChanged();
}

void ExplorerWindow::setFeaturesShown(bool shown)
{
    view_.settings().featuresShown = shown;
    if (featuresBox_->isChecked() != shown)
        featuresBox_->setChecked(shown);
    viewChanged();
}

FeatureLayout ExplorerWindow::featureLayout() const
{
    const ExplorerLayout l =
        LayOutExplorer(float(canvas_->width()) * kTwips, float(canvas_->height()) * kTwips, picture());
    return l.features ? LayOutFeatures(picture().features, *l.features, picture().from, picture().to,
                                       picture().fontName, picture().fontSize)
                      : FeatureLayout{};
}

std::optional<PlacedFeature> ExplorerWindow::featureAt(QPointF point) const
{
    return FeatureAt(featureLayout(), float(point.x()) * kTwips, float(point.y()) * kTwips);
}

void ExplorerWindow::zoomToFeature(const PlacedFeature& placed)
{
    const Feature f = picture().features.sources[placed.source].set->feature(placed.index);
    const int64_t span = int64_t(f.end) - int64_t(f.start) + 1;
    const int64_t margin = std::max<int64_t>(span / 10, 10);
    setView(int64_t(f.start) - margin, int64_t(f.end) + margin);
}

bool ExplorerWindow::showFeatureNamed(const QString& text)
{
    const std::string name = text.trimmed().toStdString();
    for (uint32_t k = 0; k < picture().features.sources.size(); ++k) {
        const FeatureSource& source = picture().features.sources[k];
        for (const uint32_t i : source.set->find(name)) {
            if (source.set->feature(i).record != source.record)
                continue;
            zoomToFeature(PlacedFeature{k, i});
            message_->hide();
            return true;
        }
    }
    return false;
}

void ExplorerWindow::setView(int64_t from, int64_t to)
{
    if (!view_.hasRecord())
        return;
    if (const QString failure = view_.setView(from, to); !failure.isEmpty())
        showMessage(failure);
    viewChanged();
}

void ExplorerWindow::zoom(double factor, double anchor)
{
    if (!view_.hasRecord())
        return;
    const double start = double(picture().from - 1), span = double(picture().to - picture().from + 1);
    const double newSpan = std::clamp(span * factor, double(std::min(kMinimumSpan, length())), double(length()));
    const double newStart = anchor - (anchor - start) * newSpan / span;
    const auto from = int64_t(std::llround(newStart)) + 1;
    setView(from, from + int64_t(std::llround(newSpan)) - 1);
}

void ExplorerWindow::zoom(double factor)
{
    zoom(factor, (double(picture().from - 1) + double(picture().to)) / 2);
}

void ExplorerWindow::pan(double fraction)
{
    const int64_t span = picture().to - picture().from + 1;
    const auto shift = int64_t(std::llround(fraction * double(span)));
    setView(picture().from + shift, picture().to + shift);
}

void ExplorerWindow::showWhole()
{
    setView(1, length());
}

bool ExplorerWindow::applyRegion(const QString& text)
{
    QString error;
    const std::optional<Region> region = ParseRegion(text, &error);
    if (!region && showFeatureNamed(text))
        return true;
    if (!region) {
        showMessage(QStringLiteral("\u201c%1\u201d is no region: %2. Type START-END or NAME:START-END.")
                        .arg(text.trimmed(), error));
        return false;
    }
    if (!region->name.isEmpty() && store_) {
        const auto& infos = store_->infos();
        const auto named = [&](const RecordInfo& r) { return r.name == region->name; };
        const auto byId = [&](const RecordInfo& r) { return RecordId(r.name) == region->name; };
        auto it = std::find_if(infos.begin(), infos.end(), named);
        if (it == infos.end())
            it = std::find_if(infos.begin(), infos.end(), byId);
        // A name that is no record's may be a feature's (a gene, a locus tag).
        if (it == infos.end() && region->wholeRecord() && showFeatureNamed(region->name))
            return true;
        if (it == infos.end()) {
            showMessage(QStringLiteral("No record is named \u201c%1\u201d. Type START-END or NAME:START-END.")
                            .arg(region->name));
            return false;
        }
        if (int64_t(it - infos.begin()) != index_ && !showRecord(std::size_t(it - infos.begin())))
            return false;
    }
    if (!view_.hasRecord())
        return false;
    if (region->wholeRecord()) {
        showWhole();
    } else if (region->start > length()) {
        showMessage(
            QStringLiteral("The record has %1 bases; %2 is past its end.").arg(Bases(length()), Bases(region->start)));
        return false;
    } else {
        setView(region->start, std::min(region->end, length()));
    }
    message_->hide();
    return true;
}

void ExplorerWindow::setTrackShown(Plot track, bool shown)
{
    view_.settings().shown[size_t(track)] = shown;
    if (tracks_[size_t(track)]->isChecked() != shown)
        tracks_[size_t(track)]->setChecked(shown);
    canvas_->setAccessibleDescription(describeView());
    static_cast<ExplorerCanvas*>(canvas_)->redraw();
}

QString ExplorerWindow::statusAt(double position) const
{
    const int64_t k = ExplorerWindowAt(picture(), position);
    if (k < 0 || !view_.hasRecord())
        return {};
    const int64_t base = std::clamp<int64_t>(int64_t(std::floor(position)) + 1, picture().from, picture().to);
    const int64_t start = picture().from + k * picture().step;
    QString text = QStringLiteral("Position %1 bp   (window %2\u2013%3)")
                       .arg(Bases(base), Bases(start), Bases(start + picture().window - 1));
    for (const PlotTraits& t : kPlots)
        if (picture().shown[size_t(t.plot)])
            text += QStringLiteral("   %1 %2")
                        .arg(QString(t.trackName),
                             QString::number(ExplorerValue(picture(), t.plot, k), 'f', t.explorerDecimals));
    return text;
}

QString ExplorerWindow::askSavePath(const QString& title, const QString& filter, const QString& extension, int* type)
{
    if (!platform_ || !view_.hasRecord() || !store_ || index_ < 0 || picture().gc.empty())
        return {};
    FileDialogRequest request;
    request.flags = kSaveDialogFlags;
    request.filter = filter;
    request.fileName = QStringLiteral("%1_%2-%3.%4")
                           .arg(RecordExportName(store_->info(std::size_t(index_)).name))
                           .arg(picture().from)
                           .arg(picture().to)
                           .arg(extension);
    request.initDir = QFileInfo(store_->path()).absolutePath();
    request.title = title;
    const std::optional<SaveChoice> choice = platform_->saveFileOfType(this, request);
    if (!choice || choice->path.isEmpty())
        return {};
    *type = choice->filterIndex;
    return choice->path;
}

bool ExplorerWindow::exportValues()
{
    int type = 0;
    const QString asked =
        askSavePath(QStringLiteral("Export values"), kExplorerValuesFilter, QStringLiteral("tsv"), &type);
    if (asked.isEmpty())
        return false;
    const ExplorerValuesChoice chosen = ChooseExplorerValues(asked, type);
    const QString& path = chosen.path;
    ExportResult result = ExportResult::Failed;
    QString why;
    try {
        // The windows of the view again, with their unknown counts.
        const ViewWindows view = view_.data()->windows(picture().from, picture().to, picture().window, picture().step);
        ValuesSource source;
        source.shownName = store_->info(std::size_t(index_)).name;
        source.shown = &view.values;
        source.windowSize = view.window;
        source.step = view.step;
        source.firstPosition = view.from;
        result = WriteValuesFile(path, chosen.format, chosen.plot, ValuesScope::Shown, source, nullptr, &why);
    } catch (const std::exception&) {
        result = ExportResult::Failed;
    }
    if (result != ExportResult::Written)
        platform_->message(this, QStringLiteral("Quillet"),
                           NotSaved(QStringLiteral("The values"), QDir::toNativeSeparators(path), why));
    return result == ExportResult::Written;
}

bool ExplorerWindow::exportPicture()
{
    int type = 0;
    const QString asked = askSavePath(QStringLiteral("Export picture"), kPictureFilter, QStringLiteral("png"), &type);
    if (asked.isEmpty())
        return false;
    const PictureChoice chosen = ChoosePicture(asked, type);
    const QString& path = chosen.path;
    // The tracks as the window shows them, at their size on the screen.
    const PictureExport request = ExplorerExport(picture(), store_->info(std::size_t(index_)).name, chosen.format,
                                                 chosen.scale, canvas_->width(), canvas_->height());
    bool saved = false;
    QString why, notMade;
    try {
        saved = WritePictureFile(
            path, request, [this](PictureSurface& surface) { DrawExplorer(surface, picture()); }, &why);
    } catch (const PictureNotMade& e) {
        notMade = e.message(QDir::toNativeSeparators(path));
    } catch (const std::exception&) {
        saved = false;
    }
    if (!saved)
        platform_->message(
            this, QStringLiteral("Quillet"),
            notMade.isEmpty() ? NotSaved(QStringLiteral("The picture"), QDir::toNativeSeparators(path), why) : notMade);
    return saved;
}

bool ExplorerWindow::exportIslands()
{
    int type = 0;
    const QString path = askSavePath(QStringLiteral("Export islands"), kIslandsFilter, QStringLiteral("bed"), &type);
    if (path.isEmpty())
        return false;
    IslandFeatures features;
    for (const FeatureSource& source : picture().features.sources)
        features.push_back(source.set.get());
    QString why;
    const ExportResult result = WriteIslandsFile(path, *store_, index_, features, nullptr, &why);
    if (result == ExportResult::Failed)
        platform_->message(this, QStringLiteral("Quillet"),
                           NotSaved(QStringLiteral("The islands"), QDir::toNativeSeparators(path), why));
    return result == ExportResult::Written;
}

QString ExplorerWindow::describeView() const
{
    if (!view_.hasRecord() || !store_ || index_ < 0 || picture().gc.empty())
        return QStringLiteral("No record shown.");
    QString text = QStringLiteral("%1, bases %2 to %3 of %4; window %5 bp, step %6 bp.")
                       .arg(UnicodeName(store_->info(std::size_t(index_)).name), Bases(picture().from),
                            Bases(picture().to), Bases(length()), Bases(picture().window), Bases(picture().step));
    // Window k (0-based) of the view, as record positions.
    const auto where = [&](int64_t k) {
        const int64_t start = picture().from + k * picture().step;
        return QStringLiteral("%1-%2").arg(Bases(start), Bases(start + picture().window - 1));
    };
    const auto n = int64_t(picture().gc.size());
    for (const PlotTraits& t : kPlots) {
        if (!picture().shown[size_t(t.plot)])
            continue;
        int64_t low = 0, high = 0;
        for (int64_t k = 1; k < n; ++k) {
            const double v = ExplorerValue(picture(), t.plot, k);
            if (v < ExplorerValue(picture(), t.plot, low))
                low = k;
            if (v > ExplorerValue(picture(), t.plot, high))
                high = k;
        }
        const auto value = [&](int64_t k) {
            return QString::number(ExplorerValue(picture(), t.plot, k), 'f', t.explorerDecimals);
        };
        text += QStringLiteral(" %1: lowest %2 at %3, highest %4 at %5.")
                    .arg(QString(t.trackName), value(low), where(low), value(high), where(high));
    }
    const auto mark = [&](const std::optional<int64_t>& at) {
        if (!at)
            return QStringLiteral("unknown");
        const bool inView = *at >= picture().from && *at <= picture().to;
        return QStringLiteral("%1 bp%2").arg(Bases(*at), inView ? QString() : QStringLiteral(" (outside the view)"));
    };
    return text +
           QStringLiteral(" Origin at %1%2, terminus at %3%4.")
               .arg(mark(picture().origin), picture().originNote, mark(picture().terminus), picture().terminusNote) +
           describeFeatures();
}

QString ExplorerWindow::describeFeatures() const
{
    if (picture().features.empty() || !picture().featuresShown)
        return {};
    constexpr std::size_t kListed = 20;
    const FeatureLayout layout = featureLayout();
    QStringList listed;
    for (std::size_t k = 0; k < layout.placed.size() && k < kListed; ++k)
        listed << DescribeFeature(*picture().features.sources[layout.placed[k].source].set, layout.placed[k].index);
    if (layout.inView == 0)
        return QStringLiteral(" No feature in view.");
    QString text = QStringLiteral(" %1 in view")
                       .arg(layout.inView == 1 ? QStringLiteral("1 feature")
                                               : QStringLiteral("%1 features").arg(Bases(layout.inView)));
    if (!listed.isEmpty())
        text += QStringLiteral(": ") + listed.join(QStringLiteral("; "));
    if (layout.placed.size() > kListed)
        text += QStringLiteral("; and %1 more drawn").arg(Bases(int64_t(layout.placed.size() - kListed)));
    return text + u'.';
}

void ExplorerWindow::showMessage(const QString& text)
{
    message_->setText(text);
    message_->show();
}

void ExplorerWindow::viewChanged()
{
    if (view_.hasRecord()) {
        windowLabel_->setText(
            QStringLiteral("Window %1 bp, step %2 bp").arg(Bases(picture().window), Bases(picture().step)));
        region_->setText(QStringLiteral("%1-%2").arg(Bases(picture().from), Bases(picture().to)));
    } else {
        windowLabel_->clear();
        region_->clear();
    }
    status_->setText(view_.hasRecord() ? kHint : QString());
    if (canvas_) {
        canvas_->setAccessibleDescription(describeView());
        static_cast<ExplorerCanvas*>(canvas_)->redraw();
    }
}

void ExplorerWindow::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal: zoom(0.5); break;
    case Qt::Key_Minus:
    case Qt::Key_Underscore: zoom(2.0); break;
    case Qt::Key_Left: pan(-0.1); break;
    case Qt::Key_Right: pan(0.1); break;
    case Qt::Key_PageUp: pan(-1.0); break;
    case Qt::Key_PageDown: pan(1.0); break;
    case Qt::Key_Home: showWhole(); break;
    default: QWidget::keyPressEvent(event); return;
    }
    event->accept();
}

} // namespace quillet
