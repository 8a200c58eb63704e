// The path from a FASTA file to a drawn map: choosing the file (with a
// proposed window and step), and the run that validates the step, reads the
// file, computes every record's windows, fills the result fields and draws
// the selected map. Failures end the run with the fixed message of the
// stage they occurred in.
#include "analysis/engine.h"
#include "analysis/fileio.h"
#include "analysis/numtext.h"
#include "analysis/proposal.h"
#include "analysis/recordstore.h"
#include "analysis/runverdict.h"
#include "maps/drawcheck.h"
#include "maps/filetypes.h"
#include "window/dropopen.h"
#include "window/explorer.h"
#include "window/overview.h"
#include "window/quillet.h"
#include "window/recordswindow.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QKeyEvent>
#include <QTimer>

#include <atomic>
#include <mutex>
#include <thread>

namespace quillet {

namespace {

// Puts the default pointer back on every way out of a handler.
struct NormalPointerOnExit {
    Quillet* window;
    ~NormalPointerOnExit() { window->SetMousePointer(0); }
};

// The map a run draws: the G+C map when it is selected, the G-C/G+C map
// otherwise (also while nothing is selected).
Plot RunPlot(const Quillet& w)
{
    return w.ShownPlot().value_or(Plot::Skew);
}
} // namespace

void Quillet::Command_open_Click()
{
    try {
        CommonDialog1->Flags = kOpenDialogFlags;
        CommonDialog1->Filter = kFastaFilter;
        CommonDialog1->FileName = QString();
        CommonDialog1->InitDir = dataFolder();
        CommonDialog1->DialogTitle = QStringLiteral("Open DNA data in FASTA format");
        CommonDialog1->ShowOpen();
        OpenFilePath(*this, CommonDialog1->FileName);
    } catch (const std::exception&) {
        // Open ends silently; what was set before the failure stays.
    }
}

namespace {} // namespace

// What the engine hands over to the window while a run goes on. It lives on
// the engine's thread; the window reads it under the lock at each tick.
class WindowRun : public RunListener {
public:
    WindowRun(std::shared_ptr<RecordStore> store, Plot plot, float width, float height, MapInputs inputs)
        : store_(std::move(store)), drawable_(plot, width, height, std::move(inputs))
    {}

    bool recordComputed(RecordResult&& r) override
    {
        const bool drawable = drawable_(r);
        std::lock_guard lock(mutex_);
        store_->add(std::move(r));
        return drawable;
    }
    void progress(uint64_t done, uint64_t total) override
    {
        done_ = done;
        total_ = total;
    }
    bool cancelled() override { return cancel_; }
    uint64_t heldBytes() override
    {
        std::lock_guard lock(mutex_);
        return store_->heldBytes();
    }

    void cancel() { cancel_ = true; }
    uint64_t done() const { return done_; }
    uint64_t total() const { return total_; }
    // The record computed last, when there is one newer than `seen`.
    std::optional<std::pair<RecordInfo, std::shared_ptr<const WindowResults>>> newest(std::size_t& seen)
    {
        std::lock_guard lock(mutex_);
        if (store_->size() == seen)
            return std::nullopt;
        seen = store_->size();
        return std::make_pair(store_->info(seen - 1), store_->kept(seen - 1));
    }

private:
    std::mutex mutex_;
    std::shared_ptr<RecordStore> store_;
    DrawCheck drawable_;
    std::atomic<uint64_t> done_{0}, total_{0};
    std::atomic<bool> cancel_{false};
};

namespace {

// While a run goes on the window takes no input: every click and key is
// swallowed, Esc cancels the run, and the close box cancels it and closes
// the window once the run has stopped.
class RunInputGuard : public QObject {
public:
    RunInputGuard(Quillet* window, WindowRun& run) : window_(window), run_(run) { qApp->installEventFilter(this); }
    ~RunInputGuard() override { qApp->removeEventFilter(this); }
    bool closeRequested = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::KeyPress:
            if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape)
                run_.cancel();
            return true;
        case QEvent::Close:
            if (watched == window_) {
                run_.cancel();
                closeRequested = true;
                event->ignore();
                return true;
            }
            return false;
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop: return true;
        default: return false;
        }
    }

private:
    Quillet* window_;
    WindowRun& run_;
};

QString Native(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

// An open explorer follows the run that ended: the record the main window
// now shows, or no record and why.
void FollowRun(ExplorerWindow* explorer, const std::shared_ptr<const RecordStore>& store, const QString& why)
{
    if (!explorer || !explorer->isVisible())
        return;
    explorer->setStore(store);
    if (store && store->size() > 0)
        explorer->showRecord(store->size() - 1);
    else
        explorer->showMessage(why.isEmpty() ? QStringLiteral("The last run kept no records to explore.") : why);
}

} // namespace

void Quillet::Command_run_Click()
{
    if (runActive_)
        return; // no run inside a run
    // The records of the run before go with its results.
    records.reset();
    if (recordsWindow_)
        recordsWindow_->setStore(nullptr);
    SetMousePointer(11);
    NormalPointerOnExit normalPointer{this};
    clearResults();
    ProgressBar1->SetValue(0);
    repaint();

    const QString stepText = Text_Step->Text();
    const auto stepNumber = ReadNumber(stepText);
    if (stepText.isEmpty() || !stepNumber || !(*stepNumber > 0)) {
        MsgBox(kValidationMessage);
        return;
    }

    // The parameters are converted once; a text that does not convert fails
    // the run at its first record, as the engine reports.
    const QString path = Text1->Text();
    const QString windowText = Text_WS->Text();
    RunSettings settings;
    settings.step = RunParameter(stepText);
    settings.windowSize = RunParameter(windowText);
    settings.memoryCap = windowMemoryLimit ? windowMemoryLimit : RunMemoryCap() / 2;
    auto store = std::make_shared<RecordStore>(path, settings);

    MapInputs inputs = mapInputs();
    inputs.stepText = stepText;
    inputs.windowText = windowText;
    WindowRun run(store, RunPlot(*this), Picture1->Surface().Width(), Picture1->Surface().Height(), inputs);
    computedStepText = stepText;
    computedWindowText = windowText;

    const float barMin = ProgressBar1->Min(), barMax = ProgressBar1->Max();
    const RunReport report = runEngine(path, settings, run);
    endRun(report, store, path, barMin, barMax);
}

void Quillet::clearResults()
{
    clearReadout();
    Picture1->Surface().Cls();
    Picture1->Inside()->update();
    Text5->SetText(QString());
    Label4->SetCaption(QString());
    Label6->SetCaption(QString());
}

RunReport Quillet::runEngine(const QString& path, const RunSettings& settings, WindowRun& run)
{
    // The engine works on a thread of its own; this one keeps the window
    // painted, shows progress about thirty times a second and listens for
    // Esc.
    RunReport report;
    runActive_ = true;
    RunInputGuard guard(this, run);
    QEventLoop loop;
    std::thread engine([&] {
        report = RunFile(path, settings, run);
        QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
    });
    QTimer tick;
    std::size_t seen = 0;
    connect(&tick, &QTimer::timeout, this, [&] {
        if (run.total() > 0) {
            ProgressBar1->SetMin(0);
            ProgressBar1->SetMax(float(run.total()));
            ProgressBar1->SetValue(float(std::min(run.done(), run.total())));
        }
        if (auto latest = run.newest(seen))
            showWhileRunning(latest->first, *latest->second);
    });
    tick.start(33);
    loop.exec();
    engine.join();
    runActive_ = false;
    if (guard.closeRequested)
        QTimer::singleShot(0, this, &QWidget::close);
    return report;
}

void Quillet::endRun(const RunReport& report, const std::shared_ptr<RecordStore>& store, const QString& path,
                     float barMin, float barMax)
{
    // The run ends in the state the record-by-record rules give: the last
    // record computed is shown (fields, map, scroll bar), then the message
    // of the failure that stopped the run, if any.
    const auto clearAll = [&] {
        clearResults();
        ProgressBar1->SetMin(barMin);
        ProgressBar1->SetMax(barMax);
        ProgressBar1->SetValue(0);
    };
    const RunVerdict verdict = JudgeRun(report, Native(path), int64_t(store->size()), Wording::Window);
    if (!verdict.keepsRecords) {
        clearAll();
        FollowRun(explorerWindow_, nullptr, verdict.message);
        if (overviewWindow_ && overviewWindow_->isVisible())
            overviewWindow_->setStore(nullptr, {}, {});
        if (!verdict.message.isEmpty())
            MsgBox(verdict.message);
        return;
    }
    records = store;
    if (recordsWindow_ && recordsWindow_->isVisible()) {
        recordsWindow_->setStore(records);
        recordsWindow_->setFeatureSets(FeatureSets());
    }
    bool drawn = false;
    try {
        drawn = ShowRecord(store->size() - 1);
    } catch (const std::bad_alloc&) {
        records.reset();
        clearAll();
        FollowRun(explorerWindow_, nullptr, {});
        if (overviewWindow_ && overviewWindow_->isVisible())
            overviewWindow_->setStore(nullptr, {}, {});
        TellOutOfMemory(path, store->info(store->size() - 1));
        return;
    }
    FollowRun(explorerWindow_, records, {});
    refreshOverview(false);
    if (!drawn)
        MsgBox(kAnalysisMessage);
    else if (!verdict.message.isEmpty())
        MsgBox(verdict.message);
}

void Quillet::TellOutOfMemory(const QString& path, const RecordInfo& info)
{
    MsgBox(QStringLiteral("%1: %2.").arg(Native(path), OutOfMemoryDetail(info.name, info.windows)));
}

void Quillet::showWhileRunning(const RecordInfo& info, const WindowResults& windows)
{
    Text5->SetText(info.name);
    Label6->SetCaption(FormatInteger(info.length));
    Label4->SetCaption(FormatSingle(windows.AvgGC));
    MapInputs in = mapInputs();
    in.AvgGC = windows.AvgGC;
    if (in.unknownCounts)
        in.unknownCounts = &windows.UnknownCounts;
    try {
        tk::RepaintOnExit repaint{Picture1->Inside()};
        const Plot plot = RunPlot(*this);
        DrawMap(Picture1->Surface(), plot, windows, StartSetting(plot), in);
    } catch (const std::exception&) {
        // The end of the run draws the record again and reports it.
    }
}

bool Quillet::ShowRecord(std::size_t index, std::shared_ptr<const WindowResults> windows)
{
    if (!records || index >= records->size())
        return false;
    if (!windows)
        windows = records->load(index);
    if (!windows)
        return false;
    const RecordInfo& info = records->info(index);
    results = *windows;
    // The line and the readout told a position in the map shown before.
    clearReadout();
    Text5->SetText(info.name);
    Label6->SetCaption(FormatInteger(info.length));
    Label4->SetCaption(FormatSingle(AvgGC));
    ProgressBar1->SetMin(0);
    ProgressBar1->SetMax(float(info.length));
    ProgressBar1->SetValue(float(FinalProgressValue(info.length)));
    try {
        const Plot plot = RunPlot(*this);
        if (plot == Plot::GCContent)
            DrawGCMap(GCValues, StartSetting(plot));
        else
            DrawSkewMap(SkewValues, StartSetting(plot));
        scrollToStart(plot);
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

void Quillet::Text_Step_KeyUp(int16_t keyCode, int16_t /*shift*/)
{
    if (keyCode == 13)
        Command_run_Click();
}

void Quillet::Text_WS_KeyUp(int16_t keyCode, int16_t /*shift*/)
{
    if (keyCode == 13)
        Command_run_Click();
}

} // namespace quillet
