// The map's context menu (right button, the Menu key, Shift+F10 on the
// picture): the Records window, the explorer of the record shown, exporting the values behind the map and the
// map as a picture, and marking windows of mostly unknown bases. Double
// clicking the sequence name opens the Records window too.
#include "analysis/annotation.h"
#include "analysis/input.h"
#include "analysis/numtext.h"
#include "analysis/recordname.h"
#include "maps/exportfiles.h"
#include "maps/exportpicture.h"
#include "maps/filename.h"
#include "maps/filetypes.h"
#include "maps/syscolors.h"
#include "window/circular.h"
#include "window/explorer.h"
#include "window/overview.h"
#include "window/quillet.h"
#include "window/recordswindow.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QProgressDialog>

namespace quillet {

namespace {

// The Menu key and Shift+F10 open the menu on the picture; a double click
// on the sequence name opens the Records window.
class MapMenuEvents : public QObject {
public:
    MapMenuEvents(Quillet* window) : QObject(window), window_(window), picture_(window->Picture1), name_(window->Text5)
    {}

protected:
    // The controls are compared through pointers of their own: while the
    // window is destroyed its controls still send events, and the window is
    // no Quillet any more.
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == picture_ && event->type() == QEvent::KeyPress) {
            const auto* k = static_cast<QKeyEvent*>(event);
            if (k->key() == Qt::Key_Menu || (k->key() == Qt::Key_F10 && k->modifiers() == Qt::ShiftModifier)) {
                window_->MapMenu()->popup(window_->Picture1->mapToGlobal(QPoint(20, 20)));
                return true;
            }
        }
        if (watched == name_ && event->type() == QEvent::MouseButtonDblClick) {
            window_->Records_Click();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    Quillet* window_;
    QObject* picture_;
    QObject* name_;
};

// Progress of a long export or re-read in a progress dialog; Esc or its
// button cancels. It shows only when the work lasts more than half a second.
class ProgressDialogListener : public RunListener {
public:
    ProgressDialogListener(QWidget* owner, const QString& text)
        : dialog_(text, QStringLiteral("Cancel"), 0, 1000, owner)
    {
        dialog_.setWindowTitle(QStringLiteral("Quillet"));
        dialog_.setWindowModality(Qt::WindowModal);
        dialog_.setMinimumDuration(500);
        dialog_.setAutoClose(false);
        dialog_.setAutoReset(false);
        dialog_.setValue(0);
    }
    bool recordComputed(RecordResult&&) override { return true; }
    void progress(uint64_t done, uint64_t total) override
    {
        if (total > 0)
            dialog_.setValue(int(std::min<uint64_t>(999, done * 1000 / total)));
    }
    bool cancelled() override { return dialog_.wasCanceled(); }

private:
    QProgressDialog dialog_;
};

} // namespace

void Quillet::createMapMenu()
{
    mapMenu_ = new QMenu(this);
    mapMenu_->setObjectName(QStringLiteral("MapMenu"));
    mapMenu_->addAction(QStringLiteral("Records\u2026"), this, &Quillet::Records_Click);
    QAction* explore = mapMenu_->addAction(QStringLiteral("Explore\u2026"), this, &Quillet::Explore_Click);
    explore->setShortcut(QKeySequence(QStringLiteral("Ctrl+E")));
    explore->setShortcutContext(Qt::WidgetShortcut); // Ctrl+E itself is the window's (shortcuts.cpp)
    explore->setEnabled(false);
    connect(mapMenu_, &QMenu::aboutToShow, this,
            [this, explore] { explore->setEnabled(records && !Label6->Caption().isEmpty() && !RunActive()); });
    QAction* overview = mapMenu_->addAction(QStringLiteral("Overview\u2026"), this, &Quillet::Overview_Click);
    overview->setShortcut(QKeySequence(QStringLiteral("Ctrl+G")));
    overview->setShortcutContext(Qt::WidgetShortcut); // Ctrl+G itself is the window's (shortcuts.cpp)
    overview->setEnabled(false);
    connect(mapMenu_, &QMenu::aboutToShow, this,
            [this, overview] { overview->setEnabled(records && records->size() > 0 && !RunActive()); });
    QAction* circular = mapMenu_->addAction(QStringLiteral("Circular map\u2026"), this, &Quillet::CircularMap_Click);
    circular->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+G")));
    circular->setShortcutContext(Qt::WidgetShortcut); // the window's own shortcut is in shortcuts.cpp
    circular->setEnabled(false);
    connect(mapMenu_, &QMenu::aboutToShow, this,
            [this, circular] { circular->setEnabled(records && records->size() > 0 && !RunActive()); });
    mapMenu_->addSeparator();
    mapMenu_->addAction(QStringLiteral("Export values\u2026"), this, &Quillet::ExportValues_Click);
    mapMenu_->addAction(QStringLiteral("Export picture\u2026"), this, &Quillet::ExportPicture_Click);
    mapMenu_->addAction(QStringLiteral("Export islands\u2026"), this, &Quillet::ExportIslands_Click);
    mapMenu_->addAction(QStringLiteral("Features\u2026"), this, &Quillet::Features_Click);
    mapMenu_->addSeparator();
    QAction* mark = mapMenu_->addAction(QStringLiteral("Mark windows of mostly unknown bases"));
    mark->setCheckable(true);
    mark->setChecked(markUnknownWindows);
    connect(mark, &QAction::toggled, this, &Quillet::MarkUnknown_Click);

    Picture1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(Picture1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { mapMenu_->popup(Picture1->mapToGlobal(pos)); });
    auto* events = new MapMenuEvents(this);
    Picture1->installEventFilter(events);
    Text5->installEventFilter(events);
}

void Quillet::addMarking(MapInputs& in) const
{
    if (!markUnknownWindows)
        return;
    int32_t windowSize = 0;
    if (records && records->settings().windowSize) {
        windowSize = *records->settings().windowSize;
    } else {
        try {
            windowSize = ToInt32(QStringView(computedWindowText));
        } catch (const std::exception&) {
            return;
        }
    }
    in.unknownCounts = &results.UnknownCounts;
    in.unknownWindowSize = windowSize;
}

void Quillet::MarkUnknown_Click(bool on)
{
    markUnknownWindows = on;
    VScroll1_Scroll(); // redraws the map shown, if any
    refreshOverview(false);
}

void Quillet::Records_Click()
{
    if (!recordsWindow_) {
        recordsWindow_ = new RecordsWindow(this);
        connect(recordsWindow_, &RecordsWindow::recordChosen, this, [this](std::size_t index) {
            // A list from before the last run names other records: refresh it.
            if (recordsWindow_->store() != records.get()) {
                recordsWindow_->setStore(records);
                return;
            }
            ShowStoredRecord(index);
        });
        // The overview shows what the filter lets through.
        connect(recordsWindow_->filterBox(), &QLineEdit::textChanged, this, [this] { refreshOverview(false); });
    }
    recordsWindow_->setStore(records);
    recordsWindow_->setFeatureSets(FeatureSets());
    recordsWindow_->show();
    recordsWindow_->raise();
    recordsWindow_->activateWindow();
    recordsWindow_->filterBox()->setFocus();
}

void Quillet::ShowStoredRecord(std::size_t index)
{
    if (!records || index >= records->size())
        return;
    // Windows past the memory budget are read again from the file, with
    // progress and Esc to cancel.
    std::shared_ptr<const WindowResults> windows = records->kept(index);
    if (!windows) {
        SetMousePointer(11);
        ProgressDialogListener progress(this, QStringLiteral("Reading the record again\u2026"));
        windows = records->load(index, &progress);
        SetMousePointer(0);
        if (progress.cancelled())
            return;
        if (!windows) {
            MsgBox(QStringLiteral("Record %1 could not be read again from %2.")
                       .arg(records->info(index).number)
                       .arg(records->path()));
            return;
        }
    }
    SetMousePointer(11);
    try {
        ShowRecord(index, windows);
    } catch (const std::bad_alloc&) {
        SetMousePointer(0);
        TellOutOfMemory(records->path(), records->info(index));
    }
    SetMousePointer(0);
}

void Quillet::Explore_Click()
{
    if (!records || records->size() == 0 || Label6->Caption().isEmpty() || RunActive())
        return;
    // The record shown: the last one of its name and length.
    std::size_t shown = records->size() - 1;
    for (std::size_t i = records->size(); i-- > 0;) {
        const RecordInfo& info = records->info(i);
        if (info.name == Text5->Text() && FormatInteger(info.length) == Label6->Caption()) {
            shown = i;
            break;
        }
    }
    ExploreRecord(shown);
}

void Quillet::ExploreRecord(std::size_t index)
{
    if (!records || index >= records->size() || RunActive())
        return;
    if (!explorerWindow_)
        explorerWindow_ = new ExplorerWindow(this);
    explorerWindow_->setPlatform(&platform());
    explorerWindow_->setStore(records);
    explorerWindow_->setFeatureSets(FeatureSets());
    // The record already in the explorer keeps its view.
    if (explorerWindow_->recordIndex() != int64_t(index)) {
        SetMousePointer(11);
        explorerWindow_->showRecord(index);
        SetMousePointer(0);
    }
    explorerWindow_->show();
    explorerWindow_->raise();
    explorerWindow_->activateWindow();
    explorerWindow_->canvas()->setFocus();
}

bool Quillet::Features_Click()
{
    FileDialogRequest request;
    request.flags = kOpenDialogFlags;
    request.filter = kAnnotationFilter;
    request.initDir = dataFolder();
    request.title = QStringLiteral("Add the features of an annotation file");
    const std::optional<QString> path = platform().openFile(this, request);
    return path && AddFeatures(*path);
}

bool Quillet::AddFeatures(const QString& path)
{
    try {
        addedFeatures_.push_back(std::make_shared<const FeatureSet>(ReadAnnotationFile(path).features));
    } catch (const std::exception& e) {
        MsgBox(QString::fromUtf8(e.what()));
        return false;
    }
    if (explorerWindow_)
        explorerWindow_->setFeatureSets(FeatureSets());
    if (recordsWindow_)
        recordsWindow_->setFeatureSets(FeatureSets());
    // Features on records the run does not hold are drawn nowhere: say so.
    if (records && records->size() > 0) {
        QStringList names;
        names.reserve(qsizetype(records->size()));
        for (const RecordInfo& info : records->infos())
            names << info.name;
        if (const QString report = MissingRecordsReport(MissingRecords(*addedFeatures_.back(), names));
            !report.isEmpty())
            MsgBox(QStringLiteral("The features of %1 were added.\n%2.")
                       .arg(QDir::toNativeSeparators(path), report.split(u'\n').join(QStringLiteral(";\n"))));
    }
    return true;
}

std::vector<std::shared_ptr<const FeatureSet>> Quillet::FeatureSets()
{
    if (records && records->path() != ownFeaturesPath_) {
        ownFeaturesPath_ = records->path();
        ownFeatures_ =
            OwnFeatures(records->path(), records->size() > 0 ? records->info(0).format : RecordFormat::Fasta);
    }
    std::vector<std::shared_ptr<const FeatureSet>> sets;
    if (ownFeatures_ && records)
        sets.push_back(ownFeatures_);
    sets.insert(sets.end(), addedFeatures_.begin(), addedFeatures_.end());
    return sets;
}

void Quillet::Overview_Click()
{
    if (!records || records->size() == 0 || RunActive())
        return;
    const bool created = !overviewWindow_;
    if (created) {
        overviewWindow_ = new OverviewWindow(this);
        overviewWindow_->setPlatform(&platform());
        connect(overviewWindow_, &OverviewWindow::recordChosen, this, &Quillet::ShowStoredRecord);
        connect(overviewWindow_, &OverviewWindow::recordExplored, this, &Quillet::ExploreRecord);
        // It opens on the map the main window shows.
        overviewWindow_->setPlot(ShownPlot().value_or(Plot::GCContent));
    }
    refreshOverview(true);
    overviewWindow_->show();
    overviewWindow_->raise();
    overviewWindow_->activateWindow();
    overviewWindow_->canvas()->setFocus();
}

void Quillet::CircularMap_Click()
{
    if (!records || records->size() == 0 || RunActive())
        return;
    if (!circularWindow_) {
        circularWindow_ = new CircularWindow(this);
        circularWindow_->setPlatform(&platform());
        connect(circularWindow_, &CircularWindow::explore, this, &Quillet::ExploreAt);
    }
    // Each record is read again from the file: the pointer says so.
    SetMousePointer(11);
    const bool shown = circularWindow_->setStore(records, FeatureSets());
    SetMousePointer(0);
    if (!shown)
        return;
    circularWindow_->show();
    circularWindow_->raise();
    circularWindow_->activateWindow();
    circularWindow_->canvas()->setFocus();
}

void Quillet::ExploreAt(std::size_t index, int64_t position)
{
    ExploreRecord(index);
    if (!explorerWindow_ || explorerWindow_->recordIndex() != int64_t(index))
        return;
    // A twentieth of the record around the position, as a first close look.
    const int64_t span = std::max<int64_t>(records->info(index).length / 20, 1000);
    explorerWindow_->setView(position - span / 2, position + span / 2);
}

void Quillet::refreshOverview(bool opening)
{
    if (!overviewWindow_ || (!opening && !overviewWindow_->isVisible()))
        return;
    std::function<bool(std::size_t)> accept;
    if (recordsWindow_ && records && recordsWindow_->store() == records.get() && recordsWindow_->proxy()->filtering()) {
        const RecordsProxy* proxy = recordsWindow_->proxy();
        accept = [proxy](std::size_t i) { return proxy->acceptsRecord(i); };
    }
    overviewWindow_->setMarkUnknown(markUnknownWindows);
    overviewWindow_->setStore(records, computedWindowText, computedStepText, std::move(accept));
}

namespace {
// The window size and step the shown windows were computed with.
std::optional<std::pair<int32_t, int32_t>> ComputedParameters(const Quillet& w)
{
    if (w.records && w.records->settings().windowSize && w.records->settings().step)
        return std::pair{*w.records->settings().windowSize, *w.records->settings().step};
    try {
        return std::pair{ToInt32(QStringView(w.computedWindowText)), ToInt32(QStringView(w.computedStepText))};
    } catch (const std::exception&) {
        return std::nullopt;
    }
}
} // namespace

void Quillet::ExportValues_Click()
{
    const auto parameters = ComputedParameters(*this);
    if (Label6->Caption().isEmpty() || !parameters)
        return;
    FileDialogRequest request;
    request.flags = kSaveDialogFlags;
    request.filter = kMapValuesFilter;
    request.fileName = RecordExportName(Text5->Text()) + QStringLiteral(".tsv");
    request.initDir = dataFolder();
    request.title = QStringLiteral("Export values");
    const std::optional<SaveChoice> choice = platform().saveFileOfType(this, request);
    if (!choice || choice->path.isEmpty())
        return;
    const MapValuesChoice chosen = ChooseMapValues(choice->path, choice->filterIndex);
    const ValueFormat format = chosen.format;
    const ValuesScope scope = chosen.scope;
    const QString& path = chosen.path;
    const Plot plot = ShownPlot().value_or(Plot::GCContent);

    ValuesSource source;
    source.shownName = Text5->Text();
    source.shown = &results;
    source.records = records.get();
    source.windowSize = parameters->first;
    source.step = parameters->second;
    source.shownLength = int64_t(ReadNumber(Label6->Caption(), NumberLocale::c()).value_or(0));
    // The windows the marked map leaves out are gaps in the values too.
    source.options.gaps = markUnknownWindows;
    SetMousePointer(11);
    ProgressDialogListener progress(this, QStringLiteral("Exporting values\u2026"));
    QString why;
    const ExportResult result = WriteValuesFile(path, format, plot, scope, source, &progress, &why);
    SetMousePointer(0);
    if (result == ExportResult::Failed)
        MsgBox(NotSaved(QStringLiteral("The values"), path, why));
}

void Quillet::ExportIslands_Click()
{
    if (!records || records->size() == 0 || Label6->Caption().isEmpty() || RunActive())
        return;
    FileDialogRequest request;
    request.flags = kSaveDialogFlags;
    request.filter = kIslandsFilter;
    request.fileName = QFileInfo(records->path()).completeBaseName() + QStringLiteral("_islands.bed");
    request.initDir = dataFolder();
    request.title = QStringLiteral("Export islands");
    const std::optional<SaveChoice> choice = platform().saveFileOfType(this, request);
    if (!choice || choice->path.isEmpty())
        return;
    // The genes of every annotation name the islands they meet.
    const std::vector<std::shared_ptr<const FeatureSet>> sets = FeatureSets();
    IslandFeatures features;
    for (const auto& set : sets)
        features.push_back(set.get());
    SetMousePointer(11);
    ProgressDialogListener progress(this, QStringLiteral("Exporting islands\u2026"));
    QString why;
    const ExportResult result = WriteIslandsFile(choice->path, *records, -1, features, &progress, &why);
    SetMousePointer(0);
    if (result == ExportResult::Failed)
        MsgBox(NotSaved(QStringLiteral("The islands"), choice->path, why));
}

void Quillet::ExportPicture_Click()
{
    if (Label6->Caption().isEmpty())
        return;
    FileDialogRequest request;
    request.flags = kSaveDialogFlags;
    request.filter = kPictureFilter;
    request.fileName = RecordExportName(Text5->Text()) + QStringLiteral(".png");
    request.initDir = dataFolder();
    request.title = QStringLiteral("Export picture");
    const std::optional<SaveChoice> choice = platform().saveFileOfType(this, request);
    if (!choice || choice->path.isEmpty())
        return;

    PictureExport picture;
    const PictureChoice chosen = ChoosePicture(choice->path, choice->filterIndex);
    picture.format = chosen.format;
    picture.scale = chosen.scale;
    const QString& path = chosen.path;
    picture.outerWidth = Picture1->Width();
    picture.outerHeight = Picture1->Height();
    picture.border = Picture1->Surface().Border();
    picture.back = Picture1->Surface().BackColor();
    picture.fore = Picture1->Surface().ForeColor();
    picture.resolve = [](ColorValue c) { return ResolveColor(c); };
    picture.title = UnicodeName(Text5->Text());

    // The map as the picture box shows it: the same plot, shift or scale
    // (the one a map is first drawn at while the scroll bar stands on none
    // of the map's positions, as a map that could not be drawn leaves it).
    const MapInputs in = mapInputs();
    const Plot plot = ShownPlot().value_or(Plot::GCContent);
    const int16_t setting = ScrollSetting(plot, VScroll1->Value()).value_or(StartSetting(plot));
    const auto draw = [&](PictureSurface& surface) { DrawMap(surface, plot, results, setting, in); };
    bool saved = false;
    QString why, notMade;
    SetMousePointer(11);
    try {
        saved = WritePictureFile(path, picture, draw, &why);
    } catch (const PictureNotMade& e) {
        notMade = e.message(path);
    } catch (const std::exception&) {
        saved = false;
    }
    SetMousePointer(0);
    if (!saved)
        MsgBox(notMade.isEmpty() ? NotSaved(QStringLiteral("The picture"), path, why) : notMade);
}

} // namespace quillet
