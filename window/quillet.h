#pragma once
// The main window: owns every control, the per-window results of the last
// computation and the event handlers, each named after its control and
// event. Handlers live in the files of their subsystem (Open and Run in
// window/runflow.cpp, the map's handlers in interaction/), the controls and
// start-up here.
#include "analysis/calcwindows.h"
#include "analysis/features.h"
#include "analysis/recordstore.h"
#include "maps/gcmap.h"
#include "window/commondialog.h"
#include "window/platform.h"
#include "window/toolkit.h"

#include <QMenu>
#include <QSizeF>
#include <QWidget>
#include <memory>
#include <optional>
#include <vector>

namespace quillet {

class ExplorerWindow;
class OverviewWindow;
class CircularWindow;
class frmAbout;
class RecordsWindow;
class WindowRun;

class Quillet : public QWidget {
    Q_OBJECT
public:
    // `platform` answers the dialogs; it must outlive the window. The layout
    // follows the primary screen, or `screenTwips` when given (tests).
    explicit Quillet(PlatformServices& platform, QWidget* parent = nullptr, std::optional<QSizeF> screenTwips = {});
    ~Quillet() override;

    // Design client size in twips.
    static constexpr float kDesignClientWidth = 11370.0f;
    static constexpr float kDesignClientHeight = 8415.0f;

    // Window-level measures in twips: the outer size (title bar and borders
    // included) and the client area.
    float Width() const { return outerWidth_; }
    float Height() const { return outerHeight_; }
    void SetWidth(float twips);
    void SetHeight(float twips);
    float ScaleWidth() const;
    float ScaleHeight() const;

    // MousePointer: 11 hourglass, 0 default.
    void SetMousePointer(int pointer);
    int MousePointer() const { return mousePointer_; }

    // ---- Controls, under their design names ----
    tk::ProgressBar* ProgressBar1;
    tk::ComboBox* Combo1;
    tk::VScrollBar* VScroll1;
    tk::CommandButton* Command_about;
    tk::CommandButton* Command_save;
    tk::TextBox* Text5;
    tk::CommandButton* Command_copy;
    tk::Frame* Frame1;
    tk::ColorSwatch* Text4;
    tk::TextBox* Text_Step;
    tk::TextBox* Text_WS;
    tk::Label* Label7;
    tk::Label* Label2;
    tk::Label* Label_windowsize;
    tk::PictureBox* Picture1;
    tk::Label* Label_move;
    tk::LineControl* Line3;
    std::unique_ptr<CommonDialog> CommonDialog1;
    tk::CommandButton* Command_run;
    tk::CommandButton* Command_open;
    tk::Frame* Frame2;
    tk::TextBox* Text1;
    tk::Label* Label5;
    tk::Label* Label6;
    tk::Label* Label4;
    tk::ImageControl* Image1;
    tk::Label* Label8;
    tk::Label* Label3;
    tk::Label* Label1;

    // ---- Window state ----
    // GCValues, SkewValues and AvgGC of the last successful computation.
    WindowResults results;
    std::vector<float>& GCValues = results.GCValues;
    std::vector<float>& SkewValues = results.SkewValues;
    float& AvgGC = results.AvgGC;
    // The plot the selector Combo1 has selected (its entries are the
    // selector's rows of kPlots); none while nothing is selected. Every
    // handler but the selector's own asks this rather than the selector.
    std::optional<Plot> ShownPlot() const;
    // Window size and step texts the last successful computation used; the
    // maps show these, whatever the boxes hold at redraw time.
    QString computedWindowText;
    QString computedStepText;

    // Every record of the last run (null before the first run that
    // computed one).
    std::shared_ptr<RecordStore> records;
    // Shows record `index` of the last run as if the run had ended on it:
    // result fields, progress, map and scroll bar. False when its windows
    // cannot be had again or its map cannot be drawn (what was drawn stays).
    // `windows`, when given, are the record's windows already read again.
    // Throws std::bad_alloc, having changed nothing, when there is no memory
    // for the copy of the windows the window keeps.
    bool ShowRecord(std::size_t index, std::shared_ptr<const WindowResults> windows = nullptr);
    // The most memory a run may hold, in bytes; 0 for half of RunMemoryCap(),
    // since the record shown is copied once more (tests make it small).
    uint64_t windowMemoryLimit = 0;
    // Tells that a record of the file at `path` does not fit in memory.
    void TellOutOfMemory(const QString& path, const RecordInfo& info);
    bool RunActive() const { return runActive_; }

    // ---- Map context menu: records, exports, marking (interaction/mapmenu.cpp) ----
    // Windows of mostly unknown bases left out of the curve and shaded; off
    // until the menu's toggle turns it on.
    bool markUnknownWindows = false;
    QMenu* MapMenu() const { return mapMenu_; }
    // The Records window, created on first use.
    RecordsWindow* recordsWindow() const { return recordsWindow_; }
    // The explorer, created on first use (Explore… or Ctrl+E after a run).
    ExplorerWindow* explorerWindow() const { return explorerWindow_; }
    // The genome overview, created on first use (Overview… or Ctrl+G after a run).
    OverviewWindow* overviewWindow() const { return overviewWindow_; }
    // The circular map, created on first use (Circular map… or Ctrl+Shift+G after a run).
    CircularWindow* circularWindow() const { return circularWindow_; }
    void Records_Click();
    void Explore_Click();
    void Overview_Click();
    void CircularMap_Click();
    // Record `index` of the last run in the main window (read again from the
    // file when its windows were not kept), or in the explorer.
    void ShowStoredRecord(std::size_t index);
    void ExploreRecord(std::size_t index);
    // The explorer on record `index` around `position` (1-based).
    void ExploreAt(std::size_t index, int64_t position);
    void ExportValues_Click();
    void ExportPicture_Click();
    // Export islands…: the composition islands of every record of the last
    // run as BED, as quillet-map --islands writes them.
    void ExportIslands_Click();
    void MarkUnknown_Click(bool on);
    // Features…: an annotation file (GFF3, GTF, BED, GenBank, EMBL) whose
    // features the explorer draws beside those of the sequence file; false
    // when none was added (cancelled, or a message said why).
    bool Features_Click();
    bool AddFeatures(const QString& path);
    // The annotations for the last run's records: the sequence file's own
    // (a GenBank, EMBL or GFF3 file), then those added.
    std::vector<std::shared_ptr<const FeatureSet>> FeatureSets();

    // ---- Handlers ----
    void Form_Load();
    void Command_open_Click();
    void Command_run_Click();
    void Text_Step_KeyUp(int16_t keyCode, int16_t shift);
    void Text_WS_KeyUp(int16_t keyCode, int16_t shift);
    void Combo1_Change();
    void Combo1_Click();
    void VScroll1_Change();
    void VScroll1_Scroll();
    void Picture1_MouseMove(int16_t button, int16_t shift, float x, float y);
    void Text4_Click();
    void Command_save_Click();
    void Command_copy_Click();
    void Command_about_Click();

    // ---- Procedures ----
    void ArrangeControls();
    void DrawGCMap(const std::vector<float>& values, int16_t shift);
    void DrawSkewMap(const std::vector<float>& values, int16_t scale);

    PlatformServices& platform() { return platform_; }
    // The About window, created on first use and shared afterwards.
    frmAbout* aboutWindow() const { return about_.get(); }

    // The folder the dialogs open in: a data folder beside the program.
    QString dataFolder() const;
    // Messages use the program's title as caption.
    void MsgBox(const QString& text);

signals:
    // A map has been drawn in full: the value-axis labels it printed, from
    // the bottom of the axis to the top, and the label at its reference line.
    void MapDrawn(const QStringList& valueLabels, const QString& referenceLabel);

private:
    void createControls();
    void connectEvents();
    void setTabOrder();
    MapInputs mapInputs() const;
    void createMapMenu();
    // Gives the overview the last run's records, with the Records window's
    // name filter when it lists the same run: when it opens, or while it
    // is open (a hidden one is refreshed when it opens again).
    void refreshOverview(bool opening);
    // The scroll bar's range for the map of `plot`, at the position the map
    // is first drawn at.
    void scrollToStart(Plot plot);
    // Adds the marking of mostly unknown windows to the inputs when it is on.
    void addMarking(MapInputs& in) const;
    // Repaints the picture after drawing, so the image shows at once.
    void pictureDrawn();
    // Hides the cursor line and empties the position readout, as the mouse
    // leaving the plot does: a new map starts without them.
    void clearReadout();
    // A record computed during a run, shown at a progress tick.
    void showWhileRunning(const RecordInfo& info, const WindowResults& windows);
    // The steps of Run: the result fields and picture emptied; the engine
    // on its own thread while this one shows progress and takes Esc; and
    // the end: the last record shown, or the fields cleared, and the
    // message of the stage that failed.
    void clearResults();
    RunReport runEngine(const QString& path, const RunSettings& settings, WindowRun& run);
    void endRun(const RunReport& report, const std::shared_ptr<RecordStore>& store, const QString& path, float barMin,
                float barMax);

    PlatformServices& platform_;
    std::unique_ptr<frmAbout> about_;
    QMenu* mapMenu_ = nullptr;
    RecordsWindow* recordsWindow_ = nullptr;
    ExplorerWindow* explorerWindow_ = nullptr;
    OverviewWindow* overviewWindow_ = nullptr;
    CircularWindow* circularWindow_ = nullptr;
    std::vector<std::shared_ptr<const FeatureSet>> addedFeatures_;
    std::shared_ptr<const FeatureSet> ownFeatures_; // of the file at ownFeaturesPath_
    QString ownFeaturesPath_;
    float outerWidth_ = 0, outerHeight_ = 0;
    float frameWidth_ = 0, frameHeight_ = 0;
    int mousePointer_ = 0;
    bool runActive_ = false;
    std::optional<QSizeF> screenTwips_;
};

} // namespace quillet
